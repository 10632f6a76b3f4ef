// What the server tests share: the connection strings the throwaway server left
// (support/pg_server.sh).
#pragma once

#include "ledger/pg_db.h"

#include <QFile>
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

