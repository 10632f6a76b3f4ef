#include "ledger/commands.h"

#include "ledger/backup.h"
#include "ledger/csv.h"
#include "ledger/ledger_folder.h"
#include "ledger/store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstring>

namespace ledger {

namespace {

const char *const kOptions[] = {"--restore", "--list-backups", "--export"};

// The backup's name as the shopkeeper sees it: relative to the ledger's folder.
QString shown(const QString &ledgerPath, const QString &path)
{
    return QFileInfo(ledgerPath).absoluteDir().relativeFilePath(path);
}

int restore(const QString &ledgerPath, const QString &file, const QDateTime &now, QTextStream &out, QTextStream &err)
{
    const RestoreResult r = restoreBackup(ledgerPath, file, now);
    if (!r.ok()) {
        err << r.error << Qt::endl;
        return 1;
    }
    if (!r.keptAs.isEmpty())
        out << QStringLiteral("原来的账本已保存为“%1”。").arg(shown(ledgerPath, r.keptAs)) << Qt::endl;
    out << QStringLiteral("已用“%1”恢复账本“%2”，共 %3 条记录。")
               .arg(file, QFileInfo(ledgerPath).fileName())
               .arg(r.rows)
        << Qt::endl;
    return 0;
}

int list(const QString &ledgerPath, QTextStream &out)
{
    const std::vector<BackupFile> all = listBackups(ledgerPath);
    const QString name = QFileInfo(ledgerPath).fileName();
    if (all.empty()) {
        out << QStringLiteral("还没有账本“%1”的备份（文件夹“备份”中没有备份文件）。").arg(name) << Qt::endl;
        return 0;
    }
    out << QStringLiteral("账本“%1”的备份，共 %2 个，最新的在前：").arg(name).arg(all.size()) << Qt::endl;
    for (auto it = all.crbegin(); it != all.crend(); ++it) {
        const LedgerCheck c = checkLedgerFile(it->path, false);
        const QString what = c.ok() ? QStringLiteral("%1 条记录").arg(c.rows) : QStringLiteral("无法读取：%1").arg(c.error);
        out << it->time.toString(QStringLiteral("yyyy-MM-dd HH:mm")) << QStringLiteral("  ")
            << shown(ledgerPath, it->path) << QStringLiteral("  ") << what << Qt::endl;
    }
    return 0;
}

int exportAll(const QString &ledgerPath, const QString &file, QTextStream &out, QTextStream &err)
{
    // Only an existing ledger: the export must not create or set up one.
    const LedgerCheck check = checkLedgerFile(ledgerPath, false);
    if (!check.ok()) {
        err << QStringLiteral("无法读取账本文件“%1”：%2！").arg(ledgerPath, check.error) << Qt::endl;
        return 1;
    }
    std::unique_ptr<Store> store;
    try {
        store = Store::open(ledgerPath);
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

} // namespace

std::optional<int> runCommand(const QStringList &args, const QString &ledgerPath, const QDateTime &now,
                              QTextStream &out, QTextStream &err)
{
    for (const char *option : kOptions) {
        const qsizetype at = args.indexOf(QString::fromLatin1(option));
        if (at < 0)
            continue;
        const QString value = args.value(at + 1);
        if (std::strcmp(option, "--list-backups") == 0)
            return list(ledgerPath, out);
        if (value.isEmpty() || value.startsWith(QStringLiteral("--"))) {
            err << QStringLiteral("用法：warehouse %1 %2").arg(QString::fromLatin1(option),
                   std::strcmp(option, "--restore") == 0 ? QStringLiteral("备份文件") : QStringLiteral("文件.csv"))
                << Qt::endl;
            return 2;
        }
        if (std::strcmp(option, "--restore") == 0)
            return restore(ledgerPath, value, now, out, err);
        return exportAll(ledgerPath, value, out, err);
    }
    return std::nullopt;
}

std::optional<int> runCommandLine(int argc, char *argv[])
{
    bool any = false;
    for (int i = 1; i < argc; ++i)
        for (const char *option : kOptions)
            any = any || std::strcmp(argv[i], option) == 0;
    if (!any)
        return std::nullopt;
    // No window and no display: a console application.
    QCoreApplication app(argc, argv);
    QTextStream out(stdout), err(stderr);
    // The same ledger a start with these arguments opens (--folder, or the menu start's folder).
    const QStringList args = app.arguments().mid(1);
    const qsizetype at = args.indexOf(QStringLiteral("--folder"));
    const QString chosen = at >= 0 ? args.value(at + 1) : QString();
    const QString ledgerPath = QDir(ledgerFolderForStart(chosen)).filePath(kLedgerFileName);
    return runCommand(args, ledgerPath, QDateTime::currentDateTime(), out, err);
}

} // namespace ledger
