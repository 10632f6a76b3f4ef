// Copies of the ledger in the folder "备份" beside it. A copy is made with SQLite's online backup
// between two keyed connections, so it is consistent while another program writes and is a
// ledger in the program's own format; it is checked before older copies are thinned. Also the
// restore of a copy in place of the ledger.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace ledger {

// What opening a ledger file found. ok() when it opens with the password, holds the table
// "库" and (when asked for) passes SQLite's integrity check.
struct LedgerCheck {
    QString error; // the reason it is no good, as a Chinese phrase; empty when it is good
    qint64 rows = -1;
    bool ok() const { return error.isEmpty(); }
};
// Reads the file only; never changes it.
LedgerCheck checkLedgerFile(const QString &path, bool integrity = true);

// "备份" in the ledger's folder.
QString backupFolder(const QString &ledgerPath);

struct BackupFile {
    QString path;
    QDateTime time;              // when it was made, from its name
    bool beforeRestore = false;  // the ledger a restore replaced: never thinned
};
// The backups of this ledger, oldest first: the files of the backup folder named
// <ledger name>-YYYYMMDD-HHMM[SS][-N].mdb, and <...>-恢复前.mdb for the ledger a restore
// replaced. Other files there are not backups and left alone.
std::vector<BackupFile> listBackups(const QString &ledgerPath);
inline const QString kBeforeRestore = QStringLiteral("-恢复前");
// <...>-迁往服务器前.mdb: the ledger file --move-to-server carried over, also never thinned.
inline const QString kBeforeServer = QStringLiteral("-迁往服务器前");
// A path in the backup folder that no file has yet for a copy kept now; kind is
// kBeforeRestore or kBeforeServer.
QString keptBackupPath(const QString &ledgerPath, const QDateTime &now, const QString &kind);

// True when a backup of this ledger was made on that day (a ledger kept by a restore is not
// one of the ledger in use): the daily backup is then done.
bool hasBackupOn(const QString &ledgerPath, const QDate &day);

// How many backups the thinning keeps: every one of today, the last of each of the 13 days
// before that on which there are backups, and the last of each of the last 12 calendar months.
inline constexpr int kDailyBackups = 14;
inline constexpr int kMonthlyBackups = 12;
// Backups made before deletions are at least this far apart.
inline constexpr qint64 kDeletionBackupGapSecs = 600;

// The backups (paths) that the thinning at time now removes. keep, the backup just made and
// checked, is never among them, nor is a backup dated after now (the clock was put back), nor
// one kept by a restore.
QStringList backupsToThin(const std::vector<BackupFile> &backups, const QDateTime &now, const QString &keep);

struct BackupResult {
    QString path;        // the new backup; empty when none was made
    qint64 rows = 0;     // the rows it holds (the ledger's at the moment of the copy)
    QString error;       // why it failed, as a Chinese phrase; empty on success
    QStringList removed; // older backups thinned away
    bool ok() const { return error.isEmpty(); }
};

// Copies the ledger into a new backup named for now, checks that the copy opens with the
// password, passes the integrity check and holds as many rows as the ledger did, then (with
// thin) removes what backupsToThin names. A copy that fails any step is deleted; the ledger
// itself is only read.
BackupResult backupLedger(const QString &ledgerPath, const QDateTime &now, bool thin = true);

// Writes a complete ledger file at path (a new file) and sets rows to the rows it holds; returns
// why it failed, as a Chinese phrase, or nothing.
using BackupWriter = std::function<QString(const QString &path, qint64 &rows)>;
// backupLedger() with the copy made by write: under a temporary name, checked, synced, renamed
// into place and (with thin) followed by the thinning. kind: empty, or kBeforeRestore for a copy
// the thinning never removes.
BackupResult backupWith(const QString &ledgerPath, const QDateTime &now, const BackupWriter &write,
                        const QString &kind = {}, bool thin = true);

struct RestoreResult {
    QString error;  // a complete Chinese sentence; empty on success
    QString keptAs; // where the ledger that was replaced now is; empty when there was none
    qint64 rows = 0;
    bool ok() const { return error.isEmpty(); }
};

// Puts the copy in file in place of the ledger: file must open with the password, pass the
// integrity check and hold the table "库" with its nine columns. Refused while a program has
// the ledger open (LedgerInUse). The current ledger is first kept as a backup named
// ...-恢复前.mdb (byte for byte when it cannot be read), holding the ledger's write lock from
// then until the copy is renamed into place, so that no write is lost in between. On any
// problem nothing is changed.
RestoreResult restoreBackup(const QString &ledgerPath, const QString &file, const QDateTime &now);

// Held by a running program for as long as it has the ledger open. An idle SQLite connection
// holds no lock of the file, so the program says so with a shared flock on a side file
// (".1.mdb.lock" beside "1.mdb"; SQLite's own locks on the ledger are fcntl locks); a restore
// takes it exclusively. Without a writable folder there is no side file and no lock.
class LedgerInUse {
public:
    explicit LedgerInUse(const QString &ledgerPath);
    ~LedgerInUse();
    LedgerInUse(const LedgerInUse &) = delete;
    LedgerInUse &operator=(const LedgerInUse &) = delete;

private:
    int m_fd = -1;
};

} // namespace ledger
