#include "ledger/store.h"

#include <QFileInfo>
#include <sqlite3.h>
#ifdef __linux__
#include <sys/mman.h>
#endif

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <limits>
#include <mutex>
#include <string>
#include <cstring>
#include <random>
#include <thread>

namespace ledger {

namespace {

constexpr const char *kCreateTable =
    "CREATE TABLE \"库\" ("
    "\"标号\" SMALLINT CHECK (\"标号\" IS NULL OR (typeof(\"标号\") = 'integer' AND \"标号\" BETWEEN -32768 AND 32767)),"
    "\"名称\" VARCHAR(20) CHECK (length(\"名称\") <= 20),"
    "\"类\" VARCHAR(20) CHECK (length(\"类\") <= 20),"
    "\"价格\" VARCHAR(20) CHECK (length(\"价格\") <= 20),"
    "\"数量\" VARCHAR(20) CHECK (length(\"数量\") <= 20),"
    "\"总额\" VARCHAR(20) CHECK (length(\"总额\") <= 20),"
    "\"日期\" VARCHAR(20) CHECK (length(\"日期\") <= 20),"
    "\"方法\" VARCHAR(4) CHECK (length(\"方法\") <= 4),"
    "\"交易号码\" VARCHAR(20) CHECK (length(\"交易号码\") <= 20))";

constexpr const char *kSelectAll =
    "SELECT rowid, \"标号\", \"名称\", \"类\", \"价格\", \"数量\", \"总额\", \"日期\", \"方法\", "
    "\"交易号码\" FROM \"库\" ORDER BY rowid";

constexpr const char *kInsert =
    "INSERT INTO \"库\" (\"标号\", \"名称\", \"类\", \"价格\", \"数量\", \"总额\", \"日期\", \"方法\", "
    "\"交易号码\") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)";

// Message templates: %1 the file, %2 the reason.
const QString kWriteFailed = QStringLiteral("无法写入账本文件“%1”：%2！");
const QString kReadFailed = QStringLiteral("无法读取账本文件“%1”：%2！");
const QString kAddFailed = QStringLiteral("记录未能保存到账本文件“%1”：%2！");
const QString kRemoveFailed = QStringLiteral("记录未能从账本文件“%1”中删除：%2！");

bool sameText(const QString &a, const QString &b) { return a.isNull() == b.isNull() && a == b; }

QString columnText(sqlite3_stmt *st, int col)
{
    if (sqlite3_column_type(st, col) == SQLITE_NULL)
        return QString();
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(st, col));
    const int n = sqlite3_column_bytes(st, col);
    if (n == 0)
        return QStringLiteral(""); // empty, but not null
    return QString::fromUtf8(p, n);
}

void bindText(sqlite3_stmt *st, int index, const QString &v)
{
    if (v.isNull()) {
        sqlite3_bind_null(st, index);
        return;
    }
    const QByteArray u = v.toUtf8();
    sqlite3_bind_text(st, index, u.constData(), static_cast<int>(u.size()), SQLITE_TRANSIENT);
}

// Binds the nine columns of kInsert.
void bindRecord(sqlite3_stmt *st, const Record &r)
{
    if (r.hasKind)
        sqlite3_bind_int(st, 1, r.kind);
    else
        sqlite3_bind_null(st, 1);
    const QString *texts[] = {&r.name, &r.cat, &r.price, &r.qty, &r.total, &r.date, &r.method, &r.txno};
    for (int i = 0; i < 8; ++i)
        bindText(st, i + 2, *texts[i]);
}

QString reason(int rc, sqlite3 *db)
{
    switch (rc & 0xff) {
    case SQLITE_FULL:
        return QStringLiteral("磁盘空间已满");
    case SQLITE_READONLY:
        return QStringLiteral("文件为只读或所在文件夹不可写，不能写入");
    case SQLITE_CONSTRAINT:
        return QStringLiteral("内容超出字段允许的长度");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("文件正被其他程序使用，请稍后再试");
    case SQLITE_NOTADB:
        return QStringLiteral("文件已损坏、不是本软件的账本文件或密码不符");
    case SQLITE_CORRUPT:
        return QStringLiteral("文件已损坏");
    case SQLITE_CANTOPEN:
        return QStringLiteral("无法访问该文件（请检查文件和文件夹的权限）");
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QStringLiteral("没有访问权限");
    case SQLITE_IOERR:
        if (rc == SQLITE_IOERR_WRITE || rc == SQLITE_IOERR_FSYNC || rc == SQLITE_IOERR_TRUNCATE)
            return QStringLiteral("写入文件失败，磁盘可能已满或文件超过了大小限制");
        return QStringLiteral("读写文件出错（错误码 %1）").arg(rc);
    default:
        return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
    }
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

// Waits for another program's lock in short random steps, up to ten seconds. SQLite's own
// timeout sleeps up to 100 ms at a time and so loses the race against a program that
// writes continuously.
int waitForLock(void *, int attempt)
{
    using Clock = std::chrono::steady_clock;
    static thread_local std::minstd_rand rng(std::random_device{}());
    static thread_local Clock::time_point start;
    if (attempt == 0)
        start = Clock::now();
    else if (Clock::now() - start > std::chrono::seconds(10))
        return 0;
    std::this_thread::sleep_for(std::chrono::microseconds(500 + rng() % 3000));
    return 1;
}

QString openError(const QString &path, bool creating, const QString &why)
{
    const QString verb = creating ? QStringLiteral("无法创建") : QStringLiteral("无法打开");
    return QStringLiteral("%1账本文件“%2”：%3！").arg(verb, path, why);
}

} // namespace

bool Record::sameContent(const Record &o) const
{
    return hasKind == o.hasKind && (!hasKind || kind == o.kind) && sameText(name, o.name) &&
           sameText(cat, o.cat) && sameText(price, o.price) && sameText(qty, o.qty) &&
           sameText(total, o.total) && sameText(date, o.date) && sameText(method, o.method) &&
           sameText(txno, o.txno);
}

QString recordText(const Record &r)
{
    const QString kind = r.hasKind ? QString::number(r.kind) : QString();
    return QStringList{kind, r.name, r.cat, r.price, r.qty, r.total, r.date, r.method, r.txno}.join(u'|');
}

StoreError::StoreError(const QString &message)
    : std::runtime_error(message.toStdString()), m_message(message)
{
}

QString failureReason(int rc, sqlite3 *db) { return reason(rc, db); }

Store::Store(QString path, sqlite3 *db) : m_path(std::move(path)), m_db(db) {}

Store::~Store() { sqlite3_close_v2(m_db); }

std::unique_ptr<Store> Store::open(const QString &path)
{
    const QFileInfo fi(path);
    if (fi.exists() && fi.isDir())
        throw StoreError(openError(path, false, QStringLiteral("同名的是一个文件夹，不是账本文件")));
    // An empty file holds nothing to lose: it is set up like a new one.
    const bool fresh = !fi.exists() || fi.size() == 0;
    if (fi.exists() && !fi.isReadable())
        throw StoreError(openError(path, false, QStringLiteral("没有读取该文件的权限")));

    sqlite3 *db = nullptr;
    // One connection per Store, used by one thread: no locking per call.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (fi.exists() ? 0 : SQLITE_OPEN_CREATE);
    int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr);
    auto closeAndThrow = [&](int code, bool creating) {
        const QString why = reason(code, db);
        sqlite3_close_v2(db);
        throw StoreError(openError(path, creating, why));
    };
    if (rc != SQLITE_OK)
        closeAndThrow(rc, !fi.exists());

    sqlite3_extended_result_codes(db, 1);
    rc = sqlite3_key(db, kPassword, static_cast<int>(std::char_traits<char>::length(kPassword)));
    if (rc != SQLITE_OK)
        closeAndThrow(rc, fresh);
    // Later SQLCipher releases read this file format only in compatibility mode.
    sqlite3_exec(db, "PRAGMA cipher_compatibility = 3", nullptr, nullptr, nullptr);
    sqlite3_busy_handler(db, waitForLock, nullptr);

    // The key is only checked by the first read.
    int tables = 0;
    bool hasLedger = false;
    {
        Statement st(db, "SELECT name FROM sqlite_master WHERE type = 'table'");
        rc = st.prepareResult();
        if (rc != SQLITE_OK)
            closeAndThrow(rc, false);
        while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
            ++tables;
            if (columnText(st.get(), 0) == QStringLiteral("库"))
                hasLedger = true;
        }
        if (rc != SQLITE_DONE)
            closeAndThrow(rc, false);
    }
    if (!hasLedger && !(fresh || tables == 0)) {
        sqlite3_close_v2(db);
        throw StoreError(openError(path, false, QStringLiteral("文件中没有账本表“库”")));
    }

    std::unique_ptr<Store> store(new Store(path, db));
    // A single file that survives a crash: the journal is rolled back on the next open.
    sqlite3_exec(db, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
    if (!hasLedger) {
        try {
            store->begin(kWriteFailed);
            store->exec(kCreateTable);
            store->commit();
        } catch (const StoreError &) {
            throw StoreError(openError(path, true, reason(sqlite3_errcode(db), db)));
        }
    }
    // journal_mode answers with a row; a read-only file keeps its mode.
    sqlite3_exec(db, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
    // Read every row now: a ledger damaged past its first pages is refused at the start rather
    // than at some later click.
    try {
        store->refresh(true);
    } catch (const StoreError &) {
        throw StoreError(openError(path, false, reason(sqlite3_extended_errcode(db), db)));
    }
    return store;
}

void Store::fail(int rc, const QString &what)
{
    const QString why = reason(rc, m_db);
    rollbackQuietly();
    throw StoreError(what.arg(m_path, why));
}

void Store::exec(const char *sql)
{
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(rc, kWriteFailed);
}

void Store::begin(const QString &what)
{
    // IMMEDIATE: take the write lock before reading, so two writers wait instead of deadlocking.
    const int rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(rc, what);
}

void Store::commit()
{
    const int rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(rc, kWriteFailed);
}

void Store::rollbackQuietly()
{
    if (!sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    // What is in memory may no longer match the file; read it again next time.
    m_loaded = false;
}

qint64 Store::dataVersion()
{
    Statement st(m_db, "PRAGMA data_version");
    int rc = st.prepareResult();
    if (rc == SQLITE_OK)
        rc = sqlite3_step(st.get());
    if (rc != SQLITE_ROW)
        fail(rc, kReadFailed);
    return sqlite3_column_int64(st.get(), 0);
}

namespace {

// Shares one QString among the equal texts of a column (names, categories, dates, prices,
// quantities repeat across a large ledger), which keeps the loaded ledger small and spares a
// conversion per field. A direct-mapped table: a text whose slot another text took is simply
// converted again.
class Interner {
public:
    Interner() : m_slots(kSlots) {}

    // n < 0: a column never written.
    QString text(const char *p, int n)
    {
        if (n < 0)
            return QString();
        if (n == 0)
            return QStringLiteral("");
        quint32 h = 2166136261u; // FNV-1a
        for (int i = 0; i < n; ++i)
            h = (h ^ static_cast<unsigned char>(p[i])) * 16777619u;
        Slot &slot = m_slots[h & (kSlots - 1)];
        if (slot.bytes.size() == n && std::memcmp(slot.bytes.constData(), p, static_cast<std::size_t>(n)) == 0)
            return slot.text;
        slot.bytes = QByteArray(p, n);
        slot.text = QString::fromUtf8(p, n);
        return slot.text;
    }

private:
    static constexpr std::size_t kSlots = 1 << 14;
    struct Slot {
        QByteArray bytes;
        QString text;
    };
    std::vector<Slot> m_slots;
};

// Rows copied out of SQLite as raw bytes, so that another thread turns them into records while
// this one decrypts the next pages (each takes about half of loading a large ledger).
struct RawBatch {
    static constexpr int kFields = 8; // the text columns
    static constexpr std::size_t kRows = 4096;
    std::vector<qint64> ids;
    std::vector<int> kinds;   // kNoKind for a null kind
    std::vector<int> lengths; // kFields a row; -1 for null
    std::string bytes;
    static constexpr int kNoKind = std::numeric_limits<int>::min();

    void add(sqlite3_stmt *st)
    {
        ids.push_back(sqlite3_column_int64(st, 0));
        kinds.push_back(sqlite3_column_type(st, 1) == SQLITE_NULL ? kNoKind : sqlite3_column_int(st, 1));
        for (int c = 2; c < 2 + kFields; ++c) {
            if (sqlite3_column_type(st, c) == SQLITE_NULL) {
                lengths.push_back(-1);
                continue;
            }
            const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(st, c));
            const int n = sqlite3_column_bytes(st, c);
            lengths.push_back(n);
            bytes.append(p, static_cast<std::size_t>(n));
        }
    }
    bool full() const { return ids.size() >= kRows; }
};

// Turns batches into records, in order, on its own thread.
class RowBuilder {
public:
    explicit RowBuilder(std::vector<Record> &rows) : m_rows(rows), m_thread([this] { run(); }) {}
    ~RowBuilder() { finish(); }

    void push(RawBatch &&batch)
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_queue.push_back(std::move(batch));
        }
        m_ready.notify_one();
    }
    // Waits until every pushed batch is in the rows.
    void finish()
    {
        if (!m_thread.joinable())
            return;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_ready.notify_one();
        m_thread.join();
    }

private:
    void run()
    {
        for (;;) {
            RawBatch batch;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_ready.wait(lock, [this] { return m_done || !m_queue.empty(); });
                if (m_queue.empty())
                    return;
                batch = std::move(m_queue.front());
                m_queue.pop_front();
            }
            build(batch);
        }
    }

    void build(const RawBatch &b)
    {
        const char *p = b.bytes.data();
        const int *len = b.lengths.data();
        auto field = [&](Interner *pool) {
            const int n = *len++;
            const char *at = p;
            if (n > 0)
                p += n;
            if (pool)
                return pool->text(at, n);
            if (n < 0)
                return QString();
            return n == 0 ? QStringLiteral("") : QString::fromUtf8(at, n);
        };
        for (std::size_t i = 0; i < b.ids.size(); ++i) {
            Record &r = m_rows.emplace_back();
            r.id = b.ids[i];
            r.hasKind = b.kinds[i] != RawBatch::kNoKind;
            r.kind = r.hasKind ? b.kinds[i] : 0;
            r.name = field(&m_name);
            r.cat = field(&m_cat);
            r.price = field(&m_price);
            r.qty = field(&m_qty);
            r.total = field(nullptr); // mostly unique
            r.date = field(&m_date);
            r.method = field(&m_method);
            r.txno = field(nullptr);
        }
    }

    std::vector<Record> &m_rows;
    Interner m_name, m_cat, m_price, m_qty, m_date, m_method;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<RawBatch> m_queue;
    bool m_done = false;
    std::thread m_thread;
};

// A large ledger fills hundreds of megabytes page by page; in large pages that costs a
// fraction of the page faults.
void adviseLargePages(void *data, std::size_t bytes)
{
#ifdef __linux__
    constexpr std::uintptr_t kLarge = 2u << 20;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kLarge - 1) & ~(kLarge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kLarge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    Q_UNUSED(data);
    Q_UNUSED(bytes);
#endif
}

} // namespace

void Store::refresh(bool force)
{
    const qint64 version = dataVersion();
    if (m_loaded && !force && version == m_version)
        return;
    // Drop the old copy first: a large ledger should not be held twice.
    m_rows.clear();
    m_rows.shrink_to_fit();
    ++m_generation;
    m_loaded = false;
    std::vector<Record> rows;
    {
        // Rowids only grow, so the largest one bounds the row count without a scan. Some room
        // on top, so that adding a row does not move them all.
        Statement st(m_db, "SELECT max(rowid) FROM \"库\"");
        if (st.prepareResult() == SQLITE_OK && sqlite3_step(st.get()) == SQLITE_ROW) {
            const auto most = static_cast<std::size_t>(std::clamp<qint64>(sqlite3_column_int64(st.get(), 0), 0, 1 << 24));
            rows.reserve(most + most / 16 + 256);
        }
    }
    adviseLargePages(rows.data(), rows.capacity() * sizeof(Record));
    Statement st(m_db, kSelectAll);
    int rc = st.prepareResult();
    if (rc != SQLITE_OK)
        fail(rc, kReadFailed);
    {
        RowBuilder builder(rows);
        RawBatch batch;
        while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
            batch.add(st.get());
            if (batch.full())
                builder.push(std::exchange(batch, RawBatch{}));
        }
        builder.push(std::move(batch));
        builder.finish();
    }
    if (rc != SQLITE_DONE)
        fail(rc, kReadFailed);
    m_rows = std::move(rows);
    m_version = version;
    m_loaded = true;
}

const std::vector<Record> &Store::rows()
{
    // Outside a write transaction each statement is its own read transaction.
    refresh(false);
    return m_rows;
}

qint64 Store::count() { return static_cast<qint64>(rows().size()); }

Record Store::add(const Record &r)
{
    begin(kAddFailed);
    refresh(false);
    Statement st(m_db, kInsert);
    int rc = st.prepareResult();
    if (rc != SQLITE_OK)
        fail(rc, kAddFailed);
    if (r.hasKind)
        sqlite3_bind_int(st.get(), 1, r.kind);
    else
        sqlite3_bind_null(st.get(), 1);
    const QString *texts[] = {&r.name, &r.cat, &r.price, &r.qty, &r.total, &r.date, &r.method, &r.txno};
    for (int i = 0; i < 8; ++i)
        bindText(st.get(), i + 2, *texts[i]);
    rc = sqlite3_step(st.get());
    if (rc != SQLITE_DONE)
        fail(rc, kAddFailed);
    Record stored = r;
    stored.id = sqlite3_last_insert_rowid(m_db);
    rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(rc, kAddFailed);
    if (m_rows.size() == m_rows.capacity()) { // grow by a sixteenth, not double a large ledger
        m_rows.reserve(m_rows.size() + m_rows.size() / 16 + 256);
        ++m_generation;
    }
    m_rows.push_back(stored);
    return stored;
}

void Store::addAll(const std::vector<Record> &records, const std::function<void(std::size_t)> &progress)
{
    begin(kAddFailed);
    {
        Statement st(m_db, kInsert);
        int rc = st.prepareResult();
        if (rc != SQLITE_OK)
            fail(rc, kAddFailed);
        for (std::size_t n = 0; n < records.size(); ++n) {
            bindRecord(st.get(), records[n]);
            rc = sqlite3_step(st.get());
            if (rc != SQLITE_DONE)
                fail(rc, kAddFailed);
            sqlite3_reset(st.get());
            if (progress && n % 1024 == 1023)
                progress(n + 1);
        }
    }
    commit();
    m_loaded = false; // read back on the next rows()
}

int Store::removeWhere(const std::function<bool(const Record &)> &match)
{
    begin(kRemoveFailed);
    refresh(false);
    std::vector<std::size_t> positions;
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (match(m_rows[i]))
            positions.push_back(i);
    return removePositions(positions);
}

int Store::removePositions(const std::vector<std::size_t> &positions)
{
    if (positions.empty()) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr); // nothing to write
        return 0;
    }
    {
        Statement st(m_db, "DELETE FROM \"库\" WHERE rowid = ?");
        int rc = st.prepareResult();
        if (rc != SQLITE_OK)
            fail(rc, kRemoveFailed);
        for (std::size_t i : positions) {
            sqlite3_bind_int64(st.get(), 1, m_rows[i].id);
            rc = sqlite3_step(st.get());
            if (rc != SQLITE_DONE)
                fail(rc, kRemoveFailed);
            sqlite3_reset(st.get());
        }
    }
    const int rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(rc, kRemoveFailed);
    if (m_removalWatcher)
        for (std::size_t i : positions)
            m_removalWatcher(m_rows[i]);
    // Close the gaps from the first one on; the rows before it stay where they are.
    ++m_generation;
    auto out = m_rows.begin() + static_cast<std::ptrdiff_t>(positions.front());
    auto next = positions.cbegin();
    for (std::size_t i = positions.front(); i < m_rows.size(); ++i) {
        if (next != positions.cend() && *next == i) {
            ++next;
            continue;
        }
        *out++ = std::move(m_rows[i]);
    }
    m_rows.erase(out, m_rows.end());
    return static_cast<int>(positions.size());
}

bool Store::removeExact(const Record &target)
{
    begin(kRemoveFailed);
    refresh(false);
    // Rows are held in rowid order, so the row is found without a walk.
    const auto it = std::lower_bound(m_rows.cbegin(), m_rows.cend(), target.id,
                                     [](const Record &r, qint64 id) { return r.id < id; });
    std::vector<std::size_t> positions;
    if (it != m_rows.cend() && it->id == target.id) {
        if (it->sameContent(target))
            positions.push_back(static_cast<std::size_t>(it - m_rows.cbegin()));
    } else {
        for (std::size_t i = 0; i < m_rows.size(); ++i)
            if (m_rows[i].id == target.id && m_rows[i].sameContent(target))
                positions.push_back(i);
    }
    return removePositions(positions) > 0;
}

} // namespace ledger
