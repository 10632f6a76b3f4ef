// 盘点: counting, scanner codes and posting, checked against what the calculations answer for
// the same products before and after.
#include "ledger/adding.h"
#include "ledger/calc.h"
#include "ledger/file_store.h"
#include "ledger/facts.h"
#include "ledger/lowstock.h"
#include "ledger/ranking.h"
#include "ledger/stocktake.h"
#include "ledger/text.h"
#include "rows.h"
#include "sqlite_db.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ledger;

namespace {

const QString kIn = QStringLiteral("进货");
const QString kOut = QStringLiteral("出货");
const QDate kToday(2026, 12, 7);
const QDateTime kNow(kToday, QTime(9, 30));

// 饮料: 可乐 (6 in the book, 5 a piece), 雪碧 (15, 10.05), 茶 (stock-outs only: -3), 水 (7);
// 文具: 笔 (10), never counted.
std::vector<Record> shop()
{
    auto t = [](const char *name, const char *cat, const QString &method, const char *qty, const char *total,
                const char *date) { return tx(q(name), q(cat), method, q(qty), q(total), q(date)); };
    return {category(q("饮料")), product(q("可乐"), q("饮料")), product(q("雪碧"), q("饮料")),
            product(q("茶"), q("饮料")), product(q("水"), q("饮料")), category(q("文具")),
            product(q("笔"), q("文具")),
            t("可乐", "饮料", kIn, "10", "50", "2026/11/1"), t("可乐", "饮料", kOut, "4", "32", "2026/12/1"),
            t("雪碧", "饮料", kIn, "20", "201", "2026/11/2"), t("雪碧", "饮料", kOut, "5", "100", "2026/11/20"),
            t("茶", "饮料", kOut, "3", "30", "2026/12/2"), t("水", "饮料", kIn, "7", "14", "2026/10/1"),
            t("笔", "文具", kIn, "10", "10", "2026/9/1")};
}

struct Answer {
    qint64 stock;
    double turnover;
    CalcFigures figures;
};

Answer answer(Store &s, const char *cat, const char *name)
{
    const CalcTotals t = sumProduct(s.rows(), q(cat), q(name), CalcStock, kIn, kToday);
    return {t.netStock, t.outAmount, deriveFigures(t)};
}

class StockTakeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = FileStore::open(path());
        store->addAll(shop());
        take.begin(*store);
    }
    QString path() const { return dir.filePath(QStringLiteral("1.mdb")); }
    std::size_t line(const char *cat, const char *name) const { return *take.lineOf({q(cat), q(name)}); }
    void count(const char *cat, const char *name, qint64 pieces) { take.setCount(line(cat, name), pieces); }
    // 可乐 4 (2 short), 雪碧 18 (3 over), 茶 2 (5 over, no price), 水 7 (right).
    void countShop()
    {
        count("饮料", "可乐", 4);
        count("饮料", "雪碧", 18);
        count("饮料", "茶", 2);
        count("饮料", "水", 7);
    }
    StockTakeRecord post() { return postStockTake(take, *store, rnd, kNow, q("柜台")); }

    QTemporaryDir dir;
    std::unique_ptr<FileStore> store;
    StockTake take;
    Rnd rnd;
};

} // namespace

TEST(StockTakeCodes, CheckDigitsOfEan13AndUpcAOnly)
{
    const struct {
        const char *code;
        CodeCheck check;
    } cases[] = {
        {"4006381333931", CodeCheck::Valid},   {"4006381333932", CodeCheck::Misread}, // EAN-13
        {"036000291452", CodeCheck::Valid},    {"036000291453", CodeCheck::Misread},  // UPC-A
        {"6901234567892", CodeCheck::Valid},   {"6901234567829", CodeCheck::Misread}, // two digits swapped
        {"0000000000000", CodeCheck::Valid},   {"96385074", CodeCheck::Unchecked},    // EAN-8
        {"01234565", CodeCheck::Unchecked},    {"ABC-0042", CodeCheck::Unchecked},    // UPC-E, own label
        {"400638133393X", CodeCheck::Unchecked}, {"40063813339311", CodeCheck::Unchecked},
        {"４００６３８１３３３９３１", CodeCheck::Unchecked}, // full-width digits are no EAN
    };
    for (const auto &c : cases)
        EXPECT_EQ(checkCode(q(c.code)), c.check) << c.code;
}

TEST(StockTakeCodes, ScanTextsWithAQuantityInFront)
{
    const struct {
        const char *text;
        bool read;
        qint64 quantity;
        const char *code;
    } cases[] = {
        {"4006381333931", true, 1, "4006381333931"}, {"12*4006381333931", true, 12, "4006381333931"},
        {" 3 * ABC-1 ", true, 3, "ABC-1"},            {"999999*7", true, 999999, "7"},
        {"A*B", true, 1, "A*B"},                      {"0*4006381333931", false, 0, ""},
        {"1000000*7", false, 0, ""},                  {"12*", false, 0, ""},
        {"", false, 0, ""},                           {"   ", false, 0, ""},
    };
    for (const auto &c : cases) {
        const std::optional<Scan> scan = readScan(q(c.text));
        ASSERT_EQ(scan.has_value(), c.read) << c.text;
        if (scan) {
            EXPECT_EQ(scan->quantity, c.quantity) << c.text;
            EXPECT_EQ(scan->code, q(c.code)) << c.text;
        }
    }
}

TEST_F(StockTakeTest, BookFiguresAndPricesAreTheCalculations)
{
    ASSERT_EQ(take.lines().size(), 5u);
    for (const CountLine &l : take.lines()) {
        const CalcTotals t = sumProduct(store->rows(), l.product.category, l.product.name, CalcStock, kIn, kToday);
        const CalcFigures f = deriveFigures(t);
        EXPECT_EQ(l.book, t.netStock) << l.product.name.toStdString();
        EXPECT_EQ(l.price.has_value(), f.hasStockValue());
        EXPECT_EQ(l.price.value_or(0), f.inAvg);
        EXPECT_FALSE(l.count.has_value()); // a count is only what someone counted
    }
    EXPECT_EQ(take.lines()[line("饮料", "雪碧")].price, 10.05);
    EXPECT_FALSE(take.lines()[line("饮料", "茶")].price.has_value());
}

TEST_F(StockTakeTest, CountsDifferencesValuesAndTotals)
{
    countShop();
    take.addCount(line("饮料", "可乐"), 12); // "12*" and a scan
    take.addCount(line("文具", "笔"), 1);    // a first scan of an uncounted product
    const std::vector<CountLine> &l = take.lines();
    EXPECT_EQ(l[line("饮料", "可乐")].difference(), 10);
    EXPECT_DOUBLE_EQ(l[line("饮料", "可乐")].value(), 50);
    EXPECT_EQ(l[line("文具", "笔")].difference(), -9);
    EXPECT_EQ(l[line("饮料", "茶")].value(), 0); // no price, no value
    const CountTotals all = countTotals(l, {0, 1, 2, 3, 4});
    EXPECT_EQ(all.counted, 5);
    EXPECT_EQ(all.book, 6 + 15 - 3 + 7 + 10);
    EXPECT_EQ(all.count, 16 + 18 + 2 + 7 + 1);
    EXPECT_EQ(all.difference, all.count - all.book);
    EXPECT_DOUBLE_EQ(all.value, 50 + 3 * 10.05 + 0 + 0 - 9);
    take.setCount(line("文具", "笔"), std::nullopt);
    EXPECT_EQ(countTotals(l, {line("文具", "笔")}).counted, 0);
}

TEST_F(StockTakeTest, PostingMakesEveryCalculationAgreeWithTheCounts)
{
    countShop();
    struct Before {
        const char *name;
        Answer a;
    };
    std::vector<Before> before;
    for (const char *name : {"可乐", "雪碧", "茶", "水"})
        before.push_back({name, answer(*store, "饮料", name)});
    const Answer pen = answer(*store, "文具", "笔");
    post();

    const struct {
        const char *name;
        qint64 count;
        double profitDrop; // the shortage's cost
        double valueRise;  // the surplus's cost
    } expect[] = {{"可乐", 4, 2 * 5.0, -2 * 5.0}, {"雪碧", 18, 0, 3 * 10.05}, {"茶", 2, 0, 0}, {"水", 7, 0, 0}};
    for (std::size_t i = 0; i < std::size(expect); ++i) {
        const auto &e = expect[i];
        const Answer a = answer(*store, "饮料", e.name), &b = before[i].a;
        SCOPED_TRACE(e.name);
        EXPECT_EQ(calculate(store->rows(), q("饮料"), q(e.name), CalcStock, kIn, kToday).front().text,
                  q("此商品库存：") + QString::number(e.count));
        EXPECT_EQ(a.turnover, b.turnover); // a shortage sells nothing
        // The calculations round averages to the cent: off by at most a cent a piece.
        if (b.figures.hasProfit()) {
            EXPECT_NEAR(a.figures.profit, b.figures.profit - e.profitDrop, 0.01 * (a.stock + 10));
        }
        if (b.figures.hasStockValue()) {
            EXPECT_NEAR(a.figures.stockValue, b.figures.stockValue + e.valueRise, 0.01 * (a.stock + 10));
            EXPECT_EQ(a.figures.inAvg, b.figures.inAvg); // the average stays
        }
    }
    const Answer after = answer(*store, "文具", "笔"); // not counted: left alone
    EXPECT_EQ(after.stock, pen.stock);
    EXPECT_EQ(after.figures.stockValue, pen.figures.stockValue);
}

TEST_F(StockTakeTest, PostedRowsAreOrdinaryTransactionsNumberedAsAnAdd)
{
    countShop();
    Rnd expected = rnd;
    const qint64 rowsBefore = store->count();
    const StockTakeRecord record = post();
    // In the order of the products; 水 was right and gets no row.
    const struct {
        const char *name, *method, *price, *qty, *total;
    } rows[] = {{"可乐", "出货", "0", "2", "0"}, {"雪碧", "进货", "10.05", "3", "30.15"}, {"茶", "进货", "0", "5", "0"}};
    const std::vector<Record> &loaded = store->loadedRows(); // without reading the file again
    ASSERT_EQ(loaded.size(), static_cast<std::size_t>(rowsBefore) + std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const Record &r = loaded[static_cast<std::size_t>(rowsBefore) + i];
        SCOPED_TRACE(rows[i].name);
        std::array<float, 6> d{};
        for (float &draw : d)
            draw = expected.next();
        EXPECT_TRUE(r.isKind(kTransaction));
        EXPECT_EQ(r.name, q(rows[i].name));
        EXPECT_EQ(r.cat, q("饮料"));
        EXPECT_EQ(r.method, q(rows[i].method));
        EXPECT_EQ(r.price, q(rows[i].price));
        EXPECT_EQ(r.qty, q(rows[i].qty));
        EXPECT_EQ(r.total, q(rows[i].total));
        EXPECT_EQ(r.date, q("2026/12/7"));
        EXPECT_EQ(r.txno, QString::number(transactionNumber(d, rowsBefore + static_cast<qint64>(i))));
        EXPECT_EQ(r.id, record.lines[i < 2 ? i : 2].rowId);
    }
    EXPECT_EQ(record.lines[3].rowId, 0); // 水
    // The file holds the same rows.
    auto reopened = FileStore::open(path());
    ASSERT_EQ(reopened->rows().size(), loaded.size());
    for (std::size_t i = 0; i < loaded.size(); ++i)
        EXPECT_TRUE(reopened->rows()[i].sameContent(loaded[i]));
}

TEST_F(StockTakeTest, TheRecordOfAPostedStockTakeCanBeListedLater)
{
    EXPECT_TRUE(store->stockTakes().empty());
    countShop();
    const StockTakeRecord posted = post();
    auto reopened = FileStore::open(path());
    const std::vector<StockTakeRecord> takes = reopened->stockTakes();
    ASSERT_EQ(takes.size(), 1u);
    EXPECT_EQ(takes[0].id, posted.id);
    EXPECT_EQ(takes[0].when, q("2026-12-07 09:30:00"));
    EXPECT_EQ(takes[0].computer, q("柜台"));
    const std::vector<QStringList> cells = {
        {q("饮料"), q("可乐"), q("6"), q("4"), q("-2"), posted.lines[0].txno},
        {q("饮料"), q("雪碧"), q("15"), q("18"), q("3"), posted.lines[1].txno},
        {q("饮料"), q("茶"), q("-3"), q("2"), q("5"), posted.lines[2].txno},
        {q("饮料"), q("水"), q("7"), q("7"), q("0"), QString()}};
    ASSERT_EQ(takes[0].lines.size(), cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i) {
        EXPECT_EQ(stockTakeCells(takes[0].lines[i]), cells[i]);
        EXPECT_EQ(takes[0].lines[i].rowId, posted.lines[i].rowId);
    }
    EXPECT_FALSE(posted.lines[0].txno.isEmpty());
}

TEST_F(StockTakeTest, ShortagesAreNoSalesForTheRankingAndTheLowStockRates)
{
    count("饮料", "可乐", 1); // 5 short, dated today
    auto ranked = [](const LedgerFacts &facts) {
        for (const RankingRow &r : ranking(facts, std::nullopt))
            if (r.product.name == q("可乐"))
                return std::pair(r.outQty, r.turnover);
        return std::pair(-1.0, -1.0);
    };
    auto rate = [](const LedgerFacts &facts) {
        for (const LowStockRow &r : lowStock(facts, kToday, true))
            if (r.product.name == q("可乐"))
                return std::pair(r.stock, r.dailyOut);
        return std::pair(qint64(-1), -1.0);
    };
    EXPECT_EQ(ranked(store->facts()), std::pair(4.0, 32.0));
    post();
    // Kept up to date in memory, and rebuilt from the file.
    auto reopened = FileStore::open(path());
    for (Store *s : {store.get(), reopened.get()}) {
        EXPECT_EQ(ranked(s->facts()), std::pair(4.0, 32.0));
        EXPECT_EQ(rate(s->facts()), std::pair(qint64(1), 4.0 / 30)); // the stock counts, the rate not
    }
}

TEST_F(StockTakeTest, GoodsMovedSinceTheCountBeganAreFound)
{
    using Change = std::function<void(Store &)>;
    auto add = [](const char *cat, const char *name) {
        return [=](Store &s) { s.add(tx(q(name), q(cat), kOut, q("1"), q("8"), q("2026/12/7"))); };
    };
    auto removeLast = [](const char *name) {
        return [=](Store &s) {
            qint64 last = 0;
            for (const Record &r : s.rows())
                if (r.isKind(kTransaction) && r.name == q(name))
                    last = r.id;
            s.removeWhere([&](const Record &r) { return r.id == last; });
        };
    };
    const struct {
        const char *what;
        Change change;
        std::vector<const char *> moved;
    } cases[] = {
        {"nothing", [](Store &) {}, {}},
        {"a sale of a counted product", add("饮料", "可乐"), {"可乐"}},
        {"a sale of an uncounted one", add("文具", "笔"), {}},
        {"a deleted transaction", removeLast("雪碧"), {"雪碧"}},
        {"a deleted product", [](Store &s) { s.removeWhere([](const Record &r) { return r.name == q("水"); }); },
         {"水"}},
        // The last row deleted and a new one taking its id.
        {"a row replaced", [&](Store &s) { removeLast("笔")(s); add("文具", "笔")(s); }, {}},
        {"a counted row replaced", [&](Store &s) { removeLast("水")(s); add("饮料", "水")(s); }, {"水"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir d;
        const QString file = d.filePath(QStringLiteral("1.mdb"));
        std::vector<Record> rows = shop();
        rows.push_back(tx(q("水"), q("饮料"), kOut, q("2"), q("2"), q("2026/12/7"))); // the last row
        FileStore::open(file)->addAll(rows);
        auto mine = FileStore::open(file);
        StockTake t;
        t.begin(*mine);
        for (const char *name : {"可乐", "雪碧", "水"})
            t.setCount(*t.lineOf({q("饮料"), q(name)}), 1);
        c.change(*FileStore::open(file)); // another program
        QStringList moved;
        for (std::size_t i : t.moved(*mine))
            moved << t.lines()[i].product.name;
        QStringList want;
        for (const char *name : c.moved)
            want << q(name);
        EXPECT_EQ(moved, want);
    }
}

TEST_F(StockTakeTest, RecountTakesTheBookAgainAndPostingAnywayUsesTheBookOfNow)
{
    countShop();
    auto other = FileStore::open(path());
    other->add(tx(q("可乐"), q("饮料"), kOut, q("1"), q("8"), q("2026/12/7")));
    other->add(tx(q("雪碧"), q("饮料"), kIn, q("4"), q("40"), q("2026/12/7")));
    ASSERT_EQ(take.moved(*store).size(), 2u);
    take.recount({line("饮料", "可乐")}, *store);
    EXPECT_EQ(take.lines()[line("饮料", "可乐")].book, 5);
    EXPECT_FALSE(take.lines()[line("饮料", "可乐")].count.has_value());
    EXPECT_EQ(take.moved(*store), std::vector<std::size_t>{line("饮料", "雪碧")});
    post(); // anyway: the count of 雪碧 stands against its book of now (19)
    EXPECT_EQ(answer(*store, "饮料", "雪碧").stock, 18);
    EXPECT_EQ(answer(*store, "饮料", "可乐").stock, 5);
    EXPECT_EQ(store->stockTakes().back().lines[0].book, 19);
}

TEST_F(StockTakeTest, APostingThatCannotBeWrittenLeavesEverythingAsItWas)
{
    countShop();
    const std::vector<Record> before = store->rows();
    sqldb::Connection other(path());
    ASSERT_EQ(other.exec("BEGIN IMMEDIATE"), SQLITE_OK); // another program holds the write lock
    store->setLockWait(std::chrono::milliseconds(50));
    EXPECT_THROW(post(), StoreError);
    other.exec("ROLLBACK");
    EXPECT_EQ(store->rows().size(), before.size());
    EXPECT_EQ(store->loadedRows().size(), before.size());
    EXPECT_TRUE(store->stockTakes().empty());
    EXPECT_EQ(answer(*store, "饮料", "可乐").stock, 6);
}

TEST_F(StockTakeTest, CodesAreKeptInTheLedgerAndGoWithTheirProduct)
{
    // A ledger without stock-takes has none of their tables (the record of changes is beside 库).
    EXPECT_EQ(sqldb::column(store->handle(), "SELECT name FROM sqlite_master WHERE type = 'table'"),
              (QStringList{q("库"), q("操作记录"), q("删除的记录"), q("账本状态")}));
    const ProductCode codes[] = {{q("4006381333931"), q("饮料"), q("可乐")},
                                 {q("CL-2"), q("饮料"), q("可乐")},
                                 {q("036000291452"), q("饮料"), q("雪碧")},
                                 {q("96385074"), q("文具"), q("笔")}};
    for (const ProductCode &c : codes)
        store->setProductCode(c);
    store->setProductCode({q("CL-2"), q("饮料"), q("水")}); // filed again: the new product wins
    take.setCodes(FileStore::open(path())->productCodes());
    EXPECT_EQ(take.lineOfCode(q("4006381333931")), line("饮料", "可乐"));
    EXPECT_EQ(take.lineOfCode(q("CL-2")), line("饮料", "水"));
    EXPECT_FALSE(take.lineOfCode(q("123")).has_value());
    take.remember(q("123"), line("文具", "笔"));
    EXPECT_EQ(take.lineOfCode(q("123")), line("文具", "笔"));

    store->add(product(q("雪碧"), q("饮料"))); // a second row of 雪碧 keeps its codes
    store->removeWhere([](const Record &r) { return r.name == q("可乐") || (r.name == q("雪碧") && r.id < 5); });
    store->removeWhere([](const Record &r) { return r.name == q("文具") || r.cat == q("文具"); });
    QStringList left;
    for (const ProductCode &c : FileStore::open(path())->productCodes())
        left << c.code;
    EXPECT_EQ(left, (QStringList{q("036000291452"), q("CL-2")}));
}
