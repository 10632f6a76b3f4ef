#include "ledger/stats.h"

#include "ledger/dates.h"
#include "ledger/text.h"

#include <QHash>

#include <algorithm>

namespace ledger {

namespace {

QString spaces(qsizetype n) { return n > 0 ? QString(n, u' ') : QString(); }

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
    const QString start = dateKey(startText), end = dateKey(endText);
    Period p;
    p.low = end < start ? end : start;
    p.high = end < start ? start : end;
    return p;
}

bool Period::contains(const QString &key) const
{
    return !key.isNull() && key >= low && key <= high;
}

namespace {

// Date keys of one pass: a readable date is its day number (which orders like its key text);
// any other text is its own key, compared as text.
class KeyReader {
public:
    struct Key {
        int day = kNoDay;
        const QString *text = nullptr; // the date, when day is kNoDay; null: no key at all
    };

    Key key(const QString &date)
    {
        if (date.isEmpty())
            return {};
        const int day = m_days.day(date);
        return {day, day == kNoDay ? &date : nullptr};
    }

    static QString keyText(const Key &k) { return k.day != kNoDay ? dayText(k.day) : *k.text; }

    // -1, 0, 1 as the key texts compare.
    static int compare(const Key &a, const Key &b)
    {
        if (a.day != kNoDay && b.day != kNoDay)
            return a.day < b.day ? -1 : a.day > b.day ? 1 : 0;
        // A date read against one that was not: the "YY-MM-DD" text, built on the stack.
        char16_t ta[8], tb[8];
        const QStringView va = a.day != kNoDay ? spell(a.day, ta) : QStringView(*a.text);
        const QStringView vb = b.day != kNoDay ? spell(b.day, tb) : QStringView(*b.text);
        const int c = va.compare(vb);
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }

private:
    static QStringView spell(int day, char16_t (&out)[8])
    {
        const int parts[3] = {day / 10000, day / 100 % 100, day % 100};
        for (int i = 0; i < 3; ++i) {
            out[i * 3] = static_cast<char16_t>(u'0' + parts[i] / 10);
            out[i * 3 + 1] = static_cast<char16_t>(u'0' + parts[i] % 10);
            if (i < 2)
                out[i * 3 + 2] = u'-';
        }
        return QStringView(out, 8);
    }
    static QString dayText(int day)
    {
        char16_t buf[8];
        return spell(day, buf).toString();
    }
    DayMemo m_days;
};

// The period test on keys, without building the key text of a readable date.
class PeriodTest {
public:
    explicit PeriodTest(const Period &p)
        : m_period(p), m_low(p.low.isNull() ? kNoDay : dayNumber(p.low)),
          m_high(p.high.isNull() ? kNoDay : dayNumber(p.high))
    {
    }

    bool contains(const KeyReader::Key &k) const
    {
        if (k.day == kNoDay && !k.text)
            return false;
        if (k.day == kNoDay || m_low == kNoDay || m_high == kNoDay)
            return m_period.contains(KeyReader::keyText(k));
        return k.day >= m_low && k.day <= m_high;
    }

private:
    const Period &m_period;
    int m_low, m_high;
};

} // namespace

std::vector<StatDay> statisticsDays(const std::vector<Record> &rows, const Period &period)
{
    // Group every dated record by key, then hand out each group at its first in-period
    // transaction. Readable days are grouped through a table indexed by day number.
    KeyReader reader;
    const PeriodTest test(period);
    std::vector<int> groupOfDay(1000000, -1);
    QHash<QString, int> groupOfText;
    std::vector<std::vector<std::size_t>> groups;
    std::vector<int> recordGroup(rows.size(), -1);
    std::vector<KeyReader::Key> keys(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const KeyReader::Key k = reader.key(rows[i].date);
        keys[i] = k;
        int *slot = nullptr;
        if (k.day != kNoDay)
            slot = &groupOfDay[static_cast<std::size_t>(k.day)];
        else if (k.text)
            slot = &groupOfText.insert(*k.text, groupOfText.value(*k.text, -1)).value();
        else
            continue;
        if (*slot < 0) {
            *slot = static_cast<int>(groups.size());
            groups.emplace_back();
        }
        groups[static_cast<std::size_t>(*slot)].push_back(i);
        recordGroup[i] = *slot;
    }

    std::vector<bool> listed(groups.size(), false);
    std::vector<StatDay> days;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Record &r = rows[i];
        if (recordGroup[i] < 0 || !r.isKind(kTransaction))
            continue;
        const auto g = static_cast<std::size_t>(recordGroup[i]);
        if (listed[g] || !test.contains(keys[i]))
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

namespace {
// A plain loop: these texts are short, and this runs for every record of a run.
bool hasSep(const QString &s) { return std::find(s.cbegin(), s.cend(), kSep) != s.cend(); }

// A "|" inside a field shifts the fields of the record's text: the text decides then.
bool shiftsFields(const Record &r) { return hasSep(r.date) || hasSep(r.total) || hasSep(r.method); }
} // namespace

void DayTally::addRecord(const Record &r)
{
    if (shiftsFields(r)) {
        addRecord(dayRecordText(r));
        return;
    }
    const double amount = parseNumber(r.total);
    if (r.method == kStockIn)
        dayin += amount;
    else
        dayout += amount;
    daytext = r.date.isNull() ? QStringLiteral("") : r.date;
}

void DayTally::addRecords(const std::vector<Record> &rows, const std::vector<std::size_t> &which)
{
    // Only the last record's date text stays, so it is taken once, not for every record.
    for (std::size_t i : which) {
        const Record &r = rows[i];
        if (shiftsFields(r) || i == which.back()) {
            addRecord(r);
            continue;
        }
        const double amount = parseNumber(r.total);
        (r.method == kStockIn ? dayin : dayout) += amount;
    }
}

QString DayTally::closeDay()
{
    ++dayno;
    listed.push_back({daytext, dateKey(daytext), dayin, dayout});
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

namespace {

bool inRange(const Record &r, const QString &code, const QDate &today, DayMemo &days)
{
    // A transaction without a date has no place in any period.
    if (!r.isKind(kTransaction) || r.date.isEmpty())
        return false;
    if (code.isEmpty())
        return true;
    const int day = days.day(r.date);
    if (code == u"n")
        return day != kNoDay && day / 10000 == dayNumber(today) / 10000;
    if (code == u"y")
        return day != kNoDay && day / 100 == dayNumber(today) / 100;
    return false;
}

} // namespace

bool inRangePeriod(const Record &r, const QString &code, const QDate &today)
{
    DayMemo days;
    return inRange(r, code, today, days);
}

DateRange findRange(const std::vector<Record> &rows, const QString &code, const QDate &today)
{
    DateRange range;
    KeyReader reader;
    DayMemo days;
    const Record *lo = nullptr, *hi = nullptr;
    KeyReader::Key loKey, hiKey;
    for (const Record &r : rows) {
        if (!inRange(r, code, today, days))
            continue;
        const KeyReader::Key key = reader.key(r.date);
        if (!lo) {
            lo = hi = &r;
            loKey = hiKey = key;
            continue;
        }
        if (KeyReader::compare(key, hiKey) > 0) {
            hi = &r;
            hiKey = key;
        }
        if (KeyReader::compare(key, loKey) < 0) {
            lo = &r;
            loKey = key;
        }
    }
    if (!lo)
        return range;
    range.found = true;
    // A latest year above 50 is read as the last century: the pair is written latest first.
    if (parseNumber(dateYY(hi->date)) > 50) {
        range.start = hi->date;
        range.end = lo->date;
    } else {
        range.start = lo->date;
        range.end = hi->date;
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
