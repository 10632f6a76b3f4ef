// 商品排行: per product over a period, the stock-out quantity, the turnover and the operating
// profit by the average-cost rule of the calculations (averages of every record of the product,
// the quantity of the period, as the month profit does for the current month).
#pragma once

#include "ledger/products.h"

#include <optional>

namespace ledger {

struct RankingRow {
    Product product;
    double outQty = 0;
    double turnover = 0;
    bool hasProfit = false; // false without stock-ins or stock-outs in the whole ledger
    double profit = 0;
    double share = 0;       // percent of the period's total profit; 0 when that is 0
};

// The products with stock-outs in the period (every record when period is empty), best profit
// first, those without a profit last.
std::vector<RankingRow> ranking(const std::vector<Record> &rows, const std::optional<DaySpan> &period);
std::vector<RankingRow> ranking(const LedgerFacts &facts, const std::optional<DaySpan> &period);

// The columns of a ranking, in the order of their headings.
enum class RankColumn { Category, Product, Quantity, Turnover, Profit, Share };

QStringList rankingHeaders();
// As a table for spreadsheets: plain numbers, the share in percent without its sign,
// empty cells for a product without a profit.
QStringList rankingColumns();
QStringList rankingCells(const RankingRow &row);

} // namespace ledger
