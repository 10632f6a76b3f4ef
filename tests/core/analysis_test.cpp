// The analyses of the chooser: low stock, ranking, stock value and the chart's days. Their
// figures are checked against what the calculation dialog answers for the same product.
#include "ledger/daychart.h"
#include "ledger/facts.h"
#include "ledger/lowstock.h"
#include "ledger/ranking.h"
#include "ledger/stockvalue.h"
#include "ledger/dates.h"
#include "ledger/file_store.h"
#include "ledger/text.h"
#include "ledger/calc.h"
#include "rows.h"
#include "ledger/stats.h"

#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

using namespace ledger;

namespace {

const QString kIn = QStringLiteral("进货");
const QString kOut = QStringLiteral("出货");
const QDate kToday(2026, 12, 7);

QString qs(const char *s) { return QString::fromUtf8(s); }

// A ledger with every kind of awkward text: unreadable and missing dates, numbers with units
// or blanks or none at all, an unknown direction, a duplicated product row and a product
// without a product row.
std::vector<Record> awkwardLedger()
{
    const QStringList cats = {qs("饮料"), qs("Fruit"), qs("文具")};
    const QStringList names = {qs("可乐"), qs("Kiwi fruit"), qs("笔|芯"), qs("茶")};
    std::vector<Record> rows;
    for (const QString &c : cats) {
        rows.push_back(category(c));
        for (const QString &n : names)
            rows.push_back(product(n, c));
    }
    rows.push_back(product(names[0], cats[0])); // listed twice, counted once
    const char *qtys[] = {"5", "2.5", "12", "abc", "", "1 2", "3元", "-1", "0", "40", "7.5"};
    const char *totals[] = {"50", "12.5", "abc", "", "100.25", "7元", "1E3", "33.3"};
    const char *methods[] = {"进货", "进货", "出货", "出货", "出货", "退货"};
    const char *odd[] = {"昨天", "2024/13/45", "", nullptr};
    quint32 seed = 12345;
    auto next = [&seed](quint32 n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int i = 0; i < 900; ++i) {
        const QString cat = i % 97 == 0 ? qs("无此类") : cats[static_cast<int>(next(3))];
        const QString name = names[static_cast<int>(next(4))];
        QString date;
        if (next(20) == 0) {
            const char *o = odd[next(4)];
            date = o ? qs(o) : QString();
        } else {
            const QDate d = kToday.addDays(3 - static_cast<int>(next(500)));
            date = next(2) ? pickedDateText(d) : d.toString(QStringLiteral("yyyy/M/d"));
        }
        rows.push_back(transaction(name, cat, qs("1"), qs(qtys[next(11)]), qs(totals[next(8)]), date,
                                   qs(methods[next(6)]), qs("7")));
    }
    return rows;
}

// The number the calculation dialog shows for this product, or nothing when it shows a note.
std::optional<QString> answer(const std::vector<Record> &rows, const Product &p, Calculation calcno)
{
    const std::vector<CalcMessage> boxes = calculate(rows, p.category, p.name, calcno, kIn, kToday);
    if (boxes.empty() || boxes[0].title != qs("计算结果："))
        return std::nullopt;
    return boxes[0].text.section(u'：', 1);
}

// Every row the three analyses give, over all records and over this month, cell by cell.
template <class Source> QStringList analysisLines(const Source &source)
{
    QStringList lines;
    for (const LowStockRow &row : lowStock(source, kToday, true))
        lines << lowStockCells(row).join(u'|');
    for (const auto &period : {std::optional<DaySpan>(), std::optional(DaySpan::lastDays(kToday, 30))})
        for (const RankingRow &row : ranking(source, period))
            lines << rankingCells(row).join(u'|');
    const StockValue v = stockValue(source);
    for (std::size_t i = 0; i <= v.categories.size(); ++i)
        lines << stockValueCells(v, i).join(u'|');
    for (const UnvaluedProduct &p : v.apart)
        lines << unvaluedCells(p).join(u'|');
    return lines;
}

} // namespace

TEST(Analyses, StoreKeepsTheirRowsUpToDateThroughAddsAndDeletes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(qs("1.mdb"));
    auto store = FileStore::open(path);
    store->addAll(awkwardLedger());
    // A sale typed before its product and category exist.
    store->add(tx(qs("新品"), qs("新类"), kOut, qs("3"), qs("30"), pickedDateText(kToday)));
    auto same = [&](const char *step) {
        const std::string kept = analysisLines(store->facts()).join(u'\n').toStdString();
        EXPECT_EQ(kept, analysisLines(store->rows()).join(u'\n').toStdString()) << step;
        return kept;
    };
    const std::string before = same("loaded");
    store->add(category(qs("新类")));
    store->add(product(qs("新品"), qs("新类")));
    store->add(tx(qs("新品"), qs("新类"), kIn, qs("10"), qs("50"), pickedDateText(kToday)));
    EXPECT_NE(same("added"), before);
    const std::vector<Record> &rows = store->rows();
    EXPECT_TRUE(store->removeExact(*std::find_if(rows.begin(), rows.end(), [](const Record &r) {
        return r.kind == kTransaction;
    })));
    store->removeWhere([](const Record &r) { return r.qty == qs("abc"); });
    same("transactions deleted");
    store->removeWhere([](const Record &r) { return r.kind == kProduct && r.name == qs("茶"); });
    same("a product deleted");
    // Another program's change is read back with the rows.
    FileStore::open(path)->add(tx(qs("可乐"), qs("饮料"), kOut, qs("4"), qs("8"), pickedDateText(kToday)));
    same("changed elsewhere");
}

TEST(Analyses, StockOfEveryProductIsTheRemainingStockOfTheCalculation)
{
    const std::vector<Record> rows = awkwardLedger();
    const std::vector<LowStockRow> all = lowStock(rows, kToday, true);
    ASSERT_EQ(all.size(), 12u);
    for (const LowStockRow &row : all)
        EXPECT_EQ(answer(rows, row.product, CalcStock), QString::number(row.stock)) << qPrintable(row.product.name);
}

TEST(Analyses, RankingOfAllRecordsIsTheTurnoverAndProfitOfTheCalculation)
{
    const std::vector<Record> rows = awkwardLedger();
    const std::vector<RankingRow> ranked = ranking(rows, std::nullopt);
    ASSERT_FALSE(ranked.empty());
    double total = 0;
    for (const RankingRow &row : ranked) {
        EXPECT_EQ(answer(rows, row.product, CalcTurnover), formatNumber(row.turnover));
        const std::optional<QString> profit = answer(rows, row.product, CalcProfit);
        EXPECT_EQ(profit.has_value(), row.hasProfit);
        if (profit) {
            EXPECT_EQ(*profit, formatNumber(row.profit));
        }
        if (row.hasProfit)
            total += row.profit;
    }
    for (std::size_t i = 1; i < ranked.size(); ++i) {
        EXPECT_TRUE(ranked[i - 1].hasProfit || !ranked[i].hasProfit); // without a profit last
        if (ranked[i].hasProfit) {
            EXPECT_GE(ranked[i - 1].profit, ranked[i].profit); // the best on top
        }
    }
    for (const RankingRow &row : ranked)
        EXPECT_DOUBLE_EQ(row.share, row.hasProfit ? row.profit / total * 100 : 0);
}

TEST(Analyses, RankingOfThisMonthIsTheMonthProfitOfTheCalculation)
{
    const std::vector<Record> rows = awkwardLedger();
    const DaySpan month = DaySpan::between(QDate(2026, 12, 1), QDate(2026, 12, 31));
    const std::vector<RankingRow> ranked = ranking(rows, month);
    ASSERT_FALSE(ranked.empty());
    int compared = 0;
    for (const RankingRow &row : ranked) {
        // Quantity and turnover of the stock-outs of the month only.
        double qty = 0, turnover = 0;
        for (const Record &r : rows)
            if (r.kind == kTransaction && r.cat == row.product.category && r.name == row.product.name &&
                r.method != kIn && month.contains(dayNumber(r.date))) {
                qty += parseNumber(r.qty);
                turnover += parseNumber(r.total);
            }
        EXPECT_DOUBLE_EQ(row.outQty, qty) << qPrintable(row.product.name);
        EXPECT_DOUBLE_EQ(row.turnover, turnover) << qPrintable(row.product.name);
        const std::optional<QString> profit = answer(rows, row.product, CalcMonthProfit);
        EXPECT_EQ(profit.has_value(), row.hasProfit);
        if (profit) {
            EXPECT_EQ(*profit, formatNumber(row.profit));
            ++compared;
        }
    }
    EXPECT_GT(compared, 3);
}

TEST(Analyses, StockValuePerCategoryAddsTheCalculationsValues)
{
    const std::vector<Record> rows = awkwardLedger();
    const StockValue v = stockValue(rows);
    ASSERT_EQ(v.categories.size(), 3u);
    double total = 0;
    for (const CategoryValue &c : v.categories) {
        double sum = 0;
        for (const LowStockRow &row : lowStock(rows, kToday, true)) {
            if (row.product.category != c.category || row.stock < 0)
                continue;
            if (const std::optional<QString> value = answer(rows, row.product, CalcStockValue))
                sum += parseNumber(*value);
        }
        EXPECT_NEAR(c.value, sum, 1e-9 * std::max(1.0, std::abs(sum))) << qPrintable(c.category);
        total += c.value;
    }
    EXPECT_DOUBLE_EQ(v.total, total);
    // Negative stock is listed apart, at the calculation's value.
    ASSERT_FALSE(v.apart.empty());
    for (const UnvaluedProduct &p : v.apart) {
        const std::optional<QString> value = answer(rows, p.product, CalcStockValue);
        EXPECT_EQ(value.has_value(), p.hasValue);
        if (value) {
            EXPECT_EQ(*value, formatNumber(p.value));
        }
        EXPECT_TRUE(p.stock < 0 || !p.hasValue);
    }
}

TEST(Analyses, StockValueOfFractionalStockIns)
{
    // 2.5 pieces for 10 yuan: 4 yuan each, 2 pieces counted (the stock is rounded, ties to
    // even), 8 yuan; 0.5 pieces for 2 yuan: none counted, nothing on hand.
    const std::vector<Record> rows = {category(qs("甲")), product(qs("P"), qs("甲")),
                                      tx(qs("P"), qs("甲"), kIn, qs("2.5"), qs("10"), qs("26-12-1")),
                                      category(qs("乙")), product(qs("Q"), qs("乙")),
                                      tx(qs("Q"), qs("乙"), kIn, qs("0.5"), qs("2"), qs("26-12-1"))};
    const StockValue v = stockValue(rows);
    ASSERT_EQ(v.categories.size(), 2u);
    EXPECT_EQ(v.categories[0].stock, 2);
    EXPECT_EQ(v.categories[0].value, 8);
    EXPECT_EQ(v.categories[1].stock, 0);
    EXPECT_EQ(v.categories[1].value, 0);
    EXPECT_EQ(v.total, 8);
    EXPECT_TRUE(v.apart.empty());
    EXPECT_EQ(answer(rows, {qs("甲"), qs("P")}, CalcStockValue), qs("8"));
}

TEST(Analyses, LowStockGroupsAndRates)
{
    auto in = [](const char *name, const char *qty, int daysAgo) {
        return tx(qs(name), qs("类"), qs("进货"), qs(qty), qs("1"), pickedDateText(kToday.addDays(-daysAgo)));
    };
    auto out = [](const char *name, const char *qty, int daysAgo) {
        return tx(qs(name), qs("类"), qs("出货"), qs(qty), qs("1"), pickedDateText(kToday.addDays(-daysAgo)));
    };
    std::vector<Record> rows = {category(qs("类"))};
    for (const char *n : {"A", "B", "C", "D", "E", "G", "H", "I"})
        rows.push_back(product(qs(n), qs("类")));
    rows.insert(rows.end(), {in("A", "100", 40), out("A", "30", 29),             // 70 days left
                             in("B", "10", 40), out("B", "9", 0),                // 1 left, 0.3 a day
                             in("C", "10", 40), out("C", "12", 3),               // -2: out of stock
                             in("D", "50", 100), out("D", "9", 60),              // rate over 90 days
                             in("E", "5", 1),                                    // never sold
                             in("G", "30", 40), out("G", "20", 10), out("G", "5", -2), // future sale
                             in("H", "37", 40), out("H", "30", 5),               // exactly 7 days left
                             in("I", "60", 40), out("I", "30", 5)});             // exactly 30 days left
    Record unread = out("G", "100", 0);
    unread.date = qs("昨天"); // counts in the stock, not in the rate
    rows.push_back(unread);
    rows.push_back(out("A", "1", 30)); // a day too early for 30 days: A has still a 30-day rate

    auto names = [](const std::vector<LowStockRow> &list) {
        QStringList out;
        for (const LowStockRow &r : list)
            out << r.product.name;
        return out.join(u',');
    };
    const std::vector<LowStockRow> warn = lowStock(rows, kToday, false);
    EXPECT_EQ(names(warn), qs("G,C,B,H"));
    EXPECT_EQ(warn[0].group, LowStockRow::OutOfStock); // G: 30 - 125 pieces
    EXPECT_EQ(warn[1].group, LowStockRow::OutOfStock);
    EXPECT_EQ(warn[1].stock, -2);
    EXPECT_EQ(warn[2].group, LowStockRow::Within7Days);
    EXPECT_DOUBLE_EQ(*warn[2].daysLeft, 1 / 0.3);
    EXPECT_EQ(*warn[3].daysLeft, 7); // 7 left, one a day: not within 7 days
    EXPECT_EQ(warn[3].group, LowStockRow::Within30Days);

    const std::vector<LowStockRow> all = lowStock(rows, kToday, true);
    EXPECT_EQ(names(all), qs("G,C,B,H,I,A,D,E"));
    EXPECT_EQ(*all[4].daysLeft, 30); // 30 left, one a day: enough
    EXPECT_EQ(all[4].group, LowStockRow::Enough);
    EXPECT_DOUBLE_EQ(all[5].dailyOut, 1.0); // A: 30 pieces in 30 days, the 31st day left out
    EXPECT_EQ(all[5].rateDays, 30);
    EXPECT_EQ(all[6].rateDays, 90);
    EXPECT_DOUBLE_EQ(all[6].dailyOut, 0.1);
    EXPECT_FALSE(all[7].daysLeft.has_value());
    EXPECT_EQ(all[7].group, LowStockRow::Enough);
    // G sold 20 within the last 30 days; the future and the unreadable sale do not count.
    EXPECT_DOUBLE_EQ(all[0].dailyOut, 20.0 / 30);
}

TEST(Analyses, ChartDaysAreTheListedDaysWithZerosBetween)
{
    const std::vector<Record> rows = awkwardLedger();
    const QString start = qs("26-11-1"), end = qs("26-12-10");
    const QStringList lines = statisticsLines(rows, start, end);
    ASSERT_GT(lines.size(), 10);
    DayTally run;
    for (const StatDay &day : statisticsDays(rows, Period::fromLabels(start, end))) {
        run.addRecords(rows, day.records);
        run.closeDay();
    }
    std::vector<DayFigures> listed = run.listed;
    listed.push_back({qs("昨天"), qs("昨天"), 5, 6});
    const DayChartData data = chartDays(listed);
    EXPECT_EQ(data.unreadable, 1);
    ASSERT_FALSE(data.days.empty());
    EXPECT_EQ(data.days.front().date, QDate(2026, 11, 1));
    EXPECT_EQ(data.days.back().date, QDate(2026, 12, 10));
    EXPECT_EQ(data.days.size(), 40u);
    int listedDays = 0;
    for (const ChartDay &d : data.days) {
        QString line;
        for (const QString &l : lines)
            if (dateKey(dayLine(l, 1).section(kSep, 0, 0)) == dateKey(pickedDateText(d.date)))
                line = dayLine(l, 1);
        if (line.isEmpty()) {
            EXPECT_EQ(d.in, 0);
            EXPECT_EQ(d.out, 0);
            continue;
        }
        ++listedDays;
        EXPECT_EQ(formatNumber(d.in), line.section(kSep, 1, 1));
        EXPECT_EQ(formatNumber(d.out), line.section(kSep, 2, 2));
    }
    EXPECT_EQ(listedDays, lines.size());
}

TEST(Analyses, ChartPlacesADayByItsKeyNotByTheTextOfItsLine)
{
    const DayChartData data = chartDays({{qs("1926/12/5"), qs("26-12-05"), 10, 4}});
    ASSERT_EQ(data.days.size(), 1u);
    EXPECT_EQ(data.days[0].date, QDate(2026, 12, 5));
    EXPECT_EQ(data.days[0].in, 10);
    EXPECT_EQ(data.days[0].out, 4);
}
