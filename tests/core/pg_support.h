// What the server tests share: the throwaway server's connection strings and databases.
#pragma once

#include "ledger/commands.h"
#include "ledger/file_store.h"
#include "ledger/ledger_folder.h"
#include "ledger/server_store.h"
#include "pg_test_server.h"
#include "underneath.h"
#include "rows.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <atomic>
#include <barrier>
#include <gtest/gtest.h>
#include <thread>

inline QString conninfo(const QString &role = {})
{
    const QString c = testpg::conninfo(role);
    if (c.isEmpty())
        ADD_FAILURE() << "no test server: run the tests with ctest";
    return c;
}

using ServerDatabase = testpg::Database;

// Passwords only from the connection strings, never from the account running the tests.
class NoPasswordFile : public ::testing::Environment {
public:
    void SetUp() override { qputenv("PGPASSFILE", "/nonexistent"); }
};
inline ::testing::Environment *const kNoPasswordFile = ::testing::AddGlobalTestEnvironment(new NoPasswordFile);

// The grants the README gives the working role on the ledger's tables (which the server's
// default privileges give only in the database "shop").
inline void grantClerk(const QString &conninfo)
{
    ledger::pgdb::Connection owner(conninfo);
    owner.exec("GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO clerk");
    owner.exec("GRANT USAGE, SELECT ON ALL SEQUENCES IN SCHEMA public TO clerk");
}

// The ledger's tables in a test's database, for the working role.
inline void createLedgerForClerk(const ServerDatabase &db)
{
    ledger::ServerStore::createTables(db.conninfo());
    grantClerk(db.conninfo());
}

// Ends the server's session behind a connection, as a network fault or an administrator would.
inline void endSession(const ledger::pgdb::Connection &c)
{
    ServerDatabase::admin().exec("SELECT pg_terminate_backend($1, 10000)", {QString::number(c.backendPid())});
}

// The same rows in the same order, NULL apart from empty, under the same ids unless these are
// ignored (rows a test made itself have none).
enum class Ids { Compared, Ignored };

inline void expectSameRows(const std::vector<ledger::Record> &got, const std::vector<ledger::Record> &want,
                           Ids ids = Ids::Compared)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (ids == Ids::Compared) {
            EXPECT_EQ(got[i].id, want[i].id) << i;
        }
        EXPECT_TRUE(got[i].sameContent(want[i]))
            << i << ": " << ledger::recordText(got[i]).toStdString() << " / " << ledger::recordText(want[i]).toStdString();
    }
}

// Two PCs working at once: work(who, both) on a thread each, who "a" or "b", both a barrier the
// two meet at. A StoreError fails the test, and leaves the barrier to the other; how many there were.
inline int twoAtOnce(const std::function<void(const QString &who, std::barrier<> &both)> &work)
{
    std::barrier both(2);
    std::atomic<int> failures{0};
    const auto run = [&](const QString &who) {
        try {
            work(who, both);
        } catch (const ledger::StoreError &e) {
            ++failures;
            ADD_FAILURE() << e.message().toStdString();
            both.arrive_and_drop();
        }
    };
    std::thread a(run, QStringLiteral("a")), b(run, QStringLiteral("b"));
    a.join();
    b.join();
    return failures;
}

// Tests run against both kinds of ledger: the encrypted file and the server (a fresh database
// of the throwaway server for each test, worked on by the clerk as on a shop's other PCs).
enum class StoreKind { File, Server };

class StoreKinds : public ::testing::TestWithParam<StoreKind> {
public:
    void SetUp() override
    {
        if (GetParam() == StoreKind::Server) {
            server = std::make_unique<ServerDatabase>();
            createLedgerForClerk(*server);
        } else {
            ledger::FileStore::open(filePath()); // made once, before any race
        }
    }
    // Another connection to the same ledger.
    std::unique_ptr<ledger::Store> open() const
    {
        if (GetParam() == StoreKind::Server)
            return server->open(QStringLiteral("clerk"));
        return ledger::FileStore::open(filePath());
    }
    QString filePath() const { return dir.filePath(QStringLiteral("1.mdb")); }
    // The same ledger past its store.
    Underneath underneath() const
    {
        if (GetParam() == StoreKind::Server)
            return {true, server->conninfo()};
        return {false, filePath()};
    }

    QTemporaryDir dir;
    std::unique_ptr<ServerDatabase> server;
};

inline std::string storeKindName(const ::testing::TestParamInfo<StoreKind> &info)
{
    return info.param == StoreKind::File ? "File" : "Server";
}

#define INSTANTIATE_FOR_BOTH_KINDS(suite)                                                                            \
    INSTANTIATE_TEST_SUITE_P(Both, suite, ::testing::Values(StoreKind::File, StoreKind::Server), storeKindName)

// The commands' tests: a ledger folder whose 1.mdb holds rows with quotes, "|", a backslash, a
// character beyond the BMP and NULL apart from empty, and a database of its own on the server.
inline const QDateTime kNow(QDate(2026, 12, 7), QTime(12, 0));

class ServerCommands : public ::testing::Test {
public:
    void SetUp() override
    {
        ledger::Record nulls;
        nulls.hasKind = false;
        nulls.cat = QStringLiteral("");
        for (const QString &name : {QStringLiteral("it's \"q\""), QStringLiteral("a|b\\c"), QStringLiteral("𠀀")}) {
            ledger::Record r;
            r.kind = ledger::kProduct;
            r.name = name;
            r.cat = QStringLiteral("类");
            rows.push_back(r);
        }
        rows.push_back(nulls);
        ledger::FileStore::open(ledger())->addAll(rows);
        original = readAll(ledger());
    }
    QString ledger() const { return dir.filePath(ledger::kLedgerFileName); }
    // The command line on this folder's ledger, or on another folder's.
    int run(const QStringList &args, const QString &ledgerPath = {})
    {
        outText.clear();
        errText.clear();
        QTextStream out(&outText), err(&errText);
        return *ledger::runCommand(args, ledgerPath.isEmpty() ? ledger() : ledgerPath, kNow, out, err);
    }

    QTemporaryDir dir;
    ServerDatabase db;
    std::vector<ledger::Record> rows;
    QByteArray original;
    QString outText, errText;
};
