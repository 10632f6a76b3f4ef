// The five calculations for one product: remaining stock, turnover, operating profit, value of
// the stock on hand and operating profit of the current month.
#pragma once

#include "ledger/store.h"

#include <QDate>
#include <QString>
#include <vector>

namespace ledger {

// The calculations, by the numbers requests carry. A number that names none shows no result:
// below the profit ones nothing at all (CalcNone), above them still the note that stock-ins or
// stock-outs are missing (CalcNotesOnly).
enum Calculation {
    CalcNone = 0,
    CalcStock = 1,
    CalcTurnover = 2,
    CalcProfit = 3,
    CalcStockValue = 4,
    CalcMonthProfit = 5,
    CalcNotesOnly = 6,
};

// The calculation a request's number names.
Calculation calculation(double number);

struct CalcTotals {
    qint64 netStock = 0; // rounded to an integer (ties to even) after every record
    double inAmount = 0;
    double inQty = 0;
    double outAmount = 0; // the turnover
    double outQty = 0;
    double monthOutQty = 0; // for calculation 5 only the stock-outs of the current month
    double monthOutAmount = 0; // the stock-out totals counted with monthOutQty

    // One transaction of the product. A record is a stock-in when its direction equals stockIn;
    // inMonth says whether a stock-out counts in the month sums.
    void add(const Record &r, const QString &stockIn, bool inMonth);
    // The same with the quantity and total already read.
    void add(bool stockIn, double qty, double total, bool inMonth);
};

// Sums the transactions of one product. A record is a stock-in when its direction equals
// stockIn; every other direction counts as a stock-out. A date that cannot be read is never
// of the current month.
CalcTotals sumProduct(const std::vector<Record> &rows, const QString &category, const QString &product,
                      Calculation calcno, const QString &stockIn, const QDate &today);

// What the calculations derive from the sums. profit and monthProfit exist only when both
// quantity sums are non-zero, the stock value only when there were stock-ins.
struct CalcFigures {
    enum Zero { BothPresent = 0, NoStockIn = 1, NoStockOut = 2 };
    Zero zero = BothPresent;
    double outAvg = 0;
    double inAvg = 0;
    double profit = 0;
    double monthProfit = 0;
    double stockValue = 0;

    bool hasProfit() const { return zero == BothPresent; }
    bool hasStockValue() const { return zero != NoStockIn; }
};
CalcFigures deriveFigures(const CalcTotals &t);

// One message box to show: its title and text.
struct CalcMessage {
    QString title;
    QString text;
};

// The boxes of one calculation, in the order they are shown: the result (if any), then the
// note that stock-ins or stock-outs are missing.
std::vector<CalcMessage> calculate(const std::vector<Record> &rows, const QString &category,
                                   const QString &product, Calculation calcno, const QString &stockIn,
                                   const QDate &today);

} // namespace ledger
