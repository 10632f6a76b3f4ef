#include "ledger/commands.h"
#include "mainwin/ui_app.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // --restore, --list-backups and --export run without a window.
    if (const std::optional<int> rc = ledger::runCommandLine(argc, argv))
        return *rc;
    QApplication app(argc, argv);
    return ui::runProgram();
}
