// Dates as the ledger stores them: free text, read in year-month-day order.
#pragma once

#include <QDate>
#include <QString>
#include <optional>

namespace ledger {

// Reads "2024/6/15", "24-6-15", "2024.06.15", ... : a 2- or 4-digit year, a 1- or 2-digit month
// and day, separated by "-", "/" or "."; surrounding blanks are ignored. Two-digit years 00-29
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

// The text put into the date box for today: yyyy/M/d (2026/12/7) on every machine.
QString currentDateText(const QDate &today);
inline QString currentDateText() { return currentDateText(QDate::currentDate()); }

// The text delivered by the date picker: last two digits of the year, month, day (03-5-6).
QString pickedDateText(const QDate &d);

} // namespace ledger
