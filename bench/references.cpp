#include "references.h"

#include "bench.h"
#include "ledger/dates.h"
#include "ledger/sqlite_db.h"
#include "ledger/text.h"

#include <QDate>
#include <sqlite3.h>

#include <optional>

using namespace ledger;
using ledger::sql::Query;

namespace bench {

bool Listed::operator==(const Listed &o) const
{
    return ids == o.ids && formatNumber(amount) == formatNumber(o.amount);
}

bool isTx(const Record &r) { return r.hasKind && r.kind == kTransaction; }

namespace {

// ---------------------------------------------------------------------------------------------
// The straightforward algorithms: every call walks the stored rows afresh, as a recordset.

void walk(sqlite3 *db, const std::function<void(const Record &)> &visit)
{
    Query q(db, "SELECT rowid, \"标号\", \"名称\", \"类\", \"价格\", \"数量\", \"总额\", \"日期\", "
                "\"方法\", \"交易号码\" FROM \"库\" ORDER BY rowid");
    while (q.next()) {
        Record r;
        r.id = q.integer(0);
        r.hasKind = !q.isNull(1);
        r.kind = static_cast<int>(q.integer(1));
        r.name = q.text(2);
        r.cat = q.text(3);
        r.price = q.text(4);
        r.qty = q.text(5);
        r.total = q.text(6);
        r.date = q.text(7);
        r.method = q.text(8);
        r.txno = q.text(9);
        visit(r);
    }
}

void sqlDate(sqlite3_context *ctx, int, sqlite3_value **argv, QString (*normalise)(const QString &))
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto *p = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const QString out = normalise(QString::fromUtf8(p, sqlite3_value_bytes(argv[0])));
    if (out.isNull()) {
        sqlite3_result_null(ctx);
        return;
    }
    const QByteArray u = out.toUtf8();
    sqlite3_result_text(ctx, u.constData(), static_cast<int>(u.size()), SQLITE_TRANSIENT);
}

Listed sqlListing(Query &q)
{
    Listed out;
    while (q.next()) {
        out.ids.push_back(q.integer(0));
        out.amount += q.real(1);
    }
    return out;
}

} // namespace

QStringList plainNames(sqlite3 *db, int kind, const QString &category)
{
    QStringList out;
    walk(db, [&](const Record &r) {
        if (r.hasKind && r.kind == kind && (kind == kCategory || (!r.cat.isNull() && r.cat == category)))
            out << r.name;
    });
    return out;
}

Listed plainTransactions(sqlite3 *db, const QString &cat, const QString &prod, const QString &dir,
                         bool monthOnly)
{
    Listed out;
    const QString month = dateYYMM(QDate::currentDate());
    walk(db, [&](const Record &r) {
        if (monthOnly && dateYYMM(r.date) != month)
            return;
        if (isTx(r) && r.cat == cat && r.name == prod && r.method == dir) {
            out.ids.push_back(r.id);
            out.amount += parseNumber(r.total);
        }
    });
    return out;
}

Listed plainFind(sqlite3 *db, const FindQuery &q)
{
    Listed out;
    walk(db, [&](const Record &r) {
        if (!dateMatches(r.date, q.date, q.condition))
            return;
        if ((!q.anyProduct && r.name != q.product) || (!q.anyCategory && r.cat != q.category) || !isTx(r))
            return;
        if (!(q.stockIn && q.stockOut) && r.method != (q.stockIn ? kIn : kOut))
            return;
        out.ids.push_back(r.id);
        out.amount += r.method == kIn ? parseNumber(r.total) : -parseNumber(r.total);
    });
    return out;
}

CalcTotals plainCalc(sqlite3 *db, const QString &cat, const QString &prod, Calculation calcno)
{
    // The walk itself, then the same arithmetic on its sums.
    std::vector<Record> mine;
    walk(db, [&](const Record &r) {
        if (isTx(r) && r.cat == cat && r.name == prod)
            mine.push_back(r);
    });
    return sumProduct(mine, cat, prod, calcno, kIn, QDate::currentDate());
}

DateRange plainRange(sqlite3 *db)
{
    std::optional<QString> lo, hi;
    walk(db, [&](const Record &r) {
        if (!isTx(r) || r.date.isEmpty())
            return;
        if (!lo) {
            lo = hi = r.date;
            return;
        }
        if (dateKey(r.date) > dateKey(*hi))
            hi = r.date;
        if (dateKey(r.date) < dateKey(*lo))
            lo = r.date;
    });
    DateRange out;
    out.found = lo.has_value();
    if (out.found) {
        const bool reversed = parseNumber(dateYY(*hi)) > 50;
        out.start = reversed ? *hi : *lo;
        out.end = reversed ? *lo : *hi;
    }
    return out;
}

// The run as a recordset program does it: for every in-period transaction ask the list whether
// its day is there; for every new day walk the whole ledger again for its records. Stops after
// budgetMs (complete is then false) with the lines written so far.
QStringList plainStats(sqlite3 *db, const QString &startText, const QString &endText, double budgetMs,
                       bool *complete)
{
    const Period period = Period::fromLabels(startText, endText);
    std::vector<Record> order; // the outer walk's recordset position
    QStringList lines;
    QStringList listedKeys;
    DayTally tally;
    QElapsedTimer t;
    t.start();
    *complete = true;
    walk(db, [&](const Record &r) {
        if (!*complete || !isTx(r) || !period.contains(dateKey(r.date)))
            return;
        if (msSince(t) > budgetMs) {
            *complete = false;
            return;
        }
        const QString key = dateKey(r.date);
        for (const QString &k : listedKeys)
            if (k == key)
                return;
        walk(db, [&](const Record &o) {
            if (dateKey(o.date) == key)
                tally.addRecord(dayRecordText(o));
        });
        lines << dayLine(tally.closeDay(), 0);
        listedKeys << key;
    });
    return lines;
}

// ---------------------------------------------------------------------------------------------
// One SQL statement per question, over the same connection. Dates are normalised by a function
// registered on the connection, as someone writing the query would have to.

void registerFunctions(sqlite3 *db)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function(db, "ymd", 1, flags, nullptr,
                            [](sqlite3_context *c, int n, sqlite3_value **v) {
                                sqlDate(c, n, v, [](const QString &s) { return dateYYMMDD(s); });
                            },
                            nullptr, nullptr);
    sqlite3_create_function(db, "ym", 1, flags, nullptr,
                            [](sqlite3_context *c, int n, sqlite3_value **v) {
                                sqlDate(c, n, v, [](const QString &s) { return dateYYMM(s); });
                            },
                            nullptr, nullptr);
    sqlite3_create_function(db, "daykey", 1, flags, nullptr,
                            [](sqlite3_context *c, int n, sqlite3_value **v) {
                                sqlDate(c, n, v, [](const QString &s) { return dateKey(s); });
                            },
                            nullptr, nullptr);
}

QStringList sqlNames(sqlite3 *db, int kind, const QString &category)
{
    QStringList out;
    if (kind == kCategory) {
        Query q(db, "SELECT \"名称\" FROM \"库\" WHERE \"标号\" = 1 ORDER BY rowid");
        while (q.next())
            out << q.text(0);
    } else {
        Query q(db, "SELECT \"名称\" FROM \"库\" WHERE \"标号\" = 2 AND \"类\" = ? ORDER BY rowid");
        q.bind(1, category);
        while (q.next())
            out << q.text(0);
    }
    return out;
}

Listed sqlTransactions(sqlite3 *db, const QString &cat, const QString &prod, const QString &dir, bool monthOnly)
{
    Query q(db, monthOnly ? "SELECT rowid, CAST(\"总额\" AS REAL) FROM \"库\" WHERE \"标号\" = 3 AND \"类\" = ? "
                            "AND \"名称\" = ? AND \"方法\" = ? AND ym(\"日期\") = ? ORDER BY rowid"
                          : "SELECT rowid, CAST(\"总额\" AS REAL) FROM \"库\" WHERE \"标号\" = 3 AND \"类\" = ? "
                            "AND \"名称\" = ? AND \"方法\" = ? ORDER BY rowid");
    q.bind(1, cat).bind(2, prod).bind(3, dir);
    if (monthOnly)
        q.bind(4, dateYYMM(QDate::currentDate()));
    return sqlListing(q);
}

// Both directions; optional category, product and "on this day".
Listed sqlFind(sqlite3 *db, const QString &cat, const QString &prod, const QString &day)
{
    QByteArray sql = "SELECT rowid, CASE WHEN \"方法\" = '进货' THEN 1 ELSE -1 END * CAST(\"总额\" AS REAL) "
                     "FROM \"库\" WHERE \"标号\" = 3";
    int n = 0;
    if (!cat.isEmpty())
        sql += " AND \"类\" = ?" + QByteArray::number(++n);
    if (!prod.isEmpty())
        sql += " AND \"名称\" = ?" + QByteArray::number(++n);
    if (!day.isEmpty())
        sql += " AND ymd(\"日期\") = ?" + QByteArray::number(++n);
    sql += " ORDER BY rowid";
    Query q(db, sql.constData());
    int i = 0;
    if (!cat.isEmpty())
        q.bind(++i, cat);
    if (!prod.isEmpty())
        q.bind(++i, prod);
    if (!day.isEmpty())
        q.bind(++i, dateYYMMDD(day));
    return sqlListing(q);
}

SqlCalc sqlCalc(sqlite3 *db, const QString &cat, const QString &prod)
{
    Query q(db, "SELECT TOTAL(CASE WHEN \"方法\" = '进货' THEN CAST(\"数量\" AS REAL) END), "
                "TOTAL(CASE WHEN \"方法\" = '进货' THEN CAST(\"总额\" AS REAL) END), "
                "TOTAL(CASE WHEN \"方法\" IS NOT '进货' THEN CAST(\"数量\" AS REAL) END), "
                "TOTAL(CASE WHEN \"方法\" IS NOT '进货' THEN CAST(\"总额\" AS REAL) END), "
                "TOTAL(CASE WHEN \"方法\" IS NOT '进货' AND ym(\"日期\") = ?3 THEN CAST(\"数量\" AS REAL) END) "
                "FROM \"库\" WHERE \"标号\" = 3 AND \"类\" = ?1 AND \"名称\" = ?2");
    q.bind(1, cat).bind(2, prod).bind(3, dateYYMM(QDate::currentDate()));
    q.next();
    return {q.real(0), q.real(1), q.real(2), q.real(3), q.real(4)};
}

DateRange sqlRange(sqlite3 *db)
{
    // Earliest and latest day; the text shown is that of the first record carrying the key.
    Query q(db, "WITH t AS (SELECT rowid AS id, \"日期\" AS d, daykey(\"日期\") AS k FROM \"库\" "
                "WHERE \"标号\" = 3 AND \"日期\" <> '') "
                "SELECT (SELECT d FROM t WHERE k = (SELECT MIN(k) FROM t) ORDER BY id LIMIT 1), "
                "(SELECT d FROM t WHERE k = (SELECT MAX(k) FROM t) ORDER BY id LIMIT 1)");
    q.next();
    DateRange out;
    const QString lo = q.text(0), hi = q.text(1);
    out.found = !lo.isNull();
    const bool reversed = parseNumber(dateYY(hi)) > 50;
    out.start = reversed ? hi : lo;
    out.end = reversed ? lo : hi;
    return out;
}

QStringList sqlStats(sqlite3 *db, const QString &startText, const QString &endText)
{
    const Period p = Period::fromLabels(startText, endText);
    Query q(db, "WITH t AS (SELECT rowid AS id, \"标号\" AS kind, \"日期\" AS d, daykey(\"日期\") AS k, "
                "CAST(\"总额\" AS REAL) AS amount, \"方法\" IS '进货' AS stockin FROM \"库\"), "
                "g AS (SELECT k, MIN(CASE WHEN kind = 3 AND k BETWEEN ?1 AND ?2 THEN id END) AS first, "
                "TOTAL(CASE WHEN stockin THEN amount END) AS si, TOTAL(CASE WHEN stockin THEN NULL ELSE amount END) AS so, "
                "MAX(id) AS last FROM t WHERE k IS NOT NULL GROUP BY k) "
                "SELECT (SELECT \"日期\" FROM \"库\" WHERE rowid = g.last), si, so FROM g "
                "WHERE first IS NOT NULL ORDER BY first");
    q.bind(1, p.low).bind(2, p.high);
    QStringList lines;
    int n = 0;
    while (q.next())
        lines << dayLine(q.text(0) + kSep + formatNumber(q.real(1)) + kSep + formatNumber(q.real(2)) + kSep +
                             QString::number(++n),
                         0);
    return lines;
}

} // namespace bench
