#include "ledger/sqlite_db.h"

#include <QFile>
#include <sqlite3.h>

#include <cstring>
#include <random>
#include <thread>

namespace ledger::sql {

int LockWait::handler(void *wait, int attempt)
{
    static thread_local std::minstd_rand rng(std::random_device{}());
    auto *self = static_cast<LockWait *>(wait);
    const auto now = std::chrono::steady_clock::now();
    if (attempt == 0)
        self->start = now;
    else if (now - self->start > self->limit)
        return 0;
    std::this_thread::sleep_for(std::chrono::microseconds(500 + rng() % 3000));
    return 1;
}

int open(const QString &path, int flags, sqlite3 **db)
{
    return sqlite3_open_v2(QFile::encodeName(path).constData(), db, flags, nullptr);
}

int configure(sqlite3 *db, const char *key, LockWait *wait)
{
    sqlite3_extended_result_codes(db, 1);
    int rc = key ? sqlite3_key(db, key, static_cast<int>(std::strlen(key))) : SQLITE_OK;
    if (rc == SQLITE_OK)
        rc = sqlite3_busy_handler(db, &LockWait::handler, wait);
    // Later SQLCipher releases read this file format only in compatibility mode.
    if (rc == SQLITE_OK && key)
        rc = sqlite3_exec(db, "PRAGMA cipher_compatibility = 3", nullptr, nullptr, nullptr);
    return rc;
}

Connection::Connection(const QString &path, int flags, const char *key, std::chrono::milliseconds lockWait)
{
    m_wait.limit = lockWait;
    m_rc = open(path, flags, &m_db);
    if (m_rc == SQLITE_OK)
        m_rc = configure(m_db, key, &m_wait);
}

Connection::~Connection() { sqlite3_close_v2(m_db); }

int Connection::exec(const char *sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); }

QString Connection::first(const char *sql)
{
    sqlite3_stmt *st = nullptr;
    m_rc = sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr);
    QString out;
    if (m_rc == SQLITE_OK) {
        m_rc = sqlite3_step(st);
        if (m_rc == SQLITE_ROW) {
            out = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
            m_rc = SQLITE_OK;
        }
    }
    sqlite3_finalize(st);
    return out;
}

Query::Query(sqlite3 *db, const char *sql) : m_db(db)
{
    if (sqlite3_prepare_v2(db, sql, -1, &m_st, nullptr) != SQLITE_OK)
        fail();
}

Query::~Query() { sqlite3_finalize(m_st); }

Query &Query::bind(int i, const QString &v)
{
    const QByteArray u = v.toUtf8();
    check(v.isNull() ? sqlite3_bind_null(m_st, i)
                     : sqlite3_bind_text(m_st, i, u.constData(), static_cast<int>(u.size()), SQLITE_TRANSIENT));
    return *this;
}

Query &Query::bind(int i, qint64 v)
{
    check(sqlite3_bind_int64(m_st, i, v));
    return *this;
}

Query &Query::bindUtf8(int i, std::string_view bytes)
{
    // A null pointer would bind NULL, not an empty text.
    check(sqlite3_bind_text(m_st, i, bytes.empty() ? "" : bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC));
    return *this;
}

bool Query::next()
{
    const int rc = sqlite3_step(m_st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        fail();
    return rc == SQLITE_ROW;
}

void Query::run()
{
    while (next()) {
    }
    check(sqlite3_reset(m_st));
}

bool Query::isNull(int col) const { return sqlite3_column_type(m_st, col) == SQLITE_NULL; }
qint64 Query::integer(int col) const { return sqlite3_column_int64(m_st, col); }
double Query::real(int col) const { return sqlite3_column_double(m_st, col); }
int Query::bytes(int col) const { return sqlite3_column_bytes(m_st, col); }
int Query::columns() const { return sqlite3_column_count(m_st); }

std::string_view Query::utf8(int col) const
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_st, col));
    return {p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(m_st, col))};
}

QString Query::text(int col) const
{
    if (isNull(col))
        return QString();
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_st, col));
    const int n = sqlite3_column_bytes(m_st, col);
    return n == 0 ? QStringLiteral("") : QString::fromUtf8(p, n);
}

void Query::check(int rc)
{
    if (rc != SQLITE_OK)
        fail();
}

void Query::fail() { throw Error(sqlite3_errmsg(m_db)); }

} // namespace ledger::sql
