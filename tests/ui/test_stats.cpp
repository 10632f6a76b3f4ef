// The daily statistics window: period choices, the run, the progress bar, the feedback line
// and the day detail, driven through the handlers a user would press.
#include "ledger/dates.h"
#include "mainwin/form1.h"
#include "mainwin/form2.h"
#include "query/form4.h"
#include "stats/form6.h"
#include "support_main.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QRadioButton>
#include <QtTest>

#include <algorithm>

namespace {

const QString kIn = QStringLiteral("进货");

void addTx(Form1 &w, const QString &date, const QString &total, bool stockIn)
{
    (stockIn ? w.Option1 : w.Option2)->setChecked(true);
    w.axd(QStringLiteral("3|苹果|水果|1|1|%1|%2|1").arg(total, date), 0);
}

void addBasics(Form1 &w)
{
    w.axd(QStringLiteral("1|水果"), 0);
    w.axd(QStringLiteral("2|苹果|水果"), 0);
}

QString feedback(Form6 *f) { return f->Label2->text().trimmed(); }

qsizetype leadingSpaces(const QString &s)
{
    qsizetype n = 0;
    while (n < s.size() && s.at(n) == u' ')
        ++n;
    return n;
}

// What the window showed while a message box was open.
struct AtMessage {
    int bar = -1;
    QString start, feedback;
};

} // namespace

class TestStats : public QObject {
    Q_OBJECT

private slots:
    void periodChoicesFillTheDateLabels();
    void monthWithoutTransactions();
    void emptyLedger();
    void userRangeUsesTheDatePicker();
    void runListsOneLinePerDay();
    void runNeedsBothDates();
    void runMatchesTheLedgerLogic();
    void progressSteps();
    void feedbackLine();
    void feedbackShowsWholeOnOneLine();
    void dayDetailUsesTheFindOptions();
    void dayDetailOfDatesEndingInSpaces();
};

void TestStats::periodChoicesFillTheDateLabels()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addBasics(w);
    const QDate today = QDate::currentDate();
    const QDate lastYear = today.addYears(-1);
    addTx(w, ledger::pickedDateText(today), QStringLiteral("5"), true);
    addTx(w, ledger::pickedDateText(lastYear), QStringLiteral("7"), false);
    addTx(w, ledger::currentDateText(today.addDays(-today.day() + 1)), QStringLiteral("1"), true);
    Form6 *f = w.form6();
    f->show();

    QCOMPARE(f->Combo1->count(), 4);
    QCOMPARE(f->Combo1->itemText(0), QStringLiteral("    全部记录统计"));
    QCOMPARE(f->Combo1->itemText(3), QStringLiteral("  按照用户选范围统计"));
    QCOMPARE(f->Combo1->currentIndex(), -1);

    f->Combo1->setCurrentIndex(0);
    QCOMPARE(f->Label3->text(), ledger::pickedDateText(lastYear));
    QCOMPARE(f->Label4->text(), ledger::pickedDateText(today));
    QCOMPARE(f->ProgressBar1->value(), 100);
    QCOMPARE(feedback(f), QStringLiteral("任务完成"));
    QVERIFY(!f->busy);
    QVERIFY(!w.rangebusy);

    f->Combo1->setCurrentIndex(1);
    QCOMPARE(f->Label3->text(), ledger::currentDateText(today.addDays(-today.day() + 1)));
    QCOMPARE(f->Label4->text(), ledger::pickedDateText(today));

    // A stale label is replaced when the same period is asked for again.
    f->Combo1->setCurrentIndex(2);
    f->day1(QStringLiteral("x"));
    f->Combo1->showPopup();
    QTest::keyClick(f->Combo1->view(), Qt::Key_Return);
    QCOMPARE(f->Combo1->currentIndex(), 2);
    QCOMPARE(f->Label3->text(), ledger::currentDateText(today.addDays(-today.day() + 1)));
    QVERIFY(boxes.seen.isEmpty());
}

void TestStats::monthWithoutTransactions()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addBasics(w);
    addTx(w, ledger::pickedDateText(QDate::currentDate().addMonths(-1)), QStringLiteral("5"), true);
    Form6 *f = w.form6();
    f->show();
    f->day1(QStringLiteral("26-1-1"));
    f->day2(QStringLiteral("26-1-2"));
    QTest::qWait(20); // let the windows settle: Form6 is the active one
    const QString status = QStringLiteral("状态");
    w.Label5->setText(status);

    AtMessage at;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        if (!QApplication::activeModalWidget() || at.bar >= 0)
            return;
        at.bar = f->ProgressBar1->value();
        at.feedback = feedback(f);
        // Another period search while this one is still open is turned away.
        QVERIFY(w.rangebusy);
        w.axd(QString(), 101);
        at.start = f->Label3->text();
        w.Label5->setText(status);
    });
    watch.start(1);
    f->Combo1->setCurrentIndex(2);
    watch.stop();

    QCOMPARE(boxes.seen.size(), 1);
    QCOMPARE(boxes.titles().first(), QStringLiteral("系统提示："));
    QCOMPARE(boxes.texts().first(), QStringLiteral("无满足条件记录！"));
    // The bar had completed and the feedback line named the problem before the box; the
    // labels are emptied after it.
    QCOMPARE(at.bar, 100);
    QCOMPARE(at.feedback, QStringLiteral("无满足条件记录！"));
    QCOMPARE(at.start, QStringLiteral("26-1-1"));
    QCOMPARE(f->Label3->text(), QString());
    QCOMPARE(f->Label4->text(), QString());
    QCOMPARE(w.Label5->text(), status);
    QVERIFY(!w.rangebusy);
}

void TestStats::emptyLedger()
{
    Session s;
    auto &[folder, boxes, w] = s;
    Form6 *f = w.form6();
    f->show();
    f->day1(QStringLiteral("03-1-1"));
    f->day2(QStringLiteral("03-1-2"));
    f->Combo1->setCurrentIndex(0);
    f->Command1_Click();
    QCOMPARE(boxes.texts(), (QStringList{QStringLiteral("无记录！"), QStringLiteral("无记录！")}));
    QCOMPARE(boxes.titles(), (QStringList{QStringLiteral("系统提示："), QStringLiteral("系统提示：")}));
    QCOMPARE(f->Label3->text(), QStringLiteral("03-1-1"));
    QCOMPARE(f->ProgressBar1->value(), 0);
    QCOMPARE(f->List1->count(), 0);
}

void TestStats::userRangeUsesTheDatePicker()
{
    Session s;
    auto &[folder, boxes, w] = s;
    Form6 *f = w.form6();
    f->show();
    f->day1(QStringLiteral("03-1-1"));

    // Outside the user range the labels open nothing.
    f->Label3_Click();
    QVERIFY(!w.hasForm(2));

    f->Combo1->setCurrentIndex(3);
    QVERIFY(f->userrange);
    QCOMPARE(f->Label3->text(), QString());
    QCOMPARE(f->Label4->text(), QString());

    QTest::mouseClick(f->Label3, Qt::LeftButton);
    Form2 *picker = w.form2();
    QVERIFY(picker->isVisible());
    picker->MonthView1->setSelectedDate(QDate(2003, 5, 6));
    picker->Command1_Click();
    QCOMPARE(f->Label3->text(), QStringLiteral("03-5-6"));

    QTest::mouseClick(f->Label4, Qt::LeftButton);
    QVERIFY(picker->isVisible());
    picker->MonthView1->setSelectedDate(QDate(2003, 12, 25));
    picker->Command1_Click();
    QCOMPARE(f->Label4->text(), QStringLiteral("03-12-25"));
    QCOMPARE(f->Label3->text(), QStringLiteral("03-5-6"));
    QCOMPARE(w.Text6->text(), ledger::currentDateText()); // the main window's date is untouched
}

void TestStats::runListsOneLinePerDay()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addBasics(w);
    addTx(w, QStringLiteral("03-5-7"), QStringLiteral("100"), false);
    addTx(w, QStringLiteral("03-5-6"), QStringLiteral("1500"), true);
    addTx(w, QStringLiteral("03-4-30"), QStringLiteral("9"), true);
    addTx(w, QStringLiteral("2003/5/6"), QStringLiteral("320.5"), false);
    addTx(w, QStringLiteral("03-5-7"), QStringLiteral("20"), false);
    Form6 *f = w.form6();
    f->show();
    f->Combo1->setCurrentIndex(3);
    f->day1(QStringLiteral("03-5-1"));
    f->day2(QStringLiteral("03-5-31"));
    const QString status = QStringLiteral("状态");
    w.Label5->setText(status);

    const QStringList expected = {
        QStringLiteral("03-5-7    |         0|       120|         1"),
        QStringLiteral("2003/5/6  |      1500|     320.5|         2"),
    };
    for (int run = 0; run < 2; ++run) {
        f->Command1_Click();
        QCOMPARE(lines(f->List1), expected);
        QCOMPARE(f->dayno, 2);
        QCOMPARE(f->ProgressBar1->value(), 100);
        QCOMPARE(feedback(f), QStringLiteral("任务完成"));
        QVERIFY(!f->busy);
    }
    // A completed run leaves the status line alone, also when the list then takes the focus
    // (which makes a line current): only a chosen line lists its day.
    QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(f->List1, &focusIn);
    QCOMPARE(f->List1->currentRow(), 0);
    QVERIFY(f->List1->selectedItems().isEmpty());
    QCOMPARE(w.Label5->text(), status);
    QVERIFY(f->listx(QStringLiteral("03-05-06")));
    QVERIFY(f->listx(QStringLiteral("2003/5/7")));
    QVERIFY(!f->listx(QStringLiteral("03-4-30")));

    // Nothing in the period: no line, and still a completed bar.
    f->day1(QStringLiteral("04-1-1"));
    f->day2(QStringLiteral("04-12-31"));
    f->Command1_Click();
    QCOMPARE(f->List1->count(), 0);
    QCOMPARE(f->ProgressBar1->value(), 100);
    QVERIFY(boxes.seen.isEmpty());
}

void TestStats::runNeedsBothDates()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addBasics(w);
    addTx(w, QStringLiteral("03-5-7"), QStringLiteral("100"), false);
    Form6 *f = w.form6();
    f->show();
    f->Combo1->setCurrentIndex(3);
    f->List1->addItem(QStringLiteral("old"));

    f->day2(QStringLiteral("03-5-31"));
    f->Command1_Click();
    f->day1(QStringLiteral("03-5-1"));
    f->day2(QString());
    f->Command1_Click();
    QCOMPARE(boxes.texts(), (QStringList{QStringLiteral("起始日期填写错！"), QStringLiteral("结束日期填写错！")}));
    QCOMPARE(boxes.titles(), (QStringList{QStringLiteral("系统提示："), QStringLiteral("系统提示：")}));
    QCOMPARE(f->List1->count(), 0);
    QCOMPARE(f->ProgressBar1->value(), 0);
    QCOMPARE(feedback(f), QStringLiteral("正在统计请稍后..."));
}

void TestStats::runMatchesTheLedgerLogic()
{
    // A ledger mixing date forms, both directions and a period across the turn of the century.
    Session s;
    auto &[folder, boxes, w] = s;
    addBasics(w);
    const QString dates[] = {QStringLiteral("99-12-30"), QStringLiteral("1999/12/30"), QStringLiteral("00-1-2"),
                             QStringLiteral("2000/01/02"), QStringLiteral("00-01-03"), QStringLiteral("98-1-1"),
                             QStringLiteral("99-12-31")};
    for (int i = 0; i < 60; ++i)
        addTx(w, dates[(i * 5 + i / 7) % 7], QString::number(i * 1.25), i % 3 != 0);
    Form6 *f = w.form6();
    f->show();
    f->Combo1->setCurrentIndex(0);
    // Latest first: the pair written across the turn of the century.
    QCOMPARE(f->Label3->text(), QStringLiteral("99-12-31"));
    QCOMPARE(f->Label4->text(), QStringLiteral("2000/01/02"));
    f->Command1_Click();
    // Worked out by hand from the sixty records: a start year above 50 turns the period test
    // around, so every date key lies in it; one line per key in the order the keys first occur,
    // with the date text of the key's last record and the sums of its totals by direction.
    const QStringList expected = {
        QStringLiteral("1999/12/30|    376.25|       240|         1"),
        QStringLiteral("98-1-1    |    223.75|     48.75|         2"),
        QStringLiteral("00-1-2    |    483.75|     142.5|         3"),
        QStringLiteral("99-12-31  |    223.75|    123.75|         4"),
        QStringLiteral("00-01-03  |     192.5|     157.5|         5"),
    };
    QCOMPARE(lines(f->List1), expected);
}

void TestStats::progressSteps()
{
    Session s;
    auto &[folder, boxes, w] = s;
    Form6 *f = w.form6();
    QList<int> values;
    connect(f->ProgressBar1, &QProgressBar::valueChanged, this, [&](int v) { values << v; });
    auto range = [](int from, int to) {
        QList<int> out;
        for (int v = from; v <= to; ++v)
            out << v;
        return out;
    };

    // Three steps: 0 -> 33, 33 -> 66 then 1 -> 100, 1 -> 100 again; done after the 2nd and 3rd.
    f->ProgressBar1->setValue(50);
    values.clear();
    f->jdt(3, 0);
    QCOMPARE(values, QList<int>{0});
    values.clear();
    f->jdt(0, 1);
    QCOMPARE(values, range(1, 33));
    QVERIFY(feedback(f) != QStringLiteral("任务完成"));
    values.clear();
    f->jdt(0, 1);
    QCOMPARE(values, range(34, 66) + range(1, 100));
    QCOMPARE(feedback(f), QStringLiteral("任务完成"));
    f->busy = false; // as the window's handler does after its operation
    f->textoutx(QStringLiteral("x"));
    values.clear();
    f->jdt(0, 1);
    QCOMPARE(values, range(1, 100));
    QCOMPARE(feedback(f), QStringLiteral("任务完成"));
    QCOMPARE(leadingSpaces(f->Label2->text()), 33);

    // One step: straight to 100.
    values.clear();
    f->busy = false; // as the window's handler does after its operation
    f->textoutx(QStringLiteral("x"));
    f->jdt(1, 0);
    f->jdt(0, 1);
    QCOMPARE(values, QList<int>{0} + range(1, 99) + range(1, 100));
    QCOMPARE(feedback(f), QStringLiteral("任务完成"));

    // More steps than a 16-bit count holds: starts at 0, moves with the steps, completes.
    const qint64 steps = 100000;
    values.clear();
    f->busy = false; // as the window's handler does after its operation
    f->textoutx(QStringLiteral("x"));
    f->jdt(steps, 0);
    for (qint64 i = 1; i <= steps - 2; ++i) {
        f->jdt(0, 1);
        if (i == steps / 2)
            QCOMPARE(f->ProgressBar1->value(), 50);
    }
    QVERIFY(feedback(f) != QStringLiteral("任务完成"));
    QCOMPARE(values, range(0, 99));
    f->jdt(0, 1);
    QCOMPARE(feedback(f), QStringLiteral("任务完成"));
    f->jdt(0, 1);
    QCOMPARE(f->ProgressBar1->value(), 100);
    QCOMPARE(values, range(0, 99) + range(1, 100) + range(1, 100));

    // Showing the window again puts the bar back to 0.
    f->show();
    QCOMPARE(f->ProgressBar1->value(), 0);
}

void TestStats::feedbackLine()
{
    Session s;
    auto &[folder, boxes, w] = s;
    Form6 *f = w.form6();
    f->show();
    QCOMPARE(f->Label2->text(), QString(31, u' ') + QStringLiteral("系统反馈提示"));

    f->List1_MouseMove();
    QCOMPARE(f->Label2->text(), QString(29, u' ') + QStringLiteral("点击项目显示列表"));
    f->Combo1_DropDown();
    QCOMPARE(feedback(f), QStringLiteral("选择控制方式"));
    f->ProgressBar1_MouseMove();
    QCOMPARE(feedback(f), QStringLiteral("这里表示任务进度"));

    // The date labels' hints need the user range; otherwise the reminder appears.
    const QString reminder = QString(24, u' ') + QStringLiteral(" 请选中按照用户选范围统计");
    QTest::mouseMove(f->Label3); // the pointer over the label
    QCOMPARE(f->Label2->text(), reminder);
    f->Combo1->setCurrentIndex(3);
    f->Label4_MouseMove();
    QCOMPARE(feedback(f), QStringLiteral("单击此处选择结束日期"));
    f->Label3_MouseMove();
    QCOMPARE(feedback(f), QStringLiteral("单击此处选择起始日期"));

    // While an operation runs, hovering shows the current text again; erro gets through.
    f->textoutx(QStringLiteral("正在统计请稍后..."));
    f->busy = true;
    f->List1_MouseMove();
    f->Label2_MouseMove();
    QCOMPARE(feedback(f), QStringLiteral("正在统计请稍后..."));
    f->erro(QStringLiteral("无满足条件记录！"));
    QCOMPARE(feedback(f), QStringLiteral("无满足条件记录！"));
    QVERIFY(f->busy);
    f->busy = false;
    f->Label2_MouseMove();
    QCOMPARE(f->Label2->text(), QString(31, u' ') + QStringLiteral("系统反馈提示"));
}

// Where the feedback line put ink: left, top, right, bottom.
static QRect inkOf(QLabel *label)
{
    const QImage image = label->grab().toImage();
    const int background = qGray(image.pixel(0, 0));
    QRect ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (std::abs(qGray(image.pixel(x, y)) - background) > 60)
                ink |= QRect(x, y, 1, 1);
    return ink;
}

void TestStats::feedbackShowsWholeOnOneLine()
{
    Session s;
    auto &[folder, boxes, w] = s;
    Form6 *f = w.form6();
    f->show();
    QStringList written;
    f->Label3_MouseMove(); // outside the user range: the reminder
    written << f->Label2->text();
    for (const char *text : {"系统反馈提示", "选择控制方式", "正在检索数据库...", "正在统计请稍后...", "任务完成",
                             "无满足条件记录！", "点击项目显示列表", "这里表示任务进度", "单击此处选择起始日期"}) {
        f->textoutx(QString::fromUtf8(text));
        written << f->Label2->text();
    }
    const QFontMetrics metrics(f->Label2->font());
    for (const QString &text : written) {
        f->Label2->setText(text);
        const QRect ink = inkOf(f->Label2);
        const QString what = text.trimmed();
        QVERIFY2(!ink.isEmpty(), qPrintable(what));
        // One line, every character of it, inside the label and about as far from either edge.
        QVERIFY2(ink.height() <= metrics.height(), qPrintable(what));
        QVERIFY2(ink.width() >= metrics.horizontalAdvance(what) - metrics.averageCharWidth() * 2, qPrintable(what));
        QVERIFY2(ink.left() > 0 && ink.right() < f->Label2->width() - 1, qPrintable(what));
        const int leftGap = ink.left(), rightGap = f->Label2->width() - 1 - ink.right();
        // (Within one Chinese character: full-width punctuation inks only the left of its cell.)
        QVERIFY2(std::abs(leftGap - rightGap) <= metrics.horizontalAdvance(u'中'), qPrintable(what));
    }
}

void TestStats::dayDetailUsesTheFindOptions()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addBasics(w);
    addTx(w, QStringLiteral("03-5-6"), QStringLiteral("10"), true);
    addTx(w, QStringLiteral("03-5-7"), QStringLiteral("20"), false);
    Form6 *f = w.form6();
    f->show();
    f->Combo1->setCurrentIndex(0);
    f->Command1_Click();
    QCOMPARE(f->List1->count(), 2);

    // The find dialog's four options.
    const QList<QCheckBox *> checks = {w.form4()->Check1, w.form4()->Check5, w.form4()->Check4, w.form4()->Check3};
    QStringList changes;
    for (QCheckBox *c : checks)
        connect(c, &QCheckBox::toggled, this, [&changes, c](bool on) {
            changes << c->objectName() + (on ? u'+' : u'-');
        });
    w.statusmode = Form1::StatusFindAmount;
    w.Label5->setText(QStringLiteral("状态"));

    f->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f));
    f->List1->setCurrentRow(1);
    // The lines are in the main window, which comes forward to show them.
    QTRY_COMPARE(QApplication::activeWindow(), &w);
    QCOMPARE(changes, (QStringList{QStringLiteral("Check1+"), QStringLiteral("Check5+"), QStringLiteral("Check4+"),
                                   QStringLiteral("Check3+"), QStringLiteral("Check1-"), QStringLiteral("Check5-"),
                                   QStringLiteral("Check4-"), QStringLiteral("Check3-")}));
    QVERIFY(!w.form4()->isVisible());
    // The second line is the second day, 03-5-7: its one stock-out, found with any category, any
    // product and both directions.
    const std::vector<ledger::Record> rows = w.store()->rows();
    QCOMPARE(rows[3].date, QStringLiteral("03-5-7"));
    QCOMPARE(lines(w.List3), QStringList{w.jkg(ledger::recordText(rows[3]), 0)});
    // The query ran through the dispatcher, whose trailer wrote the welcome line.
    QCOMPARE(w.Label5->text(), kWelcome);
}

void TestStats::dayDetailOfDatesEndingInSpaces()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addBasics(w);
    const QStringList dates = {QStringLiteral("前天 "), QStringLiteral("昨天"), QStringLiteral("昨天 ")};
    for (const QString &d : dates)
        addTx(w, d, QStringLiteral("10"), true);
    Form6 *f = w.form6();
    f->show();
    f->Combo1->setCurrentIndex(0);
    f->Command1_Click();
    QCOMPARE(f->List1->count(), 3);
    // Each day line lists the one record of its date, as stored.
    for (int row = 0; row < 3; ++row) {
        f->List1->setCurrentRow(row);
        const std::vector<ledger::Record> rows = w.store()->rows();
        const auto it = std::find_if(rows.begin(), rows.end(), [&](const ledger::Record &r) { return r.date == dates[row]; });
        QVERIFY(it != rows.end());
        QCOMPARE(lines(w.List3), QStringList{w.jkg(ledger::recordText(*it), 0)});
    }
    QVERIFY(boxes.seen.isEmpty());
}

QTEST_MAIN(TestStats)
#include "test_stats.moc"
