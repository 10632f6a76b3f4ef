#include "ledger/csv.h"

#include "ledger/backup.h"
#include "ledger/columns.h"
#include "ledger/durable.h"
#include "ledger/ledger_table.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace ledger {

namespace {

bool isPlainNumber(const QString &cell)
{
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
    return number.match(cell).hasMatch();
}

// Quotes a cell when it holds the separator, a quote or a line break; quotes are doubled.
QString quoted(const QString &cell, QChar separator)
{
    const bool needs = cell.contains(separator) || cell.contains(u'"') || cell.contains(u'\n') ||
                       cell.contains(u'\r');
    if (!needs)
        return cell;
    QString out = cell;
    out.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + out + u'"';
}

void appendLine(QString &out, const QStringList &cells, QChar separator, const QString &lineEnd)
{
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0)
            out += separator;
        out += quoted(safeCell(cells[i]), separator);
    }
    out += lineEnd;
}

QString joined(const Table &table, QChar separator, const QString &lineEnd)
{
    QString out;
    appendLine(out, table.header, separator, lineEnd);
    for (const QStringList &r : table.rows)
        appendLine(out, r, separator, lineEnd);
    return out;
}

const QString kCrLf = QStringLiteral("\r\n");

QString nullAsEmpty(const QString &s) { return s.isNull() ? QStringLiteral("") : s; }

} // namespace

QString safeCell(const QString &cell)
{
    static const QString risky = QStringLiteral("=+-@\t\r");
    if (cell.isEmpty() || !risky.contains(cell.front()) || isPlainNumber(cell))
        return cell;
    return u'\'' + cell;
}

QByteArray toCsv(const Table &table)
{
    return QByteArray("\xEF\xBB\xBF") + joined(table, u',', kCrLf).toUtf8();
}

QString toTsv(const Table &table) { return joined(table, u'\t', QStringLiteral("\n")); }

QString writeCsvFile(const QString &path, const Table &table)
{
    return writeCsvFile(path, table.header, table.rows.size(), [&table](qsizetype i) { return table.rows[i]; });
}

namespace {

// path with every link followed and the folder made canonical; the file itself need not exist.
QString resolved(const QString &path)
{
    QFileInfo fi(path);
    for (int hops = 0; fi.isSymLink() && hops < 40; ++hops)
        fi.setFile(fi.symLinkTarget());
    const QString folder = QFileInfo(fi.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? fi.absoluteFilePath() : QDir(folder).filePath(fi.fileName());
}

} // namespace

QString exportTargetProblem(const QString &target, const QString &ledgerPath)
{
    const QString to = resolved(target);
    const QString ledger = resolved(ledgerPath);
    const QFileInfo fi(ledger);
    const QRegularExpression kept(QStringLiteral("^%1\\.jet\\d*\\.mdb$").arg(QRegularExpression::escape(fi.completeBaseName())));
    if (to == ledger)
        return QStringLiteral("这是账本文件本身");
    if (to == ledger + QStringLiteral("-journal"))
        return QStringLiteral("这是账本的日志文件");
    if (QFileInfo(to).absolutePath() == fi.absolutePath() && kept.match(QFileInfo(to).fileName()).hasMatch())
        return QStringLiteral("这是保留的 Access 旧账本原文件");
    if (QFileInfo(to).absolutePath() == resolved(backupFolder(ledger)))
        return QStringLiteral("这是备份文件夹中的文件");
    return QString();
}

QString writeCsvFile(const QString &path, const QStringList &header, qsizetype count,
                     const std::function<QStringList(qsizetype)> &cells)
{
    const QFileInfo target(resolved(path));
    if (target.exists() && (!target.isFile() || target.isSymLink()))
        return QStringLiteral("“%1”不是普通文件").arg(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        const QFileInfo folder(QFileInfo(path).absolutePath());
        if (!folder.isDir())
            return QStringLiteral("文件夹“%1”不存在").arg(folder.filePath());
        if (!folder.isWritable())
            return QStringLiteral("没有在文件夹“%1”中写入的权限").arg(folder.filePath());
        return QStringLiteral("无法建立文件（%1）").arg(file.errorString());
    }
    // Written in pieces of about a megabyte.
    QString text;
    bool ok = file.write("\xEF\xBB\xBF", 3) == 3;
    auto flush = [&] {
        const QByteArray bytes = text.toUtf8();
        ok = ok && file.write(bytes) == bytes.size();
        text.clear();
    };
    appendLine(text, header, u',', kCrLf);
    for (qsizetype i = 0; i < count && ok; ++i) {
        appendLine(text, cells(i), u',', kCrLf);
        if (text.size() > (1 << 19))
            flush();
    }
    flush();
    if (!ok || !file.commit()) {
        const QString why = file.error() == QFileDevice::ResourceError ? QStringLiteral("磁盘空间已满")
                                                                        : file.errorString();
        file.cancelWriting();
        return QStringLiteral("写入文件时出错（%1）").arg(why);
    }
    // The new name must be on the disk before the export is reported done.
    syncFolderOf(path);
    return QString();
}

QStringList transactionHeader()
{
    return {QStringLiteral("商品名"), QStringLiteral("价格"), QStringLiteral("数量"), QStringLiteral("总额"),
            QStringLiteral("日期"),   QStringLiteral("方法"), QStringLiteral("交易号码")};
}

QStringList transactionCells(const Record &r)
{
    QStringList out;
    for (const QString *s : {&r.name, &r.price, &r.qty, &r.total, &r.date, &r.method, &r.txno})
        out << nullAsEmpty(*s);
    return out;
}

QStringList recordHeader() { return ledgerColumns(); }

QStringList recordCells(const Record &r)
{
    QStringList out{r.hasKind ? QString::number(r.kind) : QStringLiteral("")};
    for (const Column &c : kTextColumns)
        out << nullAsEmpty(r.*c.field);
    return out;
}

} // namespace ledger
