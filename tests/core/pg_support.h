// What the server tests share: the throwaway server's connection strings and databases.
#pragma once

#include "ledger/file_store.h"
#include "ledger/server_store.h"
#include "pg_test_server.h"
#include "underneath.h"

#include <QTemporaryDir>
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
