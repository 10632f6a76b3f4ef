// What the store's files share over SQLite: the kinds of failure, a prepared statement that
// finalizes itself, the texts of a row (NULL kept apart from an empty text) and the write
// transaction.
#pragma once

#include "ledger/file_store.h"

#include <QString>
#include <sqlite3.h>

namespace ledger::sql {

// What failed, for the store's files.
inline constexpr StoreError::Kind kReadFailed = StoreError::Kind::Read;
inline constexpr StoreError::Kind kAddFailed = StoreError::Kind::Add;
inline constexpr StoreError::Kind kRemoveFailed = StoreError::Kind::Remove;

// The tables of codes and stock-takes, made by the first write that needs them.
inline constexpr const char *kCreateCodes =
    "CREATE TABLE IF NOT EXISTS \"条码\" (\"条码\" TEXT PRIMARY KEY NOT NULL CHECK (length(\"条码\") BETWEEN 1 AND 64),"
    " \"类\" TEXT NOT NULL, \"商品名\" TEXT NOT NULL)";
// The codes a deletion took, kept with its rows for a restore.
inline constexpr const char *kCreateDeletedCodes =
    "CREATE TABLE IF NOT EXISTS \"删除的条码\" (\"操作\" INTEGER NOT NULL, \"条码\" TEXT NOT NULL, \"类\" TEXT NOT NULL,"
    " \"商品名\" TEXT NOT NULL)";
inline constexpr const char *kCreateTakes =
    "CREATE TABLE IF NOT EXISTS \"盘点\" (\"编号\" INTEGER PRIMARY KEY, \"时间\" TEXT NOT NULL, \"计算机\" TEXT)";
inline constexpr const char *kCreateTakeLines =
    "CREATE TABLE IF NOT EXISTS \"盘点明细\" (\"盘点\" INTEGER NOT NULL, \"类\" TEXT, \"商品名\" TEXT,"
    " \"账面\" INTEGER, \"实盘\" INTEGER, \"记录\" INTEGER, \"交易号码\" TEXT)";

inline QString columnText(sqlite3_stmt *st, int col)
{
    if (sqlite3_column_type(st, col) == SQLITE_NULL)
        return QString();
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(st, col));
    const int n = sqlite3_column_bytes(st, col);
    if (n == 0)
        return QStringLiteral(""); // empty, but not null
    return QString::fromUtf8(p, n);
}

inline int bindText(sqlite3_stmt *st, int index, const QString &v)
{
    if (v.isNull())
        return sqlite3_bind_null(st, index);
    const QByteArray u = v.toUtf8();
    return sqlite3_bind_text(st, index, u.constData(), static_cast<int>(u.size()), SQLITE_TRANSIENT);
}

class Statement {
public:
    Statement(sqlite3 *db, const char *sql)
    {
        m_rc = sqlite3_prepare_v2(db, sql, -1, &m_st, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_st); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    int prepareResult() const { return m_rc; }
    sqlite3_stmt *get() const { return m_st; }

private:
    sqlite3_stmt *m_st = nullptr;
    int m_rc = SQLITE_OK;
};

} // namespace ledger::sql

namespace ledger {

// A write transaction that is rolled back when it goes out of scope uncommitted, whatever
// ended it.
class FileStore::Transaction {
public:
    Transaction(FileStore &store, StoreError::Kind what) : m_store(store), m_what(what)
    {
        m_store.m_writing = what;
        // A rollback that failed earlier left a transaction open: end it before a new one.
        if (!sqlite3_get_autocommit(m_store.m_db) && !m_store.rollback())
            m_store.fail(sqlite3_extended_errcode(m_store.m_db), m_what);
        // IMMEDIATE: take the write lock before reading, so two writers wait instead of deadlocking.
        const int rc = sqlite3_exec(m_store.m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            m_store.fail(rc, m_what);
    }
    ~Transaction()
    {
        if (!m_committed)
            m_store.rollback();
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    void commit()
    {
        const int rc = sqlite3_exec(m_store.m_db, "COMMIT", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            m_store.fail(rc, m_what);
        m_committed = true;
    }
    [[noreturn]] void fail(int rc) { m_store.fail(rc, m_what); }

private:
    FileStore &m_store;
    StoreError::Kind m_what;
    bool m_committed = false;
};

} // namespace ledger
