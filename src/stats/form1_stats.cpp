// The main window's side of the daily statistics window: the period range search (101) and
// the statistics run (102). Both report to the window through its public methods.
#include "mainwin/form1.h"

#include "ledger/stats.h"
#include "mainwin/ui_app.h"
#include "stats/form6.h"

using namespace ledger;

bool Form1::op101(const QStringList &f)
{
    const std::vector<Record> &all = rows();
    Form6 *stats = form6();
    // The boxes belong to the statistics window, which stays the active one.
    if (all.empty()) {
        ui::message(stats, QStringLiteral("无记录！"));
        return true;
    }
    if (rangebusy)
        return true;
    // A period chosen while this search's message box is open is turned away.
    rangebusy = true;

    const DateRange range = findRange(all, f[0], QDate::currentDate());
    const qint64 n = static_cast<qint64>(all.size());
    stats->jdt(n, 0);
    for (qint64 i = 0; i < n; ++i)
        stats->jdt(0, 1);
    if (range.found) {
        stats->day1(range.start);
        stats->day2(range.end);
        rangebusy = false;
        return true;
    }
    const QString none = QStringLiteral("无满足条件记录！");
    stats->erro(none);
    ui::message(stats, none);
    stats->day1(QString());
    stats->day2(QString());
    rangebusy = false;
    return false;
}

bool Form1::op102(const PeriodText &period)
{
    const std::vector<Record> &all = rows();
    Form6 *stats = form6();
    if (all.empty()) {
        ui::message(stats, QStringLiteral("无记录！"));
        return true;
    }
    stats->jdt(static_cast<qint64>(all.size()), 0);
    if (period.start.isEmpty()) {
        ui::message(stats, QStringLiteral("起始日期填写错！"));
        return false;
    }
    if (period.end.isEmpty()) {
        ui::message(stats, QStringLiteral("结束日期填写错！"));
        return false;
    }

    // Each day is listed when the run reaches its first transaction in the period.
    const std::vector<StatDay> days = statisticsDays(all, Period::fromLabels(period.start, period.end));
    auto next = days.cbegin();
    for (std::size_t i = 0; i < all.size(); ++i) {
        stats->jdt(0, 1);
        if (next == days.cend() || next->first != i)
            continue;
        stats->addRecords(all, next->records); // what axd(dayRecordText(...), 0) does, without the text
        stats->axd(QString(), 1);
        ++next;
    }
    return false;
}
