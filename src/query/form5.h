// The calculation dialog: one of five figures for one product of one category.
#pragma once

#include <QWidget>

class Form1;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

class Form5 : public QWidget {
    Q_OBJECT

public:
    explicit Form5(Form1 *main);

    // Controls.
    QLabel *Label1, *Label2;
    QComboBox *Combo1, *Combo2;
    QRadioButton *Option1, *Option2, *Option3, *Option4, *Option5;
    QPushButton *Command1, *Command2;

    // Form-level state.
    int calcno = 0; // chosen calculation, 0 while none
    bool filled = false;

public slots:
    void Form_Load();
    void Form_Activate();
    void Combo1_Click();
    void Option1_Click();
    void Option2_Click();
    void Option3_Click();
    void Option4_Click();
    void Option5_Click();
    void Command1_Click();
    void Command2_Click();

private:
    Form1 *m_main;
};
