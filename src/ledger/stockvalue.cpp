#include "ledger/stockvalue.h"

#include "ledger/facts.h"
#include "ledger/text.h"

namespace ledger {

namespace {
QString unvaluedReason(const UnvaluedProduct &p)
{
    return p.stock < 0 ? QStringLiteral("库存为负") : QStringLiteral("无进货价");
}
} // namespace

StockValue stockValue(const std::vector<Record> &rows) { return stockValue(LedgerFacts(rows)); }

StockValue stockValue(const LedgerFacts &facts)
{
    std::vector<CalcTotals> sums(facts.products().size());
    facts.forEachTransaction([&](const RowFact &f) {
        // The value needs the stock-in totals only; the stock-out totals are not read.
        sums[static_cast<std::size_t>(f.product)].add(f.stockIn, f.qty, f.stockIn ? f.total : 0, true);
    });

    StockValue v;
    QHash<QString, std::size_t> slot;
    auto categoryOf = [&](const QString &name) -> CategoryValue & {
        auto it = slot.constFind(name);
        if (it == slot.cend()) {
            it = slot.insert(name, v.categories.size());
            v.categories.push_back({name});
        }
        return v.categories[*it];
    };
    for (const QString &name : facts.categories())
        categoryOf(name);
    for (std::size_t i = 0; i < sums.size(); ++i) {
        const Product &p = facts.products()[i];
        CategoryValue &c = categoryOf(p.category);
        const CalcFigures f = deriveFigures(sums[i]);
        const qint64 stock = sums[i].netStock;
        if (stock < 0 || (stock > 0 && !f.hasStockValue())) {
            v.apart.push_back({p, stock, f.hasStockValue(), f.stockValue});
            continue;
        }
        if (stock == 0 && !f.hasStockValue())
            continue; // nothing on hand and nothing to price it with
        ++c.products;
        c.stock += stock;
        c.value += f.stockValue;
        v.total += f.stockValue;
    }
    return v;
}

QStringList stockValueColumns()
{
    return {QStringLiteral("类"), QStringLiteral("商品数"), QStringLiteral("库存数量"), QStringLiteral("库存金额(元)")};
}

QStringList stockValueCells(const StockValue &v, std::size_t row)
{
    if (row >= v.categories.size())
        return {QStringLiteral("合计"), QString(), QString(), formatNumber(v.total)};
    const CategoryValue &c = v.categories[row];
    return {c.category, QString::number(c.products), QString::number(c.stock), formatNumber(c.value)};
}

QStringList unvaluedColumns()
{
    return {QStringLiteral("类"), QStringLiteral("商品名"), QStringLiteral("库存"), QStringLiteral("金额(元)"),
            QStringLiteral("原因")};
}

QStringList unvaluedCells(const UnvaluedProduct &p)
{
    return {p.product.category, p.product.name, QString::number(p.stock),
            p.hasValue ? formatNumber(p.value) : QString(), unvaluedReason(p)};
}

} // namespace ledger
