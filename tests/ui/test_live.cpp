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

// A transaction as another computer's main window adds it, in the direction shown here, dated
// today unless date says otherwise.
Record line(Form1 &w, const QString &product, const QString &category, const QString &price, QString date = {})
{
    return Record{0,
                  true,
                  kTransaction,
                  product,
                  category,
                  price,
                  QStringLiteral("2"),
                  QString::number(price.toDouble() * 2),
                  date.isNull() ? w.Text6->text() : date,
                  w.Option1->text(),
                  QStringLiteral("123")};
}

struct Change {
    std::function<void(Store &other, Form1 &w)> make;
    // What the window shows afterwards, besides a fresh listing's lines.
    bool categoryKept, productKept;
    int list3Lines;
    QStringList chosenLines; // the chosen lines of List3 by their prices
};

// Rows another computer appended (or deleted) while a fresh listing of the chosen product shows.
struct Appended {
    std::function<void(Store &other, Form1 &w)> make;
    int list3Lines;
    bool listedAgain; // List3 filled afresh on a server ledger, rather than lines added to it
};

} // namespace

Q_DECLARE_METATYPE(Change)
Q_DECLARE_METATYPE(Appended)

class TestLive : public QObject {
    Q_OBJECT

private slots:
    void anotherComputersChangeShowsWithThePlaceKept_data();
    void anotherComputersChangeShowsWithThePlaceKept();
    void appendedRowsShowAsAFreshListing_data();
    void appendedRowsShowAsAFreshListing();
    void lostConnectionMadeAgainWithoutAnAction();
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

void TestLive::appendedRowsShowAsAFreshListing_data()
{
    QTest::addColumn<Appended>("change");
    const auto adding = [](std::function<Record(Form1 &)> row) {
        return [row](Store &other, Form1 &w) { other.add(row(w)); };
    };
    QTest::newRow("line of the chosen product added")
        << Appended{adding([](Form1 &w) { return line(w, kChips, kSnacks, QStringLiteral("7.3")); }), 4, false};
    QTest::newRow("line of another product added")
        << Appended{adding([](Form1 &w) { return line(w, QStringLiteral("饼干"), kSnacks, QStringLiteral("7")); }), 3,
                    false};
    QTest::newRow("product added to the chosen category")
        << Appended{adding([](Form1 &) {
                        return Record{0, true, kProduct, QStringLiteral("糖果"), kSnacks, {}, {}, {}, {}, QStringLiteral("进货"), {}};
                    }),
                    3, false};
    QTest::newRow("line of another month added, this month's shown")
        << Appended{adding([](Form1 &w) { return line(w, kChips, kSnacks, QStringLiteral("7"), QStringLiteral("2001/1/1")); }),
                    3, false};
    QTest::newRow("listed line deleted")
        << Appended{[](Store &o, Form1 &) { o.removeWhere([](const Record &r) { return r.price == QStringLiteral("2"); }); },
                    2, true};
    QTest::newRow("listed line deleted, another added: as many rows as before")
        << Appended{[](Store &o, Form1 &w) {
                        o.removeWhere([](const Record &r) { return r.price == QStringLiteral("2"); });
                        o.add(line(w, kChips, kSnacks, QStringLiteral("7.3")));
                    },
                    3, true};
}

void TestLive::appendedRowsShowAsAFreshListing()
{
    QFETCH(Appended, change);
    Session s;
    auto &[folder, boxes, w] = s;
    addChosenProduct(w, kSnacks, QStringLiteral("饼干"));
    addProduct(w, kChips);
    choose(w, kSnacks, kChips);
    for (const char *price : {"1", "2", "3.5"})
        addTx(w, QString::fromLatin1(price), QStringLiteral("1"));
    choose(w, kSnacks, kChips); // listed afresh, only this month's lines
    w.List3->setSelected(0, true);
    w.List3->setSelected(2, true);
    const quint64 fill = w.List3->lines()->fills();

    const auto other = ledgerIn(folder);
    change.make(*other, w);
    if (onServerLedger())
        QTRY_VERIFY_WITH_TIMEOUT(w.store()->loadedRows().size() == other->rows().size() &&
                                     w.store()->loadedRows().back().id == other->rows().back().id,
                                 3000);
    else
        w.relist();
    QCOMPARE(w.List3->count(), change.list3Lines);
    if (onServerLedger())
        QCOMPARE(w.List3->lines()->fills() != fill, change.listedAgain);
    QStringList chosen;
    for (const int row : w.List3->selectedRows())
        chosen << w.lineRecord(row).price;
    QCOMPARE(chosen, (QStringList{QStringLiteral("1"), QStringLiteral("3.5")}));
    QCOMPARE(w.Label4->text(), kChips);

    const QStringList shown1 = lines(w.List1), shown2 = lines(w.List2), shown3 = lines(w.List3);
    const QString status = w.Label5->text();
    choose(w, kSnacks, kChips);
    QCOMPARE(lines(w.List1), shown1);
    QCOMPARE(lines(w.List2), shown2);
    QCOMPARE(lines(w.List3), shown3);
    QCOMPARE(w.Label5->text(), status);
}

// The server restarted or the session ended while nobody used the window: it connects again by
// itself and shows what another computer added meanwhile.
void TestLive::lostConnectionMadeAgainWithoutAnAction()
{
    if (!onServerLedger())
        QSKIP("a file ledger has no connection");
    Session s;
    auto &[folder, boxes, w] = s;
    addChosenProduct(w, kSnacks, kChips);
    addTx(w, QStringLiteral("1"), QStringLiteral("1"));
    choose(w, kSnacks, kChips);
    auto &mine = static_cast<ServerStore *>(w.store())->connection();
    const auto other = ledgerIn(folder);
    auto &theirs = static_cast<ServerStore &>(*other).connection();
    const int before = mine.backendPid();
    QVERIFY(theirs.exec("SELECT pg_terminate_backend($1::int)", {QString::number(before)}).text(0, 0) == u"t");
    // Ended before the add, so that its announcement cannot reach the old session.
    QTRY_VERIFY_WITH_TIMEOUT(theirs.exec("SELECT count(*) FROM pg_stat_activity WHERE pid = $1::int",
                                         {QString::number(before)}).number(0, 0) == 0, 3000);
    other->add(line(w, kChips, kSnacks, QStringLiteral("7")));
    QTRY_COMPARE_WITH_TIMEOUT(w.List3->count(), 2, 5000);
    QVERIFY(mine.backendPid() != before);
    QCOMPARE(w.lineRecord(1).price, QStringLiteral("7"));
    // Announcements reach the new session.
    other->add(line(w, kChips, kSnacks, QStringLiteral("8")));
    QTRY_COMPARE_WITH_TIMEOUT(w.List3->count(), 3, 3000);
    QVERIFY(boxes.seen.isEmpty());
}

QTEST_MAIN(TestLive)
#include "test_live.moc"
