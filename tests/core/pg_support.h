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
#include <gtest/gtest.h>

inline QString conninfo(const QString &role = {})
{
    const QString c = testpg::conninfo(role);
    if (c.isEmpty())
        ADD_FAILURE() << "no test server: run the tests with ctest";
    return c;
}

using ServerDatabase = testpg::Database;

// The ledger's tables in a test's database, and the grants the README gives the working role
// (which the server's default privileges give only in the database "shop").
inline void createLedgerForClerk(const ServerDatabase &db)
{
    ledger::ServerStore::createTables(db.conninfo());
    ledger::pgdb::Connection owner(db.conninfo());
    owner.exec("GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO clerk");
    owner.exec("GRANT USAGE, SELECT ON ALL SEQUENCES IN SCHEMA public TO clerk");
}

// Tests run against both kinds of ledger: the encrypted file and the server (a fresh database
// of the throwaway server for each test, worked on by the clerk as on a shop's other PCs).
enum class StoreKind { File, Server };

class StoreKinds : public ::testing::TestWithParam<StoreKind> {
public:
    void SetUp() override
    {
        qputenv("PGPASSFILE", "/nonexistent");
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
            return ledger::ServerStore::open(server->conninfo(QStringLiteral("clerk")));
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
        qputenv("PGPASSFILE", "/nonexistent");
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
    int run(const QStringList &args)
    {
        outText.clear();
        errText.clear();
        QTextStream out(&outText), err(&errText);
        return *ledger::runCommand(args, ledger(), kNow, out, err);
    }
    static void expectSameRows(const std::vector<ledger::Record> &got, const std::vector<ledger::Record> &want)
    {
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < got.size(); ++i)
            EXPECT_TRUE(got[i].sameContent(want[i])) << ledger::recordText(got[i]).toStdString();
    }

    QTemporaryDir dir;
    ServerDatabase db;
    std::vector<ledger::Record> rows;
    QByteArray original;
    QString outText, errText;
};
