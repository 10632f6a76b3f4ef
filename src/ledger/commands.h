// The program's command line. Options that work on the ledger without any window or display:
//   --restore FILE      puts a backup in place of the ledger (the current one is kept as a backup)
//   --list-backups      lists the backups with their time and number of records
//   --export FILE.csv   writes every record, all nine columns in stored order, as CSV
//   --move-to-server CONNECTION, --server CONNECTION, --move-to-file: see server_ledger.h
//   --history [N]       prints the last N entries of the record of changes (50 by default)
// and those of a start with a window: --folder DIR, --quit-after-start. --help lists them all.
#pragma once

#include <QDateTime>
#include <QStringList>
#include <QTextStream>
#include <optional>

namespace ledger {

inline constexpr int kDefaultHistory = 50;

struct Options {
    QString error; // why the arguments cannot be run (the usage follows it); empty when they can
    bool help = false;
    QString folder; // --folder
    bool quitAfterStart = false;
    QString command; // "--restore", "--list-backups", "--export", "--history", ...; empty for a start with a window
    QString file;    // the file of --restore or --export, the connection of --server or --move-to-server
    int historyCount = kDefaultHistory; // --history N
};

// Reads the arguments after the program's name. Refuses an option it does not know, one
// without its value, a word that is no option, two commands at once and a command with
// --quit-after-start. Qt's own options of a window start (-platform, -style ...) are let through.
Options parseOptions(const QStringList &args);

// Every option with what it does, as --help prints it.
QString usage();
// Which ledger a start in the folder of ledgerPath uses: the file, or the server (host and
// database, never the password).
QString ledgerInUse(const QString &ledgerPath);

// Runs what args ask for on the ledger file: a command, the help, or a refusal with the usage
// (exit code 2). Returns the exit code, or nothing for a start with a window.
std::optional<int> runCommand(const QStringList &args, const QString &ledgerPath, const QDateTime &now,
                              QTextStream &out, QTextStream &err);

// What main calls first: runs what runCommand would under a QCoreApplication on the ledger a
// start with the same arguments opens, and returns the exit code; for a start with a window
// returns nothing and fills start.
std::optional<int> runCommandLine(int argc, char *argv[], Options &start);

} // namespace ledger
