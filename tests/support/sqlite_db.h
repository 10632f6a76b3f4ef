// Looking underneath the store in the tests and their tools, over the program's own connection
// (ledger/sqlite_db.h).
#pragma once

#include "ledger/sqlite_db.h"
#include "ledger/file_store.h"

#include <QString>
#include <QStringList>
#include <sqlite3.h>

namespace sqldb {

using ledger::sql::Error;
using ledger::sql::Query;

// The text of column col of every row sql answers.
inline QStringList column(sqlite3 *db, const char *sql, int col = 0)
{
    QStringList out;
    Query q(db, sql);
    while (q.next())
        out << q.text(col);
    return out;
}

// "ok" for a sound file.
inline QString integrity(sqlite3 *db) { return column(db, "PRAGMA integrity_check").join(u'\n'); }

// A second connection of its own, created when the file is absent. key: the ledger's password
// by default; nullptr for a plain SQLite file.
class Connection : public ledger::sql::Connection {
public:
    explicit Connection(const QString &path, const char *key = ledger::FileStore::kPassword)
        : ledger::sql::Connection(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, key)
    {
    }
};

} // namespace sqldb
