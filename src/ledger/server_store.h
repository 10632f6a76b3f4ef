// The ledger on a PostgreSQL server: the table "库" with the file's nine columns plus an id
// that gives the stored order, a one-row change counter "账本版本" that every change to the
// rows bumps (so a reader only has to look at one number to know whether to read again, and
// writers take their turns on its row lock), the stock-take tables and the record of changes
// (history.h) as the file keeps it.
// Another PC's changes are taken in from the record of changes: only the rows its entries since
// the last one seen name, and the rows above the highest id held (ids are handed out under the
// counter's lock, so in commit order). What that cannot explain is read again in full. Every
// change is announced (NOTIFY) to the other PCs' connections when it is committed.
#pragma once

#include "ledger/pg_db.h"
#include "ledger/store.h"

namespace ledger {

struct LedgerRecords;

class ServerStore : public Store {
    Q_OBJECT
public:
    // Makes the ledger's tables in the connection's database (the role must be allowed to
    // create tables there). Refused when the database already holds a ledger. Throws StoreError.
    static void createTables(const QString &conninfo, const QString &password = {});
    // The same with these rows in stored order, in one transaction that is committed only
    // when the server holds them all (count and checksum()); beforeCommit runs just before
    // the commit (a throw from it leaves the server unchanged). Throws StoreError.
    static void createLedger(const QString &conninfo, const std::vector<Record> &rows, const QString &password = {},
                             const std::function<void()> &beforeCommit = {});
    // Over all nine fields of the rows in order, a NULL apart from an empty text.
    static QByteArray checksum(const std::vector<Record> &rows);
    // The checksum of the rows this connection's ledger holds now.
    QByteArray storedChecksum();
    // True when the connection's database holds the ledger table. Throws StoreError.
    static bool holdsLedger(const QString &conninfo, const QString &password = {});
    // Connects and checks the tables' shape (adding the record of changes to a ledger made
    // without it, when the role may); reads every row. Throws StoreError naming the server and
    // the reason, never the password.
    // Reading: nothing is set up (a ledger without the record of changes opens without it).
    enum class Purpose { Work, Reading };
    static std::unique_ptr<ServerStore> open(const QString &conninfo, const QString &password = {},
                                             std::chrono::milliseconds lockWait = kLockWait,
                                             Purpose purpose = Purpose::Work);
    ~ServerStore() override;
    // True when open() failed because the server asks for a password and none was given.
    static bool asksForPassword(const StoreError &e);

    void setLockWait(std::chrono::milliseconds wait) override;
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

    // A ledger made before the record of changes, opened by a role that may not create its
    // tables, works without it: no entries, nothing to put back.
    std::vector<ChangeEntry> history(int limit) override;
    std::vector<ChangeEntry> deletions() override;
    std::vector<DeletedRow> deletedRows(qint64 entry) override;
    std::vector<ProductCode> deletedCodes(qint64 entry) override;
    RestoredDeletion restoreDeletion(qint64 entry) override;
    int pruneDeletions(const QDateTime &now) override;
    void clearDeletions() override;

    // The connection, for tests and tools that must look underneath.
    pgdb::Connection &connection() { return *m_db; }

    // Where another PC's announcement of a change arrives, for a window to wait on: the
    // connection's socket (another one after a reconnection), -1 while there is none.
    int noticeSocket() const { return m_db->socket(); }
    // True when another PC announced a change since the last call; does not wait. rows() then
    // takes it in.
    bool changeNoticed() { return m_db->notified(); }
    // While the connection is lost (noticeSocket() -1), between actions: takes making it again a
    // step further without waiting; true once it is made (rows() then takes in what was missed).
    // Throws StoreError when an attempt failed; the next call makes another.
    bool reconnect();
    // What a backup read: its rows' count, the counter of changes it saw, and an id above every
    // id handed out so far.
    struct Snapshot {
        qint64 rows = 0;
        qint64 version = 0;
        qint64 nextId = 1;
    };
    // Hands every row to row as COPY sent it (the id, then the nine columns), in stored order,
    // from one read-only snapshot: it takes no lock a writer waits for, and what is added
    // meanwhile is not in it. records, when given, gets what the ledger keeps beside the rows,
    // from the same snapshot. Throws StoreError (a throw from row goes through as it is).
    static Snapshot readSnapshot(pgdb::Connection &db, const std::function<void(const pgdb::CopyRow &)> &row,
                                 LedgerRecords *records = nullptr);
    // The other client sessions connected to the ledger's database (another PC, a tool), not
    // the server's own workers.
    qint64 otherSessions();
    // Why a change that replaces the rows others work on is refused: "正被另外 N 个连接使用…".
    static QString inUseReason(qint64 others);
    // Puts rows (a backup's) in place of every row, keeping their ids and so their order, in one
    // transaction with an entry for the restore from backup, the id sequence moved above them.
    // records, when given, takes the place of the record of changes (numbers stay above every
    // number given out before), the codes and the stock-takes in the same transaction.
    // Refused, with nothing changed, while another session is connected or when the rows
    // changed after the snapshot of that version. Throws StoreError.
    void replaceRows(const std::vector<Record> &rows, const QString &backup, qint64 version,
                     const LedgerRecords *records = nullptr);

protected:
    void markStockTakeRows(LedgerFacts &facts) override;

private:
    ServerStore(QString server, std::unique_ptr<pgdb::Connection> db);
    // Runs action, turning a server's failure into a StoreError of this kind; what is in
    // memory is read again afterwards.
    template <class F> auto guarded(StoreError::Kind what, F &&action) -> decltype(action());
    // Inside a write transaction: takes the writers' turn and takes in what someone else
    // changed since the rows were read.
    void beginChange();
    // Brings the rows up to the ledger's version, in a snapshot of their own; others: the
    // changes are another program's (announced by changedElsewhere()).
    void refresh(bool others);
    // Inside a transaction that sees the ledger at this version: takes in the changes since
    // the rows were read, cheaply when the record of changes explains them, else by load().
    void follow(qint64 version, bool others);
    // The cheap way: false when the record of changes does not explain every change.
    bool catchUp(qint64 version);
    void load();
    // After the commit of a change begun by beginChange(), with its entry (0: none).
    void committed(qint64 entry)
    {
        ++m_version;
        if (entry != 0)
            m_entry = entry;
    }
    // At an open for work: one entry for rows that no entry explains (written by another tool).
    void explainOutsideChanges();
    int removePositions(pgdb::Transaction &tx, const std::vector<std::size_t> &positions);
    std::vector<qint64> insertRows(const std::vector<Record> &records);
    // Of the record of changes, inside the open transaction: the entry of a deletion of these
    // rows and the rows themselves.
    // Returns the entry's number.
    qint64 recordDeletion(const std::vector<std::size_t> &positions);
    // The entries matching where (fixed SQL over the table aliased e), newest first; limit < 0: all.
    std::vector<ChangeEntry> entries(const char *where, int limit);

    std::unique_ptr<pgdb::Connection> m_db;
    bool m_history = false; // the ledger has the record of changes
    bool m_loaded = false;
    qint64 m_version = -1;
    qint64 m_entry = 0; // the last entry of the record of changes the rows include
    // The record's counts, read with the rows: the rows it knows of and the newest id it has seen.
    qint64 m_knownRows = 0, m_knownNewest = 0;
};

} // namespace ledger
