// Daily statistics without a window: date keys, the period test, the day lines of a run, the
// column format, the period range search and the feedback spacing.
#include "ledger/stats.h"

#include <gtest/gtest.h>

using namespace ledger;

namespace {

Record tx(const char *date, const char *total, const char *method)
{
    Record r;
    r.kind = kTransaction;
    r.name = QStringLiteral("苹果");
    r.cat = QStringLiteral("水果");
    r.date = date ? QString::fromUtf8(date) : QString();
    r.total = total ? QString::fromUtf8(total) : QString();
    r.method = QString::fromUtf8(method);
    return r;
}

Record category(const char *name)
{
    Record r;
    r.kind = kCategory;
    r.name = QString::fromUtf8(name);
    r.method = QStringLiteral("进货");
    return r;
}

const char *kIn = "进货";
const char *kOut = "出货";

QString qs(const char *s) { return QString::fromUtf8(s); }

} // namespace

TEST(StatsKey, DateFormsOfOneDayShareAKey)
{
    EXPECT_EQ(dateKey(qs("03-5-6")), qs("03-05-06"));
    EXPECT_EQ(dateKey(qs("03-05-06")), qs("03-05-06"));
    EXPECT_EQ(dateKey(qs("2003/5/6")), qs("03-05-06"));
    // Unreadable texts are their own key; a missing date has none.
    EXPECT_EQ(dateKey(qs("昨天")), qs("昨天"));
    EXPECT_EQ(dateKey(qs("03-13-01")), qs("03-13-01"));
    EXPECT_TRUE(dateKey(QString()).isNull());
    EXPECT_TRUE(dateKey(qs("")).isNull());
}

TEST(StatsPeriod, EveryKeyBetweenTheTwoLabelsWhicheverHoldsWhich)
{
    const Period normal = Period::fromLabels(qs("03-1-5"), qs("2003/2/10"));
    EXPECT_TRUE(normal.contains(qs("03-01-05")));
    EXPECT_TRUE(normal.contains(qs("03-02-10")));
    EXPECT_FALSE(normal.contains(qs("03-01-04")));
    EXPECT_FALSE(normal.contains(qs("03-02-11")));
    EXPECT_FALSE(normal.contains(QString()));

    // The pair the range search writes across the turn of the century, latest first: the keys
    // between the two in text order.
    const Period across = Period::fromLabels(qs("99-11-01"), qs("03-02-28"));
    EXPECT_TRUE(across.contains(qs("99-11-01")));
    EXPECT_TRUE(across.contains(qs("03-02-28")));
    EXPECT_TRUE(across.contains(qs("50-06-01")));
    EXPECT_FALSE(across.contains(qs("99-11-02")));
    EXPECT_FALSE(across.contains(qs("03-02-27")));
    EXPECT_FALSE(across.contains(qs("00-06-01")));
    const Period lastCentury = Period::fromLabels(qs("99-12-30"), qs("00-01-02"));
    EXPECT_TRUE(lastCentury.contains(qs("50-01-01")));
    EXPECT_FALSE(lastCentury.contains(qs("99-12-31")));

    // Picked by the user: a year of the last century in the right order, and a year of this one
    // picked end first.
    const Period ninetyEight = Period::fromLabels(qs("98-1-1"), qs("98-12-31"));
    EXPECT_TRUE(ninetyEight.contains(qs("98-06-01")));
    EXPECT_TRUE(ninetyEight.contains(qs("98-01-01")));
    EXPECT_FALSE(ninetyEight.contains(qs("99-01-01")));
    const Period backwards = Period::fromLabels(qs("26-12-31"), qs("26-1-1"));
    EXPECT_TRUE(backwards.contains(qs("26-04-15")));
    EXPECT_TRUE(backwards.contains(qs("26-12-31")));
    EXPECT_FALSE(backwards.contains(qs("27-01-01")));
    EXPECT_EQ(statisticsLines({tx("98-6-1", "5", kIn)}, qs("98-1-1"), qs("98-12-31")),
              QStringList{qs("98-6-1    |         5|         0|         1")});
}

TEST(StatsRun, OneLinePerDayInLedgerOrderWithBothSums)
{
    const std::vector<Record> rows = {
        category("水果"),
        tx("03-5-7", "100", kOut),
        tx("03-5-6", "1500", kIn),
        tx("03-5-7", "20.5", kIn),
        tx("03-4-30", "999", kIn), // before the period
        tx("03-5-6", "12.5", kOut),
        tx("03-5-8", "7", kOut),
        tx("03-6-1", "999", kOut), // after the period
    };
    const QStringList lines = statisticsLines(rows, qs("03-5-1"), qs("03-5-31"));
    // Order of the first transaction of each day, not date order; a day with only stock-outs
    // shows 0 in the stock-in column; numbered from 1.
    const QStringList expected = {
        qs("03-5-7    |      20.5|       100|         1"),
        qs("03-5-6    |      1500|      12.5|         2"),
        qs("03-5-8    |         0|         7|         3"),
    };
    EXPECT_EQ(lines, expected);
    // A second run numbers from 1 again.
    EXPECT_EQ(statisticsLines(rows, qs("03-5-1"), qs("03-5-31")), expected);
    // Nothing in the period: no line.
    EXPECT_TRUE(statisticsLines(rows, qs("04-1-1"), qs("04-12-31")).isEmpty());
}

TEST(StatsRun, OneDayWrittenTwoWaysGetsOneLine)
{
    // The picker writes 03-5-6, the automatic date 2003/5/6: still one day, listed where its
    // first record stands, summed over both, showing the text of its last record.
    const std::vector<Record> rows = {
        tx("03-5-6", "10", kIn),
        tx("03-5-7", "1", kIn),
        tx("2003/5/6", "5", kOut),
        tx("03-05-06", "2.5", kIn),
        tx("2003/5/6", "1", kIn),
    };
    const QStringList lines = statisticsLines(rows, qs("03-5-1"), qs("03-5-31"));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], qs("2003/5/6  |      13.5|         5|         1"));
    EXPECT_EQ(lines[1], qs("03-5-7    |         1|         0|         2"));
}

TEST(StatsRun, RecordsWithoutADateOrOutsideThePeriodCountForNothing)
{
    const std::vector<Record> rows = {
        tx(nullptr, "100", kIn),
        category("饮料"),
        tx("03-5-6", "abc", kIn), // total without a number counts 0
        tx("03-5-6", "3元", kOut),
        tx("03-7-6", "50", kIn),
    };
    const std::vector<StatDay> days = statisticsDays(rows, Period::fromLabels(qs("03-5-6"), qs("03-5-6")));
    ASSERT_EQ(days.size(), 1u);
    EXPECT_EQ(days[0].first, 2u);
    EXPECT_EQ(days[0].records, (std::vector<std::size_t>{2, 3}));
    EXPECT_EQ(statisticsLines(rows, qs("03-5-6"), qs("03-5-6")),
              QStringList{qs("03-5-6    |         0|         3|         1")});
}

TEST(StatsRun, PeriodAcrossTheCenturyAsTheRangeSearchWritesIt)
{
    const std::vector<Record> rows = {
        tx("00-01-02", "2", kIn),
        tx("1999/12/30", "1", kIn),
        tx("98-12-31", "7", kOut),
    };
    const DateRange range = findRange(rows, QString(), QDate(2026, 1, 1));
    ASSERT_TRUE(range.found);
    EXPECT_EQ(range.start, qs("1999/12/30"));
    EXPECT_EQ(range.end, qs("00-01-02"));
    // Every key between 00-01-02 and 99-12-30 in text order is in the period.
    const QStringList lines = statisticsLines(rows, range.start, range.end);
    EXPECT_EQ(lines, (QStringList{qs("00-01-02  |         2|         0|         1"),
                                  qs("1999/12/30|         1|         0|         2"),
                                  qs("98-12-31  |         0|         7|         3")}));
}

TEST(StatsLine, ColumnsOfTheDayLine)
{
    // 03-05-07, 2 spaces, |, 6 spaces, 1500, |, 5 spaces, 320.5, |, 9 spaces, 1.
    EXPECT_EQ(dayLine(qs("03-05-07|1500|320.5|1"), 0), qs("03-05-07  |      1500|     320.5|         1"));
    EXPECT_EQ(dayLine(qs("03-05-07  |      1500|     320.5|         1"), 1), qs("03-05-07|1500|320.5|1"));
    // The date column counts display width; Chinese characters take two columns.
    EXPECT_EQ(dayLine(qs("五月七日|0|1|12"), 0), qs("五月七日  |         0|         1|        12"));
    // Too wide for its column: shown whole, and read back unchanged.
    EXPECT_EQ(dayLine(qs("2003/05/07 x|1|2|3"), 0), qs("2003/05/07 x|         1|         2|         3"));
    EXPECT_EQ(dayLine(qs("2003/05/07 x|         1|         2|         3"), 1), qs("2003/05/07 x|1|2|3"));
}

TEST(StatsLine, TallyOfADay)
{
    DayTally t;
    t.addRecord(qs("03-5-6|1500|进货"));
    t.addRecord(qs("2003/5/6|320.5|出货"));
    t.addRecord(qs("03-05-06|8|进货 ")); // not exactly 进货: counts as a stock-out
    t.addRecord(qs("03-5-6|abc|进货"));
    EXPECT_EQ(t.closeDay(), qs("03-5-6|1500|328.5|1"));
    EXPECT_EQ(t.daytext, qs("03-5-6"));
    EXPECT_EQ(t.dayin, 0.0);
    EXPECT_EQ(t.dayout, 0.0);
    t.addRecord(qs("03-5-7|0.1|出货"));
    t.addRecord(qs("03-5-7|0.2|出货"));
    EXPECT_EQ(t.closeDay(), qs("03-5-7|0|0.3|2"));
}

TEST(StatsRange, SmallestAndLargestDateOfThePeriod)
{
    const QDate today(2026, 12, 7);
    auto range = [&](const std::vector<Record> &rows, const QString &code = QString()) {
        const DateRange r = findRange(rows, code, today);
        return r.found ? r.start + u' ' + r.end : QStringLiteral("none");
    };
    EXPECT_EQ(range({tx("03-01-05", "1", kIn), tx("03-02-10", "1", kOut), tx("03-02-03", "1", kIn)}),
              qs("03-01-05 03-02-10"));
    // Across the turn of the century: the last-century date is the start.
    EXPECT_EQ(range({tx("99-12-30", "1", kIn), tx("00-01-02", "1", kIn)}), qs("99-12-30 00-01-02"));
    // Only years 51 to 99: written latest first.
    EXPECT_EQ(range({tx("60-3-1", "1", kIn), tx("1999/1/2", "1", kIn), tx("51-7-7", "1", kOut)}),
              qs("1999/1/2 51-7-7"));
    // The texts come back as stored; the first of equal days is kept.
    EXPECT_EQ(range({tx("26-3-1", "1", kIn), tx("2026/3/1", "1", kIn), tx("26-1-9", "1", kIn),
                     tx("2026/1/9", "1", kIn)}),
              qs("26-1-9 26-3-1"));
    // Categories, products and transactions without a date take no part.
    Record product = category("苹果");
    product.kind = kProduct;
    product.date = qs("01-1-1");
    EXPECT_EQ(range({category("水果"), product, tx(nullptr, "1", kIn), tx("03-5-6", "1", kIn)}),
              qs("03-5-6 03-5-6"));
    EXPECT_EQ(range({category("水果"), tx(nullptr, "1", kIn)}), qs("none"));
    EXPECT_EQ(range({}), qs("none"));

    // This year and this month.
    const std::vector<Record> rows = {tx("25-12-31", "1", kIn), tx("2026/12/1", "1", kIn),
                                      tx("26-11-30", "1", kIn), tx("26-1-1", "1", kOut),
                                      tx("2026/12/6", "1", kOut)};
    EXPECT_EQ(range(rows, qs("n")), qs("26-1-1 2026/12/6"));
    EXPECT_EQ(range(rows, qs("y")), qs("2026/12/1 2026/12/6"));
    EXPECT_EQ(range({tx("26-11-30", "1", kIn)}, qs("y")), qs("none"));
    EXPECT_EQ(range(rows, qs("x")), qs("none"));
}

TEST(StatsFeedback, CentredWithLeadingSpaces)
{
    auto lead = [](const QString &s) {
        qsizetype n = 0;
        while (n < s.size() && s.at(n) == u' ')
            ++n;
        return n;
    };
    const char *texts[] = {"系统反馈提示", "点击项目显示列表", "正在检索数据库...", "任务完成"};
    const int expected[] = {31, 29, 27, 33};
    for (int i = 0; i < 4; ++i) {
        const QString out = padFeedback(qs(texts[i]), false, true);
        EXPECT_EQ(lead(out), expected[i]) << texts[i];
        EXPECT_EQ(out.mid(lead(out)), qs(texts[i]));
    }
    EXPECT_EQ(padFeedback(qs("全部记录统计"), true, false), qs("    全部记录统计"));
    EXPECT_EQ(padFeedback(qs("按照用户选范围统计"), true, false), qs("  按照用户选范围统计"));
    // Outside the user range the feedback line reminds the user to choose it.
    EXPECT_EQ(padFeedback(qs("单击此处选择起始日期"), false, false),
              QString(24, u' ') + qs(" 请选中按照用户选范围统计"));
}
