// The find query over the ledger: which transactions match a category, a product, the
// directions and a date condition, and their net amount.
#pragma once

#include "ledger/store.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace ledger {

// Date conditions: none, before, on, after the chosen date; the day detail asks for "on"
// with its own code so that the status line keeps the welcome text. The values are the codes
// requests carry.
enum DateCondition { DateAny = 0, DateBefore = 1, DateOn = 2, DateAfter = 3, DateDayDetail = 6, DateUnknown = -1 };

// The condition a request's code names; DateUnknown, which no record satisfies, for any other.
DateCondition dateCondition(double code);

// The find dialog's options: which categories, products and directions a query accepts.
struct FindOptions {
    bool anyCategory = false;
    bool anyProduct = false;
    bool stockIn = false;  // include 进货
    bool stockOut = false; // include 出货
};

// Any category, any product, both directions: the statistics window's day detail.
inline constexpr FindOptions kEveryTransaction{true, true, true, true};

struct FindQuery : FindOptions {
    QString category;
    QString product;
    QString date;      // the chosen date, any readable form
    DateCondition condition = DateAny;
};

struct FindResult {
    RecordRefs matches; // in stored order, into the rows searched
    double net = 0;              // stock-in totals minus every other total
};

// Compares the two dates normalised to YY-MM-DD as texts. A stored date that cannot be read
// satisfies no condition but "none", except the day detail when it is exactly the chosen text;
// an unreadable chosen date matches no readable stored one.
bool dateMatches(const QString &stored, const QString &chosen, DateCondition condition);

FindResult findTransactions(const std::vector<Record> &rows, const FindQuery &q);

} // namespace ledger
