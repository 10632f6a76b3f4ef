#include "ledger/browse.h"
#include "ledger/file_store.h"
#include "ledger/text.h"
#include "rows.h"

#include <QTemporaryDir>
#include <sqlite3.h>

#include <gtest/gtest.h>

using namespace ledger;

namespace {

const QString kIn = QStringLiteral("进货");
const QString kOut = QStringLiteral("出货");

Record movement(const QString &name, const QString &cat, const QString &qty, const QString &total,
                const QString &date, const QString &method = QStringLiteral("进货"),
                const QString &txno = QStringLiteral("17"), const QString &price = QStringLiteral("1"))
{
    return transaction(name, cat, price, qty, total, date, method, txno);
}

std::vector<Record> withIds(std::vector<Record> rows)
{
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i].id = static_cast<qint64>(i) + 1;
    return rows;
}

std::vector<qint64> ids(const RecordRefs &rows)
{
    std::vector<qint64> out;
    for (const Record &r : rows)
        out.push_back(r.id);
    return out;
}

// The ids a delete request removes.
std::vector<qint64> deleted(const std::vector<Record> &rows, const QString &request,
                            const QString &category, const QString &direction = QStringLiteral("进货"))
{
    const QStringList f = splitRequest(request);
    std::vector<qint64> out;
    for (const Record &r : rows)
        if (deleteMatches(r, f, category, direction))
            out.push_back(r.id);
    return out;
}

} // namespace

TEST(CategoryAndProductLists, StoredOrderDuplicatesKeptExactCategoryOnly)
{
    const auto rows = withIds({category(QStringLiteral("水果")), product(QStringLiteral("苹果"), QStringLiteral("水果")),
                               category(QStringLiteral("Drinks")), category(QStringLiteral("水果")),
                               product(QStringLiteral("Tea"), QStringLiteral("Drinks")),
                               product(QStringLiteral("梨"), QStringLiteral("水果")),
                               product(QStringLiteral("tea2"), QStringLiteral("drinks")),
                               product(QStringLiteral("tea3"), QStringLiteral("Drinks ")),
                               movement(QStringLiteral("苹果"), QStringLiteral("水果"), QStringLiteral("1"), QStringLiteral("1"), QString())});
    const RecordRefs refs(rows.cbegin(), rows.cend());
    EXPECT_EQ(categoryNames(refs), (QStringList{QStringLiteral("水果"), QStringLiteral("Drinks"), QStringLiteral("水果")}));
    EXPECT_EQ(productNames(refs, QStringLiteral("水果")), (QStringList{QStringLiteral("苹果"), QStringLiteral("梨")}));
    // Case and a trailing space make another category.
    EXPECT_EQ(productNames(refs, QStringLiteral("Drinks")), QStringList{QStringLiteral("Tea")});
    EXPECT_TRUE(productNames(refs, QString()).isEmpty());
    EXPECT_TRUE(categoryNames(RecordRefs(rows.cbegin() + 1, rows.cbegin() + 2)).isEmpty()); // a product alone
}

TEST(TransactionList, SelectsCategoryProductDirection)
{
    const QDate today(2026, 12, 7);
    const QString c = QStringLiteral("水果"), p = QStringLiteral("苹果");
    const auto rows = withIds({
        movement(p, c, QStringLiteral("2"), QStringLiteral("10"), QStringLiteral("26-12-1")),
        movement(p, QStringLiteral("其他"), QStringLiteral("4"), QStringLiteral("99"), QStringLiteral("26-12-1")),
        movement(p, c, QStringLiteral("3"), QStringLiteral("20.5"), QStringLiteral("26-12-2")),
        movement(p, c, QStringLiteral("7"), QStringLiteral("70"), QStringLiteral("26-12-2"), kOut),
        movement(QStringLiteral("梨"), c, QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("26-12-2")),
        product(p, c),
    });
    const TxListing in = listTransactions(rows, c, p, kIn, false, today);
    EXPECT_EQ(ids(in.records), (std::vector<qint64>{1, 3}));
    EXPECT_EQ(in.quantitySum, 5);
    EXPECT_DOUBLE_EQ(in.amountSum, 30.5);
    const TxListing out = listTransactions(rows, c, p, kOut, false, today);
    EXPECT_EQ(ids(out.records), std::vector<qint64>{4});
    EXPECT_TRUE(listTransactions(rows, c, QString(), kIn, false, today).records.empty());
}

TEST(TransactionList, MonthFilter)
{
    const QDate today(2026, 12, 7);
    const QString c = QStringLiteral("c"), p = QStringLiteral("p");
    const auto rows = withIds({
        movement(p, c, QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("2026/12/1")), // first day
        movement(p, c, QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("26-11-30")),  // last of previous month
        movement(p, c, QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("25-12-7")),   // same month last year
        movement(p, c, QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("soon")),      // unreadable
        movement(p, c, QStringLiteral("1"), QStringLiteral("1"), QString()),                   // no date
        movement(p, c, QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("26-12-31")),
    });
    EXPECT_EQ(ids(listTransactions(rows, c, p, kIn, true, today).records), (std::vector<qint64>{1, 6}));
    EXPECT_EQ(ids(listTransactions(rows, c, p, kIn, false, today).records), (std::vector<qint64>{1, 2, 3, 4, 5, 6}));
    // January against December of the year before.
    EXPECT_FALSE(inMonthOf(rows[0], QDate(2027, 1, 1)));
}

// Rows appended after a listing, listed on their own and added to it, come to the fresh
// listing: the same lines, and sums added in the same order (rounding and fractions exact).
TEST(TransactionList, CarriedOnOverAppendedRowsAsListedAfresh)
{
    const QDate today(2026, 12, 7);
    const QString c = QStringLiteral("c"), p = QStringLiteral("p");
    const auto rows = withIds({
        movement(p, c, QStringLiteral("0.5"), QStringLiteral("0.1"), QStringLiteral("2026/12/1")),
        movement(p, c, QStringLiteral("2.5"), QStringLiteral("0.2"), QStringLiteral("2026/11/1")),
        movement(QStringLiteral("q"), c, QStringLiteral("9"), QStringLiteral("9"), QStringLiteral("2026/12/1")),
        movement(p, c, QStringLiteral("0.5"), QStringLiteral("0.3"), QStringLiteral("2026/12/3"), kOut),
        product(QStringLiteral("r"), c),
        movement(p, c, QStringLiteral("1.5"), QStringLiteral("0.7"), QStringLiteral("2026/12/5")),
        movement(p, c, QStringLiteral("0.5"), QStringLiteral("1e-17"), QStringLiteral("2026/12/6")),
    });
    for (const bool monthOnly : {false, true}) {
        const TxListing fresh = listTransactions(rows, c, p, kIn, monthOnly, today);
        ASSERT_GE(fresh.records.size(), 3u);
        for (std::size_t from = 0; from <= rows.size(); ++from) {
            const std::vector<Record> first(rows.cbegin(), rows.cbegin() + static_cast<std::ptrdiff_t>(from));
            TxListing carried = listTransactions(first, c, p, kIn, monthOnly, today);
            std::vector<qint64> lines = ids(carried.records);
            extendListing(carried, rows, from, c, p, kIn, monthOnly, today);
            for (const qint64 id : ids(carried.records)) {
                EXPECT_GT(id, static_cast<qint64>(from)); // only the appended rows
                lines.push_back(id);
            }
            EXPECT_EQ(lines, ids(fresh.records)) << from << monthOnly;
            EXPECT_EQ(carried.quantitySum, fresh.quantitySum) << from << monthOnly;
            EXPECT_EQ(carried.amountSum, fresh.amountSum) << from << monthOnly; // bit for bit
        }
    }
}

TEST(QuantitySum, RoundsEachStepToEvenIn64Bits)
{
    EXPECT_EQ(addQuantity(addQuantity(0, 0.5), 0.5), 0);
    EXPECT_EQ(addQuantity(0, 1.5), 2);
    EXPECT_EQ(addQuantity(1, 0.5), 2);
    EXPECT_EQ(addQuantity(2, 0.5), 2);
    EXPECT_EQ(addQuantity(1, 0.7), 2);
    EXPECT_EQ(addQuantity(1, -0.7), 0);
    EXPECT_EQ(addQuantity(1, -0.5), 0);
    EXPECT_EQ(addQuantity(2, -2.5), 0);
    EXPECT_EQ(addQuantity(0, parseNumber(QStringLiteral("abc"))), 0);

    // Ten-digit quantities, far beyond 32 bits, stay exact.
    qint64 sum = 0;
    for (int i = 0; i < 1000; ++i)
        sum = addQuantity(sum, parseNumber(QStringLiteral("9999999999")));
    EXPECT_EQ(sum, Q_INT64_C(9999999999000));
    // Beyond double precision the whole part is still added exactly.
    EXPECT_EQ(addQuantity(Q_INT64_C(9007199254740993), 2), Q_INT64_C(9007199254740995));
    EXPECT_EQ(addQuantity(Q_INT64_C(9007199254740993), 0.5), Q_INT64_C(9007199254740994));
    // Whatever a stored text holds, the sum saturates instead of overflowing.
    const qint64 big = addQuantity(std::numeric_limits<qint64>::max() - 1, parseNumber(QStringLiteral("1E300")));
    EXPECT_EQ(big, std::numeric_limits<qint64>::max());
    EXPECT_EQ(addQuantity(std::numeric_limits<qint64>::min(), -1E300), std::numeric_limits<qint64>::min());

    const QString c = QStringLiteral("c"), p = QStringLiteral("p");
    const auto rows = withIds({movement(p, c, QStringLiteral("0.5"), QStringLiteral("1"), QString()),
                               movement(p, c, QStringLiteral("0.5"), QStringLiteral("1"), QString())});
    EXPECT_EQ(listTransactions(rows, c, p, kIn, false, QDate(2026, 1, 1)).quantitySum, 0);
}

TEST(TransactionLine, ExampleLineAndColumns)
{
    const QString record = QStringLiteral("3|苹果|水果|2.5|10|25|24-06-15|进货|17");
    const QString expected = QStringLiteral("苹果") + QString(16, u' ') + u'|' + QString(7, u' ') +
                             QStringLiteral("2.5|") + QString(8, u' ') + QStringLiteral("10|") + QString(8, u' ') +
                             QStringLiteral("25|24-06-15|进货|") + QString(8, u' ') + QStringLiteral("17");
    const QString line = makeTxLine(record);
    EXPECT_EQ(line, expected);
    // Every line has the same display width up to each bar, whatever the name's script.
    const QString ascii = makeTxLine(QStringLiteral("3|Kiwi fruit|x|12.75|3|38.25|26-1-5|出货|123456"));
    EXPECT_EQ(displayWidth(line), displayWidth(ascii));
    EXPECT_EQ(displayWidth(line.section(u'|', 0, 0)), 20);
    EXPECT_EQ(displayWidth(ascii.section(u'|', 0, 0)), 20);

    // A name of exactly 20 columns gets no filling.
    const QString wide = QStringLiteral("一二三四五六七八九十");
    EXPECT_TRUE(makeTxLine(QStringLiteral("3|") + wide + QStringLiteral("|c|1|1|1|1|进货|1")).startsWith(wide + u'|'));
    // Values wider than their column are kept whole.
    const QString longDate = makeTxLine(QStringLiteral("3|a|c|1|1|1|2026/12/17|进货|1"));
    EXPECT_TRUE(longDate.contains(QStringLiteral("|2026/12/17|进货|")));
    const QString huge = makeTxLine(QStringLiteral("3|a|c|1|1|1|") + QString(20, u'9') + QStringLiteral("|进货|1"));
    EXPECT_EQ(huge.split(u'|').size(), 7);

    // Back to a delete request: the quantity is not carried.
    EXPECT_EQ(txLineToRequest(line).split(u'|'),
              (QStringList{QStringLiteral("3"), QStringLiteral("苹果"), QStringLiteral("2.5"), QStringLiteral("25"),
                           QStringLiteral("24-06-15"), QStringLiteral("进货"), QStringLiteral("17"), QString(), QString()}));
    // Only spaces are trimmed, and a name keeps its inner spaces.
    EXPECT_EQ(splitRequest(txLineToRequest(ascii))[1], QStringLiteral("Kiwi fruit"));
}

TEST(DeleteRequest, CategoryRemovesItsNameAndProductsOfSelectedCategory)
{
    const QString fruit = QStringLiteral("水果");
    const auto rows = withIds({
        category(fruit),                                                         // 1
        product(QStringLiteral("苹果"), fruit),                                  // 2
        category(QStringLiteral("饮料")),                                        // 3
        product(fruit, QStringLiteral("饮料")),                                  // 4: named like the category
        movement(QStringLiteral("苹果"), fruit, QStringLiteral("1"), QStringLiteral("1"), QString()), // 5
        movement(fruit, QStringLiteral("饮料"), QStringLiteral("1"), QStringLiteral("1"), QString()), // 6
        product(QStringLiteral("梨"), fruit),                                    // 7
    });
    // Transactions are left for the delete button to remove by category.
    EXPECT_EQ(deleted(rows, QStringLiteral("1|水果"), fruit), (std::vector<qint64>{1, 2, 7}));
    // Nothing selected in the category list: only the category row itself.
    EXPECT_EQ(deleted(rows, QStringLiteral("1|水果"), QString()), std::vector<qint64>{1});
    // A kind written as a number with surrounding text still reads as its number.
    EXPECT_EQ(deleted(rows, QStringLiteral("1.0|水果"), fruit), (std::vector<qint64>{1, 2, 7}));
}

TEST(DeleteRequest, ProductRemovesOnlyItsCategorysRowsWithTransactions)
{
    const QString a = QStringLiteral("A"), b = QStringLiteral("B"), p = QStringLiteral("苹果");
    const auto rows = withIds({
        category(a), category(b),                                         // 1, 2
        product(p, a), product(p, b), product(QStringLiteral("梨"), a),   // 3, 4, 5
        movement(p, a, QStringLiteral("1"), QStringLiteral("1"), QString()),    // 6
        movement(p, b, QStringLiteral("1"), QStringLiteral("1"), QString()),    // 7
        movement(p, a, QStringLiteral("2"), QStringLiteral("2"), QString(), kOut), // 8
    });
    EXPECT_EQ(deleted(rows, QStringLiteral("2|苹果|A"), a), (std::vector<qint64>{3, 6, 8}));
    EXPECT_EQ(deleted(rows, QStringLiteral("2|苹果|B"), a), (std::vector<qint64>{4, 7}));
    EXPECT_TRUE(deleted(rows, QStringLiteral("2|苹果|"), a).empty());
}

TEST(DeleteRequest, LineRequestMatchesByNameNumberDateDirection)
{
    const QString p = QStringLiteral("苹果");
    Record same = movement(p, QStringLiteral("A"), QStringLiteral("10"), QStringLiteral("25"), QStringLiteral("24-06-15"), kIn,
                     QStringLiteral("17"), QStringLiteral("2.5"));
    Record otherCategory = same;
    otherCategory.cat = QStringLiteral("B");
    Record otherNumber = same;
    otherNumber.txno = QStringLiteral("18");
    Record otherDateAndPrice = same;
    otherDateAndPrice.date = QStringLiteral("24-06-16");
    Record otherDirectionSameQty = same;
    otherDirectionSameQty.method = kOut;
    otherDirectionSameQty.qty = QStringLiteral("24-06-15"); // 数量 equal to the date field
    Record otherDirection = same;
    otherDirection.method = kOut;
    const auto rows = withIds({same, otherCategory, otherNumber, otherDateAndPrice, otherDirectionSameQty,
                               otherDirection, product(p, QStringLiteral("A"))});
    const QString request = txLineToRequest(makeTxLine(recordText(same)));
    EXPECT_EQ(deleted(rows, request, QStringLiteral("A")), (std::vector<qint64>{1, 2, 5}));
}

TEST(DeleteRequest, CategoryGoesWithEverythingFiledUnderIt)
{
    const QString fruit = QStringLiteral("水果"), drinks = QStringLiteral("饮料");
    const QStringList f = splitRequest(QStringLiteral("1|水果"));
    const Record tx = movement(QStringLiteral("苹果"), fruit, QStringLiteral("1"), QStringLiteral("1"), QString());
    EXPECT_TRUE(deleteRemoves(tx, f, fruit, kIn));
    EXPECT_TRUE(deleteRemoves(product(QStringLiteral("苹果"), fruit), f, fruit, kIn));
    EXPECT_TRUE(deleteRemoves(category(fruit), f, fruit, kIn));
    EXPECT_FALSE(deleteRemoves(movement(fruit, drinks, QStringLiteral("1"), QStringLiteral("1"), QString()), f, fruit, kIn));
    // With no category selected only the category row goes.
    EXPECT_FALSE(deleteRemoves(tx, f, QString(), kIn));
    // A product request does not take the selected category's transactions.
    EXPECT_FALSE(deleteRemoves(tx, splitRequest(QStringLiteral("2|梨|水果")), fruit, kIn));
}

TEST(DeleteRequest, LineWithItsRowDeletesExactlyThatRowElseByFields)
{
    QTemporaryDir dir;
    auto store = FileStore::open(dir.filePath(QStringLiteral("1.mdb")));
    const Record tx = movement(QStringLiteral("苹果"), QStringLiteral("A"), QStringLiteral("10"), QStringLiteral("25"),
                               QStringLiteral("24-06-15"), kIn, QStringLiteral("17"), QStringLiteral("2.5"));
    const Record first = store->add(tx);
    store->add(tx); // the same fields twice
    const QStringList f = splitRequest(txLineToRequest(makeTxLine(recordText(tx))));
    auto remove = [&](const Record &line) { return removeLines(*store, {{line, f}}, QStringLiteral("A"), kIn); };
    EXPECT_EQ(remove(first), 1);
    ASSERT_EQ(store->rows().size(), 1u);
    EXPECT_EQ(remove(first), 0); // already gone: nothing more
    store->add(tx);
    EXPECT_EQ(remove(tx), 2); // no row id: every match goes
    EXPECT_TRUE(store->rows().empty());
}

TEST(DeleteRequest, SeveralLinesGoInOneCommit)
{
    QTemporaryDir dir;
    auto store = FileStore::open(dir.filePath(QStringLiteral("1.mdb")));
    std::vector<SelectedLine> lines;
    for (int i = 0; i < 50; ++i)
        lines.push_back({store->add(movement(QStringLiteral("苹果"), QStringLiteral("A"), QString::number(i + 1),
                                             QStringLiteral("25"), QStringLiteral("24-06-15"))),
                         {}});
    const Record kept = store->add(movement(QStringLiteral("梨"), QStringLiteral("A"), QStringLiteral("1"),
                                            QStringLiteral("1"), QStringLiteral("24-06-15")));
    int commits = 0;
    sqlite3_commit_hook(store->handle(), [](void *n) { return ++*static_cast<int *>(n), 0; }, &commits);
    EXPECT_EQ(removeLines(*store, lines, QStringLiteral("A"), kIn), 50);
    EXPECT_EQ(commits, 1);
    ASSERT_EQ(store->rows().size(), 1u);
    EXPECT_EQ(store->rows()[0].id, kept.id);
}
