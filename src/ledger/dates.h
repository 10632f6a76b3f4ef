// Dates as the ledger stores them: free text, read in year-month-day order.
#pragma once

#include <QDate>
#include <QHash>
#include <QString>
#include <optional>

namespace ledger {

// Reads "2024/6/15", "24-6-15", "2024.06.15", ... : a 2- or 4-digit year, a 1- or 2-digit month
// and day, separated by "-", "/" or ".", or written 2024年6月15日 (the 日 may be left out);
// surrounding blanks are ignored. Two-digit years 00-29
// are 20xx, 30-99 are 19xx. Anything that is not a real calendar day gives nothing.
std::optional<QDate> readDate(const QString &text);

// Normalised renderings used to compare dates as texts ("24-06-15", "24-06", "24").
// An unreadable text gives a null QString.
QString dateYYMMDD(const QString &text);
QString dateYYMM(const QString &text);
QString dateYY(const QString &text);
QString dateYYMMDD(const QDate &d);
QString dateYYMM(const QDate &d);
QString dateYY(const QDate &d);

// A readable date as one number that orders and compares like its "YY-MM-DD" text:
// yy * 10000 + mm * 100 + dd (so day / 100 compares like "YY-MM" and day / 10000 like "YY").
// kNoDay when the text cannot be read.
inline constexpr int kNoDay = -1;
int dayNumber(const QString &text);
int dayNumber(const QDate &d);

// dayNumber for the dates of many records in one pass: a ledger holds few distinct date
// texts, so each is read once. Keep one for the length of a pass.
class DayMemo {
public:
    int day(const QString &text);

private:
    QString m_lastText[2];
    int m_lastDay[2] = {kNoDay, kNoDay};
    int m_next = 0;
    QHash<QString, int> m_seen;
};

// The text put into the date box for today: yyyy/M/d (2026/12/7) on every machine.
QString currentDateText(const QDate &today);
inline QString currentDateText() { return currentDateText(QDate::currentDate()); }

// The text delivered by the date picker: last two digits of the year, month, day (03-5-6).
QString pickedDateText(const QDate &d);

} // namespace ledger
