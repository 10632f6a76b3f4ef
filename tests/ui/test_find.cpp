// The find dialog and the find query, driven through the dialog's handlers.
#include "about/form7.h"
#include "ledger/dates.h"
#include "mainwin/form2.h"
#include "mainwin/ui_app.h"
#include "query/form4.h"
#include "query_support.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace {

// Two categories, their products and five transactions of 饮料 / 可乐 and 水果 / 苹果.
void addSample(Form1 &w)
{
    addRecord(w, QStringLiteral("1|饮料"));
    addRecord(w, QStringLiteral("1|水果"));
    addRecord(w, QStringLiteral("2|可乐|饮料"));
    addRecord(w, QStringLiteral("2|雪碧|饮料"));
    addRecord(w, QStringLiteral("2|苹果|水果"));
    addRecord(w, QStringLiteral("3|可乐|饮料|10|10|100|06-3-8|1"));
    addRecord(w, QStringLiteral("3|可乐|饮料|10|3|30|2006/3/9|2"), true);
    addRecord(w, QStringLiteral("3|可乐|饮料|2|5|10|06-03-09|3"));
    addRecord(w, QStringLiteral("3|苹果|水果|1|7|7|06-3-10|4"));
    addRecord(w, QStringLiteral("3|可乐|饮料|1|1|1|1999/5/1|5"), true);
}

// The stored transactions whose 交易号码 are listed, in stored order.
std::vector<ledger::Record> withNumbers(Form1 &w, const QStringList &numbers)
{
    std::vector<ledger::Record> out;
    for (const ledger::Record &r : w.store()->rows())
        if (r.kind == ledger::kTransaction && numbers.contains(r.txno))
            out.push_back(r);
    return out;
}

// Opens the dialog as the main window's "查找" does.
Form4 *open(Form1 &w)
{
    w.Command12_Click();
    Form4 *d = w.form4();
    if (!d->isVisible())
        qWarning("find dialog not shown");
    return d;
}

void allOf(Form4 *d)
{
    d->Check1->setChecked(true);
    d->Check3->setChecked(true);
    d->Check4->setChecked(true);
    d->Check5->setChecked(true);
}

} // namespace

class TestFind : public QObject {
    Q_OBJECT

private slots:
    void layoutAndStartState();
    void activationFillsCategoriesOnceAndRefillsFollowTheMainWindow();
    void dateOptionsNeedADate();
    void dateComesFromThePickerAndLabelKeepsTheFirst();
    void checksAndMessagesInOrder();
    void searchWithoutDateForgetsTheDateMethod();
    void searchListsMatchesWithTheNetAmount();
    void directionsAndNamesDecideTheMatches();
    void emptyLedgerKeepsTheList();
    void dayDetailConditionKeepsTheWelcomeLine();
    void cancelKeepsTheListAndResetsTheStatusLine();
    void analysisOpensTheChooserInsteadOfSearching();
};

void TestFind::layoutAndStartState()
{
    Session s;
    auto &[folder, boxes, w] = s;
    Form4 *d = open(w);
    QCOMPARE(d->windowTitle(), QStringLiteral("查找"));
    QCOMPARE(d->size(), QSize(394, 232)); // 5910 x 3480 twips, 15 to a pixel
    QCOMPARE(d->Frame1->title(), QStringLiteral("方法："));
    QCOMPARE(d->Option3->parentWidget(), d->Frame1);
    QCOMPARE(d->Option3->geometry(), QRect(128, 24, 57, 25));
    QCOMPARE(d->Command2->geometry(), QRect(320, 144, 65, 33));
    QCOMPARE(d->Label3->text(), QStringLiteral("日期方法："));
    QVERIFY(d->Combo1->isEditable());
    for (QCheckBox *c : {d->Check1, d->Check2, d->Check3, d->Check4, d->Check5, d->Check6})
        QVERIFY(!c->isChecked());
    for (QRadioButton *o : {d->Option1, d->Option2, d->Option3})
        QVERIFY(!o->isChecked());
    // The focus chain goes row by row, left to right.
    const QList<QWidget *> order = {d->Check1, d->Combo1, d->Check5, d->Combo2, d->Command1, d->Check4, d->Command3,
                                    d->Check3, d->Check2, d->Option1, d->Option2, d->Option3, d->Command2, d->Check6};
    QWidget *at = d->Check1;
    for (int i = 1; i < order.size(); ++i) {
        at = at->nextInFocusChain();
        while (at->focusPolicy() == Qt::NoFocus || !order.contains(at))
            at = at->nextInFocusChain();
        QCOMPARE(at->objectName(), order[i]->objectName());
    }
    QVERIFY(boxes.seen.isEmpty());
}

void TestFind::activationFillsCategoriesOnceAndRefillsFollowTheMainWindow()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addSample(w);
    addRecord(w, QStringLiteral("1|饮料")); // the same name twice is listed twice

    // A category change in the main window creates the dialog without showing it.
    QVERIFY(!w.hasForm(4));
    w.axd(QString(), 6);
    QVERIFY(w.hasForm(4));
    Form4 *d = w.form4();
    QVERIFY(!d->isVisible());
    QVERIFY(!d->filled);
    QCOMPARE(items(d->Combo1), QStringList({"饮料", "水果", "饮料"}));

    d->datemethod = 3;
    open(w);
    QVERIFY(d->filled);
    QCOMPARE(d->datemethod, 0);
    QCOMPARE(d->Combo1->currentText(), QString());

    // Choosing a category lists its products; the second 饮料 lists the same ones.
    d->Combo1->setCurrentIndex(1);
    QCOMPARE(d->Combo1->currentText(), QStringLiteral("水果"));
    QCOMPARE(items(d->Combo2), QStringList({"苹果"}));
    QCOMPARE(d->Combo2->currentText(), QString());
    d->Combo1->setCurrentIndex(2);
    QCOMPARE(items(d->Combo2), QStringList({"可乐", "雪碧"}));
    // Choosing the entry already chosen reads the products again (emptying a typed text).
    QCoreApplication::processEvents();
    d->Combo2->setEditText(QStringLiteral("typed"));
    emit d->Combo1->activated(2);
    QCOMPARE(d->Combo2->currentText(), QString());
    d->Combo2->setCurrentIndex(0);

    // Reopening does not fill again: a category stored meanwhile is missing, the choice stays.
    addRecord(w, QStringLiteral("1|零食"));
    d->hide();
    open(w);
    QCOMPARE(items(d->Combo1).size(), 3);
    QCOMPARE(d->Combo2->currentText(), QStringLiteral("可乐"));

    // The refill a category change makes empties both boxes.
    w.axd(QString(), 6);
    QCOMPARE(items(d->Combo1), QStringList({"饮料", "水果", "饮料", "零食"}));
    QCOMPARE(d->Combo1->currentText(), QString());
    QVERIFY(items(d->Combo2).isEmpty());
    QCOMPARE(d->Combo2->currentText(), QString());

    // A category without products leaves the product box empty.
    d->Combo1->setCurrentIndex(3);
    QVERIFY(items(d->Combo2).isEmpty());
    QVERIFY(boxes.seen.isEmpty());
}

void TestFind::dateOptionsNeedADate()
{
    Session s;
    auto &[folder, boxes, w] = s;
    Form4 *d = open(w);
    d->Option1->click();
    QCOMPARE(boxes.seen, (QList<QPair<QString, QString>>{{"系统提示：", "请选择日期！"}}));
    QVERIFY(!d->Option1->isChecked());
    QCOMPARE(d->datemethod, 0);
    QCOMPARE(d->Label3->text(), QStringLiteral("日期方法："));

    // With a date, an option is chosen and named; after that a refused click keeps it.
    d->days(QStringLiteral("06-3-9"));
    d->Option3->click();
    QCOMPARE(d->datemethod, 3);
    QCOMPARE(d->Label3->text(), QStringLiteral("日期大于06-3-9的记录"));
    d->Option1->click();
    QCOMPARE(d->Label3->text(), QStringLiteral("日期小于06-3-9的记录"));
    QCOMPARE(d->datemethod, 1);
    QCOMPARE(boxes.seen.size(), 1);
}

void TestFind::dateComesFromThePickerAndLabelKeepsTheFirst()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addSample(w);
    Form4 *d = open(w);

    // A picker left for the statistics window with "取消" still delivers here.
    w.form2()->sety(-1);
    w.form2()->Command2_Click();
    d->Command3_Click();
    Form2 *picker = w.form2();
    QVERIFY(picker->isVisible());
    QCOMPARE(picker->xflag, 0);
    picker->MonthView1->setSelectedDate(QDate(2006, 3, 9));
    picker->Command1_Click();
    QVERIFY(!picker->isVisible());
    QCOMPARE(d->datetext, QStringLiteral("06-3-9"));

    d->Option2->click();
    QCOMPARE(d->Label3->text(), QStringLiteral("日期等于06-3-9的记录"));

    d->Command3_Click();
    picker->MonthView1->setSelectedDate(QDate(2006, 3, 8));
    picker->Command1_Click();
    QCOMPARE(d->datetext, QStringLiteral("06-3-8"));
    QCOMPARE(d->Label3->text(), QStringLiteral("日期等于06-3-9的记录"));

    allOf(d);
    d->Check2->setChecked(true);
    d->Command1_Click();
    QVERIFY(!d->isVisible());
    QCOMPARE(lines(w.List3), linesOf(w, withNumbers(w, {"1"})));
    QVERIFY(boxes.seen.isEmpty());
}

void TestFind::checksAndMessagesInOrder()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addSample(w);
    Form4 *d = open(w);
    w.List3->addItem(QStringLiteral("earlier line"));
    const auto tip = [](const char *text) { return QPair<QString, QString>(QStringLiteral("系统提示："), QString::fromUtf8(text)); };

    d->Command1_Click();
    QCOMPARE(boxes.seen, (QList<QPair<QString, QString>>{tip("请选择类！")}));
    QVERIFY(d->isVisible());

    boxes.clear();
    d->Combo1->setEditText(QStringLiteral("饮料"));
    d->Command1_Click();
    QCOMPARE(boxes.seen, (QList<QPair<QString, QString>>{tip("请选择商品名！")}));

    boxes.clear();
    d->Combo2->setEditText(QStringLiteral("可乐"));
    d->Check2->setChecked(true);
    d->Command1_Click();
    QCOMPARE(boxes.seen, (QList<QPair<QString, QString>>{tip("请选择日期！")}));

    boxes.clear();
    d->days(QStringLiteral("06-3-9"));
    d->Command1_Click();
    QCOMPARE(boxes.seen, (QList<QPair<QString, QString>>{tip("请选择日期方法！")}));
    QVERIFY(d->isVisible());
    QCOMPARE(lines(w.List3), QStringList({"earlier line"}));

    // "所有类" and "所有商品名" make the empty texts acceptable.
    boxes.clear();
    d->Combo1->setEditText(QString());
    d->Combo2->setEditText(QString());
    d->Check2->setChecked(false);
    allOf(d);
    d->Command1_Click();
    QVERIFY(boxes.seen.isEmpty());
    QVERIFY(!d->isVisible());
    QCOMPARE(w.List3->count(), 5);
}

void TestFind::searchWithoutDateForgetsTheDateMethod()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addSample(w);
    Form4 *d = open(w);
    allOf(d);
    d->days(QStringLiteral("06-3-9"));
    d->Option3->click();
    QCOMPARE(d->datemethod, 3);
    d->Command1_Click();
    QCOMPARE(d->datemethod, 0);
    QVERIFY(d->Option3->isChecked());
    QCOMPARE(w.List3->count(), 5);

    open(w);
    d->Check2->setChecked(true);
    d->Command1_Click();
    QCOMPARE(boxes.texts(), QStringList({"请选择日期方法！"}));

    // Choosing the option again searches after 06-3-9 (1999 counts as after 2006).
    d->Option1->click();
    d->Option3->click();
    d->Command1_Click();
    QCOMPARE(lines(w.List3), linesOf(w, withNumbers(w, {"4", "5"})));
}

void TestFind::searchListsMatchesWithTheNetAmount()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addSample(w);
    Form4 *d = open(w);
    d->Combo1->setCurrentIndex(0);
    d->Combo2->setCurrentIndex(0);
    QCOMPARE(d->Combo2->currentText(), QStringLiteral("可乐"));
    d->Check3->setChecked(true);
    d->Check4->setChecked(true);
    d->Check2->setChecked(true);
    d->days(QStringLiteral("06-3-9"));
    d->Option2->click();
    d->Command1_Click();
    QVERIFY(!d->isVisible());

    // Stored as 2006/3/9 and as 06-03-09: a stock-out of 30 and a stock-in of 10.
    const std::vector<ledger::Record> expected = withNumbers(w, {"2", "3"});
    QCOMPARE(lines(w.List3), linesOf(w, expected));
    for (int i = 0; i < w.List3->count(); ++i)
        QVERIFY(w.lineRecord(i).sameContent(expected[static_cast<size_t>(i)]));
    QVERIFY(w.lineRecord(0).id == expected[0].id);
    QCOMPARE(w.Label5->text(), QStringLiteral("         积压总金额：-20元"));

    // Without a date: 100 in, 30 and 1 out.
    open(w);
    d->Check2->setChecked(false);
    d->Command1_Click();
    QCOMPARE(lines(w.List3), linesOf(w, withNumbers(w, {"1", "2", "3", "5"})));
    QCOMPARE(w.Label5->text(), QStringLiteral("         积压总金额：79元"));
    // The main window's activation keeps the net amount on the status line.
    w.axd(QString(), 2);
    QCOMPARE(w.Label5->text(), QStringLiteral("         积压总金额：79元"));
    QCOMPARE(w.runtotal, 79.0);
    QVERIFY(boxes.seen.isEmpty());
}

void TestFind::directionsAndNamesDecideTheMatches()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addRecord(w, QStringLiteral("1|饮料"));
    addRecord(w, QStringLiteral("2|可乐|饮料"));
    addRecord(w, QStringLiteral("3|可乐|饮料|10|3|30|06-3-9|1"), true);
    addRecord(w, QStringLiteral("3|可乐|饮料|10|10|100|06-3-9|2"));
    Form4 *d = open(w);
    d->Check1->setChecked(true);
    d->Check5->setChecked(true);

    // Neither direction: the list is emptied, nothing matches.
    w.List3->addItem(QStringLiteral("earlier line"));
    d->Command1_Click();
    QCOMPARE(w.List3->count(), 0);
    QCOMPARE(w.Label5->text(), kWelcome);

    open(w);
    d->Check4->setChecked(true);
    d->Command1_Click();
    QCOMPARE(lines(w.List3), linesOf(w, withNumbers(w, {"2"})));
    QCOMPARE(w.Label5->text(), QStringLiteral("         积压总金额：100元"));

    open(w);
    d->Check3->setChecked(true);
    d->Command1_Click();
    QCOMPARE(w.List3->count(), 2);
    QCOMPARE(w.Label5->text(), QStringLiteral("         积压总金额：70元"));

    open(w);
    d->Check4->setChecked(false);
    d->Command1_Click();
    QCOMPARE(lines(w.List3), linesOf(w, withNumbers(w, {"1"})));
    QCOMPARE(w.Label5->text(), QStringLiteral("         积压总金额：-30元"));

    // Names are sent as typed; one that exists nowhere finds nothing.
    open(w);
    d->Check5->setChecked(false);
    d->Combo1->setEditText(QStringLiteral("无此类"));
    d->Command1_Click();
    QCOMPARE(w.List3->count(), 0);
    QCOMPARE(w.Label5->text(), kWelcome);
    QVERIFY(boxes.seen.isEmpty());
}

void TestFind::emptyLedgerKeepsTheList()
{
    Session s;
    auto &[folder, boxes, w] = s;
    Form4 *d = open(w);
    QCOMPARE(d->Combo1->count(), 0);
    QCOMPARE(d->Combo2->count(), 0);
    allOf(d);
    w.List3->addItem(QStringLiteral("earlier line"));
    w.statusmode = Form1::StatusFindAmount;
    w.runtotal = 5;
    d->Command1_Click();
    QCOMPARE(lines(w.List3), QStringList({"earlier line"}));
    QCOMPARE(w.runtotal, 0.0);
    QCOMPARE(w.Label5->text(), kWelcome);
    QVERIFY(boxes.seen.isEmpty());
}

void TestFind::dayDetailConditionKeepsTheWelcomeLine()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addSample(w);
    // The statistics window's day detail hands over its options with the request.
    const Form1::Given every{ledger::kEveryTransaction, {}};
    QVERIFY(!w.form4()->isVisible());
    w.axd(QStringLiteral("||06-3-9|6"), 8, every);
    QCOMPARE(lines(w.List3), linesOf(w, withNumbers(w, {"2", "3"})));
    QCOMPARE(w.statusmode, Form1::StatusWelcome);
    QCOMPARE(w.Label5->text(), kWelcome);
    // Any other number finds nothing.
    w.axd(QStringLiteral("||06-3-9|4"), 8, every);
    QCOMPARE(w.List3->count(), 0);
}

void TestFind::cancelKeepsTheListAndResetsTheStatusLine()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addSample(w);
    Form4 *d = open(w);
    allOf(d);
    d->Command1_Click();
    QCOMPARE(w.Label5->text(), QStringLiteral("         积压总金额：86元"));
    const QStringList found = lines(w.List3);

    open(w);
    d->Command2_Click();
    QVERIFY(!d->isVisible());
    QCOMPARE(w.statusmode, Form1::StatusWelcome);
    QCOMPARE(lines(w.List3), found);
    w.axd(QString(), 2);
    QCOMPARE(w.Label5->text(), kWelcome);
    // The dialog keeps its choices for the next opening.
    open(w);
    QVERIFY(d->Check1->isChecked() && d->Check3->isChecked() && d->Check4->isChecked() && d->Check5->isChecked());
    QVERIFY(boxes.seen.isEmpty());
}

void TestFind::analysisOpensTheChooserInsteadOfSearching()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addSample(w);
    Form4 *d = open(w);
    w.List3->addItem(QStringLiteral("earlier line"));
    d->Check6->setChecked(true);
    const QList<QWidget *> search = {d->Check1, d->Check2, d->Check3, d->Check4, d->Check5,
                                     d->Option1, d->Option2, d->Option3, d->Combo1, d->Combo2};
    for (QWidget *c : search)
        QVERIFY(!c->isEnabled());
    QVERIFY(d->Command1->isEnabled() && d->Command2->isEnabled() && d->Command3->isEnabled());

    d->Command1_Click();
    QVERIFY(w.hasForm(7));
    QVERIFY(w.form7()->isVisible());
    QVERIFY(!d->isVisible());
    QCOMPARE(lines(w.List3), QStringList({"earlier line"}));
    QVERIFY(boxes.seen.isEmpty());

    open(w);
    QVERIFY(!d->Check6->isChecked());
    for (QWidget *c : search)
        QVERIFY(c->isEnabled());

    // The box's tooltip tells the way in and names every analysis the chooser offers.
    const QString tip = d->Check6->toolTip();
    QVERIFY2(tip.contains(QStringLiteral("“确定”")), qPrintable(tip));
    const QList<QRadioButton *> choices = w.form7()->findChildren<QRadioButton *>();
    QVERIFY(choices.size() >= 4);
    for (const QRadioButton *choice : choices)
        QVERIFY2(tip.contains(choice->text()), qPrintable(choice->text()));
}

QTEST_MAIN(TestFind)
#include "test_find.moc"
