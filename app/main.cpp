#include "ledger/commands.h"
#include "mainwin/ui_app.h"
#include "mainwin/ui_help.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <cstring>

namespace {

const QCommandLineOption kFolder(QStringLiteral("folder"), QStringLiteral("账本文件 1.mdb 所在的文件夹（没有则新建）"),
                                 QStringLiteral("DIR"));
// Lets an installation be checked without a person: the window comes up, then the program ends.
const QCommandLineOption kQuit(QStringLiteral("quit-after-start"),
                               QStringLiteral("打开账本和主窗口后立即退出（检查安装用）"));

bool asksForHelp(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i)
        for (const char *help : {"-h", "--help", "-?", "--help-all"})
            if (std::strcmp(argv[i], help) == 0)
                return true;
    return false;
}

QString description()
{
    return QStringLiteral("禾岚小型仓储管理软件 VER 1.2\n使用说明：在程序的任一窗口按 F1，或用浏览器打开 %1")
        .arg(ui::manualHint());
}

} // namespace

int main(int argc, char *argv[])
{
    // --restore, --list-backups and --export run without a window.
    if (const std::optional<int> rc = ledger::runCommandLine(argc, argv))
        return *rc;
    QCommandLineParser args;
    args.addHelpOption();
    args.addOptions({kFolder, kQuit});
    if (asksForHelp(argc, argv)) { // prints and exits; needs no display either
        QCoreApplication text(argc, argv);
        args.setApplicationDescription(description());
        args.process(text);
    }
    QApplication app(argc, argv);
    args.setApplicationDescription(description());
    args.process(app);
    if (args.isSet(kQuit))
        QTimer::singleShot(0, &app, [] { QCoreApplication::exit(0); }); // also ends a message box
    if (!ui::enterLedgerFolder(args.value(kFolder)))
        return 1;
    return ui::runProgram();
}
