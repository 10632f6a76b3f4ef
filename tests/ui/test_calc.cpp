// The calculation dialog and the calculations it asks for.
#include "ledger/dates.h"
#include "mainwin/ui_app.h"
#include "query/form5.h"
#include "query_support.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace {

using Box = QPair<QString, QString>;

Box result(const char *text) { return {QStringLiteral("计算结果："), QString::fromUtf8(text)}; }
Box tip(const char *text) { return {QStringLiteral("系统提示："), QString::fromUtf8(text)}; }

Form5 *open(Form1 &w)
{
    w.Command11_Click();
    return w.form5();
}

// 饮料 / 可乐: a stock-in of 10 for 50 and a stock-out of 4 for 32 this month, and a
// stock-out of 3 for 24 in the month before.
void addSample(Form1 &w)
{
    const QString today = ledger::currentDateText();
    const QString earlier = ledger::pickedDateText(QDate::currentDate().addMonths(-1));
    addRecord(w, QStringLiteral("1|饮料"));
    addRecord(w, QStringLiteral("1|水果"));
    addRecord(w, QStringLiteral("2|可乐|饮料"));
    addRecord(w, QStringLiteral("2|雪碧|饮料"));
    addRecord(w, QStringLiteral("3|可乐|饮料|5|10|50|%1|1").arg(today));
    addRecord(w, QStringLiteral("3|可乐|饮料|8|4|32|%1|2").arg(today), true);
    addRecord(w, QStringLiteral("3|可乐|饮料|8|3|24|%1|3").arg(earlier), true);
    addRecord(w, QStringLiteral("3|雪碧|饮料|2|6|12|%1|4").arg(today));
}

// Chooses 饮料 / 可乐 from the lists and runs the calculation of one option button.
QList<Box> run(Form1 &w, Boxes &boxes, QRadioButton *option)
{
    boxes.clear();
    Form5 *d = open(w);
    d->Combo1->setCurrentIndex(0);
    d->Combo2->setCurrentIndex(0);
    option->click();
    d->Command1_Click();
    return boxes.seen;
}

} // namespace

class TestCalc : public QObject {
    Q_OBJECT

private slots:
    void layoutAndStartState();
    void activationFillsOnceAndRefillsFollowTheMainWindow();
    void checksAndMessagesInOrder();
    void theFiveCalculations();
    void missingStockInsOrStockOuts();
    void afterACalculation();
    void cancelClearsTheList();
};

void TestCalc::layoutAndStartState()
{
    Session s;
    auto &[folder, boxes, w] = s;
    Form5 *d = open(w);
    QCOMPARE(d->windowTitle(), QStringLiteral("计算"));
    QCOMPARE(d->size(), QSize(342, 220)); // 5130 x 3300 twips, 15 to a pixel
    // On screen Option5 sits between Option2 and Option3.
    QCOMPARE(d->Option5->text(), QStringLiteral("库存积压总货款"));
    QVERIFY(d->Option2->y() < d->Option5->y() && d->Option5->y() < d->Option3->y() && d->Option3->y() < d->Option4->y());
    QCOMPARE(d->Option4->geometry(), QRect(32, 192, 233, 17));
    QCOMPARE(d->Command1->text(), QStringLiteral("计算"));
    for (QRadioButton *o : {d->Option1, d->Option2, d->Option3, d->Option4, d->Option5})
        QVERIFY(!o->isChecked());
    QCOMPARE(d->calcno, 0);
    // The focus chain goes row by row, left to right.
    const QList<QWidget *> order = {d->Combo1, d->Command1, d->Combo2, d->Command2, d->Option1,
                                    d->Option2, d->Option5, d->Option3, d->Option4};
    QWidget *at = d->Combo1;
    for (int i = 1; i < order.size(); ++i) {
        do
            at = at->nextInFocusChain();
        while (!order.contains(at));
        QCOMPARE(at->objectName(), order[i]->objectName());
    }
    // Empty ledger: nothing to choose.
    QCOMPARE(d->Combo1->count(), 0);
    QCOMPARE(d->Combo2->count(), 0);
    QVERIFY(boxes.seen.isEmpty());
}

void TestCalc::activationFillsOnceAndRefillsFollowTheMainWindow()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addSample(w);
    addRecord(w, QStringLiteral("1|饮料"));

    // A category change in the main window creates the dialog hidden and fills it.
    w.axd(QString(), 12);
    QVERIFY(w.hasForm(5));
    Form5 *d = w.form5();
    QVERIFY(!d->isVisible());
    QVERIFY(!d->filled);
    QCOMPARE(items(d->Combo1), QStringList({"饮料", "水果", "饮料"}));

    d->calcno = 2;
    open(w);
    QVERIFY(d->filled);
    QCOMPARE(d->calcno, 0);

    d->Combo1->setCurrentIndex(1);
    QVERIFY(items(d->Combo2).isEmpty()); // 水果 has no products
    d->Combo1->setCurrentIndex(2);
    QCOMPARE(items(d->Combo2), QStringList({"可乐", "雪碧"}));
    QCOMPARE(d->Combo2->currentText(), QString());
    d->Combo2->setCurrentIndex(1);
    d->Option2->click();

    // Later openings fill nothing and forget nothing.
    addRecord(w, QStringLiteral("1|零食"));
    d->hide();
    open(w);
    QCOMPARE(items(d->Combo1).size(), 3);
    QCOMPARE(d->Combo2->currentText(), QStringLiteral("雪碧"));
    QCOMPARE(d->calcno, 2);

    // A refill empties both texts but keeps the calculation.
    w.axd(QString(), 12);
    QCOMPARE(items(d->Combo1), QStringList({"饮料", "水果", "饮料", "零食"}));
    QCOMPARE(d->Combo1->currentText(), QString());
    QCOMPARE(d->Combo2->currentText(), QString());
    QVERIFY(items(d->Combo2).isEmpty());
    QCOMPARE(d->calcno, 2);
    QVERIFY(d->filled);
    QVERIFY(boxes.seen.isEmpty());
}

void TestCalc::checksAndMessagesInOrder()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addSample(w);
    Form5 *d = open(w);
    w.List3->addItem(QStringLiteral("earlier line"));

    d->Command1_Click();
    QCOMPARE(boxes.seen, QList<Box>({tip("请选择类！")}));
    boxes.clear();
    d->Combo1->setCurrentIndex(0);
    d->Command1_Click();
    QCOMPARE(boxes.seen, QList<Box>({tip("请选择商品名！")}));
    boxes.clear();
    d->Combo2->setEditText(QStringLiteral("可乐"));
    d->Command1_Click();
    QCOMPARE(boxes.seen, QList<Box>({tip("请选择计算方法！")}));
    QVERIFY(d->isVisible());
    QCOMPARE(w.List3->count(), 1);

    // Typed names are sent as they are; one that exists nowhere has no transactions.
    boxes.clear();
    d->Combo2->setEditText(QStringLiteral("芬达"));
    d->Option1->click();
    d->Command1_Click();
    QCOMPARE(boxes.seen, QList<Box>({result("此商品库存：0")}));
    QVERIFY(!d->isVisible());
}

void TestCalc::theFiveCalculations()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addSample(w);
    Form5 *d = w.form5();
    // Option5 asks for calculation 4 and Option4 for calculation 5.
    QCOMPARE(run(w, boxes, d->Option1), QList<Box>({result("此商品库存：3")}));
    QCOMPARE(run(w, boxes, d->Option2), QList<Box>({result("此商品营业额：56")}));
    QCOMPARE(run(w, boxes, d->Option3), QList<Box>({result("此商品营业利润：21")}));
    QCOMPARE(run(w, boxes, d->Option4), QList<Box>({result("此商品本月营业利润：12")}));
    QCOMPARE(run(w, boxes, d->Option5), QList<Box>({result("此商品库存积压货款：15")}));
}

void TestCalc::missingStockInsOrStockOuts()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addRecord(w, QStringLiteral("1|饮料"));
    addRecord(w, QStringLiteral("2|雪碧|饮料"));
    addRecord(w, QStringLiteral("2|芬达|饮料"));
    addRecord(w, QStringLiteral("3|雪碧|饮料|2|6|12|06-3-9|1"));
    addRecord(w, QStringLiteral("3|芬达|饮料|3|2|6|06-3-9|2"), true);
    Form5 *d = w.form5();
    // 雪碧: stock-ins only.
    QCOMPARE(run(w, boxes, d->Option3), QList<Box>({tip("出货商品数为0！")}));
    QCOMPARE(run(w, boxes, d->Option4), QList<Box>({tip("出货商品数为0！")}));
    QCOMPARE(run(w, boxes, d->Option5), QList<Box>({result("此商品库存积压货款：12")}));
    // 芬达: stock-outs only.
    boxes.clear();
    open(w);
    d->Combo1->setCurrentIndex(0);
    d->Combo2->setCurrentIndex(1);
    QCOMPARE(d->Combo2->currentText(), QStringLiteral("芬达"));
    d->Option5->click();
    d->Command1_Click();
    open(w);
    d->Option1->click();
    d->Command1_Click();
    QCOMPARE(boxes.seen, QList<Box>({tip("进货货商品数为0！"), result("此商品库存：-2")}));
}

void TestCalc::afterACalculation()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addSample(w);
    Form5 *d = w.form5();
    w.statusmode = Form1::StatusFindAmount;
    w.List3->addItem(QStringLiteral("earlier line"));
    run(w, boxes, d->Option3);
    QVERIFY(!d->isVisible());
    QCOMPARE(w.List3->count(), 0);
    QCOMPARE(w.Label5->text(), kWelcome);
    open(w);
    QCOMPARE(d->Combo1->currentText(), QStringLiteral("饮料"));
    QCOMPARE(d->Combo2->currentText(), QStringLiteral("可乐"));
    QVERIFY(d->Option3->isChecked());
    QCOMPARE(d->calcno, 3);
}

void TestCalc::cancelClearsTheList()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addSample(w);
    Form5 *d = open(w);
    d->Combo1->setCurrentIndex(0);
    d->Option2->click();
    w.statusmode = Form1::StatusFindAmount;
    w.List3->addItem(QStringLiteral("earlier line"));
    d->Command2_Click();
    QVERIFY(!d->isVisible());
    QCOMPARE(w.statusmode, Form1::StatusWelcome);
    QCOMPARE(w.List3->count(), 0);
    open(w);
    QCOMPARE(d->Combo1->currentText(), QStringLiteral("饮料"));
    QCOMPARE(d->calcno, 2);
    QVERIFY(boxes.seen.isEmpty());
}

QTEST_MAIN(TestCalc)
#include "test_calc.moc"
