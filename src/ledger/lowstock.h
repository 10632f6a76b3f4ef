// 库存预警: which goods are running out, from the stock on hand (as the calculation "剩余"
// gives it) and the stock-outs of the last 30 days (90 when there were none in 30).
#pragma once

#include "ledger/products.h"

#include <optional>

namespace ledger {

struct LowStockRow {
    enum Group { OutOfStock = 0, Within7Days = 1, Within30Days = 2, Enough = 3 };
    Product product;
    qint64 stock = 0;      // the net stock of calculation 1
    double dailyOut = 0;   // average daily stock-out
    int rateDays = 0;      // 30 or 90: the days dailyOut was taken over; 0: no stock-out in 90
    std::optional<double> daysLeft; // at that rate; none without a rate, 0 when nothing is left
    Group group = Enough;
};

// Products with stock <= 0 first, then those lasting fewer than 7 days, then fewer than 30, each
// group by days left; the others (among them every product that never had a stock-out) only
// with all.
std::vector<LowStockRow> lowStock(const std::vector<Record> &rows, const QDate &today, bool all);
std::vector<LowStockRow> lowStock(const LedgerFacts &facts, const QDate &today, bool all);

// "缺货", "7天内", "30天内"; empty for enough.
QString lowStockStatus(LowStockRow::Group group);
// As a table for spreadsheets: plain numbers, the days of the rate in a column of their own, an
// empty cell where there is no figure.
QStringList lowStockColumns();
QStringList lowStockCells(const LowStockRow &row);

} // namespace ledger
