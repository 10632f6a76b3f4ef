#include "ledger/server_backup.h"

#include "ledger/columns.h"
#include "ledger/file_store.h"
#include "ledger/server_store.h"

#include "ledger/history.h"
#include "ledger/store_sql.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <charconv>
#include <sqlite3.h>
#include <string>

namespace ledger {

namespace {

// Row ids and the rows the record of changes knows of, as a ledger file keeps them.
void setState(sql::Connection &file, const char *key, qint64 value)
{
    sql::Query(file.get(), "UPDATE \"账本状态\" SET \"值\" = ? WHERE \"键\" = ?").bind(1, value).bind(2, QString::fromUtf8(key)).run();
}

void execute(sql::Connection &file, const char *statement)
{
    if (file.exec(statement) != SQLITE_OK)
        throw sql::Error(sqlite3_errmsg(file.get()));
}

qint64 toNumber(std::string_view bytes)
{
    qint64 n = 0;
    std::from_chars(bytes.data(), bytes.data() + bytes.size(), n);
    return n;
}

// What a backup's rows are checked by: the id and nine columns of every row in order as UTF-8,
// "n" for NULL and "t<bytes>:<text>" otherwise, a newline after each row; the same whether they
// come from the server's COPY or back from the file, so neither side makes texts of them.
class RowSum {
public:
    void field(bool null, std::string_view bytes)
    {
        if (null) {
            m_text += 'n';
            return;
        }
        char length[24];
        m_text += 't';
        m_text.append(length, std::to_chars(length, length + sizeof length, bytes.size()).ptr);
        m_text += ':';
        m_text.append(bytes);
    }
    void endRow()
    {
        m_text += '\n';
        ++m_rows;
        if (m_text.size() > (1u << 16))
            flush();
    }
    qint64 rows() const { return m_rows; }
    QByteArray result()
    {
        flush();
        return m_hash.result();
    }

private:
    void flush()
    {
        m_hash.addData(QByteArrayView(m_text.data(), static_cast<qsizetype>(m_text.size())));
        m_text.clear();
    }
    QCryptographicHash m_hash{QCryptographicHash::Md5};
    std::string m_text;
    qint64 m_rows = 0;
};

void bindRecord(sql::Query &q, int first, const Record &r)
{
    if (r.hasKind)
        q.bind(first, static_cast<qint64>(r.kind));
    else
        q.bind(first, QString());
    for (std::size_t i = 0; i < kTextColumns.size(); ++i)
        q.bind(first + 1 + static_cast<int>(i), r.*kTextColumns[i].field);
}

// 0 stands for none, which the file keeps as NULL.
void bindId(sql::Query &q, int i, qint64 id)
{
    if (id == 0)
        q.bind(i, QString());
    else
        q.bind(i, id);
}

// The record of changes, the deleted rows, the codes and the stock-takes into the file's tables
// as the file store writes them; the tables of codes, of codes deletions took and of stock-takes
// only when there are some.
// Returns the newest entry's number.
qint64 writeRecords(sql::Connection &file, const LedgerRecords &records)
{
    qint64 newest = 0;
    sql::Query entry(file.get(), "INSERT INTO \"操作记录\" (\"编号\", \"时间\", \"计算机\", \"种类\", \"说明\", \"行数\","
                                 " \"校验\", \"记录\", \"恢复于\") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    for (const ChangeEntry &e : records.entries) {
        entry.bind(1, e.number).bind(2, e.time.toSecsSinceEpoch()).bind(3, e.computer).bind(4, changeKindName(e.kind));
        entry.bind(5, e.summary).bind(6, e.count).bind(7, e.checksum);
        bindId(entry, 8, e.rowId);
        bindId(entry, 9, e.restoredBy);
        entry.run();
        newest = std::max(newest, e.number);
    }
    const std::string deletedSql = "INSERT INTO \"删除的记录\" (\"操作\", \"位置\", \"行号\", " + columnListSql() +
                                   ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
    sql::Query deleted(file.get(), deletedSql.c_str());
    for (const auto &[number, d] : records.deleted) {
        deleted.bind(1, number).bind(2, d.position).bind(3, d.row.id);
        bindRecord(deleted, 4, d.row);
        deleted.run();
    }
    if (!records.codes.empty()) {
        execute(file, sql::kCreateCodes);
        sql::Query code(file.get(), "INSERT INTO \"条码\" (\"条码\", \"类\", \"商品名\") VALUES (?, ?, ?)");
        for (const ProductCode &c : records.codes)
            code.bind(1, c.code).bind(2, c.category).bind(3, c.name).run();
    }
    if (!records.deletedCodes.empty()) {
        execute(file, sql::kCreateDeletedCodes);
        sql::Query code(file.get(), "INSERT INTO \"删除的条码\" (\"操作\", \"条码\", \"类\", \"商品名\") VALUES (?, ?, ?, ?)");
        for (const auto &[number, c] : records.deletedCodes)
            code.bind(1, number).bind(2, c.code).bind(3, c.category).bind(4, c.name).run();
    }
    if (!records.stockTakes.empty()) {
        execute(file, sql::kCreateTakes);
        execute(file, sql::kCreateTakeLines);
        sql::Query head(file.get(), "INSERT INTO \"盘点\" (\"编号\", \"时间\", \"计算机\") VALUES (?, ?, ?)");
        sql::Query line(file.get(), "INSERT INTO \"盘点明细\" (\"盘点\", \"类\", \"商品名\", \"账面\", \"实盘\", \"记录\","
                                    " \"交易号码\") VALUES (?, ?, ?, ?, ?, ?, ?)");
        for (const StockTakeRecord &t : records.stockTakes) {
            head.bind(1, t.id).bind(2, t.when).bind(3, t.computer).run();
            for (const StockTakeLine &l : t.lines) {
                line.bind(1, t.id).bind(2, l.category).bind(3, l.name).bind(4, l.book).bind(5, l.count);
                bindId(line, 6, l.rowId);
                line.bind(7, l.txno).run();
            }
        }
    }
    return newest;
}

// The rows of each table of what a ledger keeps beside its rows, in the file (a missing table
// holds none) or in records.
std::vector<qint64> recordCounts(sql::Connection &file)
{
    std::vector<qint64> counts;
    for (const char *table : {"操作记录", "删除的记录", "条码", "盘点", "盘点明细", "删除的条码"}) {
        sql::Query there(file.get(), "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?");
        there.bind(1, QString::fromUtf8(table));
        qint64 n = 0;
        if (there.next() && there.integer(0) > 0) {
            sql::Query count(file.get(), (std::string("SELECT count(*) FROM \"") + table + '"').c_str());
            n = count.next() ? count.integer(0) : -1;
        }
        counts.push_back(n);
    }
    return counts;
}

std::vector<qint64> recordCounts(const LedgerRecords &records)
{
    qint64 lines = 0;
    for (const StockTakeRecord &t : records.stockTakes)
        lines += static_cast<qint64>(t.lines.size());
    return {static_cast<qint64>(records.entries.size()), static_cast<qint64>(records.deleted.size()),
            static_cast<qint64>(records.codes.size()), static_cast<qint64>(records.stockTakes.size()), lines,
            static_cast<qint64>(records.deletedCodes.size())};
}

// Writes the rows of one snapshot of the server into a new ledger file at path, with their ids,
// and what the ledger keeps beside them.
QString writeSnapshot(pgdb::Connection &db, const QString &path, qint64 &rows, qint64 &version)
{
    try {
        FileStore::open(path, Store::kLockWait, FileStore::Purpose::RestoreCopy); // the tables of a new ledger
        // One thread each: no lock of SQLite's around every bind and step.
        sql::Connection file(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
        // Checked, synced and renamed into place afterwards: no journal, no sync of its own.
        file.exec("PRAGMA journal_mode = OFF");
        file.exec("PRAGMA synchronous = OFF");
        file.exec("PRAGMA cache_size = -65536"); // the table's pages stay decrypted until the end
        if (const int rc = file.result() == SQLITE_OK ? file.exec("BEGIN") : file.result(); rc != SQLITE_OK)
            return failureReason(rc, file.get());
        // The index on the kind is built once the rows are in, in one sort, rather than row by row.
        execute(file, (std::string("DROP INDEX IF EXISTS \"") + kKindIndex + '"').c_str());
        sql::Query insert(file.get(), insertWithIdSql());
        RowSum sent;
        LedgerRecords records;
        // The server's UTF-8 as it came, bound without a copy: COPY's id, kind and eight texts.
        const ServerStore::Snapshot s = ServerStore::readSnapshot(db, [&](const pgdb::CopyRow &row) {
            for (int c = 0; c < 10; ++c)
                sent.field(row.isNull(c), row.bytes(c));
            sent.endRow();
            insert.bind(10, toNumber(row.bytes(0)));
            if (row.isNull(1))
                insert.bind(1, QString());
            else
                insert.bind(1, toNumber(row.bytes(1)));
            for (int c = 2; c < 10; ++c) {
                if (row.isNull(c))
                    insert.bind(c, QString());
                else
                    insert.bindUtf8(c, row.bytes(c));
            }
            insert.run();
        }, &records);
        const qint64 newest = writeRecords(file, records);
        qint64 nextId = s.nextId;
        for (const auto &kept : records.deleted)
            nextId = std::max(nextId, kept.second.row.id + 1);
        setState(file, "下一个行号", nextId);
        setState(file, "行数", s.rows);
        // The counters count every entry there is: none is an add still to be counted.
        setState(file, "行数截至", newest);
        execute(file, createKindIndexSql());
        if (const int rc = file.exec("COMMIT"); rc != SQLITE_OK)
            return failureReason(rc, file.get());

        // Read back: the same ids and rows in the same order as the snapshot's, and as many of
        // everything else.
        sql::Connection written(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
        const std::string all = "SELECT rowid, " + columnListSql() + " FROM \"库\" ORDER BY rowid";
        sql::Query back(written.get(), all.c_str());
        RowSum got;
        while (back.next()) {
            for (int c = 0; c < 10; ++c) {
                const bool null = back.isNull(c); // before the text, which would convert it
                got.field(null, null ? std::string_view() : back.utf8(c));
            }
            got.endRow();
        }
        if (got.rows() != s.rows || got.result() != sent.result() || recordCounts(written) != recordCounts(records))
            return QStringLiteral("备份副本中的记录与服务器上的不一致（数目或校验和不符）");
        rows = s.rows;
        version = s.version;
        return {};
    } catch (const StoreError &e) {
        return e.reason().isEmpty() ? e.message() : e.reason();
    } catch (const sql::Error &e) {
        return QString::fromUtf8(e.what());
    }
}

} // namespace

BackupResult backupServerLedger(const QString &ledgerPath, pgdb::Connection &db, const QDateTime &now,
                                const QString &kind, bool thin, qint64 *version)
{
    qint64 seen = 0;
    const BackupResult out = backupWith(
        ledgerPath, now, [&](const QString &path, qint64 &rows) { return writeSnapshot(db, path, rows, seen); }, kind,
        thin);
    if (version)
        *version = seen;
    return out;
}

BackupResult backupServerLedger(const QString &ledgerPath, const pgdb::Address &server, const QDateTime &now)
{
    try {
        pgdb::Connection db(server.conninfo, server.password);
        return backupServerLedger(ledgerPath, db, now);
    } catch (const pgdb::Failure &f) {
        BackupResult out;
        out.error = f.reason();
        return out;
    }
}

RestoreResult restoreServerBackup(const QString &ledgerPath, const QString &conninfo, const QString &file,
                                  const QDateTime &now)
{
    RestoreResult out;
    const QString name = QFileInfo(file).fileName();
    const LedgerCheck check = checkLedgerFile(file);
    if (!check.ok()) {
        out.error = QStringLiteral("“%1”不能用来恢复账本：%2！").arg(file, check.error);
        return out;
    }
    std::vector<Record> rows;
    LedgerRecords records;
    try {
        const auto backup = FileStore::open(file, Store::kLockWait, FileStore::Purpose::Reading);
        rows = backup->rows();
        records = recordsOf(*backup);
    } catch (const StoreError &e) {
        out.error = QStringLiteral("“%1”不能用来恢复账本：%2！").arg(file, e.reason());
        return out;
    }
    try {
        const auto store = ServerStore::open(conninfo);
        // Another PC would go on working on rows that are gone.
        if (const qint64 others = store->otherSessions(); others > 0) {
            out.error = QStringLiteral("服务器“%1”上的账本%2，未做任何改动！").arg(store->path(), ServerStore::inUseReason(others));
            return out;
        }
        qint64 version = 0;
        const BackupResult kept = backupServerLedger(ledgerPath, store->connection(), now, kBeforeRestore, false, &version);
        if (!kept.ok()) {
            out.error = QStringLiteral("无法把当前账本保留为备份（%1），未做任何改动！").arg(kept.error);
            return out;
        }
        try {
            store->replaceRows(rows, name, version, &records);
        } catch (const StoreError &) {
            QFile::remove(kept.path); // the server's rows are still those
            throw;
        }
        out.keptAs = kept.path;
        out.rows = static_cast<qint64>(rows.size());
    } catch (const StoreError &e) {
        out.error = e.message();
    }
    return out;
}

} // namespace ledger
