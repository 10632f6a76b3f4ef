// A raw connection to a ledger file (or any SQLite file), for the tests, the test tools and the
// benchmark that look underneath the store.
#pragma once

#include "ledger/file_store.h"

#include <QString>
#include <QStringList>
#include <sqlite3.h>

#include <cstring>
#include <stdexcept>

namespace sqldb {

// SQLite refused a statement; what() is SQLite's message.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Query {
public:
    Query(sqlite3 *db, const char *sql) : m_db(db)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &m_st, nullptr) != SQLITE_OK)
            fail();
    }
    ~Query() { sqlite3_finalize(m_st); }
    Query(const Query &) = delete;
    Query &operator=(const Query &) = delete;

    // A null text binds NULL.
    Query &bind(int i, const QString &v)
    {
        const QByteArray u = v.toUtf8();
        check(v.isNull() ? sqlite3_bind_null(m_st, i)
                         : sqlite3_bind_text(m_st, i, u.constData(), static_cast<int>(u.size()), SQLITE_TRANSIENT));
        return *this;
    }
    Query &bind(int i, qint64 v)
    {
        check(sqlite3_bind_int64(m_st, i, v));
        return *this;
    }
    // Steps once: true while there is a row.
    bool next()
    {
        const int rc = sqlite3_step(m_st);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            fail();
        return rc == SQLITE_ROW;
    }
    // Runs a statement that answers no rows, then makes it ready for the next bindings.
    void run()
    {
        while (next()) {
        }
        check(sqlite3_reset(m_st));
    }
    bool isNull(int col) const { return sqlite3_column_type(m_st, col) == SQLITE_NULL; }
    // Null for a null column, empty (not null) for an empty one.
    QString text(int col) const
    {
        if (isNull(col))
            return QString();
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_st, col));
        const int n = sqlite3_column_bytes(m_st, col);
        return n == 0 ? QStringLiteral("") : QString::fromUtf8(p, n);
    }
    qint64 integer(int col) const { return sqlite3_column_int64(m_st, col); }
    double real(int col) const { return sqlite3_column_double(m_st, col); }
    int bytes(int col) const { return sqlite3_column_bytes(m_st, col); }
    int columns() const { return sqlite3_column_count(m_st); }

private:
    void check(int rc)
    {
        if (rc != SQLITE_OK)
            fail();
    }
    [[noreturn]] void fail() { throw Error(sqlite3_errmsg(m_db)); }

    sqlite3 *m_db;
    sqlite3_stmt *m_st = nullptr;
};

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
class Connection {
public:
    explicit Connection(const QString &path, const char *key = ledger::FileStore::kPassword)
    {
        sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (key) {
            sqlite3_key(m_db, key, static_cast<int>(std::strlen(key)));
            exec("PRAGMA cipher_compatibility = 3");
        }
        sqlite3_busy_timeout(m_db, 5000);
    }
    ~Connection() { sqlite3_close_v2(m_db); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    sqlite3 *get() const { return m_db; }
    // SQLite's result code.
    int exec(const char *sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); }

private:
    sqlite3 *m_db = nullptr;
};

} // namespace sqldb
