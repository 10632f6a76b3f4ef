// The command-line options, which work on the ledger without any window or display:
//   --restore FILE      puts a backup in place of the ledger (the current one is kept as a backup)
//   --list-backups      lists the backups with their time and number of records
//   --export FILE.csv   writes every record, all nine columns in stored order, as CSV
#pragma once

#include <QDateTime>
#include <QStringList>
#include <QTextStream>
#include <optional>

namespace ledger {

// Runs the option named in args (the arguments after the program's name) on the ledger file.
// Returns the exit code, or nothing when args hold none of the options.
std::optional<int> runCommand(const QStringList &args, const QString &ledgerPath, const QDateTime &now,
                              QTextStream &out, QTextStream &err);

// What main calls first: when the arguments hold an option, runs it under a QCoreApplication on
// the ledger a start with the same arguments would open, and returns the exit code.
std::optional<int> runCommandLine(int argc, char *argv[]);

} // namespace ledger
