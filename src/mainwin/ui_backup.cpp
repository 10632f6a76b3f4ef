#include "mainwin/ui_backup.h"

#include "ledger/backup.h"
#include "ledger/file_store.h"
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

    static Keeper *of(Form1 *main)
    {
        auto *k = main->findChild<Keeper *>(QStringLiteral("backupKeeper"), Qt::FindDirectChildrenOnly);
        return k ? k : new Keeper(main);
    }

    void startDaily()
    {
        const QDateTime at = now();
        if (m_thread.joinable() || ledger::hasBackupOn(ledgerPath(), at.date()))
            return;
        m_thread = std::thread([this, path = ledgerPath(), at] {
            m_result = ledger::backupLedger(path, at);
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
        report(ledger::backupLedger(ledgerPath(), at));
    }

private:
    QString ledgerPath() const { return QFileInfo(m_main->store()->path()).absoluteFilePath(); }

    // Once a run: the shopkeeper knows, and the next start tries again.
    void report(const ledger::BackupResult &r)
    {
        if (r.ok() || m_reported)
            return;
        m_reported = true;
        message(m_main, QStringLiteral("无法备份账本文件“%1”：%2！")
                            .arg(QFileInfo(m_main->store()->path()).fileName(), r.error));
    }

    Form1 *m_main;
    std::thread m_thread;
    ledger::BackupResult m_result;
    QDateTime m_lastDeletionBackup;
    bool m_reported = false;
};

} // namespace

// Backups copy the ledger file; a ledger on a server has none here.
static bool onFile(Form1 *main) { return dynamic_cast<ledger::FileStore *>(main->store()) != nullptr; }

void startDailyBackup(Form1 *main)
{
    ledger::Store *store = main->store();
    try {
        if (!onFile(main) || !store->hasRows())
            return; // nothing to keep yet
    } catch (const ledger::StoreError &) {
        return;
    }
    Keeper::of(main)->startDaily();
}

void backupBeforeDeletion(Form1 *main, qint64 records)
{
    if (records > 1 && onFile(main))
        Keeper::of(main)->beforeDeletion();
}

void backupBeforeDeletion(Form1 *main, const std::function<bool(const ledger::Record &)> &removes)
{
    if (!onFile(main))
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
