#include "ledger/commands.h"
#include "ledger/jet_import.h"
#include "mainwin/ui_app.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    // The child that reads an Access ledger for the program's start.
    if (const std::optional<int> rc = ledger::jet::runReader(argc, argv))
        return *rc;
    // --help, a wrong option, --restore, --list-backups and --export run without a window.
    ledger::Options start;
    if (const std::optional<int> rc = ledger::runCommandLine(argc, argv, start))
        return *rc;
    QApplication app(argc, argv);
    // Lets an installation be checked without a person: the window comes up, then the program ends.
    if (start.quitAfterStart)
        QTimer::singleShot(0, &app, [] { QCoreApplication::exit(0); }); // also ends a message box
    if (!ui::enterLedgerFolder(start.folder))
        return 1;
    return ui::runProgram();
}
