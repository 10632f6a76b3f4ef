// The daily statistics as a chart: the day lines of a run, laid out on the calendar.
#pragma once

#include <QDate>
#include <QStringList>
#include <vector>

namespace ledger {

struct ChartDay {
    QDate date;
    double in = 0;
    double out = 0;
};

struct DayChartData {
    std::vector<ChartDay> days; // every day from the first to the last listed, in order
    int unreadable = 0;         // listed days whose date cannot be placed on the calendar
};

// From the lines of the statistics list; days without a line count 0.
DayChartData chartDays(const QStringList &dayLines);

} // namespace ledger
