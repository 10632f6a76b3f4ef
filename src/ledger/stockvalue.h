// 库存金额: the value of the stock on hand per category and in total, each product valued as
// the calculation "库存积压总货款" values it (average stock-in price times the net stock).
#pragma once

#include "ledger/products.h"

namespace ledger {

struct CategoryValue {
    QString category;
    int products = 0; // products valued
    qint64 stock = 0; // their pieces on hand
    double value = 0;
};

// A product left out of the values: stock below zero, or stock without a stock-in price.
struct UnvaluedProduct {
    Product product;
    qint64 stock = 0;
    bool hasValue = false;
    double value = 0;
};

struct StockValue {
    std::vector<CategoryValue> categories; // every category, in stored order
    double total = 0;
    std::vector<UnvaluedProduct> apart;
};

StockValue stockValue(const std::vector<Record> &rows);
StockValue stockValue(const LedgerFacts &facts);

// The two lists as tables: the categories with the total as the last row, and the products
// left out (an empty value where there is none).
QStringList stockValueColumns();
QStringList stockValueCells(const StockValue &v, std::size_t row);
QStringList unvaluedColumns();
QStringList unvaluedCells(const UnvaluedProduct &p);

} // namespace ledger
