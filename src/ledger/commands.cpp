#include "ledger/commands.h"

#include "ledger/backup.h"
#include "ledger/csv.h"
#include "ledger/ledger_folder.h"
#include "ledger/manual.h"
#include "ledger/file_store.h"
#include "ledger/pg_db.h"
#include "ledger/server_backup.h"
#include "ledger/server_ledger.h"
#include "ledger/server_store.h"
#include "ledger/history.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace ledger {

namespace {


// QApplication's own options, which a start with a window may carry (with a value or not).
const QStringList kQtValueOptions = {QStringLiteral("platform"), QStringLiteral("platformpluginpath"),
                                     QStringLiteral("platformtheme"), QStringLiteral("plugin"),
                                     QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowicon"),
                                     QStringLiteral("qwindowtitle"), QStringLiteral("display"),
                                     QStringLiteral("geometry"), QStringLiteral("session"),
                                     QStringLiteral("style"), QStringLiteral("stylesheet")};
const QStringList kQtFlags = {QStringLiteral("reverse"), QStringLiteral("widgetcount")};

// A backup's name as --list-backups prints it is relative to the ledger's folder, a name typed
// in a terminal to the current folder: the current folder is tried first.
QString findBackup(const QString &ledgerPath, const QString &file)
{
    if (QFileInfo::exists(file) || QDir::isAbsolutePath(file))
        return file;
    const QString inLedgerFolder = QFileInfo(ledgerPath).absoluteDir().filePath(file);
    return QFileInfo::exists(inLedgerFolder) ? inLedgerFolder : file;
}

// The backup's name as the shopkeeper sees it: relative to the ledger's folder.
QString shown(const QString &ledgerPath, const QString &path)
{
    return QFileInfo(ledgerPath).absoluteDir().relativeFilePath(path);
}

// server: the folder's server ledger, or empty for its file.
int restore(const QString &ledgerPath, const QString &server, const QString &name, const QDateTime &now,
            QTextStream &out, QTextStream &err)
{
    const QString file = findBackup(ledgerPath, name);
    const RestoreResult r = server.isEmpty() ? restoreBackup(ledgerPath, file, now)
                                             : restoreServerBackup(ledgerPath, server, file, now);
    if (!r.ok()) {
        err << r.error << Qt::endl;
        return 1;
    }
    if (!r.keptAs.isEmpty())
        out << QStringLiteral("原来的账本已保存为“%1”。").arg(shown(ledgerPath, r.keptAs)) << Qt::endl;
    const QString ledger = server.isEmpty() ? QStringLiteral("账本“%1”").arg(QFileInfo(ledgerPath).fileName())
                                            : QStringLiteral("服务器“%1”上的账本").arg(pgdb::describeServer(server));
    out << QStringLiteral("已用“%1”恢复%2，共 %3 条记录。")
               .arg(name, ledger)
               .arg(r.rows)
        << Qt::endl;
    return 0;
}

// The folder's ledger as the listings name it: a file by its name, a server by host and database.
QString shownName(const QString &ledgerPath)
{
    const QString server = serverConnection(QFileInfo(ledgerPath).absolutePath());
    return server.isEmpty() ? QFileInfo(ledgerPath).fileName() : pgdb::describeServer(server);
}

int list(const QString &ledgerPath, QTextStream &out)
{
    const std::vector<BackupFile> all = listBackups(ledgerPath);
    const QString name = shownName(ledgerPath);
    if (all.empty()) {
        out << QStringLiteral("还没有账本“%1”的备份（文件夹“备份”中没有备份文件）。").arg(name) << Qt::endl;
        return 0;
    }
    out << QStringLiteral("账本“%1”的备份，共 %2 个，最新的在前（文件名相对于账本所在的文件夹“%3”）：")
               .arg(name)
               .arg(all.size())
               .arg(QDir::toNativeSeparators(QFileInfo(ledgerPath).absolutePath()))
        << Qt::endl;
    for (auto it = all.crbegin(); it != all.crend(); ++it) {
        const LedgerCheck c = checkLedgerFile(it->path, false);
        const QString what = c.ok() ? QStringLiteral("%1 条记录").arg(c.rows) : QStringLiteral("无法读取：%1").arg(c.error);
        out << it->time.toString(QStringLiteral("yyyy-MM-dd HH:mm")) << QStringLiteral("  ")
            << shown(ledgerPath, it->path) << QStringLiteral("  ") << what << Qt::endl;
    }
    return 0;
}

// The folder's ledger, the file or the server its settings name, opened only to be read: it
// must exist, and nothing is set up in it. Null, with the reason told on err, when it cannot.
std::unique_ptr<Store> openForReading(const QString &ledgerPath, QTextStream &err)
{
    const QString server = serverConnection(QFileInfo(ledgerPath).absolutePath());
    const LedgerCheck check = server.isEmpty() ? checkLedgerFile(ledgerPath, false) : LedgerCheck{};
    if (!check.ok()) {
        err << StoreError(StoreError::Kind::Read, ledgerPath, check.error).message() << Qt::endl;
        return nullptr;
    }
    try {
        if (server.isEmpty())
            return FileStore::open(ledgerPath, Store::kLockWait, FileStore::Purpose::Reading);
        return ServerStore::open(server, {}, Store::kLockWait, ServerStore::Purpose::Reading);
    } catch (const StoreError &e) {
        err << e.message() << Qt::endl;
        return nullptr;
    }
}

int exportAll(const QString &ledgerPath, const QString &file, QTextStream &out, QTextStream &err)
{
    if (const QString why = exportTargetProblem(file, ledgerPath); !why.isEmpty()) {
        err << QStringLiteral("无法导出到“%1”：%2！").arg(file, why) << Qt::endl;
        return 1;
    }
    const std::unique_ptr<Store> store = openForReading(ledgerPath, err);
    if (!store)
        return 1;
    try {
        store->rows();
    } catch (const StoreError &e) {
        err << e.message() << Qt::endl;
        return 1;
    }
    // Line by line from the rows: a large ledger is not held a second time as text.
    const std::vector<Record> &rows = store->loadedRows();
    const auto count = static_cast<qsizetype>(rows.size());
    const QString why = writeCsvFile(file, recordHeader(), count,
                                     [&rows](qsizetype i) { return recordCells(rows[static_cast<std::size_t>(i)]); });
    if (!why.isEmpty()) {
        err << QStringLiteral("无法导出到“%1”：%2！").arg(file, why) << Qt::endl;
        return 1;
    }
    out << QStringLiteral("已把账本的 %1 条记录导出到“%2”。").arg(count).arg(file) << Qt::endl;
    return 0;
}

int printHistory(const QString &ledgerPath, int count, QTextStream &out, QTextStream &err)
{
    const std::unique_ptr<Store> store = openForReading(ledgerPath, err);
    if (!store)
        return 1;
    std::vector<ChangeEntry> entries;
    try {
        entries = store->history(count);
    } catch (const StoreError &e) {
        err << e.message() << Qt::endl;
        return 1;
    }
    const QString name = shownName(ledgerPath);
    if (entries.empty()) {
        out << QStringLiteral("账本“%1”还没有操作记录。").arg(name) << Qt::endl;
        return 0;
    }
    out << QStringLiteral("账本“%1”最近的 %2 条操作记录，最新的在前：").arg(name).arg(entries.size()) << Qt::endl;
    for (const ChangeEntry &e : entries)
        out << QStringLiteral("%1  第 %2 号  %3  %4")
                   .arg(e.time.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                   .arg(e.number)
                   .arg(e.computer, e.summary)
            << Qt::endl;
    return 0;
}

// Qt's parser tells what is wrong in English: the same in Chinese, with the option as typed.
QString wrongOption(const QList<QCommandLineOption> &options, const QStringList &unknown, const QStringList &args)
{
    QStringList typed, givenValue;
    for (const QString &arg : args) {
        if (arg == QStringLiteral("--"))
            break;
        if (!arg.startsWith(u'-') || arg == QStringLiteral("-"))
            continue;
        const QString option = arg.section(u'=', 0, 0);
        const QString name = option.mid(option.startsWith(QStringLiteral("--")) ? 2 : 1);
        if (unknown.contains(name))
            typed << option;
        else if (arg.contains(u'=') && std::any_of(options.cbegin(), options.cend(), [&](const QCommandLineOption &o) {
                     return o.valueName().isEmpty() && o.names().contains(name);
                 }))
            givenValue << option;
    }
    if (!typed.isEmpty())
        return QStringLiteral("未知选项：%1").arg(typed.join(QStringLiteral("、")));
    if (!givenValue.isEmpty())
        return QStringLiteral("选项“%1”不带参数").arg(givenValue.constFirst());
    // What is left: an option that needs a value ends the line.
    return QStringLiteral("选项“%1”缺少参数").arg(args.value(args.size() - 1));
}

} // namespace

Options parseOptions(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions); // -platform, -style
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("?")});
    const QCommandLineOption folder(QStringLiteral("folder"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption quit(QStringLiteral("quit-after-start"));
    const QCommandLineOption restoreFrom(QStringLiteral("restore"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption listing(QStringLiteral("list-backups"));
    const QCommandLineOption exportTo(QStringLiteral("export"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption toServer(QStringLiteral("move-to-server"), QString(), QStringLiteral("CONNECTION"));
    const QCommandLineOption server(QStringLiteral("server"), QString(), QStringLiteral("CONNECTION"));
    const QCommandLineOption toFile(QStringLiteral("move-to-file"));
    const QCommandLineOption history(QStringLiteral("history"));
    QList<QCommandLineOption> options = {help, folder, quit, restoreFrom, listing, exportTo, history, toServer, server, toFile};
    for (const QString &name : kQtValueOptions)
        options << QCommandLineOption(name, QString(), QStringLiteral("VALUE"));
    for (const QString &name : kQtFlags)
        options << QCommandLineOption(name);
    parser.addOptions(options);

    Options o;
    if (!parser.parse(QStringList{kProgramName} + args)) {
        o.error = QStringLiteral("选项有误（%1）").arg(wrongOption(options, parser.unknownOptionNames(), args));
        return o;
    }
    o.help = parser.isSet(help);
    o.folder = parser.value(folder);
    o.quitAfterStart = parser.isSet(quit);
    QStringList commands;
    for (const QCommandLineOption *c : {&restoreFrom, &listing, &exportTo, &history, &toServer, &server, &toFile})
        if (parser.isSet(*c))
            commands << QStringLiteral("--") + c->names().constFirst();
    bool qtOptions = false;
    for (const QString &name : kQtValueOptions + kQtFlags)
        qtOptions = qtOptions || parser.isSet(name);
    o.command = commands.value(0);
    for (const QCommandLineOption *c : {&restoreFrom, &exportTo, &toServer, &server})
        if (o.command == QStringLiteral("--") + c->names().constFirst())
            o.file = parser.value(*c);
    QStringList words = parser.positionalArguments();
    // --history N: the number is optional, so the parser sees it as a word.
    if (o.command == QStringLiteral("--history") && words.size() == 1) {
        bool number = false;
        o.historyCount = words.constFirst().toInt(&number);
        if (number && o.historyCount > 0)
            words.clear();
        else
            o.historyCount = kDefaultHistory;
    }
    if (!words.isEmpty())
        o.error = QStringLiteral("不认识的参数：%1").arg(parser.positionalArguments().join(u' '));
    else if (commands.size() > 1)
        o.error = QStringLiteral("%1 不能同时使用").arg(commands.join(QStringLiteral("、")));
    else if (!o.command.isEmpty() && (o.quitAfterStart || qtOptions))
        o.error = QStringLiteral("%1 不打开窗口，不能与窗口的选项同时使用").arg(o.command);
    else if (o.command != QStringLiteral("--list-backups") && o.command != QStringLiteral("--move-to-file") &&
             o.command != QStringLiteral("--history") && o.file.startsWith(u'-'))
        o.error = QStringLiteral("%1 后面缺少%2").arg(o.command, o.command.contains(QStringLiteral("server"))
                                                                   ? QStringLiteral("连接参数")
                                                                   : QStringLiteral("文件名"));
    return o;
}

QString ledgerInUse(const QString &ledgerPath)
{
    const QString server = serverConnection(QFileInfo(ledgerPath).absolutePath());
    if (server.isEmpty())
        return QStringLiteral("当前账本：文件“%1”").arg(QDir::toNativeSeparators(ledgerPath));
    return QStringLiteral("当前账本：服务器“%1”").arg(pgdb::describeServer(server));
}

QString usage()
{
    return QStringLiteral(
        "用法：warehouse [--folder 文件夹] [--quit-after-start]\n"
        "      warehouse [--folder 文件夹] --list-backups | --restore 备份文件 | --export 文件.csv | --history [条数]\n"
        "      warehouse [--folder 文件夹] --move-to-server \"连接参数\" | --server \"连接参数\" | --move-to-file\n"
        "\n"
        "  --folder 文件夹        账本文件 1.mdb 所在的文件夹（没有则新建）\n"
        "  --quit-after-start     打开账本和主窗口后立即退出（检查安装用）\n"
        "  --list-backups         列出账本的备份：时间、文件名和记录数\n"
        "  --restore 备份文件     用备份文件恢复账本（当前的账本先保留在“备份”中）；\n"
        "                         文件名先在当前文件夹中找，再在账本所在的文件夹中找\n"
        "  --export 文件.csv      把账本的全部记录导出为 CSV 文件\n"
        "  --history [条数]       列出最近的操作记录（默认 50 条），最新的在前\n"
        "  --move-to-server \"连接参数\"\n"
        "                         把账本文件的全部记录迁移到 PostgreSQL 服务器上的新账本，\n"
        "                         此文件夹今后使用服务器（原文件保留在“备份”中）\n"
        "  --server \"连接参数\"    此文件夹今后使用服务器上已有的账本\n"
        "  --move-to-file         把服务器上的账本复制成账本文件 1.mdb，此文件夹今后使用该文件\n"
        "  -h, --help             显示这些选项\n"
        "\n"
        "--list-backups、--restore、--export、--history、--move-to-server、--server 和 --move-to-file\n"
        "不打开窗口，一次只能用其中一个。连接参数例如 \"host=192.168.1.10 dbname=shop user=shop\"；\n"
        "密码来自 ~/.pgpass、PGPASSFILE 或 PGPASSWORD。\n"
        "\n"
        "使用说明：在程序的任一窗口按 F1，或用浏览器打开 %1\n").arg(manualHint());
}

std::optional<int> runCommand(const QStringList &args, const QString &ledgerPath, const QDateTime &now,
                              QTextStream &out, QTextStream &err)
{
    const Options o = parseOptions(args);
    if (!o.error.isEmpty()) {
        err << o.error << Qt::endl << usage() << Qt::flush;
        return 2;
    }
    if (o.help) {
        out << usage() << ledgerInUse(ledgerPath) << Qt::endl;
        return 0;
    }
    if (o.command == QStringLiteral("--move-to-server"))
        return moveToServer(ledgerPath, o.file, now, out, err);
    if (o.command == QStringLiteral("--server"))
        return useServer(ledgerPath, o.file, out, err);
    if (o.command == QStringLiteral("--move-to-file"))
        return moveToFile(ledgerPath, out, err);
    // A server ledger's backups are in the folder's "备份" as a file ledger's are.
    const QString server = serverConnection(QFileInfo(ledgerPath).absolutePath());
    if (o.command == QStringLiteral("--list-backups"))
        return list(ledgerPath, out);
    if (o.command == QStringLiteral("--restore"))
        return restore(ledgerPath, server, o.file, now, out, err);
    if (o.command == QStringLiteral("--export"))
        return exportAll(ledgerPath, o.file, out, err);
    if (o.command == QStringLiteral("--history"))
        return printHistory(ledgerPath, o.historyCount, out, err);
    return std::nullopt;
}

std::optional<int> runCommandLine(int argc, char *argv[], Options &start)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    start = parseOptions(args);
    if (start.error.isEmpty() && !start.help && start.command.isEmpty())
        return std::nullopt;
    // No window and no display: a console application.
    QCoreApplication app(argc, argv);
    QTextStream out(stdout), err(stderr);
    // The same ledger a start with these arguments opens (--folder, or the menu start's folder).
    const QString ledgerPath = QDir(ledgerFolderForStart(start.folder)).filePath(kLedgerFileName);
    return runCommand(args, ledgerPath, QDateTime::currentDateTime(), out, err);
}

} // namespace ledger
