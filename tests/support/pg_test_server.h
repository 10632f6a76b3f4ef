// The tests' throwaway PostgreSQL server (pg_server.sh): a role's connection string, and
// databases of a test's own.
#pragma once

#include "ledger/pg_db.h"
#include "ledger/server_store.h"

#include <QFile>
#include <QString>
#include <atomic>
#include <unistd.h>

namespace testpg {

// The connection string for a role: the owner "shop" (role empty), "clerk", "tcp" (shop over
// TCP) or "admin"; empty when the tests run without the server (not under ctest).
inline QString conninfo(const QString &role = {})
{
    const QString dir = qEnvironmentVariable("WAREHOUSE_PG_DIR");
    QFile file(dir + QStringLiteral("/conninfo") + (role.isEmpty() ? QString() : QLatin1Char('.') + role));
    if (dir.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

inline ledger::pgdb::Connection &admin()
{
    static ledger::pgdb::Connection connection(conninfo(QStringLiteral("admin")));
    return connection;
}

// A new database owned by the shop's role; its name.
inline QString createDatabase()
{
    static std::atomic<int> next{0};
    const QString name = QStringLiteral("t_%1_%2").arg(::getpid()).arg(next++);
    admin().exec(QStringLiteral("CREATE DATABASE %1 OWNER shop").arg(name).toUtf8().constData());
    return name;
}

// A database of its own on the test server, dropped afterwards.
class Database {
public:
    Database() : m_name(createDatabase()) {}
    ~Database()
    {
        try {
            admin().exec(QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(m_name).toUtf8().constData());
        } catch (const ledger::pgdb::Failure &) {
        }
    }
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;
    const QString &name() const { return m_name; }
    // For a role's connection string (see conninfo()).
    QString conninfo(const QString &role = {}) const { return testpg::conninfo(role) + QStringLiteral(" dbname=") + m_name; }
    // The ledger there, worked on as that role.
    std::unique_ptr<ledger::ServerStore> open(const QString &role = {}) const { return ledger::ServerStore::open(conninfo(role)); }
    static ledger::pgdb::Connection &admin() { return testpg::admin(); }

private:
    QString m_name;
};

} // namespace testpg
