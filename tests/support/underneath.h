// Looking underneath either kind of ledger, past its store: the encrypted file over a second
// connection, or the server's database over a connection of its own.
#pragma once

#include "ledger/pg_db.h"
#include "sqlite_db.h"

#include <QString>
#include <QStringList>

struct Underneath {
    bool onServer = false;
    QString where; // the file's path, or the database's connection string

    // Every row of 库 with its id, NULL apart from empty, in stored order, one line each.
    QString table() const
    {
        if (!onServer) {
            sqldb::Connection c(where);
            return sqldb::column(c.get(), "SELECT rowid || ',' || quote(\"标号\") || quote(\"名称\") || quote(\"类\") ||"
                                          " quote(\"价格\") || quote(\"数量\") || quote(\"总额\") || quote(\"日期\") ||"
                                          " quote(\"方法\") || quote(\"交易号码\") FROM \"库\" ORDER BY rowid")
                .join(u'\n');
        }
        ledger::pgdb::Connection c(where);
        const ledger::pgdb::Result res =
            c.exec("SELECT id || ',' || quote_nullable(\"标号\") || quote_nullable(\"名称\") || quote_nullable(\"类\") ||"
                   " quote_nullable(\"价格\") || quote_nullable(\"数量\") || quote_nullable(\"总额\") ||"
                   " quote_nullable(\"日期\") || quote_nullable(\"方法\") || quote_nullable(\"交易号码\") FROM \"库\" ORDER BY id");
        QStringList lines;
        for (int i = 0; i < res.rows(); ++i)
            lines << res.text(i, 0);
        return lines.join(u'\n');
    }

    // The first field of a query's first row, the same text on either kind.
    QString first(const char *sql) const
    {
        if (!onServer)
            return sqldb::Connection(where).first(sql);
        return ledger::pgdb::Connection(where).exec(sql).text(0, 0);
    }

    // Runs statements as another tool would: fileSql on the file, serverSql (by default the
    // same text) on the server. False when the file refused one.
    bool exec(const char *fileSql, const char *serverSql = nullptr) const
    {
        if (!onServer)
            return sqldb::Connection(where).exec(fileSql) == SQLITE_OK;
        ledger::pgdb::Connection(where).exec(serverSql ? serverSql : fileSql);
        return true;
    }
};
