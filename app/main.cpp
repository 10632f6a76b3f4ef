#include "ledger/commands.h"
#include "mainwin/ui_app.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

int main(int argc, char *argv[])
{
    // --restore, --list-backups and --export run without a window.
    if (const std::optional<int> rc = ledger::runCommandLine(argc, argv))
        return *rc;
    QApplication app(argc, argv);
    QCommandLineParser args;
    args.addHelpOption();
    const QCommandLineOption folder(QStringLiteral("folder"),
                                    QStringLiteral("账本文件 1.mdb 所在的文件夹（没有则新建）"), QStringLiteral("DIR"));
    // Lets an installation be checked without a person: the window comes up, then the program ends.
    const QCommandLineOption quit(QStringLiteral("quit-after-start"),
                                  QStringLiteral("打开账本和主窗口后立即退出（检查安装用）"));
    args.addOptions({folder, quit});
    args.process(app);
    if (args.isSet(quit))
        QTimer::singleShot(0, &app, [] { QCoreApplication::exit(0); }); // also ends a message box
    if (!ui::enterLedgerFolder(args.value(folder)))
        return 1;
    return ui::runProgram();
}
