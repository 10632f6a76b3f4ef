#include "ledger/server_ledger.h"

#include "ledger/backup.h"
#include "ledger/durable.h"
#include "ledger/file_store.h"
#include "ledger/server_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace ledger {

namespace {

QString settingsPath(const QString &folder) { return QDir(folder).filePath(kServerSettingsName); }

// Whether a running program has the ledger file open: it holds the side file LedgerInUse locks
// (".1.mdb.lock") shared; taken exclusively here until the file has moved away.
class FileNotInUse {
public:
    explicit FileNotInUse(const QString &ledgerPath)
    {
        const QFileInfo fi(ledgerPath);
        const QString lock = fi.absoluteDir().filePath(u'.' + fi.fileName() + QStringLiteral(".lock"));
        m_fd = ::open(QFile::encodeName(lock).constData(), O_RDONLY | O_CLOEXEC);
        m_free = m_fd < 0 || ::flock(m_fd, LOCK_EX | LOCK_NB) == 0;
    }
    ~FileNotInUse()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileNotInUse(const FileNotInUse &) = delete;
    FileNotInUse &operator=(const FileNotInUse &) = delete;
    bool free() const { return m_free; }

private:
    int m_fd = -1;
    bool m_free = true;
};

QString folderOf(const QString &ledgerPath) { return QFileInfo(ledgerPath).absolutePath(); }

bool writeSettings(const QString &folder, const QString &conninfo)
{
    QSaveFile file(settingsPath(folder));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(withoutPassword(conninfo).toUtf8() + '\n');
    return file.commit() && syncFolderOf(settingsPath(folder));
}

} // namespace

QString withoutPassword(const QString &conninfo) { return pgdb::withoutPassword(conninfo); }

QString serverConnection(const QString &folder)
{
    QFile file(settingsPath(folder));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

int moveToServer(const QString &ledgerPath, const QString &conninfo, const QDateTime &now, QTextStream &out,
                 QTextStream &err)
{
    const QString folder = folderOf(ledgerPath);
    if (!serverConnection(folder).isEmpty()) {
        err << QStringLiteral("账本已经在服务器上（见文件“%1”），不能再迁移！").arg(settingsPath(folder)) << Qt::endl;
        return 1;
    }
    if (withoutPassword(conninfo).isEmpty()) {
        err << QStringLiteral("连接参数有误：“%1”！").arg(conninfo) << Qt::endl;
        return 1;
    }
    const LedgerCheck check = checkLedgerFile(ledgerPath, false);
    if (!check.ok()) {
        err << StoreError(StoreError::Kind::Read, ledgerPath, check.error).message() << Qt::endl;
        return 1;
    }
    // A program with the file open would go on writing to it after it moved.
    const FileNotInUse notInUse(ledgerPath);
    if (!notInUse.free()) {
        err << QStringLiteral("账本“%1”正被本软件打开，请先关闭程序再迁移，未做任何改动！").arg(QFileInfo(ledgerPath).fileName())
            << Qt::endl;
        return 1;
    }
    std::vector<Record> rows;
    try {
        rows = FileStore::open(ledgerPath)->rows();
    } catch (const StoreError &e) {
        err << e.message() << Qt::endl;
        return 1;
    }
    // The file goes to the backups and the folder names the server just before the commit,
    // so that a failure anywhere leaves both as they were.
    const QString kept = keptBackupPath(ledgerPath, now, kBeforeServer);
    bool moved = false;
    try {
        ServerStore::createLedger(conninfo, rows, {}, [&] {
            const QString server = pgdb::describeServer(conninfo);
            if (!QDir().mkpath(backupFolder(ledgerPath)) || !QFile::rename(ledgerPath, kept))
                throw StoreError::onServer(StoreError::Kind::Create, server,
                                           QStringLiteral("无法把账本文件移到“备份”文件夹"));
            moved = true;
            if (!writeSettings(folder, conninfo))
                throw StoreError::onServer(StoreError::Kind::Create, server,
                                           QStringLiteral("无法写入文件“%1”").arg(settingsPath(folder)));
            syncFolderOf(kept);
            syncFolderOf(ledgerPath);
        });
    } catch (const StoreError &e) {
        if (moved) {
            QFile::remove(settingsPath(folder));
            QFile::rename(kept, ledgerPath);
        }
        err << e.message() << Qt::endl;
        return 1;
    }
    out << QStringLiteral("已把账本的 %1 条记录迁移到服务器“%2”；原账本文件保留为“%3”。")
               .arg(rows.size())
               .arg(pgdb::describeServer(conninfo), QDir(folder).relativeFilePath(kept))
        << Qt::endl;
    return 0;
}

int useServer(const QString &ledgerPath, const QString &conninfo, QTextStream &out, QTextStream &err)
{
    const QString folder = folderOf(ledgerPath);
    if (QFileInfo::exists(ledgerPath)) {
        const LedgerCheck check = checkLedgerFile(ledgerPath, false);
        if (!check.ok() || check.rows > 0) {
            err << QStringLiteral("文件夹中的账本文件“%1”还有记录：请先用 --move-to-server 把它迁移到服务器，或把它移走！")
                       .arg(ledgerPath)
                << Qt::endl;
            return 1;
        }
    }
    if (withoutPassword(conninfo).isEmpty()) {
        err << QStringLiteral("连接参数有误：“%1”！").arg(conninfo) << Qt::endl;
        return 1;
    }
    try {
        ServerStore::open(conninfo);
    } catch (const StoreError &e) {
        err << e.message() << Qt::endl;
        return 1;
    }
    if (!writeSettings(folder, conninfo)) {
        err << QStringLiteral("无法写入文件“%1”！").arg(settingsPath(folder)) << Qt::endl;
        return 1;
    }
    out << QStringLiteral("此文件夹今后使用服务器“%1”上的账本。").arg(pgdb::describeServer(conninfo)) << Qt::endl;
    return 0;
}

int moveToFile(const QString &ledgerPath, QTextStream &out, QTextStream &err)
{
    const QString folder = folderOf(ledgerPath);
    const QString conninfo = serverConnection(folder);
    if (conninfo.isEmpty()) {
        err << QStringLiteral("此文件夹的账本不在服务器上，无需迁移！") << Qt::endl;
        return 1;
    }
    if (QFileInfo::exists(ledgerPath)) {
        err << QStringLiteral("文件夹中已有账本文件“%1”，未做任何改动！").arg(ledgerPath) << Qt::endl;
        return 1;
    }
    const QString server = pgdb::describeServer(conninfo);
    const QString fresh = ledgerPath + QStringLiteral(".new");
    try {
        const auto store = ServerStore::open(conninfo);
        if (const qint64 others = store->otherSessions(); others > 0) {
            err << QStringLiteral("服务器“%1”上的账本%2！").arg(server, ServerStore::inUseReason(others)) << Qt::endl;
            return 1;
        }
        const std::vector<Record> &rows = store->rows();
        QFile::remove(fresh);
        {
            const auto file = FileStore::open(fresh);
            file->addAll(rows);
            if (ServerStore::checksum(file->rows()) != store->storedChecksum())
                throw StoreError(StoreError::Kind::Create, fresh, QStringLiteral("写入的记录与服务器上的不一致"));
        }
        if (!QFile::rename(fresh, ledgerPath) || !QFile::remove(settingsPath(folder)))
            throw StoreError(StoreError::Kind::Create, ledgerPath, QStringLiteral("无法替换文件"));
        syncFolderOf(ledgerPath);
        out << QStringLiteral("已把服务器“%1”上的 %2 条记录复制到账本文件“%3”；此文件夹今后使用该文件。")
                   .arg(server)
                   .arg(rows.size())
                   .arg(QFileInfo(ledgerPath).fileName())
            << Qt::endl;
    } catch (const StoreError &e) {
        QFile::remove(fresh);
        err << e.message() << Qt::endl;
        return 1;
    } catch (const pgdb::Failure &f) {
        QFile::remove(fresh);
        err << f.message() << Qt::endl;
        return 1;
    }
    return 0;
}

} // namespace ledger
