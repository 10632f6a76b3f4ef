// Adding categories, products and transactions from the main window.
#include "ledger/dates.h"
#include "ledger/text.h"
#include "support_main.h"

#include <QRadioButton>

using namespace ledger;

namespace {

const QString kTip = QStringLiteral("系统提示：");

// A window with category c, product p of c, both selected.
void prepare(Form1 &w)
{
    w.show();
    addChosenProduct(w, QStringLiteral("c"), QStringLiteral("p"));
}

std::vector<Record> transactions(Form1 &w)
{
    std::vector<Record> out;
    for (const Record &r : stored(w))
        if (r.kind == kTransaction)
            out.push_back(r);
    return out;
}

} // namespace

class TestAdd : public QObject {
    Q_OBJECT

private slots:
    void categories();
    void products();
    void transactionStoredAndListed();
    void transactionRejections_data();
    void transactionRejections();
    void dateBox();
    void sameNumbersInEveryRun();
    void failedWriteListsNothing();
    void refusalFocusesItsBox_data();
    void refusalFocusesItsBox();
};

void TestAdd::categories()
{
    Session s;
    auto &[folder, boxes, w] = s;
    w.Option2->setChecked(true);
    addCategory(w, QStringLiteral("水果"));
    QCOMPARE(lines(w.List1), QStringList{QStringLiteral("水果")});
    QVERIFY(w.Text1->text().isEmpty());
    QCOMPARE(w.lastreq, QStringLiteral("1|水果"));
    const auto rows = stored(w);
    QCOMPARE(rows.size(), size_t(1));
    QCOMPARE(rows[0].kind, kCategory);
    QCOMPARE(rows[0].name, QStringLiteral("水果"));
    QVERIFY(rows[0].cat.isNull() && rows[0].price.isNull() && rows[0].txno.isNull());
    QCOMPARE(rows[0].method, QStringLiteral("出货"));
    QCOMPARE(w.Label5->text(), kWelcome);

    addCategory(w, QStringLiteral("水果"));
    addCategory(w, QString());
    addCategory(w, QStringLiteral("a|b"));
    addCategory(w, QStringLiteral("12345678901"));
    addCategory(w, QStringLiteral("水果 ")); // differs by a space: another category
    QCOMPARE(boxes.texts(), (QStringList{QStringLiteral("类不能有重复！"), QStringLiteral("类不能为空！"),
                                         QStringLiteral("类中不能含有“|”竖线系统默认分隔符！"), QStringLiteral("类输入过长！")}));
    QCOMPARE(boxes.titles(), QStringList(4, kTip));
    QVERIFY(w.Text1->text().isEmpty());
    QCOMPARE(lines(w.List1), (QStringList{QStringLiteral("水果"), QStringLiteral("水果 ")}));
    QCOMPARE(countKind(w, kCategory), 2);
}

void TestAdd::products()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addCategory(w, QStringLiteral("A"));
    addCategory(w, QStringLiteral("B"));
    addProduct(w, QStringLiteral("苹果"));
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("请选择类！")});
    QCOMPARE(w.Text2->text(), QStringLiteral("苹果")); // kept: nothing was wrong with it
    choose(w, QStringLiteral("A"));
    QVERIFY(w.Text2->text().isEmpty());
    addProduct(w, QStringLiteral("苹果"));
    QCOMPARE(w.lastreq, QStringLiteral("2|苹果|A"));
    addProduct(w, QStringLiteral("苹果"));
    addProduct(w, QStringLiteral("x|y"));
    QCOMPARE(boxes.texts().mid(1), (QStringList{QStringLiteral("类不能有重复！"),
                                                QStringLiteral("商品名中不能含有“|”竖线系统默认分隔符！")}));
    QCOMPARE(boxes.titles(), QStringList(3, kTip));
    QVERIFY(w.Text2->text().isEmpty());
    choose(w, QStringLiteral("B"));
    addProduct(w, QStringLiteral("苹果"));
    QCOMPARE(boxes.seen.size(), 3);
    QCOMPARE(lines(w.List2), QStringList{QStringLiteral("苹果")});
    QStringList cats;
    for (const Record &r : stored(w))
        if (r.kind == kProduct)
            cats << r.cat;
    QCOMPARE(cats, (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
}

void TestAdd::transactionStoredAndListed()
{
    Session s;
    auto &[folder, boxes, w] = s;
    prepare(w);
    w.Text6->setText(QStringLiteral("typed"));
    w.Option2->setChecked(true);
    addTx(w, QStringLiteral("2.5"), QStringLiteral("4"));
    QVERIFY(boxes.seen.isEmpty());
    const auto txs = transactions(w);
    QCOMPARE(txs.size(), size_t(1));
    const Record &r = txs[0];
    QCOMPARE(r.name, QStringLiteral("p"));
    QCOMPARE(r.cat, QStringLiteral("c"));
    QCOMPARE(r.price, QStringLiteral("2.5"));
    QCOMPARE(r.qty, QStringLiteral("4"));
    QCOMPARE(r.total, QStringLiteral("10"));
    QCOMPARE(r.date, currentDateText()); // the auto date wins over what the box held
    QCOMPARE(r.method, QStringLiteral("出货"));
    QVERIFY(!r.txno.isEmpty());
    QCOMPARE(r.txno, QString::number(r.txno.toLongLong()));
    QVERIFY(r.txno.toLongLong() <= 111105 + 999 * 2);

    QCOMPARE(w.List3->count(), 1);
    QCOMPARE(w.List3->lineText(0), w.jkg(recordText(r), 0));
    const Record attached = w.lineRecord(0);
    QCOMPARE(attached.id, r.id);
    QVERIFY(attached.sameContent(r));
    QVERIFY(w.Text4->text().isEmpty() && w.Text5->text().isEmpty());
    QCOMPARE(w.Text6->text(), currentDateText());
    QCOMPARE(w.Label4->text(), QStringLiteral("p"));
    QVERIFY(w.Option2->isChecked());
    QCOMPARE(w.Label5->text(), kWelcome);
}

void TestAdd::transactionRejections_data()
{
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("qty");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("priceAfter");
    QTest::addColumn<QString>("qtyAfter");
    QTest::newRow("price unit") << QStringLiteral("12元") << QStringLiteral("1")
                                << QStringList{QStringLiteral("单价填写不标准！")} << QString() << QStringLiteral("1");
    QTest::newRow("price empty") << QString() << QStringLiteral("1")
                                 << QStringList{QStringLiteral("单价不能为空！")} << QString() << QStringLiteral("1");
    QTest::newRow("quantity fraction") << QStringLiteral("1") << QStringLiteral("3.5")
                                       << QStringList{QStringLiteral("数量填写不标准！")} << QStringLiteral("1") << QString();
    QTest::newRow("quantity long with bar")
        << QStringLiteral("1") << QStringLiteral("1234567890|")
        << QStringList{QStringLiteral("数量输入过长！"), QStringLiteral("数量中不能含有“|”竖线系统默认分隔符！")}
        << QStringLiteral("1") << QString();
    QTest::newRow("total over ten characters") << QStringLiteral("99999") << QStringLiteral("1000000")
                                               << QStringList{QStringLiteral("总额位数过长请减少数量！")}
                                               << QStringLiteral("99999") << QStringLiteral("1000000");
}

void TestAdd::transactionRejections()
{
    QFETCH(QString, price);
    QFETCH(QString, qty);
    QFETCH(QStringList, messages);
    QFETCH(QString, priceAfter);
    QFETCH(QString, qtyAfter);
    Session s;
    auto &[folder, boxes, w] = s;
    prepare(w);
    addTx(w, price, qty);
    QCOMPARE(boxes.texts(), messages);
    QCOMPARE(boxes.titles(), QStringList(messages.size(), kTip));
    QCOMPARE(w.Text4->text(), priceAfter);
    QCOMPARE(w.Text5->text(), qtyAfter);
    QVERIFY(transactions(w).empty());
    QCOMPARE(w.List3->count(), 0);

    // A total of exactly ten characters is fine.
    boxes.clear();
    addTx(w, QStringLiteral("99999"), QStringLiteral("100000"));
    QVERIFY(boxes.seen.isEmpty());
    QCOMPARE(transactions(w).at(0).total, QStringLiteral("9999900000"));
}

void TestAdd::dateBox()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addCategory(w, QStringLiteral("c"));
    addTx(w, QStringLiteral("1"), QStringLiteral("1"));
    choose(w, QStringLiteral("c"));
    addProduct(w, QStringLiteral("p"));
    addTx(w, QStringLiteral("1"), QStringLiteral("1"));
    QCOMPARE(boxes.texts(), (QStringList{QStringLiteral("请选择类名！"), QStringLiteral("请选择商品名！")}));
    QCOMPARE(boxes.titles(), QStringList(2, kTip));
    QCOMPARE(w.Text4->text(), QStringLiteral("1")); // nothing emptied
    choose(w, QStringLiteral("c"), QStringLiteral("p"));

    // A typed date is only used with the auto date off, which needs a picked date first.
    w.days(QStringLiteral("27-3-5"));
    w.Check1->setChecked(false);
    const QString tooLong = QString(21, u'1');
    const QString withBar = QStringLiteral("27|3|5");
    boxes.clear();
    for (const QString &date : {tooLong, withBar}) {
        w.Text6->setText(date);
        addTx(w, QStringLiteral("1"), QStringLiteral("1"));
        QCOMPARE(w.Text6->text(), date);
        QCOMPARE(w.Text4->text(), QStringLiteral("1"));
    }
    QCOMPARE(boxes.texts(), (QStringList{QStringLiteral("日期输入过长！"), QStringLiteral("日期中不能含有“|”竖线系统默认分隔符！")}));
    QCOMPARE(boxes.titles(), QStringList(2, kTip));
    QVERIFY(transactions(w).empty());

    // The price and quantity are checked before the date.
    boxes.clear();
    addTx(w, QStringLiteral("x"), QStringLiteral("1"));
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("单价填写不标准！")});

    // Twenty characters fit; an empty box stores no date at all; a long date still lists.
    boxes.clear();
    const QString twenty = QString(20, u'2');
    w.Text6->setText(twenty);
    addTx(w, QStringLiteral("1"), QStringLiteral("2"));
    w.Text6->clear();
    addTx(w, QStringLiteral("1"), QStringLiteral("3"));
    QVERIFY(boxes.seen.isEmpty());
    const auto txs = transactions(w);
    QCOMPARE(txs.size(), size_t(2));
    QCOMPARE(txs[0].date, twenty);
    QVERIFY(txs[1].date.isNull());
    QVERIFY(w.List3->lineText(0).contains(u'|' + twenty + u'|'));
    QCOMPARE(w.List3->lineText(1).split(u'|').at(4), QString(8, u' '));
}

void TestAdd::sameNumbersInEveryRun()
{
    // Every run of the program draws the generator's fixed sequence, six draws a click, rejected
    // clicks included. The numbers are those draws (from state 327680, x = (x * 1140671485 +
    // 12820163) mod 2^24) put together with the row counts 2, 3, 3 and 4.
    Session s;
    auto &[folder, boxes, w] = s;
    prepare(w);
    addTx(w, QStringLiteral("1"), QStringLiteral("1"));
    addTx(w, QStringLiteral("bad"), QStringLiteral("1"));
    addTx(w, QStringLiteral("2"), QStringLiteral("1"));
    addTx(w, QStringLiteral("3"), QStringLiteral("1"));
    QStringList numbers;
    for (const Record &r : transactions(w))
        numbers << r.txno;
    QCOMPARE(numbers, (QStringList{QStringLiteral("85723"), QStringLiteral("17698"), QStringLiteral("69375")}));
}

void TestAdd::failedWriteListsNothing()
{
    if (onServerLedger())
        QSKIP("the lock and the message are the file's; the server's failed writes are tested in pg_store_test");
    Session s;
    auto &[folder, boxes, w] = s;
    prepare(w);
    {
        WriteLock lock(w);
        QVERIFY(lock.ok());
        addCategory(w, QStringLiteral("d"));
        addTx(w, QStringLiteral("2"), QStringLiteral("3"));
    }
    const QString busy = QStringLiteral("记录未能保存到账本文件“%1”：文件正被其他程序使用，请稍后再试！").arg(w.store()->path());
    QCOMPARE(boxes.texts(), (QStringList{busy, busy}));
    // Not listed, and still in the boxes to try again.
    QCOMPARE(lines(w.List1), QStringList{QStringLiteral("c")});
    QCOMPARE(w.Text1->text(), QStringLiteral("d"));
    QCOMPARE(w.List3->count(), 0);
    QCOMPARE(w.Text4->text(), QStringLiteral("2"));
    QCOMPARE(stored(w).size(), size_t(2));
}

void TestAdd::refusalFocusesItsBox_data()
{
    QTest::addColumn<int>("chosen"); // 0 nothing, 1 the category, 2 category and product
    QTest::addColumn<QStringList>("typed"); // Text1, Text2, Text4, Text5, and a picked date for Text6
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QString>("selected"); // what stays in the box, selected

    const QStringList none{QString(), QString(), QString(), QString(), QString()};
    auto typed = [&none](int at, const QString &text) {
        QStringList t = none;
        t[at] = text;
        return t;
    };
    QTest::newRow("empty category") << 0 << none << QStringLiteral("Command1") << QStringLiteral("类不能为空！") << QStringLiteral("Text1") << QString();
    QTest::newRow("category twice") << 0 << typed(0, QStringLiteral("c")) << QStringLiteral("Command1") << QStringLiteral("类不能有重复！") << QStringLiteral("Text1") << QString();
    QTest::newRow("product, no category") << 0 << typed(1, QStringLiteral("q")) << QStringLiteral("Command3") << QStringLiteral("请选择类！") << QStringLiteral("List1") << QString();
    QTest::newRow("product too long") << 1 << typed(1, QStringLiteral("12345678901")) << QStringLiteral("Command3") << QStringLiteral("商品名输入过长！") << QStringLiteral("Text2") << QString();
    QTest::newRow("stock, no category") << 0 << none << QStringLiteral("Command8") << QStringLiteral("请选择类名！") << QStringLiteral("List1") << QString();
    QTest::newRow("stock, no product") << 1 << none << QStringLiteral("Command8") << QStringLiteral("请选择商品名！") << QStringLiteral("List2") << QString();
    QTest::newRow("price") << 2 << QStringList{QString(), QString(), QStringLiteral("1元"), QStringLiteral("1"), QString()}
                           << QStringLiteral("Command8") << QStringLiteral("单价填写不标准！") << QStringLiteral("Text4") << QString();
    QTest::newRow("quantity") << 2 << QStringList{QString(), QString(), QStringLiteral("1"), QStringLiteral("3.5"), QString()}
                              << QStringLiteral("Command8") << QStringLiteral("数量填写不标准！") << QStringLiteral("Text5") << QString();
    QTest::newRow("total") << 2 << QStringList{QString(), QString(), QStringLiteral("99999"), QStringLiteral("1000000"), QString()}
                           << QStringLiteral("Command8") << QStringLiteral("总额位数过长请减少数量！") << QStringLiteral("Text5") << QStringLiteral("1000000");
    QTest::newRow("date") << 2 << QStringList{QString(), QString(), QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("26|1")}
                          << QStringLiteral("Command8") << QStringLiteral("日期中不能含有“|”竖线系统默认分隔符！") << QStringLiteral("Text6") << QStringLiteral("26|1");
}

void TestAdd::refusalFocusesItsBox()
{
    QFETCH(int, chosen);
    QFETCH(QStringList, typed);
    QFETCH(QString, button);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    QFETCH(QString, selected);
    Session s;
    auto &[folder, boxes, w] = s;
    addCategory(w, QStringLiteral("c"));
    if (chosen >= 1)
        choose(w, QStringLiteral("c"));
    if (chosen == 2) {
        addProduct(w, QStringLiteral("p"));
        choose(w, QStringLiteral("c"), QStringLiteral("p"));
    }
    if (!typed[4].isEmpty()) {
        w.days(typed[4]);
        w.Check1->setChecked(false);
    }
    w.Text1->setText(typed[0]);
    w.Text2->setText(typed[1]);
    w.Text4->setText(typed[2]);
    w.Text5->setText(typed[3]);
    w.Command13->setFocus(); // somewhere else
    w.findChild<QPushButton *>(button)->click();
    QCOMPARE(boxes.texts(), QStringList{message});
    // The window's focus, where the keys go when it is active again after the message.
    QVERIFY(w.focusWidget());
    QCOMPARE(w.focusWidget()->objectName(), focus);
    if (auto *box = qobject_cast<QLineEdit *>(w.focusWidget())) {
        QCOMPARE(box->text(), selected);
        QCOMPARE(box->selectedText(), selected);
    }
}

QTEST_MAIN(TestAdd)
#include "test_add.moc"
