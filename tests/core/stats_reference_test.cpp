// The statistics run against a plain reference: the step-by-step walk that rescans the whole
// ledger for every new day and searches the listed days for every record, with one line per
// date key. Both must give the same lines in the same order on many random ledgers.
#include "ledger/dates.h"
#include "ledger/stats.h"
#include "ledger/text.h"

#include <gtest/gtest.h>

#include <random>

using namespace ledger;

namespace {

QStringList referenceRun(const std::vector<Record> &rows, const QString &startText,
                         const QString &endText)
{
    const QString s = dateKey(startText);
    const QString e = dateKey(endText);
    auto inPeriod = [&](const QString &d) {
        if (d.isNull())
            return false;
        return (d >= s && d <= e) || (d <= s && d >= e);
    };

    QStringList lines;
    QStringList lineKeys; // the day each line was made for
    QString daytext;
    double dayin = 0, dayout = 0;
    int dayno = 0;
    for (std::size_t position = 0; position < rows.size(); ++position) {
        const Record &r = rows[position];
        if (!(r.hasKind && r.kind == kTransaction && inPeriod(dateKey(r.date))))
            continue;
        const QString pending = dateKey(r.date);
        if (lineKeys.contains(pending))
            continue;
        for (const Record &other : rows) {
            if (dateKey(other.date).isNull() || dateKey(other.date) != pending)
                continue;
            const double amount = parseNumber(other.total);
            if (other.method == QStringLiteral("进货"))
                dayin += amount;
            else
                dayout += amount;
            daytext = other.date;
        }
        ++dayno;
        lines << dayLine(daytext + u'|' + formatNumber(dayin) + u'|' + formatNumber(dayout) + u'|' +
                             QString::number(dayno),
                         0);
        lineKeys << pending;
        dayin = 0;
        dayout = 0;
    }
    return lines;
}

// Dates around the turn of the century, each day written in any of the ledger's forms.
class RandomLedger {
public:
    explicit RandomLedger(unsigned seed) : m_gen(seed) {}

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_gen); }

    QDate day(int spreadDays)
    {
        return QDate(1999, 12, 1).addDays(pick(spreadDays));
    }

    QString dateText(const QDate &d)
    {
        const QString yy = QString::number(d.year() % 100).rightJustified(2, u'0');
        const QString m = QString::number(d.month()), dd = QString::number(d.day());
        switch (pick(10)) {
        case 0: return yy + u'-' + m + u'-' + dd;                                        // 03-5-6
        case 1: return dateYYMMDD(d);                                                    // 03-05-06
        case 2: return QString::number(d.year()) + u'/' + m + u'/' + dd;                 // 2003/5/6
        case 3: return QString::number(d.year()) + u'.' + m.rightJustified(2, u'0') + u'.' + dd;
        case 4: return QStringList{QStringLiteral("昨天"), QStringLiteral("03-13-45"),
                                   QStringLiteral("abc"), QStringLiteral("00-02-30")}[pick(4)];
        case 5: return pick(3) ? QString() : QStringLiteral("");                        // no date
        default: return yy + u'-' + m + u'-' + dd;
        }
    }

    std::vector<Record> ledger(int size, int spreadDays)
    {
        std::vector<Record> rows;
        for (int i = 0; i < size; ++i) {
            Record r;
            const int kind = pick(10);
            r.kind = kind == 0 ? kCategory : kind == 1 ? kProduct : kTransaction;
            r.hasKind = pick(40) != 0;
            r.name = QStringLiteral("货");
            // Categories and products carry no date unless something else wrote the file.
            if (r.kind == kTransaction || pick(4) == 0)
                r.date = dateText(day(spreadDays));
            const QString totals[] = {QString::number(pick(1000)), QString::number(pick(10000) / 100.0),
                                      QStringLiteral("1E3"), QStringLiteral("12元"), QStringLiteral("abc"),
                                      QString(), QStringLiteral("-3.5"), QStringLiteral("0.1")};
            r.total = totals[pick(8)];
            const QString methods[] = {QStringLiteral("进货"), QStringLiteral("出货"), QString(),
                                       QStringLiteral("进货"), QStringLiteral("出货")};
            r.method = methods[pick(5)];
            rows.push_back(r);
        }
        return rows;
    }

    // Start and end labels: from the range search (reversed across the century when it finds
    // a last-century date), from the date picker, or unreadable.
    std::pair<QString, QString> period(const std::vector<Record> &rows, int spreadDays)
    {
        switch (pick(4)) {
        case 0: {
            const DateRange r = findRange(rows, QString(), QDate(2000, 1, 1));
            if (r.found)
                return {r.start, r.end};
            [[fallthrough]];
        }
        case 1: {
            const DateRange r = findRange(rows, QStringLiteral("y"), day(spreadDays));
            if (r.found)
                return {r.start, r.end};
            [[fallthrough]];
        }
        case 2:
            return {pickedDateText(day(spreadDays)), pickedDateText(day(spreadDays))};
        default:
            return {dateText(day(spreadDays)) + u' ', pick(2) ? QStringLiteral("abc") : dateText(day(spreadDays))};
        }
    }

private:
    std::mt19937 m_gen;
};

} // namespace

TEST(StatsReference, SameLinesAsTheStepByStepWalk)
{
    RandomLedger random(20031207);
    int compared = 0, withLines = 0, reversedPeriods = 0;
    for (int round = 0; round < 1500; ++round) {
        const int spread = 1 + random.pick(round % 3 == 0 ? 5 : 80);
        const std::vector<Record> rows = random.ledger(random.pick(round % 50 == 0 ? 400 : 40), spread);
        const auto [start, end] = random.period(rows, spread);
        if (start.isEmpty() || end.isEmpty())
            continue;
        const QStringList expected = referenceRun(rows, start, end);
        ASSERT_EQ(statisticsLines(rows, start, end), expected)
            << "round " << round << " period " << start.toStdString() << " .. " << end.toStdString();
        ++compared;
        withLines += !expected.isEmpty();
        reversedPeriods += dateKey(end) < dateKey(start);
    }
    // The random ledgers must really exercise the interesting cases.
    EXPECT_GT(compared, 1000);
    EXPECT_GT(withLines, 500);
    EXPECT_GT(reversedPeriods, 100);
}

TEST(StatsReference, LargeLedgerGroupsEveryRecordOnce)
{
    RandomLedger random(7);
    const std::vector<Record> rows = random.ledger(200000, 3000);
    const std::vector<StatDay> days = statisticsDays(rows, Period::fromLabels(QStringLiteral("00-1-1"),
                                                                              QStringLiteral("03-12-31")));
    // Days come in ledger order of their first record; no record is counted for two days.
    std::vector<bool> seen(rows.size(), false);
    std::size_t lastFirst = 0;
    for (const StatDay &d : days) {
        EXPECT_GE(d.first, lastFirst);
        lastFirst = d.first;
        ASSERT_FALSE(d.records.empty());
        EXPECT_LE(d.records.front(), d.first);
        for (std::size_t i : d.records) {
            ASSERT_FALSE(seen[i]);
            seen[i] = true;
            EXPECT_EQ(dateKey(rows[i].date), dateKey(rows[d.first].date));
        }
    }
    EXPECT_GT(days.size(), 1000u);
}
