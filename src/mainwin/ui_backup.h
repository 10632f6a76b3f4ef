// Backups while the program runs: the daily one after the main window is shown, one before a
// deletion of several records, and the one report of a failure.
#pragma once

#include <QDateTime>
#include <functional>

class Form1;

namespace ledger {
struct Record;
}

namespace ui {

// Makes today's backup of the main window's ledger on a thread of its own, unless the ledger is
// empty or today's backup exists. A write to the ledger meanwhile waits for the copy.
void startDailyBackup(Form1 *main);

// Backs the ledger up before a deletion of this many records: when they are more than one and
// no such backup was made in the last ten minutes. The deletion goes on even when it fails.
void backupBeforeDeletion(Form1 *main, qint64 records);
// The same, for a deletion of the ledger rows for which removes is true.
void backupBeforeDeletion(Form1 *main, const std::function<bool(const ledger::Record &)> &removes);

// Backs the main window's server ledger up like a ledger file, into the backup folder beside
// ledgerPath (the folder's 1.mdb, which it does not have). Without this a server ledger is not
// backed up here.
void keepServerBackupsBeside(Form1 *main, const QString &ledgerPath);

// Waits until a running daily backup is done and reported.
void waitForBackups(Form1 *main);

// The clock the backups go by; tests set a fake one. An empty function restores the real one.
void setBackupClock(std::function<QDateTime()> clock);

} // namespace ui
