// What the analyses share: the products of the ledger with the calculation sums of each, spans
// of days, and the fixed-width columns of their lists.
#pragma once

#include "ledger/store.h"
#include "ledger/calc.h"

#include <QDate>
#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

namespace ledger {

class LedgerFacts;

struct Product {
    QString category;
    QString name;
};

// Every product row of the ledger, once per category and name, in stored order; and for a
// transaction, the product it belongs to.
class ProductIndex {
public:
    explicit ProductIndex(const std::vector<Record> &rows);
    const std::vector<Product> &products() const { return m_products; }
    // The product of a transaction, or -1 when it has none. Remembers the texts' addresses:
    // only while the rows it was asked about are unchanged.
    int find(const Record &r);
    // The same by comparing the texts.
    int lookup(const QString &category, const QString &name) const;
    // Takes a product row in; false when its product was known already.
    bool add(const Record &productRow);

private:
    std::vector<Product> m_products;
    QHash<QString, int> m_byName; // the last product of each name
    std::vector<int> m_sameName;  // the product before it of the same name, or -1
    // The loaded ledger shares equal texts, so a product is found by its texts' addresses
    // (an open table that grows with the pairs seen), the texts compared only once a pair.
    struct Slot {
        const QChar *cat = nullptr;
        const QChar *name = nullptr;
        qsizetype catSize = 0;
        qsizetype nameSize = 0;
        int product = -1;
        bool used = false;
    };
    std::vector<Slot> m_slots = std::vector<Slot>(1024);
    std::size_t m_used = 0;
    static std::size_t slotOf(const QChar *cat, const QChar *name, std::size_t mask);
    void grow();
};

// Days as two-digit-year day numbers (dayNumber), as every date test of the program compares
// them: from..to inclusive; a span whose start lies after its end runs across the turn of a
// century (99-12-20 .. 00-01-10).
struct DaySpan {
    int from = 0;
    int to = 0;
    static DaySpan between(const QDate &first, const QDate &last);
    // The n days up to and including today.
    static DaySpan lastDays(const QDate &today, int n);
    bool contains(int day) const;
};

// A number for a list column: two decimals at most, no trailing zeros.
QString shortNumber(double value);

} // namespace ledger
