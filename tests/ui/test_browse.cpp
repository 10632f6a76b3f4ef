// The main window's lists, the transaction lines with their totals, selection and deletion.
#include "ledger/dates.h"
#include "ledger/text.h"
#include "support_main.h"

#include <QRadioButton>

using namespace ledger;

namespace {

const QString kIn = QStringLiteral("进货");
const QString kOut = QStringLiteral("出货");

Record txRecord(const QString &name, const QString &cat, const QString &price, const QString &qty,
                const QString &date, const QString &method, const QString &txno)
{
    Record r;
    r.kind = kTransaction;
    r.name = name;
    r.cat = cat;
    r.price = price;
    r.qty = qty;
    r.total = formatNumber(parseNumber(price) * parseNumber(qty));
    r.date = date;
    r.method = method;
    r.txno = txno;
    return r;
}

QString today() { return currentDateText(); }

} // namespace

class TestBrowse : public QObject {
    Q_OBJECT

private slots:
    void categoryClickListsProductsAndClears();
    void transactionLinesAndTotals();
    void directionAndMonthFilter();
    void quantitySumRoundingAndTenDigits();
    void nothingSelectedOrCancelChangesNothing();
    void deleteSelectedOfFive_data();
    void deleteSelectedOfFive();
    void deleteKeepsLookalikeTransactions();
    void lineWhoseRecordIsGone();
    void selectAllThenDelete();
    void invertTwice();
    void deleteCategory();
    void deleteProductOfTwoCategories();
    void deleteWhatWasConfirmed_data();
    void deleteWhatWasConfirmed();
    void failedDeleteKeepsLines();
};

void TestBrowse::categoryClickListsProductsAndClears()
{
    Session s;
    auto &[folder, boxes, w] = s;
    // An empty ledger refills nothing: the lists keep what they show.
    w.List1->addItem(QStringLiteral("kept"));
    w.List3->addItem(QStringLiteral("kept"));
    w.Form_Activate();
    w.Check2->setChecked(false);
    QCOMPARE(lines(w.List1), QStringList{QStringLiteral("kept")});
    QCOMPARE(lines(w.List3), QStringList{QStringLiteral("kept")});
    // Rows but no category: the category list empties.
    w.store()->add(Record{0, true, kProduct, QStringLiteral("x"), QStringLiteral("y"), {}, {}, {}, {}, kIn, {}});
    w.Form_Activate();
    QCOMPARE(w.List1->count(), 0);
    w.Check2->setChecked(true);
    QCOMPARE(w.List3->count(), 0);
    w.List3->clear();

    addCategory(w, QStringLiteral("水果"));
    addCategory(w, QStringLiteral("饮料"));
    addCategory(w, QStringLiteral("Empty"));
    choose(w, QStringLiteral("水果"));
    addProduct(w, QStringLiteral("苹果"));
    addProduct(w, QStringLiteral("梨"));
    choose(w, QStringLiteral("饮料"));
    addProduct(w, QStringLiteral("茶"));
    // Stored directly: differs only by case / a trailing space, and a second category row.
    w.store()->add(Record{0, true, kProduct, QStringLiteral("x"), QStringLiteral("empty"), {}, {}, {}, {}, kIn, {}});
    w.store()->add(Record{0, true, kProduct, QStringLiteral("y"), QStringLiteral("Empty "), {}, {}, {}, {}, kIn, {}});
    w.store()->add(Record{0, true, kCategory, QStringLiteral("水果"), {}, {}, {}, {}, {}, kIn, {}});

    w.Form_Activate();
    QCOMPARE(lines(w.List1), (QStringList{QStringLiteral("水果"), QStringLiteral("饮料"), QStringLiteral("Empty"), QStringLiteral("水果")}));
    QVERIFY(w.List2->count() == 0 && w.Label2->text().isEmpty() && w.Label4->text().isEmpty());

    choose(w, QStringLiteral("水果"), QStringLiteral("苹果"));
    addTx(w, QStringLiteral("2"), QStringLiteral("3"));
    QCOMPARE(w.List3->count(), 1);
    w.Text2->setText(QStringLiteral("typed"));
    // Clicking the same category again still clears the product box and the transactions.
    clickLine(w.List1, 0);
    QCOMPARE(w.Label2->text(), QStringLiteral("水果"));
    QCOMPARE(lines(w.List2), (QStringList{QStringLiteral("苹果"), QStringLiteral("梨")}));
    QVERIFY(w.Text2->text().isEmpty());
    QCOMPARE(w.List3->count(), 0);
    QVERIFY(w.Label4->text().isEmpty());
    QCOMPARE(w.Label5->text(), kWelcome);

    choose(w, QStringLiteral("Empty"));
    QCOMPARE(w.Label2->text(), QStringLiteral("Empty"));
    QCOMPARE(w.List2->count(), 0);
    QVERIFY(boxes.seen.isEmpty());
}

void TestBrowse::transactionLinesAndTotals()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addChosenProduct(w, QStringLiteral("水果"), QStringLiteral("苹果"));
    addTx(w, QStringLiteral("5"), QStringLiteral("2"));
    addTx(w, QStringLiteral("6.833333"), QStringLiteral("3"));
    // Welcome after adding; the totals once the product is listed again.
    QCOMPARE(w.Label5->text(), kWelcome);
    const QStringList added = lines(w.List3);
    clickLine(w.List2, 0);
    QCOMPARE(lines(w.List3), added);
    QCOMPARE(w.Label4->text(), QStringLiteral("苹果"));
    QCOMPARE(w.Label5->text(), QStringLiteral("合计：数量和＝5个 总额和＝30.499999元 价格平均＝6.1元（保留两位小数）"));

    // Every line is the record's line and carries that record.
    const auto rows = stored(w);
    for (int i = 0; i < w.List3->count(); ++i) {
        const Record r = w.lineRecord(i);
        QVERIFY(r.id != 0);
        QCOMPARE(w.List3->lineText(i), w.jkg(recordText(r), 0));
        QCOMPARE(r.total, rows[static_cast<size_t>(i) + 2].total);
    }
    // Coming back to the window keeps the lines; focus entering the category list is no click.
    w.Form_Activate();
    w.activateWindow();
    w.List1->setFocus();
    QTRY_VERIFY(w.List1->hasFocus());
    QCOMPARE(w.List1->currentRow(), 0);
    QCOMPARE(lines(w.List3), added);
    QCOMPARE(w.List3->lineText(0),
             QStringLiteral("苹果") + QString(16, u' ') + QStringLiteral("|         5|         2|        10|") +
                 today().rightJustified(8) + QStringLiteral("|进货|") + rows[2].txno.rightJustified(10));
    QVERIFY(boxes.seen.isEmpty());
}

void TestBrowse::directionAndMonthFilter()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addCategory(w, QStringLiteral("A"));
    addCategory(w, QStringLiteral("B"));
    choose(w, QStringLiteral("A"));
    addProduct(w, QStringLiteral("p"));
    const QDate now = QDate::currentDate();
    const QDate first(now.year(), now.month(), 1);
    const QString a = QStringLiteral("A"), p = QStringLiteral("p");
    w.store()->add(txRecord(p, a, QStringLiteral("1"), QStringLiteral("1"), pickedDateText(first), kIn, QStringLiteral("1")));
    w.store()->add(txRecord(p, a, QStringLiteral("1"), QStringLiteral("2"), pickedDateText(first.addDays(-1)), kIn, QStringLiteral("2")));
    w.store()->add(txRecord(p, a, QStringLiteral("1"), QStringLiteral("3"), pickedDateText(now.addYears(-1)), kIn, QStringLiteral("3")));
    w.store()->add(txRecord(p, a, QStringLiteral("1"), QStringLiteral("4"), QStringLiteral("someday"), kIn, QStringLiteral("4")));
    w.store()->add(txRecord(p, a, QStringLiteral("1"), QStringLiteral("5"), today(), kOut, QStringLiteral("5")));
    w.store()->add(txRecord(p, QStringLiteral("B"), QStringLiteral("1"), QStringLiteral("6"), today(), kIn, QStringLiteral("6")));

    auto numbers = [&] {
        QStringList out;
        for (int i = 0; i < w.List3->count(); ++i)
            out << w.lineRecord(i).txno;
        return out;
    };
    QVERIFY(w.Check2->isChecked());
    choose(w, a, p);
    QCOMPARE(numbers(), QStringList{QStringLiteral("1")});
    w.Check2->setChecked(false);
    QCOMPARE(numbers(), (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")}));
    w.Option2->setChecked(true);
    QCOMPARE(numbers(), QStringList{QStringLiteral("5")});
    w.Option1->setChecked(true);
    QCOMPARE(numbers().size(), 4);

    // No product selected: the list empties and the welcome line shows.
    choose(w, a);
    w.List3->addItem(QStringLiteral("stale"));
    w.Check2->setChecked(true);
    QCOMPARE(w.List3->count(), 0);
    QCOMPARE(w.Label5->text(), kWelcome);
    QVERIFY(boxes.seen.isEmpty());
}

void TestBrowse::quantitySumRoundingAndTenDigits()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addCategory(w, QStringLiteral("c"));
    choose(w, QStringLiteral("c"));
    addProduct(w, QStringLiteral("big"));
    addProduct(w, QStringLiteral("half"));
    choose(w, QStringLiteral("c"), QStringLiteral("big"));
    w.Check2->setChecked(false);
    addTx(w, QStringLiteral("1"), QStringLiteral("9999999999"));
    addTx(w, QStringLiteral("1"), QStringLiteral("9999999999"));
    addTx(w, QStringLiteral("1"), QStringLiteral("9999999999"));
    QVERIFY(boxes.seen.isEmpty());
    clickLine(w.List2, 0);
    QCOMPARE(w.Label5->text(), QStringLiteral("合计：数量和＝29999999997个 总额和＝29999999997元 价格平均＝1元（保留两位小数）"));

    // Two halves sum to 0: the status line keeps what it showed.
    w.store()->add(txRecord(QStringLiteral("half"), QStringLiteral("c"), QStringLiteral("4"), QStringLiteral("0.5"), today(), kIn, QStringLiteral("1")));
    w.store()->add(txRecord(QStringLiteral("half"), QStringLiteral("c"), QStringLiteral("4"), QStringLiteral("0.5"), today(), kIn, QStringLiteral("2")));
    const QString before = w.Label5->text();
    clickLine(w.List2, 1);
    QCOMPARE(w.List3->count(), 2);
    QCOMPARE(w.statusmode, Form1::StatusTotals);
    QCOMPARE(w.Label5->text(), before);
}

void TestBrowse::nothingSelectedOrCancelChangesNothing()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addChosenProduct(w, QStringLiteral("c"), QStringLiteral("p"));
    addTx(w, QStringLiteral("1"), QStringLiteral("1"));
    addTx(w, QStringLiteral("2"), QStringLiteral("2"));
    const size_t rowCount = stored(w).size();

    // Nothing current in the transaction list, no product, no category.
    w.List3->setCurrentIndex(QModelIndex());
    w.Command9_Click();
    choose(w, QStringLiteral("c"));
    w.Command4_Click();
    w.Form_Activate();
    w.Command2_Click();
    const QStringList none(3, QStringLiteral("请选项要删除的项目！"));
    QCOMPARE(boxes.texts(), none);
    QCOMPARE(boxes.titles(), QStringList(3, QStringLiteral("系统提示：")));
    QCOMPARE(stored(w).size(), rowCount);

    // Cancel in each confirmation.
    boxes.clear();
    choose(w, QStringLiteral("c"), QStringLiteral("p"));
    clickLine(w.List3, 1);
    boxes.answers = {QMessageBox::Cancel, QMessageBox::Cancel, QMessageBox::Cancel};
    w.Command9_Click();
    w.Command4_Click();
    w.Command2_Click();
    QCOMPARE(boxes.texts(), QStringList(3, QStringLiteral("你是否确定删除！")));
    QCOMPARE(boxes.titles(), QStringList(3, QStringLiteral("系统提问：")));
    QCOMPARE(stored(w).size(), rowCount);
    QCOMPARE(w.List3->count(), 2);
    QCOMPARE(lines(w.List2), QStringList{QStringLiteral("p")});
    QCOMPARE(lines(w.List1), QStringList{QStringLiteral("c")});
    QCOMPARE(w.Label4->text(), QStringLiteral("p"));
}

void TestBrowse::deleteSelectedOfFive_data()
{
    QTest::addColumn<QList<int>>("selected");
    QTest::newRow("apart") << QList<int>{0, 2, 4};
    QTest::newRow("adjacent") << QList<int>{1, 2, 3};
    QTest::newRow("bottom up") << QList<int>{2, 0}; // in the order clicked
}

void TestBrowse::deleteSelectedOfFive()
{
    QFETCH(QList<int>, selected);
    Session s;
    auto &[folder, boxes, w] = s;
    addChosenProduct(w, QStringLiteral("c"), QStringLiteral("p"));
    for (int i = 1; i <= 5; ++i)
        addTx(w, QString::number(i), QStringLiteral("1"));
    const QStringList before = lines(w.List3);
    QStringList kept;
    QList<qint64> keptIds;
    for (int i = 0; i < 5; ++i)
        if (!selected.contains(i)) {
            kept << before[i];
            keptIds << w.lineRecord(i).id;
        }
    for (int i : selected)
        clickLine(w.List3, i);
    w.Command9_Click();
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("你是否确定删除！")});
    QCOMPARE(lines(w.List3), kept);
    QList<qint64> left;
    for (const Record &r : stored(w))
        if (r.kind == kTransaction)
            left << r.id;
    QCOMPARE(left, keptIds);
    QCOMPARE(w.Label5->text(), kWelcome);
}

void TestBrowse::deleteKeepsLookalikeTransactions()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addCategory(w, QStringLiteral("A"));
    addCategory(w, QStringLiteral("B"));
    choose(w, QStringLiteral("A"));
    addProduct(w, QStringLiteral("p"));
    // Same name, number, date and direction in another category, and an exact duplicate.
    const Record mine = txRecord(QStringLiteral("p"), QStringLiteral("A"), QStringLiteral("2"), QStringLiteral("3"), today(), kIn, QStringLiteral("777"));
    Record other = mine;
    other.cat = QStringLiteral("B");
    w.store()->add(mine);
    w.store()->add(other);
    w.store()->add(mine);
    choose(w, QStringLiteral("A"), QStringLiteral("p"));
    QCOMPARE(w.List3->count(), 2);
    QCOMPARE(w.List3->lineText(0), w.List3->lineText(1));
    const qint64 secondId = w.lineRecord(1).id;
    clickLine(w.List3, 0);
    w.Command9_Click();
    QCOMPARE(w.List3->count(), 1);
    QList<QString> cats;
    QList<qint64> ids;
    for (const Record &r : stored(w))
        if (r.kind == kTransaction) {
            cats << r.cat;
            ids << r.id;
        }
    QCOMPARE(cats, (QList<QString>{QStringLiteral("B"), QStringLiteral("A")}));
    QCOMPARE(ids.last(), secondId);
}

void TestBrowse::lineWhoseRecordIsGone()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addChosenProduct(w, QStringLiteral("c"), QStringLiteral("p"));
    addTx(w, QStringLiteral("1"), QStringLiteral("1"));
    addTx(w, QStringLiteral("2"), QStringLiteral("2"));
    // The first line's row goes elsewhere (another program, or a line listed twice).
    QVERIFY(w.store()->removeExact(w.lineRecord(0)));
    const size_t rowCount = stored(w).size();
    clickLine(w.List3, 0);
    w.Command9_Click();
    QCOMPARE(w.List3->count(), 1);
    QCOMPARE(stored(w).size(), rowCount);

    // A line that never had a row attached deletes by its fields.
    const QString line = w.List3->lineText(0);
    w.List3->clear();
    w.List3->addItem(line);
    clickLine(w.List3, 0);
    w.Command9_Click();
    QCOMPARE(w.List3->count(), 0);
    QCOMPARE(countKind(w, kTransaction), 0);
    QCOMPARE(boxes.texts(), QStringList(2, QStringLiteral("你是否确定删除！")));
}

void TestBrowse::selectAllThenDelete()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addCategory(w, QStringLiteral("c"));
    choose(w, QStringLiteral("c"));
    addProduct(w, QStringLiteral("p"));
    addProduct(w, QStringLiteral("q"));
    choose(w, QStringLiteral("c"), QStringLiteral("q"));
    addTx(w, QStringLiteral("9"), QStringLiteral("9"));
    choose(w, QStringLiteral("c"), QStringLiteral("p"));
    for (int i = 1; i <= 4; ++i)
        addTx(w, QString::number(i), QStringLiteral("1"));
    QVERIFY(w.List3->currentRow() < 0);
    w.Command6_Click();
    QVERIFY(w.List3->currentRow() >= 0);
    QCOMPARE(w.List3->selectedRows().size(), std::size_t{4});
    w.Command9_Click();
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("你是否确定删除！")});
    QCOMPARE(w.List3->count(), 0);
    QCOMPARE(countKind(w, kTransaction), 1); // the other product's

    // On an empty list nothing happens.
    w.Command6_Click();
    w.Command7_Click();
    QCOMPARE(w.List3->count(), 0);
}

void TestBrowse::invertTwice()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addChosenProduct(w, QStringLiteral("c"), QStringLiteral("p"));
    for (int i = 1; i <= 4; ++i)
        addTx(w, QString::number(i), QStringLiteral("1"));
    clickLine(w.List3, 1);
    clickLine(w.List3, 3);
    clickLine(w.List3, 3); // a second click takes the line out again
    auto selection = [&] {
        QList<bool> s;
        for (int i = 0; i < w.List3->count(); ++i)
            s << w.List3->isSelected(i);
        return s;
    };
    QCOMPARE(selection(), (QList<bool>{false, true, false, false}));
    w.Command7_Click();
    QCOMPARE(selection(), (QList<bool>{true, false, true, true}));
    w.Command7_Click();
    QCOMPARE(selection(), (QList<bool>{false, true, false, false}));
    QCOMPARE(w.List3->count(), 4);
}

void TestBrowse::deleteCategory()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addCategory(w, QStringLiteral("水果"));
    addCategory(w, QStringLiteral("饮料"));
    choose(w, QStringLiteral("饮料"));
    addProduct(w, QStringLiteral("水果")); // a product named like the other category
    choose(w, QStringLiteral("饮料"), QStringLiteral("水果"));
    addTx(w, QStringLiteral("1"), QStringLiteral("1"));
    choose(w, QStringLiteral("水果"));
    addProduct(w, QStringLiteral("苹果"));
    addProduct(w, QStringLiteral("梨"));
    choose(w, QStringLiteral("水果"), QStringLiteral("梨"));
    addTx(w, QStringLiteral("2"), QStringLiteral("2"));
    w.Option2->setChecked(true);
    addTx(w, QStringLiteral("3"), QStringLiteral("1"));
    w.Text4->setText(QStringLiteral("5"));
    w.Text5->setText(QStringLiteral("6"));

    choose(w, QStringLiteral("水果"));
    w.Command2_Click();
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("你是否确定删除！")});
    QCOMPARE(lines(w.List1), QStringList{QStringLiteral("饮料")});
    QVERIFY(w.List2->count() == 0 && w.List3->count() == 0);
    QVERIFY(w.Label2->text().isEmpty() && w.Label4->text().isEmpty());
    QVERIFY(w.Text4->text().isEmpty() && w.Text5->text().isEmpty());
    QCOMPARE(w.lastreq, QStringLiteral("1|水果"));
    const auto rows = stored(w);
    QCOMPARE(rows.size(), size_t(3));
    for (const Record &r : rows)
        QVERIFY(r.name == QStringLiteral("饮料") || r.cat == QStringLiteral("饮料"));
    QCOMPARE(w.Label5->text(), kWelcome);
}

void TestBrowse::deleteProductOfTwoCategories()
{
    Session s;
    auto &[folder, boxes, w] = s;
    for (const QString &c : {QStringLiteral("A"), QStringLiteral("B")}) {
        addCategory(w, c);
        choose(w, c);
        addProduct(w, QStringLiteral("苹果"));
        addProduct(w, QStringLiteral("梨"));
        choose(w, c, QStringLiteral("苹果"));
        addTx(w, QStringLiteral("1"), QStringLiteral("1"));
    }
    choose(w, QStringLiteral("A"), QStringLiteral("苹果"));
    QCOMPARE(w.List3->count(), 1);
    w.Text4->setText(QStringLiteral("7"));
    w.Command4_Click();
    QCOMPARE(w.lastreq, QStringLiteral("2|苹果|A"));
    QCOMPARE(lines(w.List2), QStringList{QStringLiteral("梨")});
    QCOMPARE(w.List3->count(), 0);
    QVERIFY(w.Label4->text().isEmpty() && w.Text4->text().isEmpty());
    QCOMPARE(w.Label2->text(), QStringLiteral("A"));
    QCOMPARE(lines(w.List1), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    int appleInB = 0, appleInA = 0;
    for (const Record &r : stored(w)) {
        appleInA += r.name == QStringLiteral("苹果") && r.cat == QStringLiteral("A");
        appleInB += r.name == QStringLiteral("苹果") && r.cat == QStringLiteral("B");
    }
    QCOMPARE(appleInA, 0);
    QCOMPARE(appleInB, 2);
}

void TestBrowse::deleteWhatWasConfirmed_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("refill"); // else B and its p are chosen while the question is open
    QTest::addColumn<QStringList>("kept");
    QTest::addColumn<QStringList>("list2");
    QTest::addColumn<int>("list3");
    const QStringList rowsOfB = {QStringLiteral("1 B "), QStringLiteral("2 p B"), QStringLiteral("3 p B")};
    QTest::newRow("category, lists refilled") << QStringLiteral("Command2") << true << rowsOfB << QStringList{} << 0;
    QTest::newRow("category, B chosen") << QStringLiteral("Command2") << false << rowsOfB << QStringList{QStringLiteral("p")} << 1;
    QTest::newRow("product, B chosen") << QStringLiteral("Command4") << false
                                       << (QStringList{QStringLiteral("1 A ")} + rowsOfB) << QStringList{QStringLiteral("p")} << 1;
    QTest::newRow("line, B chosen") << QStringLiteral("Command9") << false
                                    << QStringList{QStringLiteral("1 A "), QStringLiteral("1 B "), QStringLiteral("2 p A"), QStringLiteral("2 p B"), QStringLiteral("3 p B")}
                                    << QStringList{QStringLiteral("p")} << 1;
}

void TestBrowse::deleteWhatWasConfirmed()
{
    QFETCH(QString, button);
    QFETCH(bool, refill);
    Session s;
    auto &[folder, boxes, w] = s;
    for (const QString &c : {QStringLiteral("B"), QStringLiteral("A")}) {
        addChosenProduct(w, c, QStringLiteral("p"));
        addTx(w, QStringLiteral("1"), QStringLiteral("1"));
    }
    clickLine(w.List3, 0);
    boxes.whileOpen = [&] {
        if (refill)
            return w.Form_Activate();
        w.List1->setCurrentRow(rowOf(w.List1, QStringLiteral("B")));
        w.List2->setCurrentRow(rowOf(w.List2, QStringLiteral("p")));
    };
    w.findChild<QPushButton *>(button)->click();
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("你是否确定删除！")});
    QStringList kept;
    for (const Record &r : stored(w))
        kept << QStringLiteral("%1 %2 %3").arg(r.kind).arg(r.name, r.cat);
    kept.sort();
    QTEST(kept, "kept");
    QTEST(lines(w.List2), "list2");
    QTEST(w.List3->count(), "list3");
    QCOMPARE(lines(w.List1).contains(QStringLiteral("A")), button != QStringLiteral("Command2"));
}

void TestBrowse::failedDeleteKeepsLines()
{
    if (onServerLedger())
        QSKIP("the lock and the message are the file's; the server's failed writes are tested in pg_store_test");
    Session s;
    auto &[folder, boxes, w] = s;
    addChosenProduct(w, QStringLiteral("c"), QStringLiteral("p"));
    addTx(w, QStringLiteral("1"), QStringLiteral("1"));
    addTx(w, QStringLiteral("2"), QStringLiteral("1"));
    const QStringList before = lines(w.List3);
    w.Command6_Click();
    {
        WriteLock lock(w);
        QVERIFY(lock.ok());
        w.Command9_Click();
    }
    QCOMPARE(boxes.texts().size(), 2);
    QCOMPARE(boxes.texts()[1], QStringLiteral("记录未能从账本文件“%1”中删除：文件正被其他程序使用，请稍后再试！")
                                   .arg(w.store()->path()));
    QCOMPARE(boxes.titles()[1], QStringLiteral("系统提示："));
    QCOMPARE(lines(w.List3), before);
    QCOMPARE(countKind(w, kTransaction), 2);
}

QTEST_MAIN(TestBrowse)
#include "test_browse.moc"
