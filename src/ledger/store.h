// A ledger's rows: the Record of one row, the failure type, and the Store interface that the
// file ledger (file_store.h) implements.
#pragma once

#include "ledger/sqlite_db.h"
#include "ledger/stocktake_records.h"

#include <QDateTime>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

struct sqlite3;

namespace ledger {

class LedgerFacts;
struct ChangeEntry;
struct DeletedRow;
struct RestoredDeletion;

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
        Restore,      // deleted rows were not put back
    };
    StoreError(Kind kind, const QString &object, const QString &reason = QString(), int code = 0);
    // The same failure on a server ledger: object names the server (never the password).
    static StoreError onServer(Kind kind, const QString &server, const QString &reason);
    Kind kind() const { return m_kind; }
    const QString &object() const { return m_object; }
    const QString &reason() const { return m_reason; }
    int code() const { return m_code; }
    const QString &message() const { return m_message; }

private:
    StoreError(Kind kind, const QString &object, const QString &reason, const QString &message);
    Kind m_kind;
    QString m_object, m_reason;
    int m_code = 0;
    QString m_message;
};

// Why an SQLite call failed, as a Chinese phrase (rc: its result code; db may be null).
QString failureReason(int rc, sqlite3 *db);

// A ledger's rows wherever they are kept: the encrypted file (FileStore) or a server. The
// windows and analyses see only this. The rows are held in memory in stored order; every change
// to them is announced by the signals below, which the facts and the lists follow.
class Store : public QObject {
    Q_OBJECT
public:
    // How long an operation waits for another program's lock before it gives up.
    static constexpr std::chrono::milliseconds kLockWait = sql::kLockWait;

    ~Store() override;
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    // Names the ledger in messages: the file's path.
    const QString &path() const { return m_path; }
    virtual void setLockWait(std::chrono::milliseconds wait) = 0;

    // Every row in stored order, read again first if another program changed the ledger.
    // Rows still being read in the background are waited for (announced by waiting()).
    virtual const std::vector<Record> &rows() = 0;
    // The category rows, and the product rows, in stored order, without a walk over every row
    // (where they stand is kept from one call to the next); valid until the rows change. The
    // categories come before the other rows of a ledger still being read.
    virtual RecordRefs categoryRows();
    RecordRefs productRows();
    // Whether the ledger holds any row, without waiting for every row.
    virtual bool hasRows() { return !rows().empty(); }
    // True while rows are still being read in the background: rows() would wait for them.
    virtual bool reading() const { return false; }
    qint64 count() { return static_cast<qint64>(rows().size()); }
    // The rows as the analyses read them (see LedgerFacts), built on first use and then kept
    // up to date with the rows.
    const LedgerFacts &facts();
    // The rows as last read, without looking at the ledger: for drawing lines, which must not
    // reload a ledger.
    const std::vector<Record> &loadedRows() const { return m_rows; }
    // Changes whenever rows may have moved or gone (reload, deletion, growth): references into
    // the rows taken under another generation must be looked up again by id.
    quint64 generation() const { return m_generation; }
    // Changes whenever rows went, or were read or put back among the others, but not when rows
    // were only appended: what was worked out from the first n rows under one count still holds.
    quint64 rewrites() const { return m_rewrites; }
    // The loaded rows at these positions, in their order.
    RecordRefs rowsAt(const std::vector<std::size_t> &positions) const;
    // Where the row with this id stands in the loaded rows (held in id order), if it is there.
    std::optional<std::size_t> positionOf(qint64 id) const;
    // The position of the row with target's id when it still holds target's content: none or one.
    std::vector<std::size_t> exactly(const Record &target) const;

    // Appends one row (its id is ignored) and commits; returns the new row with its id.
    // Throws StoreError and stores nothing when the write fails.
    virtual Record add(const Record &r) = 0;
    // Appends every row, in order, in one committed transaction (all or nothing), calling
    // progress(rows written) now and then. Throws StoreError and stores nothing on failure.
    virtual void addAll(const std::vector<Record> &records, const std::function<void(std::size_t)> &progress = {}) = 0;
    // Deletes, in one committed transaction, every row for which match() is true.
    // Returns the number of rows deleted. Throws StoreError and deletes nothing on failure.
    virtual int removeWhere(const std::function<bool(const Record &)> &match) = 0;
    // Deletes exactly this row, provided it still holds the same content. Returns false when
    // it is gone (or was changed by someone else).
    virtual bool removeExact(const Record &r) = 0;
    // False when the stored ledger fails the engine's own full check of its storage.
    virtual bool passesIntegrityCheck() = 0;

    // Scanner codes and stock-takes, kept beside the rows. A product's codes go when its row is
    // deleted, and come back when that deletion is restored.
    virtual std::vector<ProductCode> productCodes() = 0;
    // Files a code under a product, in place of the product it named before.
    virtual void setProductCode(const ProductCode &code) = 0;
    // Appends a stock-take's transactions and its record in one committed transaction, as add()
    // appends one row. rows holds one transaction for each line with a difference, in the
    // lines' order; the record comes back with its id and the rows' ids and numbers.
    virtual StockTakeRecord postStockTake(StockTakeRecord record, const std::vector<Record> &rows) = 0;
    // Every posted stock-take, oldest first.
    virtual std::vector<StockTakeRecord> stockTakes() = 0;

    // The record of changes (history.h). Every change above is recorded as one entry in the
    // same transaction as the change itself.
    // The last limit entries, newest first.
    virtual std::vector<ChangeEntry> history(int limit) = 0;
    // The deletions that can still be put back, newest first.
    virtual std::vector<ChangeEntry> deletions() = 0;
    // The rows that deletion removed, in their old stored order.
    virtual std::vector<DeletedRow> deletedRows(qint64 entry) = 0;
    // The scanner codes that deletion took with its products.
    virtual std::vector<ProductCode> deletedCodes(qint64 entry) = 0;
    // Puts every row of that deletion back with its old id (so at its old place), and the scanner
    // codes it took, in one committed transaction with its own entry; a row whose id was taken
    // meanwhile goes to the end. Announces reloaded(). Throws StoreError (Kind::Restore) when that deletion was put
    // back already or is no longer kept, and on any failure, and then changes nothing.
    virtual RestoredDeletion restoreDeletion(qint64 entry) = 0;
    // Forgets the rows of deletions made more than kDeletionDays before now; returns how many
    // deletions went. Done at every open for work.
    virtual int pruneDeletions(const QDateTime &now) = 0;
    // Forgets the rows of every deletion at once.
    virtual void clearDeletions() = 0;

signals:
    // Rows [first, first + count) are new in loadedRows().
    void rowsInserted(std::size_t first, std::size_t count);
    // The rows at these ascending positions are about to go; they are still in loadedRows().
    void rowsRemoving(const std::vector<std::size_t> &positions);
    // Every row was read again; positions and references taken before mean nothing now.
    void reloaded();
    // An operation waits for the rows still being read (true), or has them now (false).
    void waiting(bool busy);
    // Rows another computer changed were taken in (and announced by the signals above): what
    // the windows show may need listing again.
    void changedElsewhere();

protected:
    explicit Store(QString path);

    // The rows in memory change only through these four, which announce it.
    // Forgets every row (before reading them again, so that a large ledger is not held twice).
    void dropRows();
    void setRows(std::vector<Record> rows);
    // Appends rows already stored; stockTake: a stock-take posted them.
    void appendRows(const std::vector<Record> &stored, bool stockTake = false);
    // Puts rows already stored back among the others by id, which is their stored order;
    // announced as a reload.
    void mergeRows(std::vector<Record> stored);
    void removeRowsAt(const std::vector<std::size_t> &positions);

    // Marks the rows a stock-take posted, when the facts are built.
    virtual void markStockTakeRows(LedgerFacts &facts) = 0;

private:
    // Where the rows of one kind stand among the first scanned rows, of this generation.
    struct KindPlaces {
        std::vector<std::size_t> at;
        std::size_t scanned = 0;
        quint64 generation = 0;
    };
    RecordRefs rowsOfKind(int kind, KindPlaces &places);

    QString m_path;
    std::vector<Record> m_rows;
    KindPlaces m_categoryPlaces, m_productPlaces;
    std::unique_ptr<LedgerFacts> m_facts; // null until asked for, and after a reload
    quint64 m_generation = 0;
    quint64 m_rewrites = 0;
};

} // namespace ledger

Q_DECLARE_METATYPE(ledger::Record)
