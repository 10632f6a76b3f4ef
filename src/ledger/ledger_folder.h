// Which folder a start of the program keeps its ledger file 1.mdb in. A start from the desktop
// menu runs in the home folder, where a ledger file does not belong: such a start uses a
// folder of its own under the user's data folder instead.
#pragma once

#include <QString>

namespace ledger {

inline const QString kLedgerFileName = QStringLiteral("1.mdb");
inline const QString kProgramName = QStringLiteral("warehouse");

// $XDG_DATA_HOME/warehouse, or ~/.local/share/warehouse when XDG_DATA_HOME is unset or not
// an absolute path (relative values are to be ignored).
QString userLedgerFolder(const QString &home, const QString &xdgDataHome);

// The folder for this start, as an absolute path:
//   chosen (--folder) when given, relative paths taken from the current folder;
//   else the current folder when it holds 1.mdb or is not the home folder;
//   else (a menu start in the home folder without a ledger) userLedgerFolder().
QString ledgerFolder(const QString &chosen, const QString &current, const QString &home,
                     const QString &xdgDataHome);

// ledgerFolder() for this process: current folder, $HOME and $XDG_DATA_HOME.
QString ledgerFolderForStart(const QString &chosen);

// Creates the folder if it is missing and makes it the current folder, so that the ledger and
// the help file are found there. False when either fails.
bool enterFolder(const QString &folder);

} // namespace ledger
