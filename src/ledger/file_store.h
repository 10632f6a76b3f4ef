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
    // RestoreCopy: a copy of a backup about to take the ledger's place, made ready as for work
    // but without a backup of its own (the file it was copied from is one).
    enum class Purpose { Work, Reading, RestoreCopy };
    // InBackground: open() reads only the category rows (through the index on 标号, when the
    // file has it) and leaves the rest to a thread of its own. Whatever needs them waits; a
    // failure of that read is told by the operation that waited, as a failed read, and the
    // open's own writes for work (the record of changes, the index) wait for it to succeed. A
    // ledger of an older release without the record of changes is read at once.
    enum class Reading { AtOnce, InBackground };
    static std::unique_ptr<FileStore> open(const QString &path, std::chrono::milliseconds lockWait = kLockWait,
                                           Purpose purpose = Purpose::Work, Reading reading = Reading::AtOnce);
    ~FileStore() override;
    // For tests: runs on the reading thread before it reads, so that a test can hold it there.
    static void setReaderGate(std::function<void()> gate);

    void setLockWait(std::chrono::milliseconds wait) override { m_lockWait.limit = wait; }
    const std::vector<Record> &rows() override;
    RecordRefs categoryRows() override;
    bool hasRows() override;
    bool reading() const override;
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
    std::vector<ProductCode> deletedCodes(qint64 entry) override;
    RestoredDeletion restoreDeletion(qint64 entry) override;
    int pruneDeletions(const QDateTime &now) override;
    void clearDeletions() override;

    // Records, as the newest entry, that this ledger is the restore of the backup named backup:
    // its rows' count and checksum. Throws StoreError when it cannot be written.
    void recordBackupRestore(const QString &backup);

    // The raw connection, for tests and tools that must look underneath.
    sqlite3 *handle() const { return m_db; }

protected:
    void markStockTakeRows(LedgerFacts &facts) override;

private:
    class Transaction;
    struct Reader;

    FileStore(QString path, sqlite3 *db, std::chrono::milliseconds lockWait);
    // The steps of open() once the connection is there; fresh: the file is absent or empty.
    void setUp(bool fresh, Reading reading);
    // Starts the thread that reads every row, and reads the category rows meanwhile.
    void startReading();
    // Takes the rows of the reading thread, waiting for them; throws its failure. Writes nothing.
    void joinReader();
    // joinReader(), then what the open for work left until the rows were read. First in every
    // operation: none runs on part of the ledger.
    void finishReading();
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
    // Of the stock-take tables: the codes of products among these rows go with them (inside tx),
    // kept for that deletion's restore when deletion (its entry) is not 0.
    void forgetCodes(const std::vector<std::size_t> &positions, qint64 deletion);
    // Inside the open transaction: the codes that deletion kept go back, unless a code names
    // another product by now; the deletion keeps them no longer.
    void restoreCodes(qint64 deletion);
    bool hasTable(const char *name, const char *type = "table");
    // Inserts these rows inside the open write transaction, calling progress(rows written) now
    // and then; their ids, in order.
    std::vector<qint64> insertRows(const std::vector<Record> &records,
                                   const std::function<void(std::size_t)> &progress = {});
    [[noreturn]] void fail(int rc, StoreError::Kind what);

    // Of the record of changes (store_history.cpp).
    // At an open for work: the tables (a backup first when the ledger has rows), the entry for
    // rows changed outside, the pruning. A ledger that cannot be written opens without them.
    void setUpHistory(bool fresh, bool backupFirst);
    // The index on 标号 that gives the category rows without a scan; made where it is missing.
    void createKindIndex();
    void createHistory(StoreError::Kind what);
    // The counters with the adds recorded since they were written: the ids handed out stay
    // below handedOut, the next free one is nextId (above the newest row too), and the record
    // knows of rows rows.
    struct Counters {
        qint64 handedOut = 1, nextId = 1, rows = 0, addsSince = 0;
    };
    Counters counters();
    // The id of an add: the next free one, without the walk over the adds counters() makes.
    qint64 nextId();
    // Writes them, counted up to the newest entry.
    void setCounters(qint64 nextId, qint64 rows);
    // Inside the open transaction: n ids from the counter, the first of them returned, and the
    // row count the record knows of moved by rowsDelta; ids stay above above.
    qint64 takeIds(qint64 n, qint64 rowsDelta, qint64 above = 0);
    qint64 addEntry(ChangeKind kind, const QString &summary, qint64 count, const QString &checksum, qint64 rowId);
    // Keeps the rows at these positions as one deletion's entry; returns its number.
    qint64 recordDeletion(const std::vector<std::size_t> &positions);
    std::vector<ChangeEntry> entries(const char *where, int limit);
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
    std::unique_ptr<Reader> m_reader; // null once its rows are taken
    std::vector<Record> m_categories;  // read while the reader reads; empty once it is done
    bool m_haveCategories = false;     // m_categories holds them (the file has the index)
    bool m_setUpPending = false;       // setUpHistory waits for the reader
    StoreError::Kind m_writing = StoreError::Kind::Add; // what the open transaction does, for its failures
};

} // namespace ledger
