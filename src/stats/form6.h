// The daily statistics window: a period choice, the day lines of a run with their stock-in and
// stock-out totals, a feedback line and a progress bar. The ledger work is done by the main
// window's axd (operations 101 and 102), which calls back the public methods here.
#pragma once

#include "ledger/stats.h"

#include <QWidget>

class Form1;
class QComboBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

class Form6 : public QWidget, public ledger::DayTally {
    Q_OBJECT

public:
    explicit Form6(Form1 *main);

    // The period's start and end labels.
    void day1(const QString &day);
    void day2(const QString &day);
    // x = 0: the text for the feedback line; otherwise a period item.
    QString textcontrol(const QString &str, int x);
    // Shows a text on the feedback line.
    void textoutx(const QString &str);
    // Shows a text on the feedback line even while an operation is running.
    void erro(const QString &xx);
    // Progress: kz = 0 starts a task of zsh steps, kz = 1 performs one step.
    void jdt(qint64 zsh, int kz);
    // kz = 0: "date|total|direction" of one record joins the day; kz = 1 lists the day.
    void axd(const QString &str, int kz);
    // True when a listed day has the same date as strx, however either is written.
    bool listx(const QString &strx);
    QString jkg(const QString &str, int kf);
    int lenx(const QString &str);

    // Controls.
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6;
    QListWidget *List1;
    QComboBox *Combo1;
    QProgressBar *ProgressBar1;
    QPushButton *Command1, *Command2;

    // Form-level state (the day sums, and the figures of the listed days, come from DayTally).
    bool busy = false;
    bool userrange = false;
    QString lasttext;
    qint64 jdstep = 0;
    qint64 jdleft = 0;
    qint64 jdsteps = 0; // steps of the current task
    qint64 jddone = 0;  // steps performed so far

public slots:
    void Form_Load();
    void Form_Activate();
    void Combo1_DropDown();
    void Combo1_Click();
    void Command1_Click();
    void Command2_Click();
    void Label3_Click();
    void Label4_Click();
    void Label2_MouseMove();
    void Label3_MouseMove();
    void Label4_MouseMove();
    void List1_MouseMove();
    void ProgressBar1_MouseMove();
    void List1_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void connectHandlers();

    Form1 *m_main;
    int m_popupIndex = -1; // the period shown when the list was opened
};
