#include "ledger/ranking.h"

#include "ledger/dates.h"
#include "ledger/facts.h"
#include "ledger/text.h"

#include <algorithm>

namespace ledger {

std::vector<RankingRow> ranking(const std::vector<Record> &rows, const std::optional<DaySpan> &period)
{
    return ranking(LedgerFacts(rows), period);
}

std::vector<RankingRow> ranking(const LedgerFacts &facts, const std::optional<DaySpan> &period)
{
    std::vector<CalcTotals> sums(facts.products().size());
    std::vector<bool> sold(sums.size(), false);
    facts.forEachTransaction([&](const RowFact &f) {
        const auto p = static_cast<std::size_t>(f.product);
        // A stock-take's shortage is no sale: it changes neither the quantities nor the prices.
        if (f.stockTake && !f.stockIn)
            return;
        const bool inPeriod = !f.stockIn && (!period || period->contains(f.day));
        sums[p].add(f.stockIn, f.qty, f.total, inPeriod);
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
        row.product = facts.products()[i];
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
    std::stable_sort(out.begin(), out.end(), [](const RankingRow &a, const RankingRow &b) {
        return a.hasProfit != b.hasProfit ? a.hasProfit : a.profit > b.profit;
    });
    return out;
}

QStringList rankingHeaders()
{
    return {QStringLiteral("类"),     QStringLiteral("商品名"),   QStringLiteral("出货数量"),
            QStringLiteral("营业额"), QStringLiteral("营业利润"), QStringLiteral("利润占比")};
}

QStringList rankingColumns()
{
    QStringList columns = rankingHeaders();
    columns.last() += QStringLiteral("(%)");
    return columns;
}

QStringList rankingCells(const RankingRow &row)
{
    return {row.product.category,
            row.product.name,
            formatNumber(row.outQty),
            formatNumber(row.turnover),
            row.hasProfit ? formatNumber(row.profit) : QString(),
            row.hasProfit ? shortNumber(row.share) : QString()};
}

} // namespace ledger
