#include "ledger/find.h"

#include "ledger/dates.h"
#include "ledger/text.h"

namespace ledger {

namespace {

bool isTransaction(const Record &r) { return r.isKind(kTransaction); }

} // namespace

namespace {

// The date test on day numbers, which order like the "YY-MM-DD" texts.
bool dayMatches(int stored, int chosen, DateCondition condition)
{
    const DateCondition m = condition == DateDayDetail ? DateOn : condition;
    if (m == DateAny)
        return true;
    if (stored == kNoDay || chosen == kNoDay)
        return false;
    // Two-digit years: the order is date order only within one century (99 sorts after 06).
    if (m == DateBefore)
        return stored < chosen;
    if (m == DateOn)
        return stored == chosen;
    if (m == DateAfter)
        return stored > chosen;
    return false;
}

// The day detail lists the day of a statistics line, whose date may be a text that is no date:
// such a stored text matches when it is exactly the chosen one.
bool recordMatches(const QString &stored, int storedDay, const QString &chosen, int chosenDay,
                   DateCondition condition)
{
    if (condition == DateDayDetail && storedDay == kNoDay)
        return !stored.isEmpty() && stored == chosen;
    return dayMatches(storedDay, chosenDay, condition);
}

} // namespace

DateCondition dateCondition(double code)
{
    for (DateCondition c : {DateAny, DateBefore, DateOn, DateAfter, DateDayDetail})
        if (code == static_cast<int>(c))
            return c;
    return DateUnknown;
}

bool dateMatches(const QString &stored, const QString &chosen, DateCondition condition)
{
    return recordMatches(stored, dayNumber(stored), chosen, dayNumber(chosen), condition);
}

FindResult findTransactions(const std::vector<Record> &rows, const FindQuery &q)
{
    FindResult result;
    const int chosen = dayNumber(q.date);
    DayMemo days;
    for (const Record &r : rows) {
        // The date is read last, for the records that pass every other test.
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
        if (q.condition != DateAny && !recordMatches(r.date, days.day(r.date), q.date, chosen, q.condition))
            continue;
        result.matches.push_back(r);
        const double total = parseNumber(r.total);
        result.net += r.method == kStockIn ? total : -total;
    }
    return result;
}

} // namespace ledger
