// What the user types and clicks in the find and calculation dialogs is what they ask for: typed
// text is sent as typed, a "|" is refused, and every click on an option counts.
#include "query/form4.h"
#include "query/form5.h"
#include "query_support.h"
#include "stats/form6.h"
#include "support_main.h"

#include <QCheckBox>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

namespace {

using Box = QPair<QString, QString>;

// Categories Tea and 饮料; 饮料 holds Cola Big with a stock-out of 2 for 7.
void addSample(Form1 &w)
{
    addRecord(w, QStringLiteral("1|Tea"));
    addRecord(w, QStringLiteral("1|饮料"));
    addRecord(w, QStringLiteral("2|Cola Big|饮料"));
    addRecord(w, QStringLiteral("3|Cola Big|饮料|3.5|2|7|06-3-9|1"), true);
}

// An input method commits its text in one piece.
void commit(QComboBox *combo, const QString &text)
{
    combo->lineEdit()->clear();
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(combo->lineEdit(), &event);
}

// Latin letters key by key, Chinese through the input method.
void type(QComboBox *combo, const QString &text)
{
    for (QChar c : text)
        if (c.unicode() > 126)
            return commit(combo, text);
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), text);
}

void pressReturn(QComboBox *combo) { QTest::keyClick(combo->lineEdit(), Qt::Key_Return); }

} // namespace

class TestDialogInput : public QObject {
    Q_OBJECT

private slots:
    void typedTextIsSentAsTyped();
    void separatorIsRefused();
    void everyClickOnAnOptionCounts();
};

void TestDialogInput::typedTextIsSentAsTyped()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addSample(w);

    w.Command12_Click();
    Form4 *find = w.form4();
    type(find->Combo1, QStringLiteral("tea"));
    pressReturn(find->Combo1);
    QCOMPARE(find->Combo1->currentText(), QStringLiteral("tea"));

    // A product typed before its category: leaving the category box is no choice from the
    // list, so the product typed stays.
    w.Command11_Click();
    Form5 *calc = w.form5();
    type(calc->Combo2, QStringLiteral("Cola"));
    type(calc->Combo1, QStringLiteral("饮料"));
    pressReturn(calc->Combo1);
    QCOMPARE(calc->Combo2->currentText(), QStringLiteral("Cola"));
    // With the category chosen from the list its products are listed; the beginning of one,
    // typed, is asked about as typed: Cola has no turnover, Cola Big has.
    calc->Combo1->setCurrentIndex(1);
    QCOMPARE(calc->Combo2->count(), 1);
    type(calc->Combo2, QStringLiteral("Cola"));
    pressReturn(calc->Combo2);
    calc->Option2->click();
    calc->Command1_Click();
    // Each Return ran the dialog's default button with the texts as typed: the find dialog's
    // "确定" (no product yet), twice "计算" (no calculation chosen yet).
    const QString tip = QStringLiteral("系统提示：");
    QCOMPARE(boxes.seen, (QList<Box>{{tip, QStringLiteral("请选择商品名！")},
                                     {tip, QStringLiteral("请选择计算方法！")},
                                     {tip, QStringLiteral("请选择计算方法！")},
                                     {QStringLiteral("计算结果："), QStringLiteral("此商品营业额：0")}}));
}

void TestDialogInput::separatorIsRefused()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addSample(w);
    const QString category = QStringLiteral("类中不能含有“|”竖线系统默认分隔符！");
    const QString product = QStringLiteral("商品名中不能含有“|”竖线系统默认分隔符！");
    const QString tip = QStringLiteral("系统提示：");

    w.Command12_Click();
    Form4 *find = w.form4();
    find->Check3->setChecked(true);
    type(find->Combo1, QStringLiteral("饮|料"));
    type(find->Combo2, QStringLiteral("Cola Big"));
    find->Command1_Click();
    type(find->Combo1, QStringLiteral("饮料"));
    type(find->Combo2, QStringLiteral("可乐|99-1-1|2"));
    find->Command1_Click();
    QCOMPARE(boxes.seen, (QList<Box>{{tip, category}, {tip, product}}));
    QVERIFY(find->isVisible());
    QCOMPARE(w.List3->count(), 0);

    // The day detail asks for every category and product, whatever the find dialog holds.
    find->Command2_Click();
    Form6 *stats = w.form6();
    stats->Combo1->setCurrentIndex(0);
    stats->Command1_Click();
    QCOMPARE(stats->List1->count(), 1);
    stats->List1->setCurrentRow(0);
    QCOMPARE(w.List3->count(), 1);

    boxes.clear();
    w.Command11_Click();
    Form5 *calc = w.form5();
    calc->Option1->click();
    type(calc->Combo1, QStringLiteral("饮料|Cola Big"));
    type(calc->Combo2, QStringLiteral("2"));
    calc->Command1_Click();
    type(calc->Combo1, QStringLiteral("饮料"));
    type(calc->Combo2, QStringLiteral("Cola Big|1"));
    calc->Command1_Click();
    QCOMPARE(boxes.seen, (QList<Box>{{tip, category}, {tip, product}}));
    QVERIFY(calc->isVisible());
}

void TestDialogInput::everyClickOnAnOptionCounts()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addSample(w);

    w.Command12_Click();
    Form4 *find = w.form4();
    find->Check1->setChecked(true);
    find->Check3->setChecked(true);
    find->Check5->setChecked(true);
    find->days(QStringLiteral("06-3-9"));
    QTest::mouseClick(find->Option2, Qt::LeftButton);
    QCOMPARE(find->datemethod, 2);
    find->Command1_Click(); // without "日期相关": the method is forgotten
    QCOMPARE(find->datemethod, 0);

    w.Command12_Click();
    find->Check2->setChecked(true);
    QVERIFY(find->Option2->isChecked());
    QTest::mouseClick(find->Option2, Qt::LeftButton);
    QCOMPARE(find->datemethod, 2);
    find->Command1_Click();
    QCOMPARE(boxes.seen, QList<Box>{});
    QCOMPARE(w.List3->count(), 1);

    w.Command11_Click();
    Form5 *calc = w.form5();
    QTest::mouseClick(calc->Option5, Qt::LeftButton);
    QCOMPARE(calc->calcno, 4);
    calc->calcno = 0;
    QTest::mouseClick(calc->Option5, Qt::LeftButton);
    QCOMPARE(calc->calcno, 4);
}

QTEST_MAIN(TestDialogInput)
#include "test_dialog_input.moc"
