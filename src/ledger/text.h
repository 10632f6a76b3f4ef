// Text helpers shared by every part of the ledger: number reading and writing, the request
// split, display widths and the fixed-width transaction line.
#pragma once

#include <QString>
#include <QStringList>

namespace ledger {

// The titles of the program's message boxes: a notice, a calculation's result.
inline const QString kTipTitle = QStringLiteral("系统提示：");
inline const QString kResultTitle = QStringLiteral("计算结果：");

// Field separator of ledger requests and list lines.
inline constexpr QChar kSep = u'|';
// A request never has more than this many fields; text after the last one is dropped.
inline constexpr int kRequestFields = 11;

// Reads the longest leading number of a text, skipping blanks, tabs and line breaks anywhere
// ("12.5元" -> 12.5, "1 2" -> 12, "abc" -> 0, "1E3" -> 1000). Never fails; a value that does
// not fit a double reads as 0.
double parseNumber(const QString &text);

// Shortest text that shows the value to 15 significant digits: 1500, 12.5, 0.25, -3, 1E+15.
QString formatNumber(double value);

// Rounds to the nearest integer, halves to the even neighbour, saturating at the 64-bit range.
qint64 roundEven(double value);

// Splits a request into exactly kRequestFields fields; missing fields are empty.
QStringList splitRequest(const QString &request);

// Number of characters, counting a character outside the Basic Multilingual Plane once.
int charCount(const QString &text);

// UTF-8 bytes as they are: unlike QString::fromUtf8, a leading U+FEFF is kept.
QString exactFromUtf8(const char *bytes, qsizetype size);

// Display columns: 1 for printable ASCII (32..126), 2 for every other character.
int displayWidth(const QString &text);

// Removes leading / trailing space characters (U+0020 only).
QString trimLeadingSpaces(const QString &text);
QString trimTrailingSpaces(const QString &text);

// The nine stored fields of a record joined by "|" -> one fixed-width transaction line.
QString makeTxLine(const QString &recordText);
// The same line from the fields it shows.
QString makeTxLine(const QString &name, const QString &price, const QString &qty, const QString &total,
                   const QString &date, const QString &method, const QString &txno);
// A transaction line -> delete request "3|name|price|total|date|direction|number||".
QString txLineToRequest(const QString &line);

} // namespace ledger

namespace ledger {
// Two decimals, half up judged on the third decimal of t * 1000 in double arithmetic
// (2.345 -> 2.35, 1.005 -> 1 because 1.005 * 1000 is 1004.999...).
double roundPrice(double t);
} // namespace ledger

namespace ledger {
// Status line after listing transactions: quantity sum, amount sum and average price.
QString totalsLine(qint64 quantitySum, double amountSum);
} // namespace ledger
