// Another computer's changes in the open main window: on a server ledger they show within a
// couple of seconds by themselves; on either kind the refresh (Form1::relist) keeps the user's
// place: the chosen category and product, what is typed in the boxes, the chosen lines.
#include "support_main.h"

#include <QRadioButton>
#include <QtTest>
#include <functional>

using namespace ledger;

namespace {

const QString kSnacks = QStringLiteral("零食"), kChips = QStringLiteral("薯片"), kDrinks = QStringLiteral("饮料");

// A transaction as another computer's main window adds it, in the direction shown here.
Record line(Form1 &w, const QString &product, const QString &category, const QString &price)
{
    return Record{0, true, kTransaction, product, category, price, QStringLiteral("2"), {}, w.Text6->text(),
                  w.Option1->text(), QStringLiteral("123")};
}

struct Change {
    std::function<void(Store &other, Form1 &w)> make;
    // What the window shows afterwards, besides a fresh listing's lines.
    bool categoryKept, productKept;
    int list3Lines;
    QStringList chosenLines; // the chosen lines of List3 by their prices
};

} // namespace

Q_DECLARE_METATYPE(Change)

class TestLive : public QObject {
    Q_OBJECT

private slots:
    void anotherComputersChangeShowsWithThePlaceKept_data();
    void anotherComputersChangeShowsWithThePlaceKept();
};

void TestLive::anotherComputersChangeShowsWithThePlaceKept_data()
{
    QTest::addColumn<Change>("change");
    const auto deleteWhere = [](std::function<bool(const Record &)> match) {
        return [match](Store &other, Form1 &) { other.removeWhere(match); };
    };
    QTest::newRow("line of the chosen product added")
        << Change{[](Store &o, Form1 &w) { o.add(line(w, kChips, kSnacks, QStringLiteral("7"))); }, true, true, 4,
                  {QStringLiteral("1"), QStringLiteral("3")}};
    QTest::newRow("line of another product added")
        << Change{[](Store &o, Form1 &w) { o.add(line(w, QStringLiteral("可乐"), kDrinks, QStringLiteral("7"))); }, true,
                  true, 3, {QStringLiteral("1"), QStringLiteral("3")}};
    QTest::newRow("category added")
        << Change{[](Store &o, Form1 &) {
                      o.add(Record{0, true, kCategory, QStringLiteral("文具"), {}, {}, {}, {}, {}, QStringLiteral("进货"), {}});
                  },
                  true, true, 3, {QStringLiteral("1"), QStringLiteral("3")}};
    QTest::newRow("chosen line deleted")
        << Change{deleteWhere([](const Record &r) { return r.price == QStringLiteral("1"); }), true, true, 2,
                  {QStringLiteral("3")}};
    QTest::newRow("chosen product deleted")
        << Change{deleteWhere([](const Record &r) { return r.name == kChips; }), true, false, 0, {}};
    QTest::newRow("chosen category deleted")
        << Change{deleteWhere([](const Record &r) { return r.name == kSnacks || r.cat == kSnacks; }), false, false, 0, {}};
}

void TestLive::anotherComputersChangeShowsWithThePlaceKept()
{
    QFETCH(Change, change);
    Session s;
    auto &[folder, boxes, w] = s;
    addChosenProduct(w, kDrinks, QStringLiteral("可乐"));
    addTx(w, QStringLiteral("5"), QStringLiteral("1"));
    addChosenProduct(w, kSnacks, QStringLiteral("饼干"));
    addProduct(w, kChips);
    choose(w, kSnacks, kChips);
    w.Check2->setChecked(false);
    for (const char *price : {"1", "2", "3"})
        addTx(w, QString::fromLatin1(price), QStringLiteral("1"));
    QCOMPARE(w.List3->count(), 3);
    w.List3->setSelected(0, true);
    w.List3->setSelected(2, true);
    w.Text2->setText(QStringLiteral("正在输入"));
    w.Text4->setText(QStringLiteral("9"));

    const auto other = ledgerIn(folder);
    change.make(*other, w);
    const QStringList categories = [&] {
        QStringList names;
        for (const Record &r : other->rows())
            if (r.isKind(kCategory))
                names << r.name;
        return names;
    }();
    if (onServerLedger()) // by itself, within a couple of seconds
        QTRY_COMPARE_WITH_TIMEOUT(lines(w.List1), categories, 3000);
    else // another program's change to the file is read at the next action
        w.relist();
    QTRY_COMPARE_WITH_TIMEOUT(w.List3->count(), change.list3Lines, 3000);
    QCOMPARE(lines(w.List1), categories);

    QCOMPARE(w.List1->currentItem() && w.List1->currentItem()->isSelected() ? w.List1->currentItem()->text() : QString(),
             change.categoryKept ? kSnacks : QString());
    QCOMPARE(w.Label2->text(), change.categoryKept ? kSnacks : QString());
    QCOMPARE(w.List2->currentItem() && w.List2->currentItem()->isSelected() ? w.List2->currentItem()->text() : QString(),
             change.productKept ? kChips : QString());
    QCOMPARE(w.Label4->text(), change.productKept ? kChips : QString());
    QCOMPARE(w.Text2->text(), QStringLiteral("正在输入"));
    QCOMPARE(w.Text4->text(), change.productKept ? QStringLiteral("9") : QString()); // as after a deletion here
    QStringList chosen;
    for (const int row : w.List3->selectedRows())
        chosen << w.lineRecord(row).price;
    QCOMPARE(chosen, change.chosenLines);

    // Where a fresh listing puts every line: the same as clicking the choices again.
    const QStringList shown1 = lines(w.List1), shown2 = lines(w.List2), shown3 = lines(w.List3);
    if (change.productKept)
        choose(w, kSnacks, kChips);
    else if (change.categoryKept)
        choose(w, kSnacks);
    QCOMPARE(lines(w.List1), shown1);
    QCOMPARE(lines(w.List2), shown2);
    QCOMPARE(lines(w.List3), shown3);
}

QTEST_MAIN(TestLive)
#include "test_live.moc"
