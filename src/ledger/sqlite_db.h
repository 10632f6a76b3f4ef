// One way to reach a ledger file through SQLite: a connection keyed with the ledger's password,
// in the cipher's compatibility mode, with extended result codes, that waits for another
// program's lock as the store does; and a prepared statement for the tools that read
// underneath the store.
#pragma once

#include <QString>

#include <chrono>
#include <stdexcept>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace ledger::sql {

inline constexpr const char *kPassword = "qzvmrt";
// How long an operation waits for another program's lock before it gives up.
inline constexpr std::chrono::milliseconds kLockWait{10000};

// Waits for another program's lock in short random steps, up to limit. SQLite's own timeout
// sleeps up to 100 ms at a time and so loses the race against a program that writes
// continuously.
struct LockWait {
    std::chrono::milliseconds limit = kLockWait;
    std::chrono::steady_clock::time_point start; // of the wait under way
    static int handler(void *wait, int attempt);
};

// Opens the file at path with flags (SQLITE_OPEN_...); *db is set even when it fails, and must
// be closed.
int open(const QString &path, int flags, sqlite3 **db);
// Makes db a ledger's connection: extended result codes, the key (null for a plain SQLite file),
// the cipher's compatibility mode, and lock waits as wait says (it must outlive db).
int configure(sqlite3 *db, const char *key, LockWait *wait);

// A connection of its own, closed when it goes.
class Connection {
public:
    Connection(const QString &path, int flags, const char *key = kPassword,
               std::chrono::milliseconds lockWait = kLockWait);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    sqlite3 *get() const { return m_db; }
    // SQLITE_OK while all went well; else the result of the open, the key or the last first().
    int result() const { return m_rc; }
    // SQLite's result code.
    int exec(const char *sql);
    // The first column of the first row of a query, as text; result() tells how it went.
    QString first(const char *sql);

private:
    sqlite3 *m_db = nullptr;
    LockWait m_wait;
    int m_rc = 0;
};

// SQLite refused a statement of a Query; what() is SQLite's message.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A prepared statement that throws Error when SQLite refuses it.
class Query {
public:
    Query(sqlite3 *db, const char *sql);
    ~Query();
    Query(const Query &) = delete;
    Query &operator=(const Query &) = delete;

    // A null text binds NULL.
    Query &bind(int i, const QString &v);
    Query &bind(int i, qint64 v);
    // UTF-8 bytes as they are, not copied: they must stay until the statement runs.
    Query &bindUtf8(int i, std::string_view bytes);
    // Steps once: true while there is a row.
    bool next();
    // Runs a statement that answers no rows, then makes it ready for the next bindings.
    void run();
    bool isNull(int col) const;
    // Null for a null column, empty (not null) for an empty one.
    QString text(int col) const;
    // The column's text as UTF-8, valid until the next step.
    std::string_view utf8(int col) const;
    qint64 integer(int col) const;
    double real(int col) const;
    int bytes(int col) const;
    int columns() const;

private:
    void check(int rc);
    [[noreturn]] void fail();

    sqlite3 *m_db;
    sqlite3_stmt *m_st = nullptr;
};

} // namespace ledger::sql
