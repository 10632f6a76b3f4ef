#include "ledger/file_store.h"

#include "ledger/columns.h"
#include "ledger/facts.h"
#include "ledger/ledger_table.h"
#include "ledger/row_loader.h"
#include "ledger/store_sql.h"

#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

#include <sys/stat.h>

#include <algorithm>
#include <exception>
#include <future>
#include <iterator>
#include <thread>

namespace ledger {

namespace {

using sql::bindText;
using sql::columnText;
using sql::Statement;
using sql::kAddFailed;
using sql::kReadFailed;
using sql::kRemoveFailed;

constexpr StoreError::Kind kOpenFailed = StoreError::Kind::Open;
constexpr StoreError::Kind kCreateFailed = StoreError::Kind::Create;

// The sentence told for a failure: object the file, reason why.
QString sentence(StoreError::Kind kind, const QString &object, const QString &reason)
{
    switch (kind) {
    case StoreError::Kind::Open:
        return QStringLiteral("无法打开账本文件“%1”：%2！").arg(object, reason);
    case StoreError::Kind::Create:
        return QStringLiteral("无法创建账本文件“%1”：%2！").arg(object, reason);
    case StoreError::Kind::Read:
        return QStringLiteral("无法读取账本文件“%1”：%2！").arg(object, reason);
    case StoreError::Kind::Add:
        return QStringLiteral("记录未能保存到账本文件“%1”：%2！").arg(object, reason);
    case StoreError::Kind::Remove:
        return QStringLiteral("记录未能从账本文件“%1”中删除：%2！").arg(object, reason);
    case StoreError::Kind::Replaced:
        return QStringLiteral("账本文件“%1”已被另一个文件替换（例如恢复了备份），本软件必须关闭后重新启动！").arg(object);
    case StoreError::Kind::NotConverted:
        return QStringLiteral("无法转换旧账本文件“%1”：%2！原文件未作任何改动。").arg(object, reason);
    case StoreError::Kind::Restore:
        return QStringLiteral("删除的记录未能恢复到账本文件“%1”：%2！").arg(object, reason);
    }
    return reason;
}

bool identity(const QString &path, quint64 &device, quint64 &inode)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    device = st.st_dev;
    inode = st.st_ino;
    return true;
}

bool sameText(const QString &a, const QString &b) { return a.isNull() == b.isNull() && a == b; }

// Binds the nine columns of insertSql(); the first result that is not SQLITE_OK.
int bindRecord(sqlite3_stmt *st, const Record &r)
{
    int rc = r.hasKind ? sqlite3_bind_int(st, 1, r.kind) : sqlite3_bind_null(st, 1);
    for (std::size_t i = 0; i < kTextColumns.size() && rc == SQLITE_OK; ++i)
        rc = bindText(st, static_cast<int>(i) + 2, r.*kTextColumns[i].field);
    return rc;
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

// Refuses what cannot be a ledger before SQLite touches it. Returns true when the file is
// absent or empty: it is then set up like a new one, as an empty file holds nothing to lose.
bool checkFile(const QString &path)
{
    const QFileInfo fi(path);
    if (fi.exists() && fi.isDir())
        throw StoreError(kOpenFailed, path, QStringLiteral("同名的是一个文件夹，不是账本文件"));
    if (fi.exists() && !fi.isReadable())
        throw StoreError(kOpenFailed, path, QStringLiteral("没有读取该文件的权限"));
    return !fi.exists() || fi.size() == 0;
}

// Every row of the table into rows, in stored order. Returns SQLite's last result: SQLITE_DONE
// when all went well.
int readAllRows(sqlite3 *db, std::vector<Record> &rows)
{
    {
        // Rowids only grow, so the largest one bounds the row count without a scan. Some room
        // on top, so that adding a row does not move them all.
        Statement st(db, "SELECT max(rowid) FROM \"库\"");
        if (st.prepareResult() == SQLITE_OK && sqlite3_step(st.get()) == SQLITE_ROW) {
            const auto most = static_cast<std::size_t>(std::clamp<qint64>(sqlite3_column_int64(st.get(), 0), 0, 1 << 24));
            rows.reserve(most + most / 16 + 256);
        }
    }
    Statement st(db, selectAllSql());
    const int rc = st.prepareResult();
    return rc == SQLITE_OK ? loadRows(st.get(), rows) : rc;
}

std::function<void()> &readerGate()
{
    static std::function<void()> gate;
    return gate;
}

} // namespace

// Every row read on a thread of its own, over a connection of its own that only reads. The
// thread touches nothing but that connection and the rows it hands over through the future.
struct FileStore::Reader {
    sql::Connection connection;
    std::future<std::vector<Record>> rows;
    std::thread thread;

    Reader(const QString &path, std::chrono::milliseconds lockWait)
        : connection(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, kPassword, lockWait)
    {
        std::packaged_task<std::vector<Record>()> read(
            [db = connection.get(), opened = connection.result(), path, gate = readerGate()] {
                if (gate)
                    gate();
                std::vector<Record> out;
                const int rc = opened == SQLITE_OK ? readAllRows(db, out) : opened;
                if (rc != SQLITE_DONE)
                    throw StoreError(kReadFailed, path, reason(rc, db), rc);
                return out;
            });
        rows = read.get_future();
        thread = std::thread(std::move(read));
    }
    ~Reader()
    {
        if (!thread.joinable())
            return;
        sqlite3_interrupt(connection.get()); // nobody waits for these rows any more
        thread.join();
    }
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;

    bool done() const { return rows.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }
};

bool Record::sameContent(const Record &o) const
{
    if (hasKind != o.hasKind || (hasKind && kind != o.kind))
        return false;
    return std::all_of(kTextColumns.begin(), kTextColumns.end(),
                       [&](const Column &c) { return sameText(this->*c.field, o.*c.field); });
}

QString recordText(const Record &r)
{
    QStringList fields{r.hasKind ? QString::number(r.kind) : QString()};
    for (const Column &c : kTextColumns)
        fields << r.*c.field;
    return fields.join(u'|');
}

StoreError::StoreError(Kind kind, const QString &object, const QString &reason, int code)
    : std::runtime_error(sentence(kind, object, reason).toStdString()), m_kind(kind), m_object(object),
      m_reason(reason), m_code(code), m_message(QString::fromStdString(what()))
{
}

StoreError::StoreError(Kind kind, const QString &object, const QString &reason, const QString &message)
    : std::runtime_error(message.toStdString()), m_kind(kind), m_object(object), m_reason(reason), m_message(message)
{
}

StoreError StoreError::onServer(Kind kind, const QString &server, const QString &reason)
{
    QString text;
    switch (kind) {
    case Kind::Open:
        text = QStringLiteral("无法打开服务器“%1”上的账本：%2！");
        break;
    case Kind::Create:
        text = QStringLiteral("无法在服务器“%1”上创建账本：%2！");
        break;
    case Kind::Add:
        text = QStringLiteral("记录未能保存到服务器“%1”上的账本：%2！");
        break;
    case Kind::Remove:
        text = QStringLiteral("记录未能从服务器“%1”上的账本中删除：%2！");
        break;
    case Kind::Restore:
        text = QStringLiteral("删除的记录未能恢复到服务器“%1”上的账本：%2！");
        break;
    default:
        text = QStringLiteral("无法读取服务器“%1”上的账本：%2！");
        break;
    }
    return StoreError(kind, server, reason, text.arg(server, reason));
}

QString failureReason(int rc, sqlite3 *db) { return reason(rc, db); }

Store::Store(QString path) : m_path(std::move(path))
{
    // The facts follow the rows through the same announcements as the windows' lists.
    connect(this, &Store::rowsInserted, this, [this](std::size_t first, std::size_t count) {
        if (m_facts && first != m_facts->facts().size())
            m_facts.reset(); // put back in the middle: built afresh when next asked for
        if (m_facts)
            for (std::size_t i = first; i < first + count; ++i)
                m_facts->appended(m_rows, i);
    });
    connect(this, &Store::rowsRemoving, this, [this](const std::vector<std::size_t> &positions) {
        if (m_facts && !m_facts->removing(m_rows, positions))
            m_facts.reset();
    });
    connect(this, &Store::reloaded, this, [this] { m_facts.reset(); });
}

Store::~Store() = default;

RecordRefs Store::categoryRows() { return rowsOfKind(kCategory, m_categoryPlaces); }

RecordRefs Store::productRows() { return rowsOfKind(kProduct, m_productPlaces); }

RecordRefs Store::rowsOfKind(int kind, KindPlaces &places)
{
    const std::vector<Record> &all = rows();
    // Appended rows leave the places before them as they were; anything else takes them again.
    if (places.generation != m_generation || places.scanned > all.size())
        places = {{}, 0, m_generation};
    for (; places.scanned < all.size(); ++places.scanned)
        if (all[places.scanned].isKind(kind))
            places.at.push_back(places.scanned);
    RecordRefs out;
    out.reserve(places.at.size());
    for (const std::size_t p : places.at)
        out.push_back(std::cref(all[p]));
    return out;
}

RecordRefs Store::rowsAt(const std::vector<std::size_t> &positions) const
{
    RecordRefs refs;
    refs.reserve(positions.size());
    for (const std::size_t p : positions)
        refs.push_back(std::cref(m_rows[p]));
    return refs;
}

std::optional<std::size_t> Store::positionOf(qint64 id) const
{
    const auto it =
        std::lower_bound(m_rows.cbegin(), m_rows.cend(), id, [](const Record &r, qint64 want) { return r.id < want; });
    if (it == m_rows.cend() || it->id != id)
        return std::nullopt;
    return static_cast<std::size_t>(it - m_rows.cbegin());
}

std::vector<std::size_t> Store::exactly(const Record &target) const
{
    const auto at = positionOf(target.id);
    if (at && m_rows[*at].sameContent(target))
        return {*at};
    return {};
}

const LedgerFacts &Store::facts()
{
    rows();
    if (!m_facts) {
        auto facts = std::make_unique<LedgerFacts>(m_rows);
        markStockTakeRows(*facts);
        m_facts = std::move(facts);
    }
    return *m_facts;
}

void Store::dropRows()
{
    ++m_rewrites;
    m_facts.reset();
    m_rows.clear();
    m_rows.shrink_to_fit();
    ++m_generation;
}

void Store::setRows(std::vector<Record> rows)
{
    ++m_rewrites;
    m_rows = std::move(rows);
    ++m_generation;
    emit reloaded();
}

void Store::appendRows(const std::vector<Record> &stored, bool stockTake)
{
    const std::size_t first = m_rows.size();
    if (m_rows.capacity() - first < stored.size()) { // grow by a sixteenth, not double a large ledger
        m_rows.reserve(first + stored.size() + first / 16 + 256);
        ++m_generation;
    }
    m_rows.insert(m_rows.end(), stored.cbegin(), stored.cend());
    emit rowsInserted(first, stored.size());
    if (m_facts && stockTake)
        for (std::size_t i = first; i < m_rows.size(); ++i)
            m_facts->markStockTake(i);
}

void Store::mergeRows(std::vector<Record> stored)
{
    ++m_rewrites;
    const auto byId = [](const Record &a, const Record &b) { return a.id < b.id; };
    std::sort(stored.begin(), stored.end(), byId);
    const auto middle = static_cast<std::ptrdiff_t>(m_rows.size());
    m_rows.insert(m_rows.end(), std::make_move_iterator(stored.begin()), std::make_move_iterator(stored.end()));
    std::inplace_merge(m_rows.begin(), m_rows.begin() + middle, m_rows.end(), byId);
    ++m_generation;
    emit reloaded();
}

void Store::removeRowsAt(const std::vector<std::size_t> &positions)
{
    if (positions.empty())
        return;
    emit rowsRemoving(positions);
    ++m_generation;
    ++m_rewrites;
    eraseAt(m_rows, positions);
}

FileStore::FileStore(QString path, sqlite3 *db, std::chrono::milliseconds lockWait)
    : Store(std::move(path)), m_db(db), m_lockWait{lockWait, {}}
{
}

FileStore::~FileStore()
{
    m_reader.reset();
    sqlite3_close_v2(m_db);
}

void FileStore::setReaderGate(std::function<void()> gate) { readerGate() = std::move(gate); }

std::unique_ptr<FileStore> FileStore::open(const QString &path, std::chrono::milliseconds lockWait, Purpose purpose,
                                           Reading reading)
{
    const bool fresh = checkFile(path);
    const bool exists = QFileInfo::exists(path);
    sqlite3 *db = nullptr;
    // One connection per Store, used by one thread: no locking per call.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (exists ? 0 : SQLITE_OPEN_CREATE);
    const int rc = sql::open(path, flags, &db);
    // The store closes the connection, also when opening fails.
    std::unique_ptr<FileStore> store(new FileStore(path, db, lockWait));
    if (rc != SQLITE_OK)
        store->fail(rc, exists ? kOpenFailed : kCreateFailed);
    store->setUp(fresh, reading);
    identity(path, store->m_device, store->m_inode);
    // Nothing is written to a ledger before every row of it has been read.
    if (purpose == Purpose::Work && store->m_reader)
        store->m_setUpPending = true;
    else if (purpose != Purpose::Reading)
        store->setUpHistory(fresh, purpose == Purpose::Work);
    return store;
}

void FileStore::setUp(bool fresh, Reading reading)
{
    configure(fresh ? kCreateFailed : kOpenFailed);
    const bool create = !hasLedgerTable(fresh);
    // A single file that survives a crash: the journal is rolled back on the next open. EXTRA
    // also syncs the folder after a commit deletes the journal; otherwise a power cut can bring
    // the journal back and the next open rolls back a transaction already reported done.
    exec("PRAGMA synchronous = EXTRA", kOpenFailed);
    if (create) {
        Transaction tx(*this, kCreateFailed);
        exec(createTableSql(), kCreateFailed);
        tx.commit();
    }
    // journal_mode answers with a row; a read-only file keeps its mode.
    exec("PRAGMA journal_mode = DELETE", kOpenFailed);
    // A ledger without the record of changes is read at once: its upgrade backs it up at this
    // open, before the start's own backup, as it always has.
    if (reading == Reading::InBackground && !fresh && hasTable("操作记录")) {
        startReading();
        return;
    }
    // Read every row now: a ledger damaged past its first pages is refused at the start rather
    // than at some later click.
    refresh(true, kOpenFailed);
}

void FileStore::startReading()
{
    // Changed by another program from here on: read again when next asked.
    m_version = dataVersion(kOpenFailed);
    m_reader = std::make_unique<Reader>(path(), m_lockWait.limit);
    if (!hasTable(kKindIndex, "index"))
        return; // the categories wait for every row
    Statement st(m_db, selectCategoryCandidatesSql());
    int rc = st.prepareResult();
    if (rc == SQLITE_OK)
        rc = loadRows(st.get(), m_categories);
    if (rc != SQLITE_DONE)
        fail(rc, kOpenFailed);
    std::erase_if(m_categories, [](const Record &r) { return !r.isKind(kCategory); });
    m_haveCategories = true;
}

bool FileStore::reading() const { return m_reader && !m_reader->done(); }

void FileStore::joinReader()
{
    if (!m_reader)
        return;
    const bool wait = !m_reader->done();
    if (wait)
        emit waiting(true);
    std::vector<Record> rows;
    std::exception_ptr failure;
    try {
        rows = m_reader->rows.get();
    } catch (...) {
        failure = std::current_exception();
    }
    m_reader.reset();
    m_categories = {};
    m_haveCategories = false;
    if (wait)
        emit waiting(false);
    if (failure) {
        checkNotReplaced();
        m_loaded = false;
        std::rethrow_exception(failure);
    }
    m_loaded = true;
    setRows(std::move(rows));
}

void FileStore::finishReading()
{
    joinReader();
    if (!m_setUpPending)
        return;
    refresh(false, kReadFailed); // a failed read is read again first: the upgrade backs rows up
    m_setUpPending = false;
    setUpHistory(false, true);
}

void FileStore::configure(StoreError::Kind what)
{
    const int rc = sql::configure(m_db, kPassword, &m_lockWait);
    if (rc != SQLITE_OK)
        fail(rc, what);
}

bool FileStore::hasLedgerTable(bool fresh)
{
    // The key is only checked here, by the first read.
    int tables = 0;
    bool found = false;
    Statement st(m_db, "SELECT name FROM sqlite_master WHERE type = 'table'");
    int rc = st.prepareResult();
    if (rc == SQLITE_OK) {
        while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
            ++tables;
            found = found || columnText(st.get(), 0) == QStringLiteral("库");
        }
    }
    if (rc != SQLITE_DONE)
        fail(rc, kOpenFailed);
    if (!found && !(fresh || tables == 0))
        throw StoreError(kOpenFailed, path(), QStringLiteral("文件中没有账本表“库”"));
    if (found) {
        const QString why = ledgerTableProblem(m_db, rc);
        if (rc != SQLITE_OK)
            fail(rc, kOpenFailed);
        if (!why.isEmpty())
            throw StoreError(kOpenFailed, path(), why);
    }
    return found;
}

void FileStore::checkNotReplaced()
{
    quint64 device = 0, inode = 0;
    if (m_inode != 0 && (!identity(path(), device, inode) || device != m_device || inode != m_inode)) {
        m_loaded = false;
        throw StoreError(StoreError::Kind::Replaced, path());
    }
}

void FileStore::fail(int rc, StoreError::Kind what)
{
    checkNotReplaced();
    // What is in memory may no longer match the file; read it again next time.
    m_loaded = false;
    throw StoreError(what, path(), reason(rc, m_db), rc);
}

void FileStore::exec(const char *sql, StoreError::Kind what)
{
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(rc, what);
}

bool FileStore::rollback()
{
    m_loaded = false;
    if (sqlite3_get_autocommit(m_db))
        return true;
    // A failed ROLLBACK leaves the transaction open: the next write ends it first.
    return sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr) == SQLITE_OK;
}

qint64 FileStore::dataVersion(StoreError::Kind what)
{
    Statement st(m_db, "PRAGMA data_version");
    int rc = st.prepareResult();
    if (rc == SQLITE_OK)
        rc = sqlite3_step(st.get());
    if (rc != SQLITE_ROW)
        fail(rc, what);
    return sqlite3_column_int64(st.get(), 0);
}

void FileStore::refresh(bool force, StoreError::Kind what)
{
    joinReader();
    checkNotReplaced();
    const qint64 version = dataVersion(what);
    if (m_loaded && !force && version == m_version)
        return;
    // Drop the old copy first: a large ledger should not be held twice.
    dropRows();
    m_loaded = false;
    std::vector<Record> rows;
    const int rc = readAllRows(m_db, rows);
    if (rc != SQLITE_DONE)
        fail(rc, what);
    m_version = version;
    m_loaded = true;
    setRows(std::move(rows));
}

const std::vector<Record> &FileStore::rows()
{
    finishReading();
    // Outside a write transaction each statement is its own read transaction.
    refresh(false, kReadFailed);
    return loadedRows();
}

RecordRefs FileStore::categoryRows()
{
    if (m_haveCategories && reading())
        return RecordRefs(m_categories.cbegin(), m_categories.cend());
    return Store::categoryRows();
}

bool FileStore::hasRows()
{
    if (!reading())
        return !rows().empty();
    Statement st(m_db, "SELECT EXISTS (SELECT 1 FROM \"库\")");
    int rc = st.prepareResult();
    if (rc == SQLITE_OK)
        rc = sqlite3_step(st.get());
    if (rc != SQLITE_ROW)
        fail(rc, kReadFailed);
    return sqlite3_column_int(st.get(), 0) != 0;
}

Record FileStore::add(const Record &r)
{
    finishReading();
    Transaction tx(*this, kAddFailed);
    refresh(false, kReadFailed);
    // Its entry counts it: no counter is written.
    const qint64 id = m_history ? nextId() : 0;
    Statement st(m_db, m_history ? insertWithIdSql() : insertSql());
    int rc = st.prepareResult();
    if (rc == SQLITE_OK)
        rc = bindRecord(st.get(), r);
    if (rc == SQLITE_OK && m_history)
        rc = sqlite3_bind_int64(st.get(), 10, id);
    if (rc == SQLITE_OK && (rc = sqlite3_step(st.get())) == SQLITE_DONE)
        rc = SQLITE_OK;
    if (rc != SQLITE_OK)
        tx.fail(rc);
    Record stored = r;
    stored.id = sqlite3_last_insert_rowid(m_db);
    if (m_history)
        addEntry(ChangeKind::Add, addSummary(r), 1, QString(), stored.id);
    tx.commit();
    appendRows({stored});
    return stored;
}

std::vector<qint64> FileStore::insertRows(const std::vector<Record> &records,
                                          const std::function<void(std::size_t)> &progress)
{
    std::vector<qint64> ids;
    ids.reserve(records.size());
    const auto count = static_cast<qint64>(records.size());
    const qint64 first = m_history ? takeIds(count, count) : 0;
    Statement st(m_db, m_history ? insertWithIdSql() : insertSql());
    int rc = st.prepareResult();
    for (std::size_t n = 0; n < records.size() && rc == SQLITE_OK; ++n) {
        rc = bindRecord(st.get(), records[n]);
        if (rc == SQLITE_OK && m_history)
            rc = sqlite3_bind_int64(st.get(), 10, first + static_cast<qint64>(n));
        if (rc == SQLITE_OK && (rc = sqlite3_step(st.get())) == SQLITE_DONE)
            rc = sqlite3_reset(st.get());
        ids.push_back(sqlite3_last_insert_rowid(m_db));
        if (progress && n % 1024 == 1023)
            progress(n + 1);
    }
    if (rc != SQLITE_OK)
        fail(rc, kAddFailed);
    return ids;
}

void FileStore::addAll(const std::vector<Record> &records, const std::function<void(std::size_t)> &progress)
{
    finishReading();
    Transaction tx(*this, kAddFailed);
    insertRows(records, progress);
    if (m_history) {
        const RecordRefs refs(records.cbegin(), records.cend());
        addEntry(ChangeKind::CarryOver, carryOverSummary(static_cast<qint64>(records.size())),
                 static_cast<qint64>(records.size()), rowsChecksum(refs), 0);
    }
    tx.commit();
    m_loaded = false; // read back on the next rows()
}

int FileStore::removeWhere(const std::function<bool(const Record &)> &match)
{
    finishReading();
    Transaction tx(*this, kRemoveFailed);
    refresh(false, kReadFailed);
    std::vector<std::size_t> positions;
    const std::vector<Record> &rows = loadedRows();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (match(rows[i]))
            positions.push_back(i);
    return removePositions(tx, positions);
}

int FileStore::removePositions(Transaction &tx, const std::vector<std::size_t> &positions)
{
    {
        Statement st(m_db, "DELETE FROM \"库\" WHERE rowid = ?");
        int rc = st.prepareResult();
        for (std::size_t i = 0; i < positions.size() && rc == SQLITE_OK; ++i) {
            rc = sqlite3_bind_int64(st.get(), 1, loadedRows()[positions[i]].id);
            if (rc == SQLITE_OK && (rc = sqlite3_step(st.get())) == SQLITE_DONE)
                rc = sqlite3_reset(st.get());
        }
        if (rc != SQLITE_OK)
            tx.fail(rc);
    }
    forgetCodes(positions, m_history && !positions.empty() ? recordDeletion(positions) : 0);
    // With nothing to delete this writes nothing and only lets go of the lock.
    tx.commit();
    if (positions.empty())
        return 0;
    removeRowsAt(positions);
    return static_cast<int>(positions.size());
}

bool FileStore::passesIntegrityCheck()
{
    finishReading();
    Statement st(m_db, "PRAGMA integrity_check");
    QString out;
    if (st.prepareResult() == SQLITE_OK)
        while (sqlite3_step(st.get()) == SQLITE_ROW)
            out += columnText(st.get(), 0);
    return out == QStringLiteral("ok");
}

bool FileStore::removeExact(const Record &target)
{
    finishReading();
    Transaction tx(*this, kRemoveFailed);
    refresh(false, kReadFailed);
    return removePositions(tx, exactly(target)) > 0;
}

} // namespace ledger
