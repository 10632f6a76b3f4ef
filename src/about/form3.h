// The about box: product name, version and where to send word about the program.
#pragma once

#include <QWidget>

class Form1;
class QLabel;
class QPushButton;

class Form3 : public QWidget {
    Q_OBJECT

public:
    explicit Form3(Form1 *main);

    QLabel *Label1, *Label2, *Label3, *Label4;
    QPushButton *Command1;

public slots:
    void Command1_Click();

private:
    Form1 *m_main;
};
