// The analysis chooser, opened from the find dialog; its one analysis is the daily statistics.
#pragma once

#include <QWidget>

class Form1;
class QLabel;
class QPushButton;
class QRadioButton;

class Form7 : public QWidget {
    Q_OBJECT

public:
    explicit Form7(Form1 *main);

    QRadioButton *Option1;
    QPushButton *Command1, *Command2;
    QLabel *Label1;

public slots:
    void Command1_Click();
    void Command2_Click();

private:
    Form1 *m_main;
};
