// The keyboard: Esc closes every secondary window as its "取消" does, Enter runs a dialog's
// default button (or the focused one), a day of the date picker is picked with a double click,
// and Tab goes row by row.
#include "ledger/dates.h"
#include "support_main.h"
#include "support_windows.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QTableView>
#include <QtTest>

namespace {

// The named control the focus is in (a combo box's text part counts as the combo box).
QString focusName()
{
    for (QWidget *w = QApplication::focusWidget(); w; w = w->parentWidget())
        if (!w->objectName().isEmpty() && !w->objectName().startsWith(QStringLiteral("qt_")))
            return w->objectName();
    return QString();
}

QWidget *child(QWidget *window, const QString &name) { return window->findChild<QWidget *>(name); }

} // namespace

class TestKeys : public QObject {
    Q_OBJECT

private slots:
    void escapeClosesLikeCancel_data();
    void escapeClosesLikeCancel();
    void enterRunsTheDefaultButton_data();
    void enterRunsTheDefaultButton();
    void doubleClickPicksTheDay();
    void tabGoesRowByRow_data();
    void tabGoesRowByRow();
    void priceQuantityEnterAddsTheTransaction();
};

void TestKeys::escapeClosesLikeCancel_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<bool>("resetsStatus"); // its "取消" (or "确定" of the about box) resets the status line
    for (const QString &name : kSecondaryWindows)
        QTest::newRow(qPrintable(name)) << name
                                        << QStringList{QStringLiteral("Form2"), QStringLiteral("Form3"),
                                                       QStringLiteral("Form4"), QStringLiteral("Form5")}
                                               .contains(name);
}

void TestKeys::escapeClosesLikeCancel()
{
    QFETCH(QString, window);
    QFETCH(bool, resetsStatus);
    Session s;
    auto &[folder, boxes, w] = s;
    QWidget *shown = openWindow(w, window);
    QVERIFY(QTest::qWaitForWindowActive(shown));
    w.statusmode = Form1::StatusFindAmount;
    QTest::keyClick(shown->focusWidget() ? shown->focusWidget() : shown, Qt::Key_Escape);
    QVERIFY(!shown->isVisible());
    QCOMPARE(w.statusmode == Form1::StatusWelcome, resetsStatus);
    QVERIFY(w.isVisible());
    QVERIFY(boxes.seen.isEmpty());
}

void TestKeys::enterRunsTheDefaultButton_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("focus");   // the control Enter is pressed in
    QTest::addColumn<QStringList>("said"); // the messages that follow
    QTest::addColumn<bool>("stays");       // the window is still open
    QTest::newRow("find, category box") << QStringLiteral("Form4") << QStringLiteral("Combo1") << QStringList{"请选择类！"} << true;
    QTest::newRow("find, check box") << QStringLiteral("Form4") << QStringLiteral("Check2") << QStringList{"请选择类！"} << true;
    QTest::newRow("find, focused 取消") << QStringLiteral("Form4") << QStringLiteral("Command2") << QStringList{} << false;
    QTest::newRow("calculation, product box") << QStringLiteral("Form5") << QStringLiteral("Combo2") << QStringList{"请选择类！"} << true;
    QTest::newRow("calculation, option") << QStringLiteral("Form5") << QStringLiteral("Option3") << QStringList{"请选择类！"} << true;
    QTest::newRow("date picker, calendar") << QStringLiteral("Form2") << QStringLiteral("MonthView1") << QStringList{} << false;
    QTest::newRow("chooser") << QStringLiteral("Form7") << QStringLiteral("Option1") << QStringList{} << false;
    QTest::newRow("about") << QStringLiteral("Form3") << QStringLiteral("Command1") << QStringList{} << false;
}

void TestKeys::enterRunsTheDefaultButton()
{
    QFETCH(QString, window);
    QFETCH(QString, focus);
    QFETCH(QStringList, said);
    QFETCH(bool, stays);
    Session s;
    auto &[folder, boxes, w] = s;
    QWidget *shown = openWindow(w, window);
    QVERIFY(QTest::qWaitForWindowActive(shown));
    QWidget *control = child(shown, focus);
    QVERIFY(control);
    control->setFocus();
    QTRY_COMPARE(focusName(), focus);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(boxes.texts(), said);
    QCOMPARE(shown->isVisible(), stays);
    if (window == QStringLiteral("Form2")) // the day chosen went to the find dialog, opened without flags
        QCOMPARE(w.form4()->datetext, ledger::pickedDateText(w.form2()->MonthView1->selectedDate()));
    if (window == QStringLiteral("Form7")) // the daily statistics
        QVERIFY(w.hasForm(6) && w.form6()->isVisible());
}

void TestKeys::doubleClickPicksTheDay()
{
    Session s;
    auto &[folder, boxes, w] = s;
    w.Command5->click();
    Form2 *picker = w.form2();
    QVERIFY(QTest::qWaitForWindowActive(picker));
    const QDate day(2027, 3, 5);
    picker->MonthView1->setSelectedDate(day);
    auto *days = picker->MonthView1->findChild<QTableView *>();
    QVERIFY(days);
    const QPoint at = days->visualRect(days->currentIndex()).center();
    QTest::mouseClick(days->viewport(), Qt::LeftButton, {}, at);
    QVERIFY(picker->isVisible()); // one click only chooses
    QTest::mouseDClick(days->viewport(), Qt::LeftButton, {}, at);
    QVERIFY(!picker->isVisible());
    QCOMPARE(w.pickdate, QStringLiteral("27-3-5"));
}

void TestKeys::tabGoesRowByRow_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QStringList>("order"); // Tab visits one option button of a group
    QTest::newRow("main window") << QStringLiteral("Form1")
                                 << QStringList{"List1",    "List2",    "List3",    "Text1",     "Text2",     "Option1",
                                                "Text4",    "Text5",    "Command8", "Text6",     "Command5",  "Check1",
                                                "Check2",   "Command1", "Command2", "Command3",  "Command4",  "Command6",
                                                "Command7", "Command9", "Command11", "Command12", "Command13", "List1"};
    QTest::newRow("find") << QStringLiteral("Form4")
                          << QStringList{"Check1", "Combo1", "Check5", "Combo2", "Command1", "Check4", "Command3",
                                         "Check3", "Check2", "Option1", "Command2", "Check6", "Check1"};
    QTest::newRow("calculation") << QStringLiteral("Form5")
                                 << QStringList{"Combo1", "Command1", "Combo2", "Command2", "Option1", "Combo1"};
    QTest::newRow("chooser") << QStringLiteral("Form7") << QStringList{"Option1", "Command1", "Command2", "Option1"};
}

void TestKeys::tabGoesRowByRow()
{
    QFETCH(QString, window);
    QFETCH(QStringList, order);
    Session s;
    auto &[folder, boxes, w] = s;
    QWidget *shown = openWindow(w, window);
    QVERIFY(QTest::qWaitForWindowActive(shown));
    child(shown, order.constFirst())->setFocus();
    QStringList visited{focusName()};
    while (visited.size() < order.size()) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << focusName();
    }
    QCOMPARE(visited, order);
}

void TestKeys::priceQuantityEnterAddsTheTransaction()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addChosenProduct(w, QStringLiteral("c"), QStringLiteral("p"));
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.Text4->setFocus();
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("2.5"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("4"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(boxes.seen.isEmpty());
    QCOMPARE(countKind(w, ledger::kTransaction), 1);
    QCOMPARE(stored(w).back().total, QStringLiteral("10"));
    QVERIFY(w.Text4->text().isEmpty() && w.Text5->text().isEmpty());
}

QTEST_MAIN(TestKeys)
#include "test_keys.moc"
