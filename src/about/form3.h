// The about box: product name, version, where to send word about the program, and where the
// ledger file lives.
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
    QLabel *Label5; // the ledger's folder and where a menu start keeps it
    QPushButton *Command1;

public slots:
    void Command1_Click();

private:
    void showLedgerPlace();

    Form1 *m_main;
};
