// The ledger file: one SQLCipher-encrypted table "库" whose rows are categories, products and
// stock movements. Rows are read in the order they were added; the store keeps them in memory
// and reloads only when another connection has changed the file.
#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

struct sqlite3;

namespace ledger {

inline constexpr int kCategory = 1;
inline constexpr int kProduct = 2;
inline constexpr int kTransaction = 3;

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
};

// Records picked out of the ledger rows, without copying them: valid while the rows are.
using RecordRefs = std::vector<std::reference_wrapper<const Record>>;

// The nine fields in stored order joined by "|" (null columns give empty text).
QString recordText(const Record &r);

// A failure the user must be told about; message() is a complete Chinese sentence.
class StoreError : public std::runtime_error {
public:
    explicit StoreError(const QString &message);
    const QString &message() const { return m_message; }

private:
    QString m_message;
};

// Why an SQLite call failed, as a Chinese phrase (rc: its result code; db may be null).
QString failureReason(int rc, sqlite3 *db);

class Store {
public:
    static constexpr const char *kPassword = "qzvmrt";

    // Opens the file, creating it (with its table) only when it is absent or empty.
    // Throws StoreError with a sentence naming the file and the reason; an existing file
    // that cannot be opened is never modified.
    static std::unique_ptr<Store> open(const QString &path);
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    const QString &path() const { return m_path; }

    // Every row in stored order, reloaded first if another program changed the file.
    const std::vector<Record> &rows();
    qint64 count();
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

    // The raw connection, for tests and tools that must look underneath.
    sqlite3 *handle() const { return m_db; }

private:
    Store(QString path, sqlite3 *db);
    void exec(const char *sql);
    void begin(const QString &what);
    void commit();
    void rollbackQuietly();
    void refresh(bool force);
    // Deletes these rows (ascending positions in m_rows) and commits the open transaction.
    int removePositions(const std::vector<std::size_t> &positions);
    qint64 dataVersion();
    [[noreturn]] void fail(int rc, const QString &what);

    QString m_path;
    sqlite3 *m_db = nullptr;
    std::vector<Record> m_rows;
    bool m_loaded = false;
    qint64 m_version = -1;
    quint64 m_generation = 0;
    std::function<void(const Record &)> m_removalWatcher;
};

} // namespace ledger

Q_DECLARE_METATYPE(ledger::Record)
