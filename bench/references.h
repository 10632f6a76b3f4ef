// The references our answers are timed against and checked with: the straightforward algorithm
// (every call walks the stored rows afresh, as a recordset) and one SQL statement per question.
#pragma once

#include "ledger/calc.h"
#include "ledger/find.h"
#include "ledger/stats.h"

#include <QStringList>
#include <sqlite3.h>

#include <vector>

namespace bench {

// The rows a listing shows, by id, and its amount total.
struct Listed {
    std::vector<qint64> ids;
    double amount = 0;
    bool operator==(const Listed &o) const;
};

bool isTx(const ledger::Record &r);

QStringList plainNames(sqlite3 *db, int kind, const QString &category);
Listed plainTransactions(sqlite3 *db, const QString &cat, const QString &prod, const QString &dir, bool monthOnly);
Listed plainFind(sqlite3 *db, const ledger::FindQuery &q);
ledger::CalcTotals plainCalc(sqlite3 *db, const QString &cat, const QString &prod, ledger::Calculation calcno);
ledger::DateRange plainRange(sqlite3 *db);
// Stops after budgetMs (complete is then false) with the lines written so far.
QStringList plainStats(sqlite3 *db, const QString &startText, const QString &endText, double budgetMs,
                       bool *complete);

// The date functions the statements call (ymd, ym, daykey).
void registerFunctions(sqlite3 *db);
QStringList sqlNames(sqlite3 *db, int kind, const QString &category);
Listed sqlTransactions(sqlite3 *db, const QString &cat, const QString &prod, const QString &dir, bool monthOnly);
// Both directions; optional category, product and "on this day".
Listed sqlFind(sqlite3 *db, const QString &cat, const QString &prod, const QString &day);
struct SqlCalc {
    double inQty = 0, inAmount = 0, outQty = 0, outAmount = 0, monthOutQty = 0;
};
SqlCalc sqlCalc(sqlite3 *db, const QString &cat, const QString &prod);
ledger::DateRange sqlRange(sqlite3 *db);
QStringList sqlStats(sqlite3 *db, const QString &startText, const QString &endText);

} // namespace bench
