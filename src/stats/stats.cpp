#include "stats/stats.h"

#include "ledger/dates.h"
#include "ledger/text.h"

#include <QHash>

namespace ledger {

namespace {

QString spaces(qsizetype n) { return n > 0 ? QString(n, u' ') : QString(); }

const QString kStockIn = QStringLiteral("进货");

} // namespace

QString dateKey(const QString &date)
{
    if (date.isEmpty())
        return QString();
    const QString key = dateYYMMDD(date);
    return key.isNull() ? date : key;
}

Period Period::fromLabels(const QString &startText, const QString &endText)
{
    Period p;
    p.start = dateKey(startText);
    p.end = dateKey(endText);
    p.reversed = parseNumber(dateYY(startText)) > 50;
    return p;
}

bool Period::contains(const QString &key) const
{
    if (key.isNull())
        return false;
    if (reversed)
        return key <= start && key >= end;
    return key >= start && key <= end;
}

std::vector<StatDay> statisticsDays(const std::vector<Record> &rows, const Period &period)
{
    // Group every dated record by key, then hand out each group at its first in-period
    // transaction.
    QHash<QString, std::size_t> groupOf;
    std::vector<std::vector<std::size_t>> groups;
    std::vector<std::ptrdiff_t> recordGroup(rows.size(), -1);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const QString key = dateKey(rows[i].date);
        if (key.isNull())
            continue;
        auto it = groupOf.constFind(key);
        if (it == groupOf.constEnd()) {
            it = groupOf.insert(key, groups.size());
            groups.emplace_back();
        }
        groups[*it].push_back(i);
        recordGroup[i] = static_cast<std::ptrdiff_t>(*it);
    }

    std::vector<bool> listed(groups.size(), false);
    std::vector<StatDay> days;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Record &r = rows[i];
        if (recordGroup[i] < 0 || !r.hasKind || r.kind != kTransaction)
            continue;
        const auto g = static_cast<std::size_t>(recordGroup[i]);
        if (listed[g] || !period.contains(dateKey(r.date)))
            continue;
        listed[g] = true;
        days.push_back(StatDay{i, std::move(groups[g])});
    }
    return days;
}

void DayTally::addRecord(const QString &str)
{
    // Only the first three fields count; called once per record of a run, so no full split.
    const QStringView s(str);
    const qsizetype a = s.indexOf(kSep);
    const qsizetype b = a < 0 ? -1 : s.indexOf(kSep, a + 1);
    const qsizetype c = b < 0 ? -1 : s.indexOf(kSep, b + 1);
    auto field = [s](qsizetype from, qsizetype to) {
        return from < 0 ? QStringView() : to < 0 ? s.mid(from + 1) : s.mid(from + 1, to - from - 1);
    };
    const double amount = parseNumber(field(a, b).toString());
    if (field(b, c) == kStockIn)
        dayin += amount;
    else
        dayout += amount;
    daytext = a < 0 ? str : s.left(a).toString();
}

QString DayTally::closeDay()
{
    ++dayno;
    const QString line = daytext + kSep + formatNumber(dayin) + kSep + formatNumber(dayout) + kSep +
                         QString::number(dayno);
    dayin = 0;
    dayout = 0;
    return line;
}

QString dayRecordText(const Record &r) { return r.date + kSep + r.total + kSep + r.method; }

QString dayLine(const QString &str, int kf)
{
    const QStringList f = splitRequest(str);
    if (kf == 0) {
        auto right = [](const QString &v) { return spaces(10 - charCount(v)) + v; };
        return f[0] + spaces(10 - displayWidth(f[0])) + kSep + right(f[1]) + kSep + right(f[2]) +
               kSep + right(f[3]);
    }
    return trimTrailingSpaces(f[0]) + kSep + trimLeadingSpaces(f[1]) + kSep +
           trimLeadingSpaces(f[2]) + kSep + trimLeadingSpaces(f[3]);
}

QStringList statisticsLines(const std::vector<Record> &rows, const QString &startText,
                            const QString &endText)
{
    QStringList lines;
    DayTally tally;
    for (const StatDay &day : statisticsDays(rows, Period::fromLabels(startText, endText))) {
        for (std::size_t i : day.records)
            tally.addRecord(dayRecordText(rows[i]));
        lines << dayLine(tally.closeDay(), 0);
    }
    return lines;
}

bool inRangePeriod(const Record &r, const QString &code, const QDate &today)
{
    // A transaction without a date has no place in any period.
    if (!r.hasKind || r.kind != kTransaction || r.date.isEmpty())
        return false;
    if (code.isEmpty())
        return true;
    if (code == u"n")
        return dateYY(r.date) == dateYY(today);
    if (code == u"y")
        return dateYYMM(r.date) == dateYYMM(today);
    return false;
}

DateRange findRange(const std::vector<Record> &rows, const QString &code, const QDate &today)
{
    DateRange range;
    QString lo, hi, loKey, hiKey;
    for (const Record &r : rows) {
        if (!inRangePeriod(r, code, today))
            continue;
        const QString key = dateKey(r.date);
        if (!range.found) {
            range.found = true;
            lo = hi = r.date;
            loKey = hiKey = key;
            continue;
        }
        if (key > hiKey) {
            hi = r.date;
            hiKey = key;
        }
        if (key < loKey) {
            lo = r.date;
            loKey = key;
        }
    }
    if (!range.found)
        return range;
    // A latest year above 50 is read as the last century: the pair is written latest first,
    // which the statistics period test expects.
    if (parseNumber(dateYY(hi)) > 50) {
        range.start = hi;
        range.end = lo;
    } else {
        range.start = lo;
        range.end = hi;
    }
    return range;
}

QString padFeedback(const QString &text, bool comboItem, bool userrange)
{
    const int n = charCount(text);
    const int c = n % 2 == 0 ? (12 - n) / 2 : (13 - n) / 2;
    if (comboItem)
        return spaces(2 * c - 2) + text;
    if (!userrange)
        return spaces(24) + QStringLiteral(" 请选中按照用户选范围统计");
    return spaces((c + 12) * 2 + 1) + text;
}

} // namespace ledger
