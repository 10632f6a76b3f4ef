#include "ledger/ranking.h"

#include "ledger/dates.h"
#include "ledger/text.h"

#include <algorithm>

namespace ledger {

std::vector<RankingRow> ranking(const std::vector<Record> &rows, const std::optional<DaySpan> &period)
{
    ProductIndex index(rows);
    std::vector<CalcTotals> sums(index.products().size());
    std::vector<bool> sold(sums.size(), false);
    DayMemo days;
    index.forEachTransaction(rows, [&](const Record &r, std::size_t p) {
        const bool stockIn = r.method == kStockIn;
        const bool inPeriod = !stockIn && (!period || period->contains(days.day(r.date)));
        sums[p].add(stockIn, parseNumber(r.qty), parseNumber(r.total), inPeriod);
        if (inPeriod)
            sold[p] = true;
    });

    std::vector<RankingRow> out;
    double total = 0;
    for (std::size_t i = 0; i < sums.size(); ++i) {
        if (!sold[i])
            continue;
        const CalcTotals &t = sums[i];
        const CalcFigures f = deriveFigures(t);
        RankingRow row;
        row.product = index.products()[i];
        row.outQty = t.monthOutQty;
        row.turnover = t.monthOutAmount;
        row.hasProfit = f.hasProfit();
        row.profit = f.monthProfit;
        if (row.hasProfit)
            total += row.profit;
        out.push_back(row);
    }
    for (RankingRow &row : out)
        row.share = row.hasProfit && total != 0 ? row.profit / total * 100 : 0;
    sortRanking(out, RankColumn::Profit, false);
    return out;
}

void sortRanking(std::vector<RankingRow> &rows, RankColumn column, bool reversed)
{
    auto number = [column](const RankingRow &r) {
        switch (column) {
        case RankColumn::Quantity: return r.outQty;
        case RankColumn::Turnover: return r.turnover;
        case RankColumn::Profit: return r.profit;
        default: return r.share;
        }
    };
    const bool byProfit = column == RankColumn::Profit || column == RankColumn::Share;
    std::stable_sort(rows.begin(), rows.end(), [&](const RankingRow &a, const RankingRow &b) {
        if (byProfit && a.hasProfit != b.hasProfit)
            return a.hasProfit;
        bool before = false, after = false;
        if (column == RankColumn::Category || column == RankColumn::Product) {
            const QString &x = column == RankColumn::Category ? a.product.category : a.product.name;
            const QString &y = column == RankColumn::Category ? b.product.category : b.product.name;
            before = x < y;
            after = y < x;
        } else {
            before = number(a) > number(b);
            after = number(b) > number(a);
        }
        return reversed ? after : before;
    });
}

QStringList rankingHeaders()
{
    return {QStringLiteral("类"),     QStringLiteral("商品名"),   QStringLiteral("出货数量"),
            QStringLiteral("营业额"), QStringLiteral("营业利润"), QStringLiteral("利润占比")};
}

const std::vector<int> &rankingWidths()
{
    static const std::vector<int> widths = {12, 20, -10, -12, -12, -8};
    return widths;
}

QString rankingLine(const RankingRow &row)
{
    return columnsLine({row.product.category, row.product.name, formatNumber(row.outQty),
                        formatNumber(row.turnover), row.hasProfit ? formatNumber(row.profit) : QStringLiteral("-"),
                        row.hasProfit ? shortNumber(row.share) + u'%' : QStringLiteral("-")},
                       rankingWidths());
}

} // namespace ledger
