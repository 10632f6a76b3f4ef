#include "ledger/server_backup.h"

#include "ledger/columns.h"
#include "ledger/file_store.h"
#include "ledger/server_store.h"

#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

namespace ledger {

namespace {

// Row ids and the rows the record of changes knows of, as a ledger file keeps them.
void setState(sql::Connection &file, const char *key, qint64 value)
{
    sql::Query(file.get(), "UPDATE \"账本状态\" SET \"值\" = ? WHERE \"键\" = ?").bind(1, value).bind(2, QString::fromUtf8(key)).run();
}

// Writes the rows of one snapshot of the server into a new ledger file at path, with their ids.
QString writeSnapshot(pgdb::Connection &db, const QString &path, qint64 &rows, qint64 &version)
{
    try {
        FileStore::open(path, Store::kLockWait, FileStore::Purpose::RestoreCopy); // the tables of a new ledger
        sql::Connection file(path, SQLITE_OPEN_READWRITE);
        // Checked, synced and renamed into place afterwards: no journal, no sync of its own.
        file.exec("PRAGMA journal_mode = OFF");
        file.exec("PRAGMA synchronous = OFF");
        file.exec("PRAGMA cache_size = -65536"); // the table's and the index's pages stay decrypted until the end
        if (const int rc = file.result() == SQLITE_OK ? file.exec("BEGIN") : file.result(); rc != SQLITE_OK)
            return failureReason(rc, file.get());
        sql::Query insert(file.get(), insertWithIdSql());
        const ServerStore::Snapshot s = ServerStore::readSnapshot(db, [&](const Record &r) {
            if (r.hasKind)
                insert.bind(1, static_cast<qint64>(r.kind));
            else
                insert.bind(1, QString());
            for (std::size_t i = 0; i < kTextColumns.size(); ++i)
                insert.bind(static_cast<int>(i) + 2, r.*kTextColumns[i].field);
            insert.bind(10, r.id).run();
        });
        setState(file, "下一个行号", s.nextId);
        setState(file, "行数", s.rows);
        if (const int rc = file.exec("COMMIT"); rc != SQLITE_OK)
            return failureReason(rc, file.get());
        // Read back as a ledger file is read: the same rows, in the same order, as the snapshot's.
        const auto written = FileStore::open(path, Store::kLockWait, FileStore::Purpose::Reading);
        const std::vector<Record> &back = written->rows();
        if (static_cast<qint64>(back.size()) != s.rows || ServerStore::checksum(back) != s.checksum)
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
    try {
        rows = FileStore::open(file, Store::kLockWait, FileStore::Purpose::Reading)->rows();
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
            store->replaceRows(rows, name, version);
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
