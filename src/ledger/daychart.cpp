#include "ledger/daychart.h"

#include "ledger/dates.h"

#include <map>

namespace ledger {

DayChartData chartDays(const std::vector<DayFigures> &days)
{
    DayChartData data;
    std::map<qint64, ChartDay> listed; // by Julian day
    for (const DayFigures &d : days) {
        // The key, not the text the line shows: records of one day may be written in two
        // centuries ("1926/12/5" and "2026-12-5" are both 26-12-05).
        const std::optional<QDate> date = readDate(d.key);
        if (!date) {
            ++data.unreadable;
            continue;
        }
        ChartDay &day = listed[date->toJulianDay()];
        day.date = *date;
        day.in += d.in;
        day.out += d.out;
    }
    if (listed.empty())
        return data;
    const qint64 first = listed.begin()->first;
    const qint64 last = listed.rbegin()->first;
    data.days.reserve(static_cast<std::size_t>(last - first + 1));
    for (qint64 jd = first; jd <= last; ++jd) {
        const auto it = listed.find(jd);
        data.days.push_back(it != listed.end() ? it->second : ChartDay{QDate::fromJulianDay(jd)});
    }
    return data;
}

} // namespace ledger
