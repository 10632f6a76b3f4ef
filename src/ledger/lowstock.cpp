#include "ledger/lowstock.h"

#include "ledger/dates.h"
#include "ledger/facts.h"
#include "ledger/text.h"

#include <algorithm>

namespace ledger {

namespace {

struct Sums {
    CalcTotals totals;
    double out30 = 0;
    double out90 = 0;
    bool everOut = false;
};

LowStockRow::Group groupOf(const LowStockRow &row, bool everOut)
{
    if (!everOut)
        return LowStockRow::Enough;
    if (row.stock <= 0)
        return LowStockRow::OutOfStock;
    if (row.daysLeft && *row.daysLeft < 7)
        return LowStockRow::Within7Days;
    if (row.daysLeft && *row.daysLeft < 30)
        return LowStockRow::Within30Days;
    return LowStockRow::Enough;
}

} // namespace

std::vector<LowStockRow> lowStock(const std::vector<Record> &rows, const QDate &today, bool all)
{
    return lowStock(LedgerFacts(rows), today, all);
}

std::vector<LowStockRow> lowStock(const LedgerFacts &facts, const QDate &today, bool all)
{
    std::vector<Sums> sums(facts.products().size());
    const DaySpan last30 = DaySpan::lastDays(today, 30);
    const DaySpan last90 = DaySpan::lastDays(today, 90);
    facts.forEachTransaction([&](const RowFact &f) {
        Sums &s = sums[static_cast<std::size_t>(f.product)];
        // Only the net stock is used here: the totals are not read.
        s.totals.add(f.stockIn, f.qty, 0, true);
        if (f.stockIn || f.stockTake) // a stock-take's shortage is no sale: no rate
            return;
        s.everOut = true;
        if (last90.contains(f.day)) {
            s.out90 += f.qty;
            if (last30.contains(f.day))
                s.out30 += f.qty;
        }
    });

    std::vector<LowStockRow> out;
    for (std::size_t i = 0; i < sums.size(); ++i) {
        const Sums &s = sums[i];
        LowStockRow row;
        row.product = facts.products()[i];
        row.stock = s.totals.netStock;
        if (s.out30 > 0) {
            row.dailyOut = s.out30 / 30;
            row.rateDays = 30;
        } else if (s.out90 > 0) {
            row.dailyOut = s.out90 / 90;
            row.rateDays = 90;
        }
        if (row.rateDays > 0)
            row.daysLeft = std::max(0.0, static_cast<double>(row.stock) / row.dailyOut);
        row.group = groupOf(row, s.everOut);
        if (all || row.group != LowStockRow::Enough)
            out.push_back(row);
    }
    std::stable_sort(out.begin(), out.end(), [](const LowStockRow &a, const LowStockRow &b) {
        if (a.group != b.group)
            return a.group < b.group;
        if (a.daysLeft.has_value() != b.daysLeft.has_value())
            return a.daysLeft.has_value();
        if (a.daysLeft && *a.daysLeft != *b.daysLeft)
            return *a.daysLeft < *b.daysLeft;
        return a.dailyOut > b.dailyOut; // the faster seller first
    });
    return out;
}

QString lowStockStatus(LowStockRow::Group group)
{
    static const QString status[] = {QStringLiteral("缺货"), QStringLiteral("7天内"), QStringLiteral("30天内"),
                                     QString()};
    return status[group];
}

QStringList lowStockColumns()
{
    return {QStringLiteral("类"),       QStringLiteral("商品名"),   QStringLiteral("库存"),
            QStringLiteral("日均出货"), QStringLiteral("按天数计"), QStringLiteral("可售天数"),
            QStringLiteral("状态")};
}

QStringList lowStockCells(const LowStockRow &row)
{
    const bool rated = row.rateDays > 0;
    return {row.product.category,
            row.product.name,
            QString::number(row.stock),
            rated ? shortNumber(row.dailyOut) : QString(),
            rated ? QString::number(row.rateDays) : QString(),
            row.daysLeft ? shortNumber(*row.daysLeft) : QString(),
            lowStockStatus(row.group)};
}

} // namespace ledger
