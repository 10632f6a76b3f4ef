#include "mainwin/form2.h"

#include "ledger/dates.h"
#include "mainwin/form1.h"
#include "mainwin/ui_app.h"
#include "mainwin/ui_keys.h"
#include "query/form4.h"
#include "stats/form6.h"

#include <QCalendarWidget>
#include <QCloseEvent>
#include <QEvent>
#include <QPushButton>

Form2::Form2(Form1 *main) : QWidget(main, Qt::Window), m_main(main)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("时间"));
    // The calendar needs more height than the original design gave it.
    setFixedSize(ui::twips(0, 0, 5295, 3300).size());

    MonthView1 = ui::control<QCalendarWidget>(this, "MonthView1", ui::twips(60, 60, 4020, 3180));
    MonthView1->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    MonthView1->setHorizontalHeaderFormat(QCalendarWidget::SingleLetterDayNames);
    MonthView1->setSelectedDate(QDate::currentDate());

    Command1 = ui::control<QPushButton>(this, "Command1", QStringLiteral("确定"), ui::twips(4200, 360, 975, 375));
    Command2 = ui::control<QPushButton>(this, "Command2", QStringLiteral("取消"), ui::twips(4200, 1320, 975, 375));

    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form2::Command2_Click);
    // Enter in the calendar and a double click on a day pick that day.
    connect(MonthView1, &QCalendarWidget::activated, this, &Form2::Command1_Click);
    ui::dialogKeys(this, Command1, Command2);
    Command1->installEventFilter(this);
    Command2->installEventFilter(this);
}

bool Form2::eventFilter(QObject *watched, QEvent *event)
{
    // Moving the pointer over a button gives it the keyboard focus.
    if (event->type() == QEvent::Enter)
        if (auto *b = qobject_cast<QPushButton *>(watched))
            b->setFocus();
    return QWidget::eventFilter(watched, event);
}

void Form2::Command1_Click()
{
    const QString picked = ledger::pickedDateText(MonthView1->selectedDate());
    if (yflag != 0) {
        if (xflag == -1)
            m_main->form6()->day1(picked);
        else
            m_main->form6()->day2(picked);
    } else if (xflag == -1) {
        m_main->days(picked);
    } else {
        m_main->form4()->days(picked);
    }
    hide();
    xflag = 0;
    yflag = 0;
}

void Form2::Command2_Click()
{
    m_main->setx(0);
    hide();
    xflag = 0;
    yflag = 0;
}

void Form2::closeEvent(QCloseEvent *event)
{
    // The receiver flags must not outlive this opening, or the next date picked for the find
    // dialog would go to the statistics window.
    Command2_Click();
    event->accept();
}
