#include "query/find.h"

#include "ledger/dates.h"
#include "ledger/text.h"

namespace ledger {

namespace {

bool isTransaction(const Record &r) { return r.hasKind && r.kind == kTransaction; }

} // namespace

bool dateMatches(const QString &stored, const QString &chosen, double condition)
{
    const double m = condition == DateDayDetail ? DateOn : condition;
    if (m == DateAny)
        return true;
    const QString a = dateYYMMDD(stored);
    const QString b = dateYYMMDD(chosen);
    if (a.isNull() || b.isNull())
        return false;
    // Two-digit years: text order is date order only within one century (99 sorts after 06).
    if (m == DateBefore)
        return a < b;
    if (m == DateOn)
        return a == b;
    if (m == DateAfter)
        return a > b;
    return false;
}

FindResult findTransactions(const std::vector<Record> &rows, const FindQuery &q)
{
    FindResult result;
    for (const Record &r : rows) {
        if (!dateMatches(r.date, q.date, q.condition))
            continue;
        if (!q.anyProduct && r.name != q.product)
            continue;
        if (!q.anyCategory && r.cat != q.category)
            continue;
        if (!isTransaction(r))
            continue;
        if (!(q.stockIn && q.stockOut)) {
            if (q.stockOut) {
                if (r.method != kStockOut)
                    continue;
            } else if (q.stockIn) {
                if (r.method != kStockIn)
                    continue;
            } else {
                continue;
            }
        }
        result.matches.push_back(r);
        const double total = parseNumber(r.total);
        result.net += r.method == kStockIn ? total : -total;
    }
    return result;
}

} // namespace ledger
