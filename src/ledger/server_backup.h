// Backups of a ledger on a server, kept in the folder "备份" of the ledger folder that names the
// server, as files in the format of 1.mdb: named, checked and thinned like the backups of a
// ledger file, so that --list-backups, --restore and every reader of 1.mdb take them as they are.
// Also the restore of such a file (or of any ledger file) onto the server.
#pragma once

#include "ledger/backup.h"
#include "ledger/pg_db.h"

namespace ledger {

// A backup of the ledger on the server that db reaches, in the backup folder of ledgerPath (the
// folder's 1.mdb, which a folder with a server ledger does not hold): every row with its id, the
// record of changes, the codes and the stock-takes, read in one snapshot, in a new ledger file
// with the tables a ledger file keeps them in. Before it is put in place it is checked against
// the snapshot (count and checksum of every row with its id, count of the rest). kind and thin
// as for backupWith(); version, when given, is set to the counter of changes it saw.
BackupResult backupServerLedger(const QString &ledgerPath, pgdb::Connection &db, const QDateTime &now,
                                const QString &kind = {}, bool thin = true, qint64 *version = nullptr);
// The same over a connection of its own to server, e.g. from a thread of its own.
BackupResult backupServerLedger(const QString &ledgerPath, const pgdb::Address &server, const QDateTime &now);

// --restore FILE on the server ledger of conninfo: the backup must pass the checks of a file
// restore; refused while another session is connected to the ledger. The server's current rows
// are first kept as a backup the thinning never removes (...-恢复前.mdb); then the backup's rows
// (with their ids), record of changes, codes and stock-takes take the place of the server's in
// one transaction, with an entry for the restore. On any problem nothing is changed.
RestoreResult restoreServerBackup(const QString &ledgerPath, const QString &conninfo, const QString &file,
                                  const QDateTime &now);

} // namespace ledger
