// 盘点: counting the shelves against the book. The book figure of a product is its remaining
// stock as the calculation "选中商品的剩余" gives it; posting turns the differences of the
// counted products into ordinary transactions, so every calculation and analysis follows.
#pragma once

#include "ledger/products.h"
#include "ledger/random.h"
#include "ledger/stocktake_records.h"

#include <QDateTime>
#include <QHash>
#include <optional>

namespace ledger {

// What the scan box read: the code and the pieces it counts ("12*" in front counts 12).
struct Scan {
    qint64 quantity = 1;
    QString code;
};
// Nothing when there is no code, or the number in front of "*" is not from 1 to 999999.
std::optional<Scan> readScan(const QString &text);

// EAN-13 and UPC-A codes (13 and 12 digits) end in a check digit; other codes (EAN-8, UPC-E, a
// shop's own labels) carry none that can be told from their length, and are taken as they are.
enum class CodeCheck { Unchecked, Valid, Misread };
CodeCheck checkCode(const QString &code);

struct CountLine {
    Product product;
    qint64 book = 0;              // the net stock of the calculations
    std::optional<double> price;  // the average stock-in price; none without stock-ins
    std::optional<qint64> count;  // none until counted
    qint64 difference() const { return count ? *count - book : 0; }
    // The difference at the average stock-in price (0 without one).
    double value() const { return static_cast<double>(difference()) * price.value_or(0); }
};

struct CountTotals {
    qint64 book = 0;
    qint64 count = 0;
    int counted = 0; // lines with a count
    qint64 difference = 0;
    double value = 0;
};
CountTotals countTotals(const std::vector<CountLine> &lines, const std::vector<std::size_t> &which);

class StockTake {
public:
    // Takes the book figure of every product of the ledger now, in stored order; no counts.
    // Throws StoreError when the ledger cannot be read.
    void begin(Store &store);
    const std::vector<CountLine> &lines() const { return m_lines; }
    bool anyCounted() const;
    // The line of a product, or none.
    std::optional<std::size_t> lineOf(const Product &p) const;
    void setCount(std::size_t line, std::optional<qint64> count);
    void addCount(std::size_t line, qint64 pieces);

    // The codes the ledger knows; a code of no listed product is left out.
    void setCodes(const std::vector<ProductCode> &codes);
    std::optional<std::size_t> lineOfCode(const QString &code) const;
    void remember(const QString &code, std::size_t line);

    // Counted lines whose product had a transaction added or deleted since its book figure
    // was taken, or is no longer in the ledger.
    std::vector<std::size_t> moved(Store &store) const;
    // Takes the book figures of these lines afresh and forgets their counts.
    void recount(const std::vector<std::size_t> &lines, Store &store);
    // Counted lines with more on the shelf than in the book and no stock-in price to value it.
    std::vector<std::size_t> surplusWithoutPrice() const;

private:
    std::vector<CountLine> m_lines;
    std::vector<quint64> m_marks; // per line: a mark of its product's transactions
    QHash<QString, std::size_t> m_byProduct;
    QHash<QString, std::size_t> m_codes;
};

// What posting writes: a shortage as a stock-out of the missing pieces at price 0, a surplus
// as a stock-in at the average stock-in price (0 without one), dated today, numbered as the
// main window numbers an added transaction (draws from rnd, rowCount rows before the first).
// Book figures are those of now: after posting, the book of every counted product still in
// the ledger equals its count. Products not counted are left alone.
struct Posting {
    StockTakeRecord record;
    std::vector<Record> rows; // one for each line of the record with a difference
};
Posting preparePosting(const StockTake &take, Store &store, Rnd &rnd, const QDateTime &now,
                       const QString &computer);

// Prepares and posts in one transaction; the rows join the store's rows in memory. Throws
// StoreError with nothing posted.
StockTakeRecord postStockTake(const StockTake &take, Store &store, Rnd &rnd, const QDateTime &now,
                              const QString &computer);

// The record of a posted stock-take as a table for spreadsheets.
QStringList stockTakeColumns();
QStringList stockTakeCells(const StockTakeLine &line);

} // namespace ledger
