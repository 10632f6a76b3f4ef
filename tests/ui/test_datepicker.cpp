// The date picker and the three windows it delivers to.
#include "ledger/dates.h"
#include "mainwin/form2.h"
#include "query/form4.h"
#include "stats/form6.h"
#include "support_main.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QLabel>
#include <QEnterEvent>

using namespace ledger;

class TestDatePicker : public QObject {
    Q_OBJECT

private slots:
    void mainWindowReceivesPickedDate();
    void startsTodayKeepsChosenDay();
    void findAndStatisticsReceivers();
    void cancelDeliversNothing();
    void lastOpenerReceives();
    void closingIsCancel_data();
    void closingIsCancel();
    void pointerOverButtonFocusesIt();
};

void TestDatePicker::mainWindowReceivesPickedDate()
{
    Session s;
    auto &[folder, boxes, w] = s;
    w.List3->addItem(QStringLiteral("a line"));
    w.Command5_Click();
    Form2 *f = w.form2();
    QVERIFY(f->isVisible());
    QCOMPARE(f->windowTitle(), QStringLiteral("时间"));
    QCOMPARE(f->xflag, -1);
    f->MonthView1->setSelectedDate(QDate(2027, 3, 5));
    f->Command1_Click();
    QVERIFY(!f->isVisible());
    QCOMPARE(f->xflag, 0);
    QCOMPARE(f->yflag, 0);
    QCOMPARE(w.pickdate, QStringLiteral("27-3-5"));
    QCOMPARE(w.List3->count(), 0);
    // The auto date stays in the box until the box is unticked.
    QCOMPARE(w.Text6->text(), currentDateText());
    w.Check1->setChecked(false);
    QCOMPARE(w.Text6->text(), QStringLiteral("27-3-5"));

    w.Command5_Click();
    f->MonthView1->setSelectedDate(QDate(2026, 12, 25));
    f->Command1_Click();
    QCOMPARE(w.Text6->text(), QStringLiteral("26-12-25"));
    w.Check1->setChecked(true);
    QCOMPARE(w.Text6->text(), currentDateText());
    QVERIFY(boxes.seen.isEmpty());
}

void TestDatePicker::startsTodayKeepsChosenDay()
{
    Session s;
    auto &[folder, boxes, w] = s;
    w.Command5_Click();
    Form2 *f = w.form2();
    QCOMPARE(f->MonthView1->selectedDate(), QDate::currentDate());
    f->MonthView1->setSelectedDate(QDate(2003, 5, 6));
    f->Command1_Click();
    QCOMPARE(w.pickdate, QStringLiteral("03-5-6"));
    w.Command5_Click();
    QCOMPARE(w.form2(), f);
    QCOMPARE(f->MonthView1->selectedDate(), QDate(2003, 5, 6));
    f->Command2_Click();
    w.Command5_Click();
    QCOMPARE(f->MonthView1->selectedDate(), QDate(2003, 5, 6));
}

void TestDatePicker::findAndStatisticsReceivers()
{
    Session s;
    auto &[folder, boxes, w] = s;
    w.List3->addItem(QStringLiteral("a line"));
    Form2 *f = w.form2();

    // The find dialog's opener.
    f->setx(0);
    f->show();
    f->Command1_Click();
    QVERIFY(w.hasForm(4));
    QVERIFY(!w.hasForm(6));

    // The statistics window's start and end dates.
    for (int x : {-1, 0}) {
        f->sety(-1);
        f->setx(x);
        f->show();
        f->Command1_Click();
        QVERIFY(w.hasForm(6));
        QCOMPARE(f->xflag, 0);
        QCOMPARE(f->yflag, 0);
        QVERIFY(!f->isVisible());
    }
    // None of them went to the main window.
    QVERIFY(w.pickdate.isEmpty());
    QCOMPARE(w.List3->count(), 1);
}

void TestDatePicker::cancelDeliversNothing()
{
    Session s;
    auto &[folder, boxes, w] = s;
    w.List3->addItem(QStringLiteral("a line"));
    const QString text6 = w.Text6->text();
    w.statusmode = Form1::StatusFindAmount;
    w.runtotal = 12;
    Form2 *f = w.form2();
    f->sety(-1);
    f->setx(-1);
    f->show();
    f->MonthView1->setSelectedDate(QDate(2027, 3, 5));
    f->Command2_Click();
    QVERIFY(!f->isVisible());
    QCOMPARE(f->xflag, 0);
    QCOMPARE(f->yflag, 0);
    QCOMPARE(w.statusmode, Form1::StatusWelcome);
    QVERIFY(!w.hasForm(6));
    QVERIFY(w.pickdate.isEmpty());
    QCOMPARE(w.Text6->text(), text6);
    QCOMPARE(w.List3->count(), 1);
    // The next status rewrite shows the welcome line, not the stock value.
    w.axd(QString(), 2);
    QCOMPARE(w.Label5->text(), kWelcome);

    // The flags were cleared: an opening from the find dialog now reaches the find dialog.
    f->setx(0);
    f->show();
    f->Command1_Click();
    QVERIFY(w.hasForm(4));
    QVERIFY(!w.hasForm(6));
}

void TestDatePicker::lastOpenerReceives()
{
    Session s;
    auto &[folder, boxes, w] = s;
    Form6 *stats = w.form6();
    stats->show();
    stats->Combo1->setCurrentIndex(3); // the user's own range: the date labels open the picker
    Form2 *f = w.form2();
    // Opened for the statistics window's end date and left open, then opened from elsewhere.
    const std::pair<const char *, std::function<void()>> openers[] = {
        {"find dialog", [&w] { w.form4()->Command3_Click(); }},
        {"main window", [&w] { w.Command5_Click(); }},
    };
    for (const auto &[name, open] : openers) {
        stats->Label4_Click();
        QVERIFY(f->isVisible());
        open();
        f->MonthView1->setSelectedDate(QDate(2027, 3, 5));
        f->Command1_Click();
        QVERIFY2(stats->Label4->text().isEmpty(), name);
    }
    QCOMPARE(w.form4()->datetext, QStringLiteral("27-3-5"));
    QCOMPARE(w.pickdate, QStringLiteral("27-3-5"));
    QVERIFY(boxes.seen.isEmpty());
}

void TestDatePicker::closingIsCancel_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("title bar") << false;
    QTest::newRow("Escape") << true;
}

void TestDatePicker::closingIsCancel()
{
    QFETCH(bool, escape);
    Session s;
    auto &[folder, boxes, w] = s;
    // Opened for the statistics window's start date, then closed without "确定".
    Form2 *f = w.form2();
    f->sety(-1);
    f->setx(-1);
    f->show();
    if (escape)
        QTest::keyClick(f->MonthView1, Qt::Key_Escape);
    else
        f->close();
    QVERIFY(!f->isVisible());
    QCOMPARE(f->xflag, 0);
    QCOMPARE(f->yflag, 0);

    // A date picked next for the find dialog goes there.
    f->setx(0);
    f->show();
    f->MonthView1->setSelectedDate(QDate(2027, 3, 5));
    f->Command1_Click();
    QVERIFY(!w.hasForm(6));
    QCOMPARE(w.form4()->datetext, QStringLiteral("27-3-5"));
}

void TestDatePicker::pointerOverButtonFocusesIt()
{
    Session s;
    auto &[folder, boxes, w] = s;
    w.Command5_Click();
    Form2 *f = w.form2();
    f->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f));
    // The pointer entering a button.
    auto enter = [](QWidget *b) {
        QEnterEvent e(QPointF(2, 2), QPointF(2, 2), b->mapToGlobal(QPointF(2, 2)));
        QApplication::sendEvent(b, &e);
    };
    enter(f->Command2);
    QTRY_VERIFY(f->Command2->hasFocus());
    enter(f->Command1);
    QTRY_VERIFY(f->Command1->hasFocus());
}

QTEST_MAIN(TestDatePicker)
#include "test_datepicker.moc"
