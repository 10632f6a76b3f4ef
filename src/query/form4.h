// The find dialog: category, product, directions and a date condition for the find query,
// or, with "智能分析" ticked, the way to the analysis chooser.
#pragma once

#include "ledger/find.h"

#include <QWidget>

class Form1;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

class Form4 : public QWidget {
    Q_OBJECT

public:
    explicit Form4(Form1 *main);
    // Receives the date chosen in the date picker.
    void days(const QString &dat);
    // The options the check boxes give the find query.
    ledger::FindOptions options() const;
    // Checks (or clears) the four options of the day detail: any product, any category, both
    // directions.
    void setEveryOption(bool on);

    // Controls.
    QLabel *Label1, *Label2, *Label3, *Label4;
    QComboBox *Combo1, *Combo2;
    QCheckBox *Check1, *Check2, *Check3, *Check4, *Check5, *Check6;
    QGroupBox *Frame1;
    QRadioButton *Option1, *Option2, *Option3;
    QPushButton *Command1, *Command2, *Command3;

    // Form-level state.
    QString datetext;   // last date from the picker, e.g. 06-3-9
    int datemethod = 0; // 0 none, 1 before, 2 on, 3 after
    bool filled = false;

public slots:
    void Form_Activate();
    void Combo1_Click();
    void Check6_Click();
    void Option1_Click();
    void Option2_Click();
    void Option3_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

private:
    void chooseMethod(QRadioButton *option, int method);

    Form1 *m_main;
};
