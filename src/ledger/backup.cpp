#include "ledger/backup.h"

#include "ledger/durable.h"
#include "ledger/ledger_table.h"
#include "ledger/sqlite_db.h"
#include "ledger/file_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace ledger {

namespace {

// Why an SQLite call on c failed, as a Chinese phrase.
QString why(const sql::Connection &c, int code)
{
    if (code == SQLITE_READONLY_ROLLBACK)
        return QStringLiteral("文件旁有一次未完成的写入留下的日志文件（-journal），请先用本软件打开一次");
    return failureReason(code, c.get());
}

constexpr const char *kHasLedger = "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = '库'";
constexpr const char *kCountRows = "SELECT count(*) FROM \"库\"";

QString stem(const QString &ledgerPath) { return QFileInfo(ledgerPath).completeBaseName(); }

// A name for a backup made now that no file has yet: minutes, else seconds, else a number;
// kind is kBeforeRestore or empty.
QString newBackupPath(const QString &ledgerPath, const QDateTime &now, const QString &kind = QString())
{
    const QDir folder(backupFolder(ledgerPath));
    const QString base = stem(ledgerPath) + u'-' + now.toString(QStringLiteral("yyyyMMdd-HHmm"));
    const QString end = kind + QStringLiteral(".mdb");
    QString name = base + end;
    if (folder.exists(name))
        name = base + now.toString(QStringLiteral("ss")) + end;
    for (int n = 2; folder.exists(name); ++n)
        name = base + now.toString(QStringLiteral("ss")) + QStringLiteral("-%1").arg(n) + end;
    return folder.filePath(name);
}

QString lockPath(const QString &ledgerPath)
{
    const QFileInfo fi(ledgerPath);
    return fi.absoluteDir().filePath(u'.' + fi.fileName() + QStringLiteral(".lock"));
}

int openLock(const QString &ledgerPath)
{
    return ::open(QFile::encodeName(lockPath(ledgerPath)).constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
}

// Copies the ledger into dest (a new file) with the online backup; the row count is taken in
// the same read transaction, so it is the copy's. Returns the reason on failure.
QString copyLedger(const QString &ledgerPath, const QString &dest, qint64 &rows)
{
    // Everything slow that needs no lock comes first: deriving both keys from the password
    // (on the first read and the first write), so that writers wait for the copy alone.
    sql::Connection src(ledgerPath, SQLITE_OPEN_READWRITE);
    if (src.result() == SQLITE_OK)
        src.first(kHasLedger);
    if (src.result() != SQLITE_OK)
        return why(src, src.result());
    sql::Connection dst(dest, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    int rc = dst.result();
    if (rc == SQLITE_OK) {
        // The copy is checked and renamed into place, so it needs no journal of its own.
        dst.exec("PRAGMA journal_mode = OFF");
        rc = dst.exec("PRAGMA user_version = 0");
    }
    if (rc != SQLITE_OK)
        return why(dst, rc);
    // Pages read by the count stay decrypted in memory for the copy (up to 64 MB).
    src.exec("PRAGMA cache_size = -65536");
    src.exec("BEGIN");
    rows = src.first(kCountRows).toLongLong();
    if (src.result() != SQLITE_OK)
        return why(src, src.result());
    sqlite3_backup *b = sqlite3_backup_init(dst.get(), "main", src.get(), "main");
    if (!b)
        return why(dst, sqlite3_extended_errcode(dst.get()));
    // All pages in one step: the source stays read-locked, so a writer waits for the copy
    // instead of restarting it.
    rc = sqlite3_backup_step(b, -1);
    sqlite3_backup_finish(b);
    src.exec("COMMIT");
    if (rc != SQLITE_DONE)
        return why(dst, rc == SQLITE_OK ? SQLITE_ERROR : rc);
    rc = sqlite3_extended_errcode(dst.get());
    return rc == SQLITE_OK || rc == SQLITE_DONE ? QString() : why(dst, rc);
}

const QString kNoFolder = QStringLiteral("无法建立备份文件夹“%1”（请检查文件夹的权限和磁盘空间）");

} // namespace

LedgerCheck checkLedgerFile(const QString &path, bool integrity)
{
    LedgerCheck out;
    const QFileInfo fi(path);
    if (!fi.exists()) {
        out.error = QStringLiteral("文件不存在");
        return out;
    }
    if (fi.isDir()) {
        out.error = QStringLiteral("这是一个文件夹，不是账本文件");
        return out;
    }
    if (fi.size() == 0) {
        out.error = QStringLiteral("文件是空的");
        return out;
    }
    sql::Connection c(path, SQLITE_OPEN_READONLY);
    int rc = c.result();
    if (rc == SQLITE_OK) {
        out.error = ledgerTableProblem(c.get(), rc); // the first read checks the key
        if (!out.ok())
            return out;
    }
    if (rc == SQLITE_OK && integrity) {
        const QString verdict = c.first("PRAGMA integrity_check");
        rc = c.result();
        if (rc == SQLITE_OK && verdict != QStringLiteral("ok")) {
            out.error = QStringLiteral("文件已损坏（完整性检查未通过）");
            return out;
        }
    }
    if (rc == SQLITE_OK) {
        out.rows = c.first(kCountRows).toLongLong();
        rc = c.result();
    }
    if (rc != SQLITE_OK) {
        out.error = why(c, rc);
        out.rows = -1;
    }
    return out;
}

QString backupFolder(const QString &ledgerPath)
{
    return QFileInfo(ledgerPath).absoluteDir().filePath(QStringLiteral("备份"));
}

QString keptBackupPath(const QString &ledgerPath, const QDateTime &now, const QString &kind)
{
    return newBackupPath(ledgerPath, now, kind);
}

std::vector<BackupFile> listBackups(const QString &ledgerPath)
{
    static const QString kPattern = QStringLiteral("^%1-(\\d{8})-(\\d{4}|\\d{6})(?:-\\d+)?(%2|%3)?\\.mdb$");
    const QRegularExpression name(
        kPattern.arg(QRegularExpression::escape(stem(ledgerPath)), kBeforeRestore, kBeforeServer));
    std::vector<BackupFile> out;
    const QDir folder(backupFolder(ledgerPath));
    for (const QFileInfo &fi : folder.entryInfoList(QDir::Files | QDir::Hidden)) {
        const QRegularExpressionMatch m = name.match(fi.fileName());
        if (!m.hasMatch())
            continue;
        const QString hm = m.captured(2);
        const QDate day = QDate::fromString(m.captured(1), QStringLiteral("yyyyMMdd"));
        const QTime time = QTime::fromString(hm, hm.size() == 4 ? QStringLiteral("HHmm") : QStringLiteral("HHmmss"));
        if (day.isValid() && time.isValid())
            out.push_back({fi.filePath(), QDateTime(day, time), m.hasCaptured(3)});
    }
    std::sort(out.begin(), out.end(), [](const BackupFile &a, const BackupFile &b) {
        return a.time != b.time ? a.time < b.time : a.path < b.path;
    });
    return out;
}

bool hasBackupOn(const QString &ledgerPath, const QDate &day)
{
    const auto all = listBackups(ledgerPath);
    return std::any_of(all.cbegin(), all.cend(),
                       [&](const BackupFile &b) { return !b.beforeRestore && b.time.date() == day; });
}

QStringList backupsToThin(const std::vector<BackupFile> &backups, const QDateTime &now, const QString &keep)
{
    const QDate today = now.date();
    std::set<QString> kept{keep};
    std::map<QDate, QString, std::greater<>> lastOfDay; // newest day first
    std::map<int, QString> lastOfMonth;
    auto monthOf = [](const QDate &d) { return d.year() * 12 + d.month() - 1; };
    for (const BackupFile &b : backups) { // oldest first: the later one of a day or month wins
        if (b.beforeRestore || b.time > now || b.time.date() == today)
            kept.insert(b.path);
        if (b.beforeRestore)
            continue;
        lastOfDay[b.time.date()] = b.path;
        lastOfMonth[monthOf(b.time.date())] = b.path;
    }
    int days = 0;
    for (const auto &[day, path] : lastOfDay) {
        if (day > today)
            continue;
        if (++days > kDailyBackups)
            break;
        kept.insert(path);
    }
    for (int m = monthOf(today) - kMonthlyBackups + 1; m <= monthOf(today); ++m)
        if (const auto it = lastOfMonth.find(m); it != lastOfMonth.end())
            kept.insert(it->second);
    QStringList out;
    for (const BackupFile &b : backups)
        if (!kept.count(b.path))
            out << b.path;
    return out;
}

namespace {

// Makes the backup named by newBackupPath(ledgerPath, now, kind) with write and checks it.
BackupResult makeBackup(const QString &ledgerPath, const QDateTime &now, const QString &kind, const BackupWriter &write)
{
    BackupResult out;
    const QString folder = backupFolder(ledgerPath);
    const QFileInfo fi(folder);
    if (fi.exists() && !fi.isDir()) {
        out.error = QStringLiteral("“%1”是一个文件，不是文件夹，备份无处存放").arg(folder);
        return out;
    }
    const bool made = !fi.exists();
    if (!QDir().mkpath(folder)) {
        out.error = kNoFolder.arg(folder);
        return out;
    }
    // A new folder's own name must reach the disk too, or a power cut takes every backup in it.
    if (made)
        syncFolderOf(folder);
    const QString target = newBackupPath(ledgerPath, now, kind);
    const QString part = QDir(folder).filePath(u'.' + QFileInfo(target).fileName() + QStringLiteral(".part"));
    QFile::remove(part);
    qint64 rows = 0;
    out.error = write(part, rows);
    if (out.error.isEmpty()) {
        syncPath(part);
        const LedgerCheck check = checkLedgerFile(part);
        if (!check.ok())
            out.error = QStringLiteral("备份副本检查未通过：%1").arg(check.error);
        else if (check.rows != rows)
            out.error = QStringLiteral("备份副本有 %1 条记录，账本有 %2 条").arg(check.rows).arg(rows);
    }
    if (out.error.isEmpty() && !QFile::rename(part, target))
        out.error = QStringLiteral("无法把备份副本改名为“%1”").arg(target);
    if (!out.error.isEmpty()) {
        QFile::remove(part);
        return out;
    }
    syncPath(folder);
    out.path = target;
    out.rows = rows;
    return out;
}

BackupWriter fileCopy(const QString &ledgerPath)
{
    return [ledgerPath](const QString &path, qint64 &rows) { return copyLedger(ledgerPath, path, rows); };
}

} // namespace

BackupResult backupLedger(const QString &ledgerPath, const QDateTime &now, bool thin)
{
    return backupWith(ledgerPath, now, fileCopy(ledgerPath), QString(), thin);
}

BackupResult backupWith(const QString &ledgerPath, const QDateTime &now, const BackupWriter &write, const QString &kind,
                        bool thin)
{
    BackupResult out = makeBackup(ledgerPath, now, kind, write);
    if (out.ok() && thin)
        for (const QString &old : backupsToThin(listBackups(ledgerPath), now, out.path))
            if (QFile::remove(old))
                out.removed << old;
    return out;
}

namespace {

// Keeps the ledger about to be replaced as one more backup; one that cannot be read is kept
// byte for byte, with its journal if any. Returns why that failed, or nothing.
QString keepCurrent(const QString &ledgerPath, const QDateTime &now, QString &keptAs)
{
    const BackupResult kept = makeBackup(ledgerPath, now, kBeforeRestore, fileCopy(ledgerPath));
    keptAs = kept.path;
    if (kept.ok())
        return QString();
    keptAs = newBackupPath(ledgerPath, now, kBeforeRestore);
    const QString journal = ledgerPath + QStringLiteral("-journal");
    if (!QDir().mkpath(backupFolder(ledgerPath)) || !QFile::copy(ledgerPath, keptAs) ||
        (QFile::exists(journal) && !QFile::copy(journal, keptAs + QStringLiteral("-journal")))) {
        QFile::remove(keptAs);
        keptAs.clear();
        return QStringLiteral("无法把当前账本保留为备份（%1），未做任何改动！").arg(kept.error);
    }
    syncPath(keptAs);
    syncFolderOf(keptAs);
    return QString();
}

// Renames the checked copy over the ledger. A journal left beside the old ledger would be
// played into the restored one, so it is moved aside first (and back if the rename fails).
QString putInPlace(const QString &copy, const QString &ledgerPath)
{
    const QFileInfo current(ledgerPath);
    const QString journal = ledgerPath + QStringLiteral("-journal");
    const QString aside = current.absoluteDir().filePath(u'.' + current.fileName() + QStringLiteral("-journal.old"));
    const bool hadJournal = QFile::exists(journal);
    if (hadJournal) {
        QFile::remove(aside);
        if (!QFile::rename(journal, aside))
            return QStringLiteral("无法移开“%1”，未做任何改动！").arg(journal);
    }
    if (std::rename(QFile::encodeName(copy).constData(), QFile::encodeName(ledgerPath).constData()) != 0) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        if (hadJournal)
            QFile::rename(aside, journal);
        return QStringLiteral("无法把副本放到“%1”的位置：%2！").arg(ledgerPath, why);
    }
    syncPath(current.absolutePath());
    if (hadJournal)
        QFile::remove(aside);
    return QString();
}

} // namespace

RestoreResult restoreBackup(const QString &ledgerPath, const QString &file, const QDateTime &now)
{
    RestoreResult out;
    const QFileInfo source(file), current(ledgerPath);
    if (current.exists() && source.exists() && source.canonicalFilePath() == current.canonicalFilePath()) {
        out.error = QStringLiteral("“%1”就是当前的账本文件，不能用它恢复自己！").arg(file);
        return out;
    }
    const LedgerCheck check = checkLedgerFile(file);
    if (!check.ok()) {
        out.error = QStringLiteral("“%1”不能用来恢复账本：%2！").arg(file, check.error);
        return out;
    }

    // No program may have the ledger open: it would go on writing to the file being replaced.
    const int lock = openLock(ledgerPath);
    const auto unlock = qScopeGuard([lock] {
        if (lock >= 0)
            ::close(lock);
    });
    if (lock >= 0 && ::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        out.error = QStringLiteral("账本“%1”正被本软件打开，请先关闭程序再恢复，未做任何改动！").arg(current.fileName());
        return out;
    }

    // The copy goes beside the ledger first, so that putting it in place is one rename.
    const QString temp = current.absoluteDir().filePath(u'.' + current.fileName() + QStringLiteral(".restore"));
    QFile::remove(temp);
    if (!QFile::copy(file, temp))
        out.error = QStringLiteral("无法在文件夹“%1”中写入副本（请检查权限和磁盘空间）！").arg(current.absolutePath());
    if (out.ok()) {
        // The restore is recorded in the copy, so that it takes the ledger's place with its entry.
        QFile::setPermissions(temp, QFile::ReadOwner | QFile::WriteOwner);
        try {
            FileStore::open(temp, Store::kLockWait, FileStore::Purpose::RestoreCopy)->recordBackupRestore(source.fileName());
        } catch (const StoreError &e) {
            out.error = QStringLiteral("无法在副本中记下这次恢复（%1），未做任何改动！").arg(e.reason());
        }
    }
    if (out.ok()) {
        // A backup on read-only media must not make the ledger read-only.
        QFile::setPermissions(temp, current.exists() ? current.permissions()
                                                     : QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                           QFile::ReadOther);
        syncPath(temp);
        if (checkLedgerFile(temp, false).rows != check.rows)
            out.error = QStringLiteral("复制“%1”时出错，副本与原文件不符！").arg(file);
    }
    // From the copy kept of the ledger until the rename nobody writes to it. A ledger that
    // cannot be read (damaged) is kept byte for byte without the lock.
    std::optional<sql::Connection> writeLock;
    if (out.ok() && current.exists() && current.size() > 0) {
        writeLock.emplace(ledgerPath, SQLITE_OPEN_READWRITE);
        // Waits for another program's write like the store does.
        const int rc = writeLock->result() == SQLITE_OK ? writeLock->exec("BEGIN IMMEDIATE") : writeLock->result();
        if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED)
            out.error = QStringLiteral("账本“%1”正被其他程序写入，请先关闭它再恢复，未做任何改动！").arg(current.fileName());
        if (out.ok())
            out.error = keepCurrent(ledgerPath, now, out.keptAs);
    }
    if (out.ok())
        out.error = putInPlace(temp, ledgerPath);
    writeLock.reset();
    QFile::remove(temp);
    if (out.ok())
        out.rows = check.rows;
    return out;
}

LedgerInUse::LedgerInUse(const QString &ledgerPath) : m_fd(openLock(ledgerPath))
{
    // Waits for a restore under way (seconds); then the program opens the restored ledger.
    if (m_fd >= 0 && ::flock(m_fd, LOCK_SH) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

LedgerInUse::~LedgerInUse()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace ledger
