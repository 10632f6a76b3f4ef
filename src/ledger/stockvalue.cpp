#include "ledger/stockvalue.h"

#include "ledger/browse.h"
#include "ledger/text.h"

namespace ledger {

namespace {
const std::vector<int> kCategoryWidths = {20, -8, -10, -14};
const std::vector<int> kApartWidths = {12, 20, -8, -14, 10};
} // namespace

StockValue stockValue(const std::vector<Record> &rows)
{
    ProductIndex index(rows);
    std::vector<CalcTotals> sums(index.products().size());
    index.forEachTransaction(rows, [&](const Record &r, std::size_t p) {
        // The value needs the stock-in totals only; the stock-out totals are not read.
        const bool stockIn = r.method == kStockIn;
        sums[p].add(stockIn, parseNumber(r.qty), stockIn ? parseNumber(r.total) : 0, true);
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
    for (const QString &name : categoryNames(rows))
        categoryOf(name);
    for (std::size_t i = 0; i < sums.size(); ++i) {
        const Product &p = index.products()[i];
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

QString stockValueHeader()
{
    return columnsLine({QStringLiteral("类"), QStringLiteral("商品数"), QStringLiteral("库存数量"),
                        QStringLiteral("库存金额(元)")},
                       kCategoryWidths);
}

QString stockValueLine(const CategoryValue &c)
{
    return columnsLine({c.category, QString::number(c.products), QString::number(c.stock), formatNumber(c.value)},
                       kCategoryWidths);
}

QString stockValueTotalLine(const StockValue &v)
{
    return columnsLine({QStringLiteral("合计"), QString(), QString(), formatNumber(v.total)}, kCategoryWidths);
}

QString unvaluedHeader()
{
    return columnsLine({QStringLiteral("类"), QStringLiteral("商品名"), QStringLiteral("库存"),
                        QStringLiteral("金额(元)"), QStringLiteral("原因")},
                       kApartWidths);
}

QString unvaluedLine(const UnvaluedProduct &p)
{
    return columnsLine({p.product.category, p.product.name, QString::number(p.stock),
                        p.hasValue ? formatNumber(p.value) : QStringLiteral("-"),
                        p.stock < 0 ? QStringLiteral("库存为负") : QStringLiteral("无进货价")},
                       kApartWidths);
}

} // namespace ledger
