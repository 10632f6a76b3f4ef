// The ledger rows as the analyses read them: each transaction's product, direction, quantity,
// total and day, read from its texts once. The store keeps one up to date as rows are added and
// deleted, so an analysis of a large ledger only sums numbers.
#pragma once

#include "ledger/dates.h"
#include "ledger/products.h"

namespace ledger {

struct RowFact {
    double qty = 0;   // parseNumber of the quantity
    double total = 0; // parseNumber of the total
    int product = -1; // in products(); -1: not a transaction, or of no known product
    int day = kNoDay; // dayNumber of the date
    bool transaction = false;
    bool stockIn = false; // the direction is kStockIn
    bool stockTake = false; // posted by a stock-take: no sale, though it counts in the stock
};

class LedgerFacts {
public:
    // One fact per row, at the row's position.
    explicit LedgerFacts(const std::vector<Record> &rows);

    const std::vector<Product> &products() const { return m_index.products(); }
    // The names of the category rows, in stored order.
    const QStringList &categories() const { return m_categories; }
    const std::vector<RowFact> &facts() const { return m_facts; }
    // The product of this category and name in products(), or -1.
    int product(const QString &category, const QString &name) const { return m_index.lookup(category, name); }

    // Calls fn(fact) for every transaction of a known product, in stored order.
    template <class Fn> void forEachTransaction(Fn fn) const
    {
        for (const RowFact &f : m_facts)
            if (f.product >= 0)
                fn(f);
    }

    // rows has grown by the row at this position, its last one when the facts were last told.
    void appended(const std::vector<Record> &rows, std::size_t position);
    // The row at this position was posted by a stock-take.
    void markStockTake(std::size_t position) { m_facts[position].stockTake = true; }
    // The rows at these ascending positions are about to be deleted. False when the facts
    // cannot follow (a category or product row among them): build them afresh then.
    bool removing(const std::vector<Record> &rows, const std::vector<std::size_t> &positions);

private:
    RowFact factOf(const Record &r, int product);

    ProductIndex m_index;
    QStringList m_categories;
    std::vector<RowFact> m_facts;
    std::size_t m_orphans = 0; // transactions of no known product
    DayMemo m_days;
};

} // namespace ledger
