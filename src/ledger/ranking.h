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
// first.
std::vector<RankingRow> ranking(const std::vector<Record> &rows, const std::optional<DaySpan> &period);

enum class RankColumn { Category, Product, Quantity, Turnover, Profit, Share };
inline constexpr int kRankColumns = 6;
// Best first: numbers from the largest, names in text order; reversed turns it round. Products
// without a profit stay at the end when sorting by profit or share.
void sortRanking(std::vector<RankingRow> &rows, RankColumn column, bool reversed);

QStringList rankingHeaders();
// Display columns of each field of a line, for the header over the list.
const std::vector<int> &rankingWidths();
QString rankingLine(const RankingRow &row);

} // namespace ledger
