// Tables taken out of the program for spreadsheets: CSV files (UTF-8 with a byte-order mark,
// CRLF, quoted as RFC 4180 says) and tab-separated text for the clipboard.
#pragma once

#include "ledger/store.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace ledger {

struct Table {
    QStringList header;
    QList<QStringList> rows;
};

// A cell as a spreadsheet should take it: a text starting with "=", "+", "-", "@", a tab or a
// carriage return gets a leading apostrophe so that it is not run as a formula; a plain number
// ("-3", "+1.5", "2E3") stays a number.
QString safeCell(const QString &cell);

// The whole table as a CSV file's bytes.
QByteArray toCsv(const Table &table);
// The whole table as tab-separated lines ("\n" after each), quoted where a cell holds a tab,
// a line break or a quote.
QString toTsv(const Table &table);

// Why an export must not write to target, as a Chinese phrase; empty when it may. After
// following links and relative names, target must not be the ledger, its journal, the kept
// original of an Access ledger or a file in the backup folder.
QString exportTargetProblem(const QString &target, const QString &ledgerPath);

// Writes the CSV to a temporary file beside path and renames it to path, so that path never
// holds half a table. A path that exists and is not a regular file (a device, a folder) is
// refused: the rename would replace it. Returns why it failed, as a Chinese phrase; empty on
// success.
QString writeCsvFile(const QString &path, const Table &table);
// The same for a table given line by line (cells(i) for i below count): written as it is made,
// so a ledger's worth of lines never sits in memory as one text.
QString writeCsvFile(const QString &path, const QStringList &header, qsizetype count,
                     const std::function<QStringList(qsizetype)> &cells);

// Columns of a transaction line: 商品名, 价格, 数量, 总额, 日期, 方法, 交易号码.
QStringList transactionHeader();
QStringList transactionCells(const Record &r);
// All nine stored columns, in order: 标号 … 交易号码.
QStringList recordHeader();
QStringList recordCells(const Record &r);

} // namespace ledger
