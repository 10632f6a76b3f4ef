// A ledger folder whose ledger is on a server: the small settings file that remembers the
// connection (never the password), and the commands that move a ledger there and back.
#pragma once

#include <QDateTime>
#include <QString>
#include <QTextStream>

namespace ledger {

// The settings file in a ledger folder that names the server ledger.
inline const QString kServerSettingsName = QStringLiteral("账本服务器.conf");

// The connection string the folder's settings name; empty for a file ledger.
QString serverConnection(const QString &folder);

// The connection string without its password, as the settings keep it; empty when it cannot
// be read as a libpq connection string or URI.
QString withoutPassword(const QString &conninfo);

// --move-to-server: carries 1.mdb (ledgerPath) over to the server, remembers the connection
// and keeps the file in the backup folder. Returns the exit code.
int moveToServer(const QString &ledgerPath, const QString &conninfo, const QDateTime &now, QTextStream &out,
                 QTextStream &err);
// --server: makes the folder use the ledger already on that server.
int useServer(const QString &ledgerPath, const QString &conninfo, QTextStream &out, QTextStream &err);
// --move-to-file: copies the server's ledger into a new 1.mdb and forgets the server.
int moveToFile(const QString &ledgerPath, QTextStream &out, QTextStream &err);

} // namespace ledger
