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

QString stockValueHeader();
QString stockValueLine(const CategoryValue &c);
QString stockValueTotalLine(const StockValue &v);
QString unvaluedHeader();
QString unvaluedLine(const UnvaluedProduct &p);

} // namespace ledger
