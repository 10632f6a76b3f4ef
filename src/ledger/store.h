// The ledger file: one SQLCipher-encrypted table "库" whose rows are categories, products and
// stock movements. Rows are read in the order they were added; the store keeps them in memory
// and reloads only when another connection has changed the file.
#pragma once

#include "ledger/sqlite_db.h"
#include "ledger/stocktake_records.h"

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

struct sqlite3;

namespace ledger {

class LedgerFacts;

inline constexpr int kCategory = 1;
inline constexpr int kProduct = 2;
inline constexpr int kTransaction = 3;

// The two directions a transaction's 方法 holds; anything but stock-in counts as stock-out.
inline const QString kStockIn = QStringLiteral("进货");
inline const QString kStockOut = QStringLiteral("出货");

// One row of the table. A null QString is a column that was never written.
struct Record {
    qint64 id = 0;       // SQLite rowid; not a column of the table
    bool hasKind = true; // false when the kind column is null
    int kind = 0;        // 标号
    QString name;        // 名称
    QString cat;         // 类
    QString price;       // 价格
    QString qty;         // 数量
    QString total;       // 总额
    QString date;        // 日期
    QString method;      // 方法
    QString txno;        // 交易号码

    bool sameContent(const Record &o) const;
    bool isKind(int k) const { return hasKind && kind == k; }
};

// Removes the elements at these ascending positions in one pass, closing the gaps from the
// first one on; the elements before it stay where they are.
template <class T, class Position> void eraseAt(std::vector<T> &items, const std::vector<Position> &positions)
{
    if (positions.empty())
        return;
    auto out = items.begin() + static_cast<std::ptrdiff_t>(positions.front());
    auto next = positions.cbegin();
    for (auto i = static_cast<std::size_t>(positions.front()); i < items.size(); ++i) {
        if (next != positions.cend() && static_cast<std::size_t>(*next) == i) {
            ++next;
            continue;
        }
        *out++ = std::move(items[i]);
    }
    items.erase(out, items.end());
}

// Records picked out of the ledger rows, without copying them: valid while the rows are.
using RecordRefs = std::vector<std::reference_wrapper<const Record>>;

// The nine fields in stored order joined by "|" (null columns give empty text).
QString recordText(const Record &r);

// A failure the user must be told about: what failed (kind), on which file (object), why (a
// Chinese phrase) and SQLite's result code where the failure was first seen (0 when it did not
// come from SQLite). message() is the complete Chinese sentence made of them.
class StoreError : public std::runtime_error {
public:
    enum class Kind {
        Open,         // the ledger file could not be opened
        Create,       // nor created
        Read,         // nor read
        Add,          // a record was not stored
        Remove,       // records were not deleted
        Replaced,     // another file took the ledger's place (a restore); no reason
        NotConverted, // the Jet carry-over refused; the original is untouched
    };
    StoreError(Kind kind, const QString &object, const QString &reason = QString(), int code = 0);
    Kind kind() const { return m_kind; }
    const QString &object() const { return m_object; }
    const QString &reason() const { return m_reason; }
    int code() const { return m_code; }
    const QString &message() const { return m_message; }

private:
    Kind m_kind;
    QString m_object, m_reason;
    int m_code = 0;
    QString m_message;
};

// Why an SQLite call failed, as a Chinese phrase (rc: its result code; db may be null).
QString failureReason(int rc, sqlite3 *db);

class Store {
public:
    static constexpr const char *kPassword = sql::kPassword;
    // How long an operation waits for another program's lock before it gives up.
    static constexpr std::chrono::milliseconds kLockWait = sql::kLockWait;

    // Opens the file, creating it (with its table) only when it is absent or empty.
    // Throws StoreError with a sentence naming the file and the reason; an existing file
    // that cannot be opened is never modified.
    static std::unique_ptr<Store> open(const QString &path, std::chrono::milliseconds lockWait = kLockWait);
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    const QString &path() const { return m_path; }
    void setLockWait(std::chrono::milliseconds wait) { m_lockWait.limit = wait; }

    // Every row in stored order, reloaded first if another program changed the file.
    const std::vector<Record> &rows();
    qint64 count();
    // The rows as the analyses read them (see LedgerFacts), built on first use and then kept
    // up to date with the rows.
    const LedgerFacts &facts();
    // The rows as last read, without looking at the file: for drawing lines, which must not
    // reload a ledger.
    const std::vector<Record> &loadedRows() const { return m_rows; }
    // Changes whenever rows may have moved or gone (reload, deletion, growth): references into
    // the rows taken under another generation must be looked up again by id.
    quint64 generation() const { return m_generation; }

    // Appends one row (its id is ignored) and commits; returns the new row with its id.
    // Throws StoreError and stores nothing when the write fails.
    Record add(const Record &r);

    // Appends every row, in order, in one committed transaction (all or nothing), calling
    // progress(rows written) now and then. Throws StoreError and stores nothing on failure.
    void addAll(const std::vector<Record> &records, const std::function<void(std::size_t)> &progress = {});

    // Deletes, in one committed transaction, every row for which match() is true.
    // Returns the number of rows deleted. Throws StoreError and deletes nothing on failure.
    int removeWhere(const std::function<bool(const Record &)> &match);

    // Deletes exactly this row, provided it still holds the same content. Returns false when
    // it is gone (or was changed by someone else).
    bool removeExact(const Record &r);

    // Told of every row this store deletes, just before it goes (for lines still showing it).
    void setRemovalWatcher(std::function<void(const Record &)> watcher) { m_removalWatcher = std::move(watcher); }

    // Scanner codes and stock-takes, in tables of their own (store_stocktake.cpp). A product's
    // codes go when its row is deleted.
    std::vector<ProductCode> productCodes();
    // Files a code under a product, in place of the product it named before.
    void setProductCode(const ProductCode &code);
    // Appends a stock-take's transactions and its record in one committed transaction, as add()
    // appends one row. rows holds one transaction for each line with a difference, in the
    // lines' order; the record comes back with its id and the rows' ids and numbers.
    StockTakeRecord postStockTake(StockTakeRecord record, const std::vector<Record> &rows);
    // Every posted stock-take, oldest first.
    std::vector<StockTakeRecord> stockTakes();

    // The raw connection, for tests and tools that must look underneath.
    sqlite3 *handle() const { return m_db; }

private:
    class Transaction;

    Store(QString path, sqlite3 *db, std::chrono::milliseconds lockWait);
    // The steps of open() once the connection is there; fresh: the file is absent or empty.
    void setUp(bool fresh);
    void configure(StoreError::Kind what);
    bool hasLedgerTable(bool fresh);
    void exec(const char *sql, StoreError::Kind what);
    // Ends an open transaction without writing; returns false when it could not be ended.
    bool rollback();
    // what: the kind of failure to report.
    void refresh(bool force, StoreError::Kind what);
    // Deletes these rows (ascending positions in m_rows) inside tx and commits it.
    int removePositions(Transaction &tx, const std::vector<std::size_t> &positions);
    qint64 dataVersion(StoreError::Kind what);
    // Of the stock-take tables: the codes of products among these rows go with them (inside tx);
    // the facts learn which rows a stock-take posted.
    void forgetCodes(const std::vector<std::size_t> &positions);
    void markStockTakeRows(LedgerFacts &facts);
    bool hasTable(const char *name);
    // Inserts these rows inside the open write transaction; their ids, in order.
    std::vector<qint64> insertRows(const std::vector<Record> &records);
    // Appends a stored row to the rows in memory and the facts.
    void appendLoaded(const Record &stored);
    [[noreturn]] void fail(int rc, StoreError::Kind what);
    // Throws when the file at the path is no longer the one opened (a restore replaced it):
    // this connection would go on with the old one.
    void checkNotReplaced();

    QString m_path;
    sqlite3 *m_db = nullptr;
    std::vector<Record> m_rows;
    std::unique_ptr<LedgerFacts> m_facts; // null until asked for, and after a reload
    bool m_loaded = false;
    qint64 m_version = -1;
    sql::LockWait m_lockWait;
    quint64 m_generation = 0;
    std::function<void(const Record &)> m_removalWatcher;
    quint64 m_device = 0, m_inode = 0; // of the file opened
};

} // namespace ledger

Q_DECLARE_METATYPE(ledger::Record)
