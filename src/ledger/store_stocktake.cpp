// The store's tables besides "库": scanner codes ("条码") and posted stock-takes ("盘点" with
// their lines "盘点明细"). They are made by the first write that needs them, so a ledger that
// never had a stock-take keeps its one table.
#include "ledger/store.h"

#include "ledger/facts.h"
#include "ledger/store_sql.h"

#include <QSet>
#include <algorithm>
#include <stdexcept>

namespace ledger {

using sql::bindText;
using sql::columnText;
using sql::kCreateCodes;
using sql::kCreateDeletedCodes;
using sql::kCreateTakeLines;
using sql::kCreateTakes;
using sql::Statement;

namespace {

QString productKey(const QString &category, const QString &name) { return category + QChar(0x1f) + name; }

// Binds the values in order from parameter 1: texts, and integers where a value is one.
template <class... V> int bindAll(sqlite3_stmt *st, const V &...values)
{
    int index = 0;
    int rc = SQLITE_OK;
    auto one = [&](const auto &v) {
        if (rc != SQLITE_OK)
            return;
        ++index;
        if constexpr (std::is_same_v<std::decay_t<decltype(v)>, QString>)
            rc = bindText(st, index, v);
        else
            rc = sqlite3_bind_int64(st, index, v);
    };
    (one(values), ...);
    return rc;
}

// The codes a bound statement answers, as code, category and product name.
int readCodes(sqlite3_stmt *st, int rc, std::vector<ProductCode> &codes)
{
    while (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) {
        codes.push_back({columnText(st, 0), columnText(st, 1), columnText(st, 2)});
        rc = SQLITE_OK;
    }
    return rc;
}

// Steps a bound statement that answers no rows and readies it for the next values.
int runOnce(sqlite3_stmt *st, int rc)
{
    if (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_DONE)
        rc = sqlite3_reset(st);
    return rc;
}

} // namespace

bool FileStore::hasTable(const char *name, const char *type)
{
    Statement st(m_db, "SELECT 1 FROM sqlite_master WHERE type = ? AND name = ?");
    int rc = st.prepareResult();
    if (rc == SQLITE_OK)
        rc = sqlite3_bind_text(st.get(), 1, type, -1, SQLITE_STATIC);
    if (rc == SQLITE_OK)
        rc = sqlite3_bind_text(st.get(), 2, name, -1, SQLITE_STATIC);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(st.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        fail(rc, sql::kReadFailed);
    return rc == SQLITE_ROW;
}

std::vector<ProductCode> FileStore::productCodes()
{
    finishReading();
    std::vector<ProductCode> codes;
    if (!hasTable("条码"))
        return codes;
    Statement st(m_db, "SELECT \"条码\", \"类\", \"商品名\" FROM \"条码\" ORDER BY rowid");
    if (const int rc = readCodes(st.get(), st.prepareResult(), codes); rc != SQLITE_DONE)
        fail(rc, sql::kReadFailed);
    return codes;
}

std::vector<ProductCode> FileStore::deletedCodes(qint64 entry)
{
    finishReading();
    std::vector<ProductCode> codes;
    if (!hasTable("删除的条码"))
        return codes;
    Statement st(m_db, "SELECT \"条码\", \"类\", \"商品名\" FROM \"删除的条码\" WHERE \"操作\" = ? ORDER BY rowid");
    int rc = st.prepareResult();
    if (rc == SQLITE_OK)
        rc = bindAll(st.get(), entry);
    if ((rc = readCodes(st.get(), rc, codes)) != SQLITE_DONE)
        fail(rc, sql::kReadFailed);
    return codes;
}

void FileStore::setProductCode(const ProductCode &code)
{
    finishReading();
    Transaction tx(*this, sql::kAddFailed);
    exec(kCreateCodes, sql::kAddFailed);
    Statement st(m_db, "INSERT OR REPLACE INTO \"条码\" (\"条码\", \"类\", \"商品名\") VALUES (?, ?, ?)");
    int rc = st.prepareResult();
    if (rc == SQLITE_OK)
        rc = runOnce(st.get(), bindAll(st.get(), code.code, code.category, code.name));
    if (rc != SQLITE_OK)
        tx.fail(rc);
    tx.commit();
}

void FileStore::forgetCodes(const std::vector<std::size_t> &positions, qint64 deletion)
{
    const std::vector<Record> &rows = loadedRows();
    QSet<QString> gone;
    for (const std::size_t p : positions)
        if (rows[p].isKind(kProduct))
            gone.insert(productKey(rows[p].cat, rows[p].name));
    if (gone.isEmpty() || !hasTable("条码"))
        return;
    // A second row of the same product that stays keeps the codes.
    auto next = positions.cbegin();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (next != positions.cend() && *next == i) {
            ++next;
            continue;
        }
        if (rows[i].isKind(kProduct))
            gone.remove(productKey(rows[i].cat, rows[i].name));
    }
    if (deletion)
        exec(kCreateDeletedCodes, sql::kRemoveFailed);
    Statement keep(m_db, "INSERT INTO \"删除的条码\" SELECT ?, \"条码\", \"类\", \"商品名\" FROM \"条码\""
                         " WHERE \"类\" = ? AND \"商品名\" = ? ORDER BY rowid");
    Statement st(m_db, "DELETE FROM \"条码\" WHERE \"类\" = ? AND \"商品名\" = ?");
    int rc = deletion ? keep.prepareResult() : SQLITE_OK;
    if (rc == SQLITE_OK)
        rc = st.prepareResult();
    for (const QString &key : std::as_const(gone)) {
        const QStringList parts = key.split(QChar(0x1f));
        if (rc == SQLITE_OK && deletion)
            rc = runOnce(keep.get(), bindAll(keep.get(), deletion, parts[0], parts[1]));
        if (rc == SQLITE_OK)
            rc = runOnce(st.get(), bindAll(st.get(), parts[0], parts[1]));
    }
    if (rc != SQLITE_OK)
        fail(rc, sql::kRemoveFailed);
}

void FileStore::restoreCodes(qint64 deletion)
{
    if (!hasTable("删除的条码"))
        return;
    // The codes table is there: the codes kept were taken from it.
    Statement back(m_db, "INSERT OR IGNORE INTO \"条码\" (\"条码\", \"类\", \"商品名\") SELECT \"条码\", \"类\","
                         " \"商品名\" FROM \"删除的条码\" WHERE \"操作\" = ? ORDER BY rowid");
    Statement drop(m_db, "DELETE FROM \"删除的条码\" WHERE \"操作\" = ?");
    int rc = back.prepareResult();
    if (rc == SQLITE_OK)
        rc = runOnce(back.get(), bindAll(back.get(), deletion));
    if (rc == SQLITE_OK)
        rc = drop.prepareResult();
    if (rc == SQLITE_OK)
        rc = runOnce(drop.get(), bindAll(drop.get(), deletion));
    if (rc != SQLITE_OK)
        fail(rc, StoreError::Kind::Restore);
}

void FileStore::markStockTakeRows(LedgerFacts &facts)
{
    if (!hasTable("盘点明细"))
        return;
    const std::vector<Record> &rows = loadedRows();
    Statement st(m_db, "SELECT \"记录\", \"交易号码\" FROM \"盘点明细\" WHERE \"记录\" IS NOT NULL");
    int rc = st.prepareResult();
    while (rc == SQLITE_OK && (rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        rc = SQLITE_OK;
        const qint64 id = sqlite3_column_int64(st.get(), 0);
        // Rows are held in rowid order. The number tells a row that took a deleted one's id.
        const auto at = positionOf(id);
        if (at && rows[*at].txno == columnText(st.get(), 1))
            facts.markStockTake(*at);
    }
    if (rc != SQLITE_DONE)
        fail(rc, sql::kReadFailed);
}

StockTakeRecord FileStore::postStockTake(StockTakeRecord record, const std::vector<Record> &rows)
{
    const auto differing = std::count_if(record.lines.cbegin(), record.lines.cend(),
                                         [](const StockTakeLine &l) { return l.difference() != 0; });
    if (static_cast<std::size_t>(differing) != rows.size())
        throw std::invalid_argument("postStockTake: one row for each line with a difference");
    finishReading();
    Transaction tx(*this, sql::kAddFailed);
    refresh(false, sql::kReadFailed);
    exec(kCreateTakes, sql::kAddFailed);
    exec(kCreateTakeLines, sql::kAddFailed);
    const std::vector<qint64> ids = insertRows(rows);
    {
        Statement head(m_db, "INSERT INTO \"盘点\" (\"时间\", \"计算机\") VALUES (?, ?)");
        int rc = head.prepareResult();
        if (rc == SQLITE_OK)
            rc = runOnce(head.get(), bindAll(head.get(), record.when, record.computer));
        record.id = sqlite3_last_insert_rowid(m_db);
        Statement line(m_db, "INSERT INTO \"盘点明细\" (\"盘点\", \"类\", \"商品名\", \"账面\", \"实盘\", \"记录\", "
                             "\"交易号码\") VALUES (?, ?, ?, ?, ?, ?, ?)");
        if (rc == SQLITE_OK)
            rc = line.prepareResult();
        std::size_t next = 0;
        for (StockTakeLine &l : record.lines) {
            if (l.difference() != 0) {
                l.rowId = ids[next];
                l.txno = rows[next++].txno;
            }
            if (rc == SQLITE_OK)
                rc = bindAll(line.get(), record.id, l.category, l.name, l.book, l.count);
            if (rc == SQLITE_OK)
                rc = l.rowId ? sqlite3_bind_int64(line.get(), 6, l.rowId) : sqlite3_bind_null(line.get(), 6);
            if (rc == SQLITE_OK)
                rc = runOnce(line.get(), bindText(line.get(), 7, l.txno));
        }
        if (rc != SQLITE_OK)
            tx.fail(rc);
    }
    if (m_history) {
        const RecordRefs refs(rows.cbegin(), rows.cend());
        addEntry(ChangeKind::StockTake, stockTakeSummary(static_cast<qint64>(rows.size())),
                 static_cast<qint64>(rows.size()), rowsChecksum(refs), 0);
    }
    tx.commit();
    std::vector<Record> stored = rows;
    for (std::size_t n = 0; n < stored.size(); ++n)
        stored[n].id = ids[n];
    appendRows(stored, true);
    return record;
}

std::vector<StockTakeRecord> FileStore::stockTakes()
{
    finishReading();
    std::vector<StockTakeRecord> takes;
    if (!hasTable("盘点") || !hasTable("盘点明细"))
        return takes;
    QHash<qint64, std::size_t> byId;
    Statement head(m_db, "SELECT \"编号\", \"时间\", \"计算机\" FROM \"盘点\" ORDER BY \"编号\"");
    int rc = head.prepareResult();
    while (rc == SQLITE_OK && (rc = sqlite3_step(head.get())) == SQLITE_ROW) {
        rc = SQLITE_OK;
        StockTakeRecord t;
        t.id = sqlite3_column_int64(head.get(), 0);
        t.when = columnText(head.get(), 1);
        t.computer = columnText(head.get(), 2);
        byId.insert(t.id, takes.size());
        takes.push_back(std::move(t));
    }
    Statement lines(m_db, "SELECT \"盘点\", \"类\", \"商品名\", \"账面\", \"实盘\", \"记录\", \"交易号码\" "
                          "FROM \"盘点明细\" ORDER BY rowid");
    if (rc == SQLITE_DONE)
        rc = lines.prepareResult();
    while (rc == SQLITE_OK && (rc = sqlite3_step(lines.get())) == SQLITE_ROW) {
        rc = SQLITE_OK;
        sqlite3_stmt *st = lines.get();
        const auto owner = byId.constFind(sqlite3_column_int64(st, 0));
        if (owner == byId.cend())
            continue; // a line of no stock-take: nothing to show it under
        takes[*owner].lines.push_back({columnText(st, 1), columnText(st, 2), sqlite3_column_int64(st, 3),
                                       sqlite3_column_int64(st, 4), sqlite3_column_int64(st, 5), columnText(st, 6)});
    }
    if (rc != SQLITE_DONE)
        fail(rc, sql::kReadFailed);
    return takes;
}

} // namespace ledger
