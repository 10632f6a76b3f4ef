// The record of changes beside "库": entries ("操作记录"), the rows deletions removed
// ("删除的记录") and the counters ("账本状态": the next row id, the rows the record knows of,
// the entry up to which they count, the format). "库" keeps its nine columns; its new rows take
// ids from the counter, which never goes down, so a deleted row's id is never handed out again and
// a restored row gets it back. A single add writes no counter (one page less to commit): its
// entry names its row, so the counters follow from the adds recorded after the entry they count to.
#include "ledger/file_store.h"

#include "ledger/backup.h"
#include "ledger/columns.h"
#include "ledger/history.h"
#include "ledger/store_sql.h"

#include <QCryptographicHash>
#include <QSet>
#include <QSysInfo>
#include <algorithm>
#include <string>

namespace ledger {

using sql::bindText;
using sql::columnText;
using sql::Statement;

namespace {

constexpr StoreError::Kind kRestoreFailed = StoreError::Kind::Restore;
constexpr qint64 kFormatVersion = 2; // 1: "库" alone
constexpr const char *kFormat = "格式版本";

const char *const kKindNames[] = {"添加", "删除", "结转", "恢复", "盘点", "外部"};

// A ledger whose counters counted every add has them up to its newest entry.
const char *countedToSql()
{
    return "INSERT OR IGNORE INTO \"账本状态\" SELECT '行数截至', coalesce(max(\"编号\"), 0) FROM \"操作记录\"";
}

const std::string &createDeletedSql()
{
    static const std::string sql = [] {
        std::string cols;
        for (const Column &c : kColumns)
            cols += std::string(", \"") + c.name + (c.field ? "\" TEXT" : "\" INTEGER");
        return "CREATE TABLE IF NOT EXISTS \"删除的记录\" (\"操作\" INTEGER NOT NULL, \"位置\" INTEGER NOT NULL,"
               " \"行号\" INTEGER NOT NULL" + cols + ")";
    }();
    return sql;
}

Record readRecord(sqlite3_stmt *st, int first)
{
    Record r;
    r.hasKind = sqlite3_column_type(st, first) != SQLITE_NULL;
    r.kind = sqlite3_column_int(st, first);
    for (std::size_t i = 0; i < kTextColumns.size(); ++i)
        r.*kTextColumns[i].field = columnText(st, first + 1 + static_cast<int>(i));
    return r;
}

// Binds the nine columns from parameter first on.
int bindColumns(sqlite3_stmt *st, int first, const Record &r)
{
    int rc = r.hasKind ? sqlite3_bind_int(st, first, r.kind) : sqlite3_bind_null(st, first);
    for (std::size_t i = 0; i < kTextColumns.size() && rc == SQLITE_OK; ++i)
        rc = bindText(st, first + 1 + static_cast<int>(i), r.*kTextColumns[i].field);
    return rc;
}

int stepDone(sqlite3_stmt *st, int rc)
{
    if (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_DONE)
        rc = sqlite3_reset(st);
    return rc;
}

} // namespace

QString changeKindName(ChangeKind k) { return QString::fromUtf8(kKindNames[static_cast<int>(k)]); }

ChangeKind changeKindOf(const QString &name)
{
    for (std::size_t i = 0; i < std::size(kKindNames); ++i)
        if (name == QString::fromUtf8(kKindNames[i]))
            return static_cast<ChangeKind>(i);
    return ChangeKind::Outside;
}

QString thisComputer() { return QSysInfo::machineHostName(); }

QString addSummary(const Record &r)
{
    if (r.isKind(kCategory))
        return QStringLiteral("添加类“%1”").arg(r.name);
    if (r.isKind(kProduct))
        return QStringLiteral("添加商品“%1”（类“%2”）").arg(r.name, r.cat);
    return QStringLiteral("添加交易记录：“%1” %2 %3").arg(r.name, r.method, r.qty);
}

QString carryOverSummary(qint64 rows) { return QStringLiteral("结转 %1 条记录").arg(rows); }

QString outsideSummary(qint64 rows, qint64 known)
{
    return QStringLiteral("在本软件之外改动：账本现有 %1 条记录，操作记录中为 %2 条").arg(rows).arg(known);
}

QString stockTakeSummary(qint64 rows) { return QStringLiteral("盘点：%1 条差异记账").arg(rows); }

QString restoreSummary(qint64 deletion, qint64 rows)
{
    return QStringLiteral("恢复第 %1 号操作删除的 %2 条记录").arg(deletion).arg(rows);
}

QString backupRestoreSummary(const QString &backup, qint64 rows)
{
    return QStringLiteral("用备份“%1”恢复账本：%2 条记录").arg(backup).arg(rows);
}

QString noSuchDeletion(qint64 deletion) { return QStringLiteral("操作记录中没有第 %1 号删除").arg(deletion); }

QString restoredAlready(qint64 by)
{
    return QStringLiteral("这次删除已经恢复过了（第 %1 号操作），不能再恢复一次").arg(by);
}

QString deletionNotKept() { return QStringLiteral("这次删除的记录已被清除（删除的记录保留 %1 天）").arg(kDeletionDays); }

QString changeLine(const ChangeEntry &entry)
{
    return entry.time.toString(QStringLiteral("MM-dd HH:mm")) + QStringLiteral("  ") + entry.summary;
}

QString deletionSummary(const RecordRefs &rows)
{
    qint64 categories = 0, products = 0, transactions = 0;
    QString category, product;
    for (const Record &r : rows) {
        if (r.isKind(kCategory) && categories++ == 0)
            category = r.name;
        else if (r.isKind(kProduct) && products++ == 0)
            product = r.name;
        else if (r.isKind(kTransaction))
            ++transactions;
    }
    const QString tail = QStringLiteral("%1 条交易记录").arg(transactions);
    if (categories == 1)
        return QStringLiteral("删除类“%1”：%2 个商品、%3").arg(category).arg(products).arg(tail);
    if (categories > 1)
        return QStringLiteral("删除 %1 个类：%2 个商品、%3").arg(categories).arg(products).arg(tail);
    if (products == 1)
        return QStringLiteral("删除商品“%1”：%2").arg(product, tail);
    if (products > 1)
        return QStringLiteral("删除 %1 个商品：%2").arg(products).arg(tail);
    return QStringLiteral("删除 %1 条交易记录").arg(rows.size());
}

RecordRefs rowsOf(const std::vector<DeletedRow> &deleted)
{
    RecordRefs refs;
    refs.reserve(deleted.size());
    for (const DeletedRow &d : deleted)
        refs.push_back(std::cref(d.row));
    return refs;
}

LedgerRecords recordsOf(Store &store)
{
    LedgerRecords out{store.history(-1), {}, store.productCodes(), store.stockTakes(), {}};
    for (const ChangeEntry &e : store.deletions()) {
        for (DeletedRow &d : store.deletedRows(e.number))
            out.deleted.emplace_back(e.number, std::move(d));
        for (ProductCode &c : store.deletedCodes(e.number))
            out.deletedCodes.emplace_back(e.number, std::move(c));
    }
    return out;
}

QString rowsChecksum(const RecordRefs &rows)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const Record &r : rows) {
        hash.addData(recordText(r).toUtf8());
        hash.addData(QByteArrayView("\n"));
    }
    return QString::fromLatin1(hash.result().toHex().left(16));
}

QStringList restoreClashes(const std::vector<DeletedRow> &deleted, const std::vector<Record> &rows)
{
    auto key = [](const Record &r) { return r.isKind(kCategory) ? r.name : r.cat + QChar(0x1f) + r.name; };
    QSet<QString> present[2]; // categories, products
    for (const Record &r : rows)
        if (r.isKind(kCategory) || r.isKind(kProduct))
            present[r.isKind(kProduct)].insert(key(r));
    QStringList clashes;
    for (const DeletedRow &d : deleted) {
        const Record &r = d.row;
        if (!(r.isKind(kCategory) || r.isKind(kProduct)) || !present[r.isKind(kProduct)].contains(key(r)))
            continue;
        const QString named = r.isKind(kCategory) ? QStringLiteral("类“%1”").arg(r.name)
                                                  : QStringLiteral("商品“%1”（%2）").arg(r.name, r.cat);
        if (!clashes.contains(named))
            clashes << named;
    }
    return clashes;
}

void FileStore::createHistory(StoreError::Kind what)
{
    exec("CREATE TABLE IF NOT EXISTS \"操作记录\" (\"编号\" INTEGER PRIMARY KEY, \"时间\" INTEGER NOT NULL,"
         " \"计算机\" TEXT, \"种类\" TEXT NOT NULL, \"说明\" TEXT NOT NULL, \"行数\" INTEGER NOT NULL DEFAULT 0,"
         " \"校验\" TEXT, \"记录\" INTEGER, \"恢复于\" INTEGER)",
         what);
    exec(createDeletedSql().c_str(), what);
    exec("CREATE INDEX IF NOT EXISTS \"删除的记录_操作\" ON \"删除的记录\" (\"操作\")", what);
    exec("CREATE TABLE IF NOT EXISTS \"账本状态\" (\"键\" TEXT PRIMARY KEY, \"值\" INTEGER NOT NULL)", what);
    exec("INSERT OR IGNORE INTO \"账本状态\" SELECT '下一个行号', coalesce(max(rowid), 0) + 1 FROM \"库\"", what);
    exec("INSERT OR IGNORE INTO \"账本状态\" SELECT '行数', count(*) FROM \"库\"", what);
    exec(countedToSql(), what);
    setStateValue(kFormat, kFormatVersion);
}

void FileStore::setUpHistory(bool fresh, bool backupFirst)
{
    if (sqlite3_db_readonly(m_db, "main") == 1)
        return; // opens as today; a write fails anyway
    try {
        if (!hasTable("操作记录")) {
            // An older ledger with rows: a copy first, as it was.
            if (backupFirst && !fresh && !loadedRows().empty() &&
                !backupLedger(path(), QDateTime::currentDateTime(), false).ok())
                return;
            Transaction tx(*this, sql::kAddFailed);
            createHistory(sql::kAddFailed);
            tx.commit();
        }
        m_history = true;
        // Rows no entry explains: written by an older release or another tool.
        Transaction tx(*this, sql::kAddFailed);
        refresh(false, sql::kReadFailed);
        const std::vector<Record> &rows = loadedRows();
        const qint64 count = static_cast<qint64>(rows.size());
        const qint64 newest = rows.empty() ? 0 : rows.back().id;
        exec(countedToSql(), sql::kAddFailed);
        const Counters known = counters();
        if (newest >= known.handedOut || count != known.rows) {
            addEntry(ChangeKind::Outside, outsideSummary(count, known.rows), count - known.rows, QString(), 0);
            setCounters(std::max(known.nextId, newest + 1), count);
        } else if (known.addsSince > 0) {
            // Counted again from here, so that the adds to look at stay one session's.
            setCounters(known.nextId, known.rows);
        }
        tx.commit();
        pruneDeletions(QDateTime::currentDateTime());
    } catch (const StoreError &e) {
        if (e.kind() == StoreError::Kind::Replaced)
            throw;
        // A ledger that cannot be written (a read-only folder, a lock held) opens as today.
        m_history = false;
    }
    createKindIndex();
}

void FileStore::createKindIndex()
{
    const bool loaded = m_loaded;
    try {
        if (hasTable(kKindIndex, "index"))
            return;
        Transaction tx(*this, sql::kAddFailed);
        exec(createKindIndexSql(), sql::kAddFailed);
        tx.commit();
    } catch (const StoreError &e) {
        if (e.kind() == StoreError::Kind::Replaced)
            throw;
        // Rolled back, so the rows in memory are still the file's. Without the index the
        // categories wait for every row; nothing else changes.
        m_loaded = loaded;
    }
}

void FileStore::recordBackupRestore(const QString &backup)
{
    if (!m_history)
        throw StoreError(sql::kAddFailed, path(), QStringLiteral("文件不能写入"));
    Transaction tx(*this, sql::kAddFailed);
    refresh(false, sql::kReadFailed);
    const std::vector<Record> &rows = loadedRows();
    const RecordRefs refs(rows.cbegin(), rows.cend());
    addEntry(ChangeKind::Restore, backupRestoreSummary(backup, static_cast<qint64>(rows.size())),
             static_cast<qint64>(rows.size()), rowsChecksum(refs), 0);
    tx.commit();
}

void FileStore::setStateValue(const char *key, qint64 value)
{
    Statement st(m_db, "INSERT OR REPLACE INTO \"账本状态\" (\"键\", \"值\") VALUES (?, ?)");
    int rc = st.prepareResult();
    if (rc == SQLITE_OK)
        rc = sqlite3_bind_text(st.get(), 1, key, -1, SQLITE_STATIC);
    if (rc == SQLITE_OK)
        rc = sqlite3_bind_int64(st.get(), 2, value);
    if ((rc = stepDone(st.get(), rc)) != SQLITE_OK)
        fail(rc, m_writing);
}

qint64 FileStore::nextId()
{
    // The counter is behind only by adds, whose rows are all still there: a deletion writes it.
    Statement st(m_db, "SELECT max(\"值\", (SELECT coalesce(max(rowid), 0) + 1 FROM \"库\")) FROM \"账本状态\""
                       " WHERE \"键\" = '下一个行号'");
    int rc = st.prepareResult();
    if (rc == SQLITE_OK)
        rc = sqlite3_step(st.get());
    if (rc != SQLITE_ROW)
        fail(rc == SQLITE_DONE ? SQLITE_CORRUPT : rc, sql::kReadFailed);
    return sqlite3_column_int64(st.get(), 0);
}

FileStore::Counters FileStore::counters()
{
    // The adds recorded after the entry the counters count to: their rows, and the ids they took.
    Statement st(m_db,
                 "SELECT max(n.\"值\", coalesce((SELECT max(\"记录\") + 1 FROM \"操作记录\""
                 " WHERE \"编号\" > c.\"值\" AND \"种类\" = '添加'), 0)),"
                 " (SELECT count(*) FROM \"操作记录\" WHERE \"编号\" > c.\"值\" AND \"种类\" = '添加'), r.\"值\","
                 " (SELECT coalesce(max(rowid), 0) + 1 FROM \"库\")"
                 " FROM \"账本状态\" n, \"账本状态\" r, \"账本状态\" c"
                 " WHERE n.\"键\" = '下一个行号' AND r.\"键\" = '行数' AND c.\"键\" = '行数截至'");
    int rc = st.prepareResult();
    if (rc == SQLITE_OK)
        rc = sqlite3_step(st.get());
    if (rc != SQLITE_ROW)
        fail(rc == SQLITE_DONE ? SQLITE_CORRUPT : rc, sql::kReadFailed);
    Counters c;
    c.handedOut = sqlite3_column_int64(st.get(), 0);
    c.addsSince = sqlite3_column_int64(st.get(), 1);
    c.rows = sqlite3_column_int64(st.get(), 2) + c.addsSince;
    // Above the newest row too: another program may have added one since.
    c.nextId = std::max(c.handedOut, sqlite3_column_int64(st.get(), 3));
    return c;
}

void FileStore::setCounters(qint64 nextId, qint64 rows)
{
    // Counted up to the newest entry so far: one made later in this transaction is no add.
    Statement st(m_db, "UPDATE \"账本状态\" SET \"值\" = CASE \"键\" WHEN '下一个行号' THEN ? WHEN '行数' THEN ?"
                       " ELSE (SELECT coalesce(max(\"编号\"), 0) FROM \"操作记录\") END"
                       " WHERE \"键\" IN ('下一个行号', '行数', '行数截至')");
    int rc = st.prepareResult();
    if (rc == SQLITE_OK)
        rc = sqlite3_bind_int64(st.get(), 1, nextId);
    if (rc == SQLITE_OK)
        rc = sqlite3_bind_int64(st.get(), 2, rows);
    if ((rc = stepDone(st.get(), rc)) != SQLITE_OK)
        fail(rc, m_writing);
}

qint64 FileStore::takeIds(qint64 n, qint64 rowsDelta, qint64 above)
{
    const Counters now = counters();
    const qint64 first = std::max(now.nextId, above + 1);
    setCounters(first + n, now.rows + rowsDelta);
    return first;
}

qint64 FileStore::addEntry(ChangeKind kind, const QString &summary, qint64 count, const QString &checksum, qint64 rowId)
{
    Statement st(m_db, "INSERT INTO \"操作记录\" (\"时间\", \"计算机\", \"种类\", \"说明\", \"行数\", \"校验\", \"记录\")"
                       " VALUES (?, ?, ?, ?, ?, ?, ?)");
    int rc = st.prepareResult();
    if (rc == SQLITE_OK)
        rc = sqlite3_bind_int64(st.get(), 1, QDateTime::currentSecsSinceEpoch());
    if (rc == SQLITE_OK)
        rc = bindText(st.get(), 2, thisComputer());
    if (rc == SQLITE_OK)
        rc = bindText(st.get(), 3, changeKindName(kind));
    if (rc == SQLITE_OK)
        rc = bindText(st.get(), 4, summary);
    if (rc == SQLITE_OK)
        rc = sqlite3_bind_int64(st.get(), 5, count);
    if (rc == SQLITE_OK)
        rc = bindText(st.get(), 6, checksum);
    if (rc == SQLITE_OK)
        rc = rowId ? sqlite3_bind_int64(st.get(), 7, rowId) : sqlite3_bind_null(st.get(), 7);
    if ((rc = stepDone(st.get(), rc)) != SQLITE_OK)
        fail(rc, m_writing);
    return sqlite3_last_insert_rowid(m_db);
}

qint64 FileStore::recordDeletion(const std::vector<std::size_t> &positions)
{
    const std::vector<Record> &rows = loadedRows();
    const RecordRefs refs = rowsAt(positions);
    const auto n = static_cast<qint64>(positions.size());
    const qint64 entry = addEntry(ChangeKind::Delete, deletionSummary(refs), n, rowsChecksum(refs), 0);
    const std::string insert = "INSERT INTO \"删除的记录\" (\"操作\", \"位置\", \"行号\", " + columnListSql() +
                               ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
    Statement st(m_db, insert.c_str());
    int rc = st.prepareResult();
    for (const std::size_t p : positions) {
        if (rc == SQLITE_OK)
            rc = sqlite3_bind_int64(st.get(), 1, entry);
        if (rc == SQLITE_OK)
            rc = sqlite3_bind_int64(st.get(), 2, static_cast<qint64>(p));
        if (rc == SQLITE_OK)
            rc = sqlite3_bind_int64(st.get(), 3, rows[p].id);
        if (rc == SQLITE_OK)
            rc = bindColumns(st.get(), 4, rows[p]);
        rc = stepDone(st.get(), rc);
    }
    if (rc != SQLITE_OK)
        fail(rc, m_writing);
    qint64 newest = 0;
    for (const std::size_t p : positions)
        newest = std::max(newest, rows[p].id);
    // The deleted rows are gone from "库" already: their ids must not come round again.
    takeIds(0, -n, newest);
    return entry;
}

std::vector<ChangeEntry> FileStore::entries(const char *where, int limit)
{
    std::vector<ChangeEntry> found;
    if (!hasTable("操作记录"))
        return found;
    const std::string select = std::string("SELECT \"编号\", \"时间\", \"计算机\", \"种类\", \"说明\", \"行数\", \"校验\","
                                           " \"记录\", \"恢复于\" FROM \"操作记录\" e WHERE ") +
                               where + " ORDER BY \"编号\" DESC LIMIT ?";
    Statement st(m_db, select.c_str());
    int rc = st.prepareResult();
    if (rc == SQLITE_OK)
        rc = sqlite3_bind_int(st.get(), 1, limit);
    while (rc == SQLITE_OK && (rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        sqlite3_stmt *s = st.get();
        found.push_back({sqlite3_column_int64(s, 0), QDateTime::fromSecsSinceEpoch(sqlite3_column_int64(s, 1)),
                         columnText(s, 2), changeKindOf(columnText(s, 3)), columnText(s, 4), sqlite3_column_int64(s, 5),
                         columnText(s, 6), sqlite3_column_int64(s, 7), sqlite3_column_int64(s, 8)});
        rc = SQLITE_OK;
    }
    if (rc != SQLITE_DONE)
        fail(rc, sql::kReadFailed);
    return found;
}

std::vector<ChangeEntry> FileStore::history(int limit)
{
    finishReading();
    return entries("1", limit);
}

std::vector<ChangeEntry> FileStore::deletions()
{
    finishReading();
    return entries("\"种类\" = '删除' AND \"恢复于\" IS NULL AND EXISTS (SELECT 1 FROM \"删除的记录\" d"
                   " WHERE d.\"操作\" = e.\"编号\")",
                   -1);
}

std::vector<DeletedRow> FileStore::deletedRows(qint64 entry)
{
    finishReading();
    std::vector<DeletedRow> found;
    if (!hasTable("删除的记录"))
        return found;
    const std::string select = "SELECT \"位置\", \"行号\", " + columnListSql() +
                               " FROM \"删除的记录\" WHERE \"操作\" = ? ORDER BY \"位置\"";
    Statement st(m_db, select.c_str());
    int rc = st.prepareResult();
    if (rc == SQLITE_OK)
        rc = sqlite3_bind_int64(st.get(), 1, entry);
    while (rc == SQLITE_OK && (rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        DeletedRow d{readRecord(st.get(), 2), sqlite3_column_int64(st.get(), 0)};
        d.row.id = sqlite3_column_int64(st.get(), 1);
        found.push_back(std::move(d));
        rc = SQLITE_OK;
    }
    if (rc != SQLITE_DONE)
        fail(rc, sql::kReadFailed);
    return found;
}

RestoredDeletion FileStore::restoreDeletion(qint64 entry)
{
    finishReading();
    Transaction tx(*this, kRestoreFailed);
    refresh(false, sql::kReadFailed);
    Statement find(m_db, "SELECT \"恢复于\" FROM \"操作记录\" WHERE \"编号\" = ? AND \"种类\" = '删除'");
    int rc = find.prepareResult();
    if (rc == SQLITE_OK)
        rc = sqlite3_bind_int64(find.get(), 1, entry);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(find.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        tx.fail(rc);
    if (rc == SQLITE_DONE)
        throw StoreError(kRestoreFailed, path(), noSuchDeletion(entry));
    if (const qint64 by = sqlite3_column_int64(find.get(), 0); by != 0)
        throw StoreError(kRestoreFailed, path(), restoredAlready(by));
    const std::vector<DeletedRow> deleted = deletedRows(entry);
    if (deleted.empty())
        throw StoreError(kRestoreFailed, path(), deletionNotKept());

    RestoredDeletion done;
    std::vector<const Record *> moved;
    std::vector<Record> back; // as they went back, for the rows in memory
    back.reserve(deleted.size());
    {
        Statement taken(m_db, "SELECT 1 FROM \"库\" WHERE rowid = ?");
        Statement insert(m_db, insertWithIdSql());
        rc = taken.prepareResult() != SQLITE_OK ? taken.prepareResult() : insert.prepareResult();
        auto put = [&](const Record &r, qint64 id) {
            if (rc == SQLITE_OK)
                rc = bindColumns(insert.get(), 1, r);
            if (rc == SQLITE_OK)
                rc = sqlite3_bind_int64(insert.get(), 10, id);
            rc = stepDone(insert.get(), rc);
        };
        for (const DeletedRow &d : deleted) {
            if (rc == SQLITE_OK)
                rc = sqlite3_bind_int64(taken.get(), 1, d.row.id);
            const int found = rc == SQLITE_OK ? sqlite3_step(taken.get()) : rc;
            if (found != SQLITE_ROW && found != SQLITE_DONE)
                rc = found;
            else
                rc = sqlite3_reset(taken.get());
            if (found == SQLITE_ROW) {
                moved.push_back(&d.row);
                done.movedToEnd.push_back(d.row.id);
            } else {
                put(d.row, d.row.id);
                back.push_back(d.row);
            }
        }
        if (rc != SQLITE_OK)
            tx.fail(rc);
        done.rows = static_cast<qint64>(deleted.size());
        const qint64 first = takeIds(static_cast<qint64>(moved.size()), done.rows);
        for (std::size_t i = 0; i < moved.size(); ++i) {
            put(*moved[i], first + static_cast<qint64>(i));
            back.push_back(*moved[i]);
            back.back().id = first + static_cast<qint64>(i);
        }
        if (rc != SQLITE_OK)
            tx.fail(rc);
    }
    done.entry = addEntry(ChangeKind::Restore, restoreSummary(entry, done.rows),
                          done.rows, rowsChecksum(rowsOf(deleted)), 0);
    {
        Statement mark(m_db, "UPDATE \"操作记录\" SET \"恢复于\" = ? WHERE \"编号\" = ?");
        rc = mark.prepareResult();
        if (rc == SQLITE_OK)
            rc = sqlite3_bind_int64(mark.get(), 1, done.entry);
        if (rc == SQLITE_OK)
            rc = sqlite3_bind_int64(mark.get(), 2, entry);
        if ((rc = stepDone(mark.get(), rc)) != SQLITE_OK)
            tx.fail(rc);
        // Put back: its copies are no longer needed.
        Statement drop(m_db, "DELETE FROM \"删除的记录\" WHERE \"操作\" = ?");
        rc = drop.prepareResult();
        if (rc == SQLITE_OK)
            rc = sqlite3_bind_int64(drop.get(), 1, entry);
        if ((rc = stepDone(drop.get(), rc)) != SQLITE_OK)
            tx.fail(rc);
    }
    restoreCodes(entry);
    tx.commit();
    // The rows went back among the others, at their ids: no need to read the ledger again.
    mergeRows(std::move(back));
    return done;
}

int FileStore::pruneDeletions(const QDateTime &now)
{
    finishReading();
    if (!m_history)
        return 0;
    Transaction tx(*this, sql::kRemoveFailed);
    const qint64 before = now.toSecsSinceEpoch() - qint64(kDeletionDays) * 86400;
    const char *old = "SELECT \"编号\" FROM \"操作记录\" WHERE \"种类\" = '删除' AND \"时间\" < ?";
    int gone = 0;
    std::vector<std::string> steps = {
        std::string("SELECT count(DISTINCT \"操作\") FROM \"删除的记录\" WHERE \"操作\" IN (") + old + ")",
        std::string("DELETE FROM \"删除的记录\" WHERE \"操作\" IN (") + old + ")"};
    if (hasTable("删除的条码"))
        steps.push_back(std::string("DELETE FROM \"删除的条码\" WHERE \"操作\" IN (") + old + ")");
    for (const std::string &sql : steps) {
        Statement st(m_db, sql.c_str());
        int rc = st.prepareResult();
        if (rc == SQLITE_OK)
            rc = sqlite3_bind_int64(st.get(), 1, before);
        if (rc == SQLITE_OK)
            rc = sqlite3_step(st.get());
        if (rc == SQLITE_ROW)
            gone = sqlite3_column_int(st.get(), 0);
        else if (rc != SQLITE_DONE)
            tx.fail(rc);
    }
    tx.commit();
    return gone;
}

void FileStore::clearDeletions()
{
    finishReading();
    if (!m_history)
        return;
    Transaction tx(*this, sql::kRemoveFailed);
    exec("DELETE FROM \"删除的记录\"", sql::kRemoveFailed);
    if (hasTable("删除的条码"))
        exec("DELETE FROM \"删除的条码\"", sql::kRemoveFailed);
    tx.commit();
}

} // namespace ledger
