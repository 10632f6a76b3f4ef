// The date picker: one calendar dialog serving the main window's date box, the find dialog
// and the two period dates of the daily statistics window.
#pragma once

#include <QWidget>

class Form1;
class QCalendarWidget;
class QPushButton;

class Form2 : public QWidget {
    Q_OBJECT

public:
    explicit Form2(Form1 *main);

    // -1: first receiver (main window, or the statistics start date); 0: second receiver.
    void setx(int ax) { xflag = ax; }
    // Non-zero: the statistics window receives the date.
    void sety(int ax) { yflag = ax; }

    QCalendarWidget *MonthView1;
    QPushButton *Command1, *Command2;
    int xflag = 0;
    int yflag = 0;

public slots:
    void Command1_Click();
    void Command2_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Closed by its title bar: as "取消".
    void closeEvent(QCloseEvent *event) override;

private:
    Form1 *m_main;
};
