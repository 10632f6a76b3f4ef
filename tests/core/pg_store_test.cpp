// The store's core behaviours, run against both kinds of ledger: the encrypted file and the
// server (a fresh database of the throwaway server for each test).
#include "ledger/file_store.h"
#include "ledger/server_store.h"
#include "pg_support.h"

#include <atomic>
#include <barrier>
#include <gtest/gtest.h>

using namespace ledger;

namespace {

Record record(int kind, const QString &name, const QString &cat = QStringLiteral("类"), const QString &qty = QStringLiteral("1"))
{
    Record r;
    r.kind = kind;
    r.name = name;
    r.cat = cat;
    r.qty = qty;
    return r;
}

TEST_P(StoreKinds, AwkwardTextsRoundTripWithEmptyApartFromNull)
{
    const auto store = open();
    std::vector<Record> added;
    for (const QString &name : {QStringLiteral("it's \"q\""), QStringLiteral("a|b"), QStringLiteral("back\\slash"),
                                QStringLiteral("𠀀 鼠标"), QStringLiteral("\\N"), QStringLiteral("")})
        added.push_back(store->add(record(kProduct, name)));
    Record nulls;
    nulls.hasKind = false;
    nulls.cat = QStringLiteral("");
    added.push_back(store->add(nulls));
    const auto other = open();
    const std::vector<Record> &rows = other->rows();
    ASSERT_NO_FATAL_FAILURE(expectSameRows(rows, added));
    EXPECT_TRUE(rows.back().name.isNull());
    EXPECT_FALSE(rows.back().cat.isNull());
}

TEST_P(StoreKinds, AddAllKeepsOrderAndRemoveWhereIsOneStep)
{
    const auto store = open();
    std::vector<Record> many;
    for (int i = 0; i < 3000; ++i)
        many.push_back(record(kTransaction, QStringLiteral("p%1").arg(i)));
    std::size_t reported = 0;
    store->addAll(many, [&](std::size_t n) { reported = n; });
    EXPECT_EQ(reported, 2048u);
    EXPECT_EQ(store->removeWhere([](const Record &r) { return r.name.endsWith(u'7'); }), 300);
    const auto other = open();
    ASSERT_EQ(other->rows().size(), 2700u);
    EXPECT_EQ(other->rows().front().name, QStringLiteral("p0"));
    EXPECT_EQ(other->rows().back().name, QStringLiteral("p2999"));
    EXPECT_TRUE(std::is_sorted(other->rows().cbegin(), other->rows().cend(),
                               [](const Record &a, const Record &b) { return a.id < b.id; }));
}

TEST_P(StoreKinds, RemovingARowAnotherConnectionDeletedDeletesNothingElse)
{
    const auto mine = open();
    const auto theirs = open();
    for (const char *name : {"a", "b", "c"})
        mine->add(record(kProduct, QString::fromUtf8(name)));
    const Record seen = theirs->rows()[1];
    ASSERT_TRUE(mine->removeExact(mine->rows()[1]));
    EXPECT_FALSE(theirs->removeExact(seen));
    ASSERT_EQ(theirs->rows().size(), 2u);
    EXPECT_EQ(mine->rows().size(), 2u);
    EXPECT_EQ(theirs->rows()[1].name, QStringLiteral("c"));
}

TEST_P(StoreKinds, TwoConnectionsAddingAtOnceBothLandAndSeeEachOther)
{
    constexpr int kEach = 40;
    std::atomic<int> seenByBoth{0};
    EXPECT_EQ(twoAtOnce([&](const QString &who, std::barrier<> &added) {
                  const auto store = open();
                  for (int i = 0; i < kEach; ++i)
                      store->add(record(kTransaction, who + QString::number(i)));
                  added.arrive_and_wait();
                  int others = 0;
                  for (const Record &r : store->rows())
                      others += !r.name.startsWith(who);
                  if (store->rows().size() == 2 * kEach && others == kEach)
                      ++seenByBoth;
              }),
              0);
    EXPECT_EQ(seenByBoth, 2);
}

INSTANTIATE_FOR_BOTH_KINDS(StoreKinds);

// A server connection killed in the middle of an action: the action says so, naming the
// server, and nothing of it is stored.
TEST(ServerStoreFaults, AConnectionKilledMidActionStoresNothingHalf)
{
    const ServerDatabase db;
    ServerStore::createTables(db.conninfo());
    db.open()->addAll({record(kProduct, QStringLiteral("kept")), record(kProduct, QStringLiteral("kept too"))});
    std::vector<Record> many(5000, record(kTransaction, QStringLiteral("half")));
    const std::vector<std::function<void(ServerStore &)>> actions = {
        [&](ServerStore &s) { s.addAll(many, [&](std::size_t) { endSession(s.connection()); }); },
        [&](ServerStore &s) {
            s.removeWhere([&, done = false](const Record &) mutable {
                if (!done)
                    endSession(s.connection());
                done = true;
                return true;
            });
        },
    };
    for (std::size_t i = 0; i < actions.size(); ++i) {
        SCOPED_TRACE(i);
        const auto store = db.open();
        try {
            actions[i](*store);
            ADD_FAILURE() << "the killed connection's action reported success";
        } catch (const StoreError &e) {
            EXPECT_TRUE(e.message().contains(store->path())) << e.message().toStdString();
            EXPECT_FALSE(e.message().contains(QStringLiteral("shop-secret")));
            EXPECT_EQ(e.reason(), pgdb::reasonPhrase(pgdb::FailureKind::ConnectionLost));
        }
        const auto after = db.open();
        ASSERT_EQ(after->rows().size(), 2u);
        EXPECT_EQ(after->rows()[1].name, QStringLiteral("kept too"));
    }
}

// Opening refuses a database without the ledger or with tables of another shape, naming the
// server and the reason.
TEST(ServerStoreFaults, OpeningRefusesMissingOrMisshapenTables)
{
    const struct {
        const char *setUp;
        const char *reason;
    } cases[] = {
        {nullptr, "没有账本表"},
        {"ALTER TABLE \"库\" ALTER COLUMN \"名称\" TYPE varchar(30)", "“名称”类型不符"},
        {"ALTER TABLE \"库\" DROP COLUMN \"交易号码\"", "缺少字段“交易号码”"},
        {"DROP TABLE \"盘点明细\"", "缺少表“盘点明细”"},
        {"ALTER TABLE \"删除的记录\" ALTER COLUMN \"名称\" TYPE text", "“删除的记录”的字段“名称”类型不符"},
        {"ALTER TABLE \"操作记录\" DROP COLUMN \"恢复于\"", "缺少字段“恢复于”"},
        {"DROP TABLE \"操作编号\"", "缺少表“操作编号”"},
        {"ALTER TABLE \"删除的条码\" DROP COLUMN \"商品名\"", "表“删除的条码”缺少字段“商品名”"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.reason);
        const ServerDatabase db;
        if (c.setUp) {
            ServerStore::createTables(db.conninfo());
            pgdb::Connection(db.conninfo()).exec(c.setUp);
        }
        try {
            ServerStore::open(db.conninfo());
            ADD_FAILURE() << "opened";
        } catch (const StoreError &e) {
            EXPECT_EQ(e.kind(), StoreError::Kind::Open);
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(c.reason))) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(pgdb::describeServer(db.conninfo()))) << e.message().toStdString();
        }
    }
}

// A server ledger made before the record of changes gets its tables at the next open by a
// role that may create them; a role that may not works on without it.
TEST(ServerStoreFaults, ALedgerWithoutTheRecordGetsItWhenTheRoleMayCreateIt)
{
    for (const bool owner : {false, true}) {
        SCOPED_TRACE(owner ? "owner" : "clerk");
        const ServerDatabase db;
        ServerStore::createTables(db.conninfo());
        pgdb::Connection(db.conninfo()).exec("DROP TABLE \"操作记录\", \"操作编号\", \"删除的记录\", \"删除的条码\"");
        grantClerk(db.conninfo());
        pgdb::Connection(db.conninfo()).exec("REVOKE CREATE ON SCHEMA public FROM PUBLIC");
        const auto store = db.open(owner ? QString() : QStringLiteral("clerk"));
        const Record added = store->add(record(kProduct, QStringLiteral("p")));
        EXPECT_EQ(store->history(10).size(), owner ? 1u : 0u);
        ASSERT_EQ(store->removeExact(added), true);
        EXPECT_EQ(store->deletions().size(), owner ? 1u : 0u);
        if (!owner) {
            EXPECT_THROW(store->restoreDeletion(1), StoreError);
        }
    }
}

} // namespace
