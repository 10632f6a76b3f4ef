// The ledger file: one SQLCipher-encrypted table "库" whose rows are categories, products and
// stock movements. Rows are read in the order they were added; the store keeps them in memory
// and reloads only when another connection has changed the file.
#pragma once

#include "ledger/sqlite_db.h"
#include "ledger/history.h"
#include "ledger/store.h"

struct sqlite3;

namespace ledger {

class FileStore : public Store {
    Q_OBJECT
public:
    static constexpr const char *kPassword = sql::kPassword;

    // Opens the file, creating it (with its table) only when it is absent or empty.
    // Throws StoreError with a sentence naming the file and the reason; an existing file
    // that cannot be opened is never modified.
    // Opened for work, a ledger without the record of changes gets it (after a backup), rows
    // that no entry explains get one, and old deletions are forgotten; ForReading writes nothing.
    enum class Purpose { Work, Reading };
    static std::unique_ptr<FileStore> open(const QString &path, std::chrono::milliseconds lockWait = kLockWait,
                                           Purpose purpose = Purpose::Work);
    ~FileStore() override;

    void setLockWait(std::chrono::milliseconds wait) override { m_lockWait.limit = wait; }
    const std::vector<Record> &rows() override;
    Record add(const Record &r) override;
    void addAll(const std::vector<Record> &records, const std::function<void(std::size_t)> &progress = {}) override;
    int removeWhere(const std::function<bool(const Record &)> &match) override;
    bool removeExact(const Record &r) override;
    bool passesIntegrityCheck() override;

    std::vector<ProductCode> productCodes() override;
    void setProductCode(const ProductCode &code) override;
    StockTakeRecord postStockTake(StockTakeRecord record, const std::vector<Record> &rows) override;
    std::vector<StockTakeRecord> stockTakes() override;

    std::vector<ChangeEntry> history(int limit) override;
    std::vector<ChangeEntry> deletions() override;
    std::vector<DeletedRow> deletedRows(qint64 entry) override;
    RestoredDeletion restoreDeletion(qint64 entry) override;
    int pruneDeletions(const QDateTime &now) override;
    void clearDeletions() override;

    // The raw connection, for tests and tools that must look underneath.
    sqlite3 *handle() const { return m_db; }

protected:
    void markStockTakeRows(LedgerFacts &facts) override;

private:
    class Transaction;

    FileStore(QString path, sqlite3 *db, std::chrono::milliseconds lockWait);
    // The steps of open() once the connection is there; fresh: the file is absent or empty.
    void setUp(bool fresh);
    void configure(StoreError::Kind what);
    bool hasLedgerTable(bool fresh);
    void exec(const char *sql, StoreError::Kind what);
    // Ends an open transaction without writing; returns false when it could not be ended.
    bool rollback();
    // what: the kind of failure to report.
    void refresh(bool force, StoreError::Kind what);
    // Deletes these rows (ascending positions in the rows) inside tx and commits it.
    int removePositions(Transaction &tx, const std::vector<std::size_t> &positions);
    qint64 dataVersion(StoreError::Kind what);
    // Of the stock-take tables: the codes of products among these rows go with them (inside tx).
    void forgetCodes(const std::vector<std::size_t> &positions);
    bool hasTable(const char *name);
    // Inserts these rows inside the open write transaction, calling progress(rows written) now
    // and then; their ids, in order.
    std::vector<qint64> insertRows(const std::vector<Record> &records,
                                   const std::function<void(std::size_t)> &progress = {});
    [[noreturn]] void fail(int rc, StoreError::Kind what);

    // Of the record of changes (store_history.cpp).
    // At an open for work: the tables (a backup first when the ledger has rows), the entry for
    // rows changed outside, the pruning. A ledger that cannot be written opens without them.
    void setUpHistory(bool fresh);
    void createHistory(StoreError::Kind what);
    // Inside the open transaction: n ids from the counter, the first of them returned.
    qint64 takeIds(qint64 n);
    qint64 addEntry(ChangeKind kind, const QString &summary, qint64 count, const QString &checksum, qint64 rowId);
    // The row count the record knows of goes up or down by delta.
    void noteRows(qint64 delta);
    void recordDeletion(const std::vector<std::size_t> &positions);
    std::vector<ChangeEntry> entries(const char *where, int limit);
    qint64 stateValue(const char *key);
    void setStateValue(const char *key, qint64 value);
    // Throws when the file at the path is no longer the one opened (a restore replaced it):
    // this connection would go on with the old one.
    void checkNotReplaced();

    sqlite3 *m_db = nullptr;
    bool m_loaded = false;
    qint64 m_version = -1;
    sql::LockWait m_lockWait;
    quint64 m_device = 0, m_inode = 0; // of the file opened
    bool m_history = false; // the file has the record of changes
    StoreError::Kind m_writing = StoreError::Kind::Add; // what the open transaction does, for its failures
};

} // namespace ledger
