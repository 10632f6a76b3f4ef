#include "ledger/daychart.h"

#include "ledger/dates.h"
#include "ledger/text.h"
#include "ledger/stats.h"

#include <map>

namespace ledger {

DayChartData chartDays(const QStringList &dayLines)
{
    DayChartData data;
    std::map<qint64, ChartDay> listed; // by Julian day
    for (const QString &line : dayLines) {
        const QStringList f = splitRequest(dayLine(line, 1));
        const std::optional<QDate> date = readDate(f[0]);
        if (!date) {
            ++data.unreadable;
            continue;
        }
        ChartDay &day = listed[date->toJulianDay()];
        day.date = *date;
        day.in += parseNumber(f[1]);
        day.out += parseNumber(f[2]);
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
