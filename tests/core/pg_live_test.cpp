// Another PC's changes taken in by a server ledger's store: only what changed is read where
// the record of changes explains it, and the rows come out as a fresh open reads them.
#include "ledger/history.h"
#include "pg_support.h"
#include "rows.h"

#include <QRegularExpression>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace ledger;

namespace {

// The row signals a store gave.
struct Announced {
    explicit Announced(Store &s)
    {
        QObject::connect(&s, &Store::rowsInserted, [this](std::size_t, std::size_t n) { inserted += n; });
        QObject::connect(&s, &Store::rowsRemoving, [this](const std::vector<std::size_t> &p) { removed += p.size(); });
        QObject::connect(&s, &Store::reloaded, [this] { ++reloads; });
        QObject::connect(&s, &Store::changedElsewhere, [this] { ++elsewhere; });
    }
    std::size_t inserted = 0, removed = 0;
    int reloads = 0, elsewhere = 0;
};

// How a store took another PC's change in.
enum class Taken { Appended, Removed, Merged, ReadAgain };

struct Change {
    const char *what;
    std::function<void(ServerStore &theirs, pgdb::Connection &owner)> make;
    Taken taken;
    std::function<void(ServerStore &theirs)> before = {}; // seen before the change
};

Record line(const QString &name) { return tx(name, q("零食"), q("出货"), q("2"), q("6"), q("2024/6/5"), q("3")); }

void deleteProduct(ServerStore &s, const char *name)
{
    s.removeWhere([&](const Record &r) { return r.name == q(name); });
}

const Change kChanges[] = {
    {"add", [](ServerStore &s, pgdb::Connection &) { s.add(line(q("薯片"))); }, Taken::Appended},
    {"carry-over", [](ServerStore &s, pgdb::Connection &) { s.addAll({category(q("文具")), product(q("笔"), q("文具"))}); },
     Taken::Appended},
    {"line deleted", [](ServerStore &s, pgdb::Connection &) { s.removeExact(s.rows()[3]); }, Taken::Removed},
    {"product deleted", [](ServerStore &s, pgdb::Connection &) { deleteProduct(s, "可乐"); }, Taken::Removed},
    {"deletion put back", [](ServerStore &s, pgdb::Connection &) { s.restoreDeletion(s.deletions().front().number); },
     Taken::Merged, [](ServerStore &s) { deleteProduct(s, "薯片"); }},
    {"stock-take",
     [](ServerStore &s, pgdb::Connection &) {
         StockTakeRecord take{0, q("2024-06-05 10:00:00"), q("柜台"), {{q("零食"), q("薯片"), 5, 3, 0, {}}}};
         s.postStockTake(take, {line(q("薯片"))});
     },
     Taken::Merged},
    {"several at once",
     [](ServerStore &s, pgdb::Connection &) {
         s.add(line(q("薯片")));
         deleteProduct(s, "饼干");
         s.add(line(q("薯片")));
         s.restoreDeletion(s.deletions().back().number); // 可乐, deleted before
         s.removeExact(s.rows()[1]);
     },
     Taken::Merged, [](ServerStore &s) { deleteProduct(s, "可乐"); }},
    // What the record of changes cannot explain is read again in full.
    {"deletion forgotten before it was seen",
     [](ServerStore &s, pgdb::Connection &) {
         deleteProduct(s, "可乐");
         s.clearDeletions();
     },
     Taken::ReadAgain},
    {"another program's row",
     [](ServerStore &, pgdb::Connection &owner) {
         owner.exec("INSERT INTO \"库\" (\"标号\", \"名称\") VALUES (1, 'outside')");
         owner.exec("UPDATE \"账本版本\" SET n = n + 1");
     },
     Taken::ReadAgain},
};

class LiveChanges : public ::testing::TestWithParam<Change> {
public:
    void SetUp() override
    {
        createLedgerForClerk(db);
        const auto first = db.open();
        for (const Record &r : historyRows())
            first->add(r);
    }
    ServerDatabase db;
};

void PrintTo(const Change &c, std::ostream *out) { *out << c.what; }

TEST_P(LiveChanges, AnotherPCsChangeIsTakenInAsAFreshOpenReadsIt)
{
    const auto mine = db.open(QStringLiteral("clerk"));
    const auto theirs = db.open();
    if (GetParam().before)
        GetParam().before(*theirs);
    mine->facts(); // kept up to date from here on, or built again
    const std::vector<Record> before = mine->rows();
    pgdb::Connection owner(db.conninfo());
    GetParam().make(*theirs, owner);

    const Announced told(*mine);
    const std::vector<Record> &now = mine->rows();
    expectSameRows(now, db.open()->rows());
    EXPECT_EQ(told.elsewhere, 1);
    switch (GetParam().taken) {
    case Taken::Appended:
        EXPECT_EQ(told.inserted, now.size() - before.size());
        EXPECT_EQ(told.reloads, 0);
        break;
    case Taken::Removed:
        EXPECT_EQ(told.removed, before.size() - now.size());
        EXPECT_EQ(told.reloads, 0);
        break;
    case Taken::Merged:
    case Taken::ReadAgain:
        EXPECT_EQ(told.reloads, 1);
        break;
    }
    // Its own next change goes on from there, and theirs sees it.
    const Record added = mine->add(line(q("薯片")));
    EXPECT_EQ(theirs->rows().back().id, added.id);
    expectSameRows(theirs->rows(), mine->rows());
}

INSTANTIATE_TEST_SUITE_P(Server, LiveChanges, ::testing::ValuesIn(kChanges),
                         [](const ::testing::TestParamInfo<Change> &info) {
                             std::string name = info.param.what;
                             std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
                             return name;
                         });

// Whether the socket has something to read within this time.
bool readable(int socket, int ms)
{
    pollfd fd{socket, POLLIN, 0};
    return ::poll(&fd, 1, ms) > 0;
}

TEST(LiveNotices, AChangeIsAnnouncedToTheOtherConnectionsOnly)
{
    const ServerDatabase db;
    ServerStore::createTables(db.conninfo());
    const auto mine = db.open();
    const auto theirs = db.open();
    ASSERT_GE(mine->noticeSocket(), 0);
    EXPECT_FALSE(mine->changeNoticed());

    mine->add(category(q("零食")));
    EXPECT_FALSE(mine->changeNoticed()); // its own
    ASSERT_TRUE(readable(theirs->noticeSocket(), 2000));
    EXPECT_TRUE(theirs->changeNoticed());
    EXPECT_FALSE(theirs->changeNoticed()); // taken once

    // A change that is not committed is not announced.
    {
        pgdb::Transaction tx(mine->connection());
        mine->connection().exec("SELECT pg_notify('warehouse_changes', '0')");
    }
    EXPECT_FALSE(readable(theirs->noticeSocket(), 300));
    EXPECT_FALSE(theirs->changeNoticed());

    // Nor one that deletes nothing.
    EXPECT_FALSE(mine->removeExact(Record{}));
    EXPECT_FALSE(readable(theirs->noticeSocket(), 300));

    // After the session is ended, the next action connects again, listening again.
    endSession(theirs->connection());
    EXPECT_EQ(theirs->rows().size(), 1u);
    mine->removeWhere([](const Record &) { return true; });
    ASSERT_TRUE(readable(theirs->noticeSocket(), 2000));
    EXPECT_TRUE(theirs->changeNoticed());
    EXPECT_TRUE(theirs->rows().empty());
}

// A connection lost inside a transaction fails the rest of it, never runs it on a new
// connection (where it would be outside the transaction); the next statement after it connects
// again, with the session's settings given again.
TEST(Reconnecting, NeverInsideATransactionAndWithTheSessionsSettings)
{
    const ServerDatabase db;
    pgdb::Connection c(db.conninfo());
    c.exec("CREATE TABLE t (n int)");
    c.keepForSession("SELECT set_config('lock_timeout', $1, false)", {QStringLiteral("1234ms")});
    const int first = c.backendPid();
    {
        pgdb::Transaction tx(c);
        c.exec("INSERT INTO t VALUES (1)");
        endSession(c);
        for (const char *sql : {"INSERT INTO t VALUES (2)", "COMMIT"}) {
            try {
                c.exec(sql);
                ADD_FAILURE() << sql << " ran after the connection was lost inside the transaction";
            } catch (const pgdb::Failure &f) {
                EXPECT_EQ(f.kind(), pgdb::FailureKind::ConnectionLost) << sql;
            }
        }
    }
    EXPECT_EQ(c.exec("SELECT count(*) FROM t").number(0, 0), 0);
    EXPECT_NE(c.backendPid(), first);
    EXPECT_EQ(c.exec("SHOW lock_timeout").text(0, 0), QStringLiteral("1234ms"));
    // Ended while idle: the next statement finds out before it is sent, and runs.
    endSession(c);
    EXPECT_EQ(c.exec("SELECT 7").number(0, 0), 7);
}

} // namespace

namespace {

// Ends the connection's session on the server and reads the end, as a window's notifier would.
void endIdleSession(pgdb::Connection &c)
{
    ServerDatabase::admin().exec("SELECT pg_terminate_backend($1, 10000)", {QString::number(c.backendPid())});
    for (int reads = 0; reads < 4 && c.socket() >= 0; ++reads)
        c.notified();
    EXPECT_EQ(c.socket(), -1);
}

// Steps of making the connection again, a window's 50 ms apart, until one made it (false after 10 s).
bool reconnected(pgdb::Connection &c)
{
    for (int steps = 0; steps < 200; ++steps) {
        if (c.reconnect())
            return true;
        ::poll(nullptr, 0, 50);
    }
    return false;
}

} // namespace

// A connection lost while idle is made again by steps (for a window to drive), never inside a
// transaction, with the session's statements given again.
TEST(Reconnecting, ByStepsOutsideTransactions)
{
    qputenv("PGPASSFILE", "/nonexistent");
    const ServerDatabase db;
    pgdb::Connection c(db.conninfo());
    c.keepForSession("SELECT set_config('lock_timeout', $1, false)", {QStringLiteral("4321ms")});
    const int first = c.backendPid();
    EXPECT_FALSE(c.reconnect()); // nothing lost
    EXPECT_EQ(c.backendPid(), first);
    {
        pgdb::Transaction tx(c);
        endIdleSession(c);
        EXPECT_FALSE(c.reconnect());
        EXPECT_EQ(c.socket(), -1);
    }
    ASSERT_TRUE(reconnected(c));
    const int second = c.backendPid();
    EXPECT_NE(second, first);
    EXPECT_EQ(c.exec("SHOW lock_timeout").text(0, 0), QStringLiteral("4321ms"));
    EXPECT_EQ(c.backendPid(), second); // the statement found the connection made
}

// A server that takes the connection but never answers (the test server's socket swapped for one
// nobody reads): the steps return at once until connect_timeout is over and the attempt fails;
// the next attempt, the server back, makes it.
TEST(Reconnecting, NeverWaitsForAServerThatDoesNotAnswer)
{
    qputenv("PGPASSFILE", "/nonexistent");
    const ServerDatabase db;
    const QString conninfo = db.conninfo();
    const auto option = [&](const char *key) {
        return QRegularExpression(QStringLiteral("%1=(\\S+)").arg(QLatin1String(key))).match(conninfo).captured(1);
    };
    const QString name = QStringLiteral(".s.PGSQL.") + option("port");
    const QString server = option("host") + u'/' + name;
    ASSERT_TRUE(QFile::exists(server)) << "the test server listens on a Unix socket";
    const QTemporaryDir dir;
    const QString path = dir.filePath(name);
    ASSERT_TRUE(QFile::link(server, path));
    pgdb::Connection c(conninfo + QStringLiteral(" connect_timeout=2 host=") + dir.path());
    endIdleSession(c);

    ASSERT_TRUE(QFile::remove(path));
    const int silent = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un at{};
    at.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    ASSERT_LT(static_cast<std::size_t>(bytes.size()), sizeof at.sun_path);
    std::copy(bytes.cbegin(), bytes.cend(), at.sun_path);
    ASSERT_EQ(::bind(silent, reinterpret_cast<const sockaddr *>(&at), sizeof at), 0);
    ASSERT_EQ(::listen(silent, 8), 0);
    int steps = 0;
    try {
        for (; steps < 200; ++steps) {
            EXPECT_FALSE(c.reconnect());
            ::poll(nullptr, 0, 50);
        }
        ADD_FAILURE() << "no failure after 10 s";
    } catch (const pgdb::Failure &f) {
        EXPECT_EQ(f.kind(), pgdb::FailureKind::Unreachable);
    }
    EXPECT_GT(steps, 5); // each step came back while the server kept silent
    ::close(silent);

    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::link(server, path));
    ASSERT_TRUE(reconnected(c));
    EXPECT_EQ(c.exec("SELECT 7").number(0, 0), 7);
}
