#include "ledger/browse.h"

#include "ledger/columns.h"
#include "ledger/dates.h"
#include "ledger/text.h"

#include <QHash>
#include <QtNumeric>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace ledger {

namespace {

// A column never written equals nothing, and an empty value is never looked for.
bool eq(const QString &stored, const QString &value)
{
    return !stored.isNull() && !value.isEmpty() && stored == value;
}

// The kind a request's first field names; none when it is not a whole number.
std::optional<int> requestedKind(const QString &field)
{
    const double v = parseNumber(field);
    if (v != std::trunc(v) || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(v);
}

qint64 saturatingAdd(qint64 a, qint64 b)
{
    qint64 out = 0;
    if (qAddOverflow(a, b, &out))
        return b > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
    return out;
}

} // namespace

QStringList categoryNames(const RecordRefs &rows)
{
    QStringList out;
    for (const Record &r : rows)
        if (r.isKind(kCategory))
            out << r.name;
    return out;
}

QStringList productNames(const RecordRefs &rows, const QString &category)
{
    QStringList out;
    for (const Record &r : rows)
        if (r.isKind(kProduct) && eq(r.cat, category))
            out << r.name;
    return out;
}

bool inMonthOf(const Record &r, const QDate &today)
{
    const int day = dayNumber(r.date);
    return day != kNoDay && day / 100 == dayNumber(today) / 100;
}

qint64 addQuantity(qint64 sum, double quantity)
{
    if (!std::isfinite(quantity))
        return sum;
    // Whole part in integers, so large sums stay exact; then round the fraction against the
    // parity of the new sum.
    const double whole = std::trunc(quantity);
    const double frac = quantity - whole;
    const qint64 s = saturatingAdd(sum, roundEven(whole));
    if (frac > 0.5 || (frac == 0.5 && s % 2 != 0))
        return saturatingAdd(s, 1);
    if (frac < -0.5 || (frac == -0.5 && s % 2 != 0))
        return saturatingAdd(s, -1);
    return s;
}

QString transactionLine(const Record &r)
{
    // A "|" inside a field shifts the fields of the text: let the text decide then.
    for (const Column &c : kTextColumns)
        if ((r.*c.field).contains(kSep))
            return makeTxLine(recordText(r));
    return makeTxLine(r.name, r.price, r.qty, r.total, r.date, r.method, r.txno);
}

TxListing listTransactions(const std::vector<Record> &rows, const QString &category,
                           const QString &product, const QString &direction, bool monthOnly,
                           const QDate &today)
{
    TxListing out;
    extendListing(out, rows, 0, category, product, direction, monthOnly, today);
    return out;
}

void extendListing(TxListing &listing, const std::vector<Record> &rows, std::size_t from, const QString &category,
                   const QString &product, const QString &direction, bool monthOnly, const QDate &today)
{
    listing.records.clear();
    const int month = dayNumber(today) / 100;
    for (auto r = rows.cbegin() + static_cast<std::ptrdiff_t>(std::min(from, rows.size())); r != rows.cend(); ++r) {
        // The cheap tests first: only the product's own lines have their date read.
        if (!r->isKind(kTransaction) || !eq(r->cat, category) || !eq(r->name, product) ||
            !eq(r->method, direction))
            continue;
        if (monthOnly) {
            const int day = dayNumber(r->date);
            if (day == kNoDay || day / 100 != month)
                continue;
        }
        listing.records.push_back(*r);
        listing.quantitySum = addQuantity(listing.quantitySum, parseNumber(r->qty));
        listing.amountSum += parseNumber(r->total);
    }
}

bool deleteMatches(const Record &r, const QStringList &f, const QString &category,
                   const QString &direction)
{
    const std::optional<int> k = requestedKind(f.value(0));
    const QString f1 = f.value(1), f2 = f.value(2), f3 = f.value(3), f4 = f.value(4),
                  f5 = f.value(5), f6 = f.value(6), f7 = f.value(7);
    // Either clause lets a record through every test.
    const bool kind1 = k == kCategory, kind2 = k == kProduct, kind3 = k == kTransaction;
    const bool ofKind = k && r.isKind(*k);
    const bool categoryClause = r.isKind(kProduct) && eq(r.cat, category) && kind1;
    const bool productClause = kind2 && eq(r.cat, f2) && eq(r.name, f1);
    if (categoryClause || productClause)
        return true;
    const bool tests[] = {
        ofKind,
        eq(r.name, f1),
        kind1 || kind3 || eq(r.cat, f2) || eq(r.total, f3),
        kind1 || kind2 || eq(r.price, f3) || eq(r.date, f4),
        kind1 || kind2 || eq(r.qty, f4) || eq(r.method, f5),
        kind1 || kind2 || eq(r.total, f5) || ofKind,
        kind1 || kind2 || eq(r.date, f6) || eq(r.txno, f6),
        kind1 || kind2 || eq(r.txno, f7) || eq(r.txno, f6),
        kind1 || kind2 || eq(r.method, direction) || eq(r.txno, f6),
    };
    for (bool passed : tests)
        if (!passed)
            return false;
    return true;
}

bool deleteRemoves(const Record &r, const QStringList &f, const QString &category,
                   const QString &direction)
{
    const bool wholeCategory = requestedKind(f.value(0)) == kCategory && !category.isEmpty();
    return deleteMatches(r, f, category, direction) || (wholeCategory && r.cat == category);
}

int removeLines(Store &store, const std::vector<SelectedLine> &lines, const QString &category,
                const QString &direction)
{
    QHash<qint64, const Record *> exact;
    std::vector<const QStringList *> requests;
    for (const SelectedLine &line : lines) {
        if (line.record.id != 0)
            exact.insert(line.record.id, &line.record);
        else
            requests.push_back(&line.request);
    }
    return store.removeWhere([&](const Record &r) {
        if (const auto it = exact.constFind(r.id); it != exact.cend() && r.sameContent(**it))
            return true;
        return std::any_of(requests.cbegin(), requests.cend(),
                           [&](const QStringList *f) { return deleteRemoves(r, *f, category, direction); });
    });
}

} // namespace ledger
