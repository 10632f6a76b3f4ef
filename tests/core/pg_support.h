// What the server tests share: the connection strings the throwaway server left
// (support/pg_server.sh).
#pragma once

#include "ledger/file_store.h"
#include "ledger/pg_db.h"
#include "ledger/server_store.h"

#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <unistd.h>
#include <QString>
#include <gtest/gtest.h>

// The connection string for a role: the owner "shop" (role empty), "clerk", "tcp" (shop over
// TCP) or "admin".
inline QString conninfo(const QString &role = {})
{
    const QString dir = qEnvironmentVariable("WAREHOUSE_PG_DIR");
    QFile file(dir + QStringLiteral("/conninfo") + (role.isEmpty() ? QString() : QLatin1Char('.') + role));
    if (dir.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "no test server: run the tests with ctest";
        return {};
    }
    return QString::fromUtf8(file.readAll()).trimmed();
}

// A database of its own on the test server, dropped afterwards.
class ServerDatabase {
public:
    ServerDatabase()
    {
        static std::atomic<int> next{0};
        m_name = QStringLiteral("t_%1_%2").arg(::getpid()).arg(next++);
        admin().exec(QStringLiteral("CREATE DATABASE %1 OWNER shop").arg(m_name).toUtf8().constData());
    }
    ~ServerDatabase()
    {
        try {
            admin().exec(QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(m_name).toUtf8().constData());
        } catch (const ledger::pgdb::Failure &) {
        }
    }
    const QString &name() const { return m_name; }
    // For a role's connection string (see conninfo()).
    QString conninfo(const QString &role = {}) const { return ::conninfo(role) + QStringLiteral(" dbname=") + m_name; }
    static ledger::pgdb::Connection &admin()
    {
        static ledger::pgdb::Connection connection(::conninfo(QStringLiteral("admin")));
        return connection;
    }

private:
    QString m_name;
};


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
            ledger::ServerStore::createTables(server->conninfo());
            ledger::pgdb::Connection owner(server->conninfo());
            owner.exec("GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO clerk");
            owner.exec("GRANT USAGE, SELECT ON ALL SEQUENCES IN SCHEMA public TO clerk");
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

    QTemporaryDir dir;
    std::unique_ptr<ServerDatabase> server;
};

inline std::string storeKindName(const ::testing::TestParamInfo<StoreKind> &info)
{
    return info.param == StoreKind::File ? "File" : "Server";
}

#define INSTANTIATE_FOR_BOTH_KINDS(suite)                                                                            \
    INSTANTIATE_TEST_SUITE_P(Both, suite, ::testing::Values(StoreKind::File, StoreKind::Server), storeKindName)
