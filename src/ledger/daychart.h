// The daily statistics as a chart: the days of a run, laid out on the calendar.
#pragma once

#include "ledger/stats.h"

#include <QDate>
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

// The listed days of a statistics run, each placed by its key; days not listed count 0.
DayChartData chartDays(const std::vector<DayFigures> &listed);

} // namespace ledger
