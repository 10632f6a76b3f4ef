// What the ledger keeps for stock-takes besides their transactions: the scanner codes of the
// products and a record of every posted stock-take.
#pragma once

#include <QString>
#include <vector>

namespace ledger {

// A code a scanner reads off a product's label; a product may have several.
struct ProductCode {
    QString code;
    QString category;
    QString name;
};

// One product of a posted stock-take.
struct StockTakeLine {
    QString category;
    QString name;
    qint64 book = 0;  // the stock the ledger showed when it was posted
    qint64 count = 0; // what was counted
    qint64 rowId = 0; // the transaction that corrected the book; 0 when none was needed
    QString txno;     // its transaction number
    qint64 difference() const { return count - book; }
};

struct StockTakeRecord {
    qint64 id = 0;
    QString when;     // yyyy-MM-dd HH:mm:ss
    QString computer; // the host name of the computer it was posted on
    std::vector<StockTakeLine> lines;
};

} // namespace ledger
