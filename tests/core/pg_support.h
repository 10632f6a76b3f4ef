// What the server tests share: the connection strings the throwaway server left
// (support/pg_server.sh).
#pragma once

#include <QFile>
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
