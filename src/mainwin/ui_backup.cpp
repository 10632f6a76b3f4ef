#include "mainwin/ui_backup.h"

#include "ledger/backup.h"
#include "ledger/file_store.h"
#include "ledger/server_backup.h"
#include "ledger/server_store.h"
#include "mainwin/form1.h"
#include "mainwin/ui_app.h"

#include <QFileInfo>
#include <algorithm>
#include <thread>

namespace ui {

namespace {

std::function<QDateTime()> &clock()
{
    static std::function<QDateTime()> now;
    return now;
}

QDateTime now() { return clock() ? clock()() : QDateTime::currentDateTime(); }

// What one run of the program has backed up; lives with the main window.
class Keeper : public QObject {
public:
    explicit Keeper(Form1 *main) : QObject(main), m_main(main) { setObjectName(QStringLiteral("backupKeeper")); }
    ~Keeper() override
    {
        if (m_thread.joinable())
            m_thread.join(); // the copy is finished, not cut off; nobody is told any more
    }

    static Keeper *find(Form1 *main)
    {
        return main->findChild<Keeper *>(QStringLiteral("backupKeeper"), Qt::FindDirectChildrenOnly);
    }
    static Keeper *of(Form1 *main)
    {
        auto *k = find(main);
        return k ? k : new Keeper(main);
    }

    // A server ledger's backups go to the backup folder beside ledgerPath.
    void keepServerBackupsBeside(const QString &ledgerPath) { m_serverLedger = ledgerPath; }
    bool onServer() const { return !m_serverLedger.isEmpty() && server(); }

    void startDaily()
    {
        const QDateTime at = now();
        if (m_thread.joinable() || ledger::hasBackupOn(ledgerPath(), at.date()))
            return;
        m_thread = std::thread([this, backup = backupFor(at)] {
            m_result = backup();
            QMetaObject::invokeMethod(this, [this] { finishDaily(); }, Qt::QueuedConnection);
        });
    }

    void finishDaily()
    {
        if (!m_thread.joinable())
            return;
        m_thread.join();
        report(m_result);
    }

    void beforeDeletion()
    {
        const QDateTime at = now();
        if (m_lastDeletionBackup.isValid() && m_lastDeletionBackup.secsTo(at) < ledger::kDeletionBackupGapSecs &&
            m_lastDeletionBackup <= at)
            return;
        finishDaily();
        m_lastDeletionBackup = at;
        report(backupFor(at)());
    }

private:
    QString ledgerPath() const
    {
        return onServer() ? m_serverLedger : QFileInfo(m_main->store()->path()).absoluteFilePath();
    }

    // The backup made at time at; it may run on another thread. A server ledger's is read over a
    // connection of its own, made there.
    std::function<ledger::BackupResult()> backupFor(const QDateTime &at) const
    {
        if (!onServer())
            return [path = ledgerPath(), at] { return ledger::backupLedger(path, at); };
        return [path = ledgerPath(), to = server()->connection().address(), at] {
            return ledger::backupServerLedger(path, to, at);
        };
    }
    ledger::ServerStore *server() const { return dynamic_cast<ledger::ServerStore *>(m_main->store()); }

    // Once a run: the shopkeeper knows, and the next start tries again.
    void report(const ledger::BackupResult &r)
    {
        if (r.ok() || m_reported)
            return;
        m_reported = true;
        const QString path = m_main->store()->path();
        message(m_main, onServer() ? QStringLiteral("无法备份服务器“%1”上的账本：%2！").arg(path, r.error)
                                   : QStringLiteral("无法备份账本文件“%1”：%2！").arg(QFileInfo(path).fileName(), r.error));
    }

    Form1 *m_main;
    std::thread m_thread;
    ledger::BackupResult m_result;
    QDateTime m_lastDeletionBackup;
    bool m_reported = false;
    QString m_serverLedger;
};

} // namespace

// A ledger file, or a server ledger whose folder is known.
static bool backedUp(Form1 *main)
{
    if (dynamic_cast<ledger::FileStore *>(main->store()))
        return true;
    const Keeper *k = Keeper::find(main);
    return k && k->onServer();
}

void keepServerBackupsBeside(Form1 *main, const QString &ledgerPath)
{
    Keeper::of(main)->keepServerBackupsBeside(QFileInfo(ledgerPath).absoluteFilePath());
}

void startDailyBackup(Form1 *main)
{
    ledger::Store *store = main->store();
    try {
        if (!backedUp(main) || !store->hasRows())
            return; // nothing to keep yet
    } catch (const ledger::StoreError &) {
        return;
    }
    Keeper::of(main)->startDaily();
}

void backupBeforeDeletion(Form1 *main, qint64 records)
{
    if (records > 1 && backedUp(main))
        Keeper::of(main)->beforeDeletion();
}

void backupBeforeDeletion(Form1 *main, const std::function<bool(const ledger::Record &)> &removes)
{
    if (!backedUp(main))
        return;
    try {
        const auto &rows = main->store()->rows();
        backupBeforeDeletion(main, std::count_if(rows.cbegin(), rows.cend(), removes));
    } catch (const ledger::StoreError &) {
        // The deletion itself will meet the same trouble and say so.
    }
}

void waitForBackups(Form1 *main) { Keeper::of(main)->finishDaily(); }

void setBackupClock(std::function<QDateTime()> c) { clock() = std::move(c); }

} // namespace ui
