// The record of changes on both kinds of ledger: entries, deletions put back exactly and only
// once, ids never handed out twice, the 90 days, entries in commit order, scanner codes back with
// their products, a server ledger of an earlier build brought up to date.
#include "ledger/history.h"
#include "pg_support.h"
#include "rows.h"
#include "sqlite_db.h"

#include <algorithm>
#include <barrier>
#include <cstdlib>
#include <functional>

using namespace ledger;

namespace {

class HistoryKinds : public StoreKinds {
public:
    void SetUp() override
    {
        StoreKinds::SetUp();
        store = open();
        for (const Record &r : historyRows())
            store->add(r);
    }

    std::string table() const { return underneath().table().toStdString(); }

    // Another program writes a row under this id, as an older release would: on the file it
    // takes the highest rowid plus one.
    void writeOutside(qint64 id)
    {
        if (GetParam() == StoreKind::File) {
            store.reset();
            {
                sqldb::Connection older(filePath());
                ASSERT_EQ(older.exec("INSERT INTO \"库\" (\"标号\", \"名称\", \"方法\") VALUES (1, '外来', '进货')"), SQLITE_OK);
                ASSERT_EQ(older.first("SELECT max(rowid) FROM \"库\""), QString::number(id));
            }
            store = open();
            return;
        }
        pgdb::Connection(server->conninfo())
            .exec("INSERT INTO \"库\" (id, \"标号\", \"名称\", \"方法\") VALUES ($1, 1, '外来', '进货')", {QString::number(id)});
    }

    // Another tool's statements on 库, with the store closed (a file is not written under an
    // open store's feet).
    void changeOutside(const std::vector<const char *> &statements)
    {
        store.reset();
        for (const char *sql : statements)
            ASSERT_TRUE(underneath().exec(sql)) << sql;
        store = open();
    }

    std::unique_ptr<Store> store;
};

TEST_P(HistoryKinds, IdsOfDeletedRowsAreNeverHandedOutAgain)
{
    const qint64 newest = store->rows().back().id;
    ASSERT_TRUE(store->removeExact(store->rows().back()));
    EXPECT_GT(store->add(category(q("文具"))).id, newest);
    const qint64 again = store->rows().back().id;
    ASSERT_TRUE(store->removeExact(store->rows().back()));
    store = open();
    EXPECT_GT(store->add(category(q("日用"))).id, again);
}

TEST_P(HistoryKinds, ARowAnotherProgramWroteMeanwhileAndDeletedHereKeepsItsIdToItself)
{
    if (GetParam() == StoreKind::Server)
        GTEST_SKIP() << "a server hands out ids from its sequence, and psql's rows are seen at the next reload";
    ASSERT_TRUE(underneath().exec("INSERT INTO \"库\" (\"标号\", \"名称\", \"方法\") VALUES (1, '外来', '进货')"));
    const Record outside = store->rows().back();
    ASSERT_EQ(outside.name, q("外来"));
    ASSERT_TRUE(store->removeExact(outside));
    EXPECT_GT(store->add(category(q("文具"))).id, outside.id);
}

TEST_P(HistoryKinds, EveryActionIsOneEntry)
{
    const std::size_t before = store->history(100).size();
    EXPECT_EQ(before, historyRows().size());
    store->addAll({category(q("A")), category(q("B"))});
    store->removeWhere([](const Record &r) { return r.name == q("A") || r.name == q("B"); });
    const std::vector<ChangeEntry> h = store->history(2);
    ASSERT_EQ(h.size(), 2u);
    EXPECT_EQ(h[0].kind, ChangeKind::Delete);
    EXPECT_EQ(h[1].kind, ChangeKind::CarryOver);
    EXPECT_EQ(h[1].count, 2);
    EXPECT_EQ(h[1].checksum, h[0].checksum); // the same two rows
    EXPECT_GT(h[0].number, h[1].number);
    EXPECT_EQ(store->history(100).size(), before + 2);
    const ChangeEntry added = store->history(100).back(); // the first add
    EXPECT_EQ(added.kind, ChangeKind::Add);
    EXPECT_EQ(added.summary, q("添加类“零食”"));
    EXPECT_EQ(added.rowId, store->rows().front().id);
    EXPECT_EQ(added.computer, thisComputer());
    EXPECT_LE(std::abs(added.time.secsTo(QDateTime::currentDateTime())), 600);
}

TEST_P(HistoryKinds, DeletionsAreKeptNinetyDays)
{
    store->removeWhere([](const Record &r) { return r.name == q("可乐"); });
    const QDateTime now = QDateTime::currentDateTime();
    EXPECT_EQ(store->pruneDeletions(now.addDays(kDeletionDays - 1)), 0);
    ASSERT_EQ(store->deletions().size(), 1u);
    const qint64 entry = store->deletions().front().number;
    EXPECT_EQ(store->pruneDeletions(now.addDays(kDeletionDays + 1)), 1);
    EXPECT_TRUE(store->deletions().empty());
    EXPECT_TRUE(store->deletedRows(entry).empty());
    EXPECT_THROW(store->restoreDeletion(entry), StoreError);

    store->removeWhere([](const Record &r) { return r.name == q("饮料"); });
    ASSERT_EQ(store->deletions().size(), 1u);
    store->clearDeletions();
    EXPECT_TRUE(store->deletions().empty());
}

// Another row taken with it, from the middle, goes back to its place; the restoring store's
// rows in memory are the ledger's as another connection reads it.
TEST_P(HistoryKinds, ARowWhoseIdWasTakenGoesBackAtTheEnd)
{
    const Record last = store->rows().back();
    const Record middle = store->rows()[store->rows().size() / 2];
    ASSERT_EQ(store->removeWhere([&](const Record &r) { return r.id == last.id || r.id == middle.id; }), 2);
    const qint64 entry = store->deletions().front().number;
    writeOutside(last.id);
    const RestoredDeletion done = store->restoreDeletion(entry);
    EXPECT_EQ(done.movedToEnd, std::vector<qint64>{last.id});
    EXPECT_TRUE(store->rows().back().sameContent(last));
    EXPECT_GT(store->rows().back().id, last.id);
    const std::vector<Record> mine = store->rows(), read = open()->rows();
    EXPECT_EQ(read.size(), historyRows().size() + 1);
    expectSameRows(mine, read);
}

TEST_P(HistoryKinds, EntriesAreNumberedInCommitOrderWhenTwoConnectionsAdd)
{
    constexpr int kEach = 30;
    ASSERT_EQ(twoAtOnce([&](const QString &who, std::barrier<> &ready) {
                  const auto mine = open();
                  ready.arrive_and_wait();
                  for (int i = 0; i < kEach; ++i)
                      mine->add(tx(who + QString::number(i), q("零食"), q("进货"), q("1"), q("1"), q("2024/6/5")));
              }),
              0);
    // Newest first: numbers one apart, and the rows they added in the same order as the rows'
    // places in the table, which is the order the adds committed in.
    const std::vector<ChangeEntry> h = open()->history(2 * kEach);
    ASSERT_EQ(h.size(), 2u * kEach);
    for (std::size_t i = 1; i < h.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(h[i - 1].number, h[i].number + 1);
        EXPECT_GT(h[i - 1].rowId, h[i].rowId);
        EXPECT_GE(h[i - 1].time, h[i].time);
    }
}

// Rows of 库 written by another tool are one entry "在本软件之外改动" at the next open for
// work, whatever the tool did, and only once.
struct OutsideChange {
    const char *what;
    std::vector<const char *> statements;
    qint64 rows; // how many more rows 库 holds afterwards
};

const OutsideChange kOutsideChanges[] = {
    {"a row added", {"INSERT INTO \"库\" (\"标号\", \"名称\", \"方法\") VALUES (1, '外来', '进货')"}, 1},
    {"rows deleted", {"DELETE FROM \"库\" WHERE \"名称\" = '薯片'"}, -3},
    {"as many deleted as added",
     {"DELETE FROM \"库\" WHERE \"名称\" = '零食'", "INSERT INTO \"库\" (\"标号\", \"名称\") VALUES (1, '外来')"}, 0},
};

TEST_P(HistoryKinds, RowsChangedOutsideAreOneEntryAtTheNextOpen)
{
    for (const OutsideChange &c : kOutsideChanges) {
        SCOPED_TRACE(c.what);
        const qint64 known = store->count();
        const qint64 last = store->history(1).front().number;
        changeOutside({});
        EXPECT_EQ(store->history(1).front().number, last) << "nothing changed";

        changeOutside(c.statements);
        ASSERT_EQ(store->count(), known + c.rows);
        const std::vector<ChangeEntry> h = store->history(2);
        ASSERT_EQ(h.size(), 2u);
        EXPECT_EQ(h[1].number, last);
        EXPECT_EQ(h[0].kind, ChangeKind::Outside);
        EXPECT_EQ(h[0].summary, q("在本软件之外改动：账本现有 %1 条记录，操作记录中为 %2 条").arg(known + c.rows).arg(known));
        EXPECT_EQ(h[0].count, c.rows);
        EXPECT_EQ(h[0].computer, thisComputer());
        changeOutside({});
        EXPECT_EQ(store->history(1).front().number, h[0].number) << "explained once";
        // The record knows of them now, and of the store's own adds and deletions.
        const QString n = QString::number(&c - kOutsideChanges);
        store->add(category(q("文具") + n));
        store->add(category(q("日用") + n));
        ASSERT_TRUE(store->removeExact(store->rows()[store->rows().size() - 2]));
        changeOutside({});
        EXPECT_EQ(store->history(1).front().kind, ChangeKind::Delete);
    }
}

const ProductCode kCodes[] = {{q("111"), q("零食"), q("薯片")}, {q("222"), q("饮料"), q("可乐")},
                              {q("333"), q("零食"), q("薯片")}, {q("444"), q("零食"), q("饼干")}};

std::vector<ProductCode> byCode(std::vector<ProductCode> codes)
{
    std::sort(codes.begin(), codes.end(), [](const ProductCode &a, const ProductCode &b) { return a.code < b.code; });
    return codes;
}

bool sameCodes(const std::vector<ProductCode> &got, const std::vector<ProductCode> &want)
{
    return std::equal(got.cbegin(), got.cend(), want.cbegin(), want.cend(), [](const ProductCode &a, const ProductCode &b) {
        return a.code == b.code && a.category == b.category && a.name == b.name;
    });
}

// A product's scanner codes go with its row and come back with it, put back from another
// connection; a code that names another product by then stays with that one.
TEST_P(HistoryKinds, ScannerCodesComeBackWithTheirProduct)
{
    for (const ProductCode &c : kCodes)
        store->setProductCode(c);
    const std::vector<ProductCode> all(std::cbegin(kCodes), std::cend(kCodes));
    const struct {
        const char *what;
        std::function<bool(const Record &)> match;
        std::vector<ProductCode> kept, left;
    } deletions[] = {
        {"category", [](const Record &r) { return r.name == q("零食") || r.cat == q("零食"); },
         {kCodes[0], kCodes[2], kCodes[3]}, {kCodes[1]}},
        {"product", [](const Record &r) { return r.name == q("薯片"); }, {kCodes[0], kCodes[2]}, {kCodes[1], kCodes[3]}},
    };
    for (const auto &d : deletions) {
        SCOPED_TRACE(d.what);
        store->removeWhere(d.match);
        const qint64 entry = store->deletions().front().number;
        EXPECT_TRUE(sameCodes(byCode(store->productCodes()), d.left));
        EXPECT_TRUE(sameCodes(byCode(store->deletedCodes(entry)), d.kept));
        open()->restoreDeletion(entry);
        EXPECT_TRUE(sameCodes(byCode(store->productCodes()), all));
        EXPECT_TRUE(store->deletedCodes(entry).empty());
    }
    // 111 is filed under 可乐 while 薯片 is deleted: it stays there.
    store->removeWhere([](const Record &r) { return r.name == q("薯片"); });
    store->setProductCode({q("111"), q("饮料"), q("可乐")});
    store->restoreDeletion(store->deletions().front().number);
    const std::vector<ProductCode> now = byCode(store->productCodes());
    ASSERT_EQ(now.size(), all.size());
    EXPECT_EQ(now.front().name, q("可乐"));
    EXPECT_EQ(underneath().first("SELECT count(*) FROM \"删除的条码\""), q("0"));
    // Deletions cleared, or too old, keep no codes.
    const std::pair<const char *, std::function<void()>> forgets[] = {
        {"cleared", [&] { store->clearDeletions(); }},
        {"too old", [&] { store->pruneDeletions(QDateTime::currentDateTime().addDays(kDeletionDays + 1)); }}};
    for (const auto &[what, forget] : forgets) {
        SCOPED_TRACE(what);
        store->setProductCode(kCodes[3]);
        store->removeWhere([](const Record &r) { return r.name == q("饼干"); });
        EXPECT_EQ(underneath().first("SELECT count(*) FROM \"删除的条码\""), q("1"));
        forget();
        EXPECT_EQ(underneath().first("SELECT count(*) FROM \"删除的条码\""), q("0"));
        store->add(product(q("饼干"), q("零食")));
    }
}

// A server ledger of an earlier build, opened by the PCs' role, is refused as tables of another
// shape are; the owner's open brings it up to date, with what was there kept.
struct EarlierBuild {
    const char *what;
    const char *sql;
};

const EarlierBuild kEarlierBuilds[] = {
    {"counter without the counts", "ALTER TABLE \"操作编号\" DROP COLUMN \"行数\", DROP COLUMN \"最大行号\""},
    {"no table of deleted codes", "DROP TABLE \"删除的条码\""},
};

TEST_P(HistoryKinds, ALedgerOfAnEarlierBuildIsBroughtUpToDateByTheOwner)
{
    if (GetParam() == StoreKind::File)
        GTEST_SKIP() << "these tables are the server's";
    for (const EarlierBuild &earlier : kEarlierBuilds) {
        SCOPED_TRACE(earlier.what);
        const qint64 last = store->history(1).front().number;
        store.reset();
        pgdb::Connection(server->conninfo()).exec(earlier.sql);
        EXPECT_THROW(open(), StoreError);
        EXPECT_EQ(server->open()->history(1).front().number, last);
        grantClerk(server->conninfo()); // as the setup's default privileges do
        store = open();
        EXPECT_EQ(store->history(1).front().number, last) << "the rows there were the record's";
        // The counts start from the rows there.
        store->add(category(q("文具")));
        changeOutside({});
        EXPECT_EQ(store->history(1).front().kind, ChangeKind::Add);
        changeOutside({"DELETE FROM \"库\" WHERE \"名称\" = '文具'"});
        EXPECT_EQ(store->history(1).front().kind, ChangeKind::Outside);
        // Codes are kept for a restore.
        store->setProductCode(kCodes[3]);
        store->removeWhere([](const Record &r) { return r.name == q("饼干"); });
        EXPECT_TRUE(store->productCodes().empty());
        store->restoreDeletion(store->deletions().front().number);
        EXPECT_TRUE(sameCodes(store->productCodes(), {kCodes[3]}));
    }
}

struct Deletion {
    const char *what;
    std::function<int(Store &)> remove;
    const char *summary;
};

const Deletion kDeletions[] = {
    {"category", [](Store &s) { return s.removeWhere([](const Record &r) { return r.name == q("零食") || r.cat == q("零食"); }); },
     "删除类“零食”：2 个商品、3 条交易记录"},
    {"product", [](Store &s) { return s.removeWhere([](const Record &r) { return r.name == q("薯片"); }); },
     "删除商品“薯片”：2 条交易记录"},
    {"lines", [](Store &s) { return s.removeWhere([](const Record &r) { return r.isKind(kTransaction) && r.cat == q("零食"); }); },
     "删除 3 条交易记录"},
    {"line", [](Store &s) { return s.removeExact(s.rows().back()) ? 1 : 0; }, "删除 1 条交易记录"},
};

TEST_P(HistoryKinds, EachDeletionIsPutBackByteForByteAndOnlyOnce)
{
    for (const Deletion &d : kDeletions) {
        SCOPED_TRACE(d.what);
        const std::string before = table();
        const std::vector<Record> rows = store->rows();
        const int removed = d.remove(*store);
        ASSERT_GT(removed, 0);
        ASSERT_NE(table(), before);

        const std::vector<ChangeEntry> kept = store->deletions();
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(kept.front().summary, q(d.summary));
        EXPECT_EQ(kept.front().count, removed);
        const std::vector<DeletedRow> deleted = store->deletedRows(kept.front().number);
        ASSERT_EQ(deleted.size(), static_cast<std::size_t>(removed));
        EXPECT_TRUE(deleted.front().row.sameContent(rows[static_cast<std::size_t>(deleted.front().position)]));

        // Put back from another connection: the first one sees the rows at its next action.
        const RestoredDeletion done = open()->restoreDeletion(kept.front().number);
        EXPECT_EQ(done.rows, removed);
        EXPECT_TRUE(done.movedToEnd.empty());
        EXPECT_EQ(table(), before);
        ASSERT_NO_FATAL_FAILURE(expectSameRows(store->rows(), rows));
        EXPECT_TRUE(store->deletions().empty());
        EXPECT_EQ(store->history(1).front().kind, ChangeKind::Restore);
        EXPECT_EQ(store->history(1).front().number, done.entry);
        try {
            store->restoreDeletion(kept.front().number);
            ADD_FAILURE() << "restored twice";
        } catch (const StoreError &e) {
            EXPECT_EQ(e.kind(), StoreError::Kind::Restore);
            EXPECT_TRUE(e.message().contains(q("已经恢复过了"))) << e.message().toStdString();
        }
        EXPECT_EQ(table(), before);
    }
}

INSTANTIATE_FOR_BOTH_KINDS(HistoryKinds);

} // namespace
