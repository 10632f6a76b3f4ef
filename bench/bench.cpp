// Times the program's operations on one large generated ledger, next to the straightforward
// algorithm (walk every stored row on every call) and next to one SQL statement over the same
// encrypted file. Prints markdown table rows; scripts/bench.sh runs one size per process.
//
//   warehouse_bench <records> <cache folder>
#include "about/form7.h"
#include "analysis/form_daychart.h"
#include "analysis/form_lowstock.h"
#include "analysis/form_ranking.h"
#include "analysis/form_stockvalue.h"
#include "ledger/lowstock.h"
#include "ledger/ranking.h"
#include "ledger/stockvalue.h"
#include "ledger/backup.h"
#include "ledger/commands.h"
#include "ledger/browse.h"
#include "ledger/calc.h"
#include "ledger/dates.h"
#include "ledger/find.h"
#include "ledger/stats.h"
#include "ledger/store.h"
#include "ledger/text.h"
#include "browse/ui_tx_list.h"
#include "mainwin/form1.h"
#include "query/form4.h"
#include "query/form5.h"
#include "sqlite_db.h"
#include "stats/form6.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QSignalBlocker>
#include <QTextStream>
#include <QThread>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <malloc.h>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <random>
#include <thread>

using namespace ledger;

namespace {

constexpr int kCategories = 100;
constexpr int kProductsPer = 50;
const QString kIn = QStringLiteral("进货");
const QString kOut = QStringLiteral("出货");

QString categoryName(int c) { return QStringLiteral("类别%1").arg(c, 3, 10, QChar(u'0')); }
QString productName(int c, int p)
{
    return QStringLiteral("商品%1-%2").arg(c, 3, 10, QChar(u'0')).arg(p, 2, 10, QChar(u'0'));
}

[[noreturn]] void die(const QString &why)
{
    std::fprintf(stderr, "bench: %s\n", why.toUtf8().constData());
    std::exit(2);
}

void check(bool ok, const char *what)
{
    if (!ok)
        die(QStringLiteral("answers differ: %1").arg(QString::fromUtf8(what)));
}

using sqldb::Query;

// A ledger of three years up to today, in the order a shop would have typed it: the categories,
// their products, then the stock movements day by day. Written through the store's own
// (encrypted) connection in one transaction.
void generate(const QString &path, qint64 n)
{
    QFile::remove(path);
    auto store = Store::open(path);
    sqlite3 *db = store->handle();
    std::mt19937_64 rng(20240615);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Query(db, "BEGIN IMMEDIATE").run();
    Query insert(db, "INSERT INTO \"库\" (\"标号\", \"名称\", \"类\", \"价格\", \"数量\", \"总额\", "
                     "\"日期\", \"方法\", \"交易号码\") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    auto put = [&](int kind, const Record &r) {
        insert.bind(1, qint64{kind});
        const QString *texts[] = {&r.name, &r.cat, &r.price, &r.qty, &r.total, &r.date, &r.method, &r.txno};
        for (int i = 0; i < 8; ++i)
            insert.bind(i + 2, *texts[i]);
        insert.run();
    };
    std::vector<double> basePrice(kCategories * kProductsPer);
    for (int c = 0; c < kCategories; ++c) {
        Record r;
        r.name = categoryName(c);
        put(kCategory, r);
    }
    for (int c = 0; c < kCategories; ++c)
        for (int p = 0; p < kProductsPer; ++p) {
            Record r;
            r.name = productName(c, p);
            r.cat = categoryName(c);
            put(kProduct, r);
            basePrice[c * kProductsPer + p] = uniform(50, 20000) / 100.0;
        }
    const qint64 tx = std::max<qint64>(0, n - kCategories - kCategories * kProductsPer);
    const QDate last = QDate::currentDate();
    const QDate first = last.addYears(-3);
    const qint64 span = first.daysTo(last);
    for (qint64 i = 0; i < tx; ++i) {
        const int prod = uniform(0, kCategories * kProductsPer - 1);
        const QDate day = first.addDays(span * i / std::max<qint64>(1, tx));
        const bool in = uniform(0, 99) < 40;
        Record r;
        r.name = productName(prod / kProductsPer, prod % kProductsPer);
        r.cat = categoryName(prod / kProductsPer);
        const double unit = basePrice[prod] * (in ? 1.0 : 1.3);
        r.price = formatNumber(std::round(unit * 10) / 10);
        r.qty = QString::number(in ? uniform(5, 200) : uniform(1, 12));
        r.total = formatNumber(parseNumber(r.price) * parseNumber(r.qty));
        const int form = uniform(0, 999);
        if (form < 2)
            r.date = QStringLiteral("昨天");       // unreadable
        else if (form < 4)
            r.date = QStringLiteral("2024/13/45"); // unreadable
        else if (form < 500)
            r.date = pickedDateText(day);
        else
            r.date = currentDateText(day);
        r.method = in ? kIn : kOut;
        r.txno = QString::number(uniform(10000000, 99999999));
        put(kTransaction, r);
    }
    Query(db, "COMMIT").run();
}

// ---------------------------------------------------------------------------------------------
// Timing

double msSince(const QElapsedTimer &t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

struct Timing {
    double ms = 0;
    bool extrapolated = false;
};

qint64 peakKb();
bool g_inReference = false;
qint64 g_oursPeakKb = 0;

// Peak memory of our own code only: the references run in the same process, so the peak is
// reset (Linux: clear_refs 5) before each of our timings and read after it.
void resetPeak()
{
    malloc_trim(0);
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

// Median of several runs; slow ones are run fewer times.
Timing median(const std::function<void()> &f, int maxRuns = 7, double budgetMs = 3000)
{
    if (!g_inReference)
        resetPeak();
    struct Track {
        ~Track()
        {
            if (!g_inReference) {
                g_oursPeakKb = std::max(g_oursPeakKb, peakKb());
                if (qEnvironmentVariableIntValue("BENCH_PEAKS"))
                    std::fprintf(stderr, "peak %lld kB\n", static_cast<long long>(peakKb()));
            }
        }
    } track;
    std::vector<double> times;
    QElapsedTimer total;
    total.start();
    while (static_cast<int>(times.size()) < maxRuns && (times.empty() || msSince(total) < budgetMs)) {
        QElapsedTimer t;
        t.start();
        f();
        times.push_back(msSince(t));
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], false};
}

// BENCH_OURS_ONLY=1 skips the reference timings (their answers are still checked).
const bool g_oursOnly = qEnvironmentVariableIntValue("BENCH_OURS_ONLY") != 0;

std::optional<Timing> ref(const std::function<void()> &f, int maxRuns = 7)
{
    if (g_oursOnly)
        return std::nullopt;
    g_inReference = true;
    const Timing t = median(f, maxRuns);
    g_inReference = false;
    return t;
}

QString fmt(double ms)
{
    if (ms >= 100)
        return QString::number(ms, 'f', 0);
    if (ms >= 1)
        return QString::number(ms, 'f', 1);
    return QString::number(ms, 'f', 3);
}

QString cell(const std::optional<Timing> &t)
{
    if (!t)
        return QStringLiteral("–");
    return (t->extrapolated ? QStringLiteral("~") : QString()) + fmt(t->ms) +
           (t->extrapolated ? QStringLiteral(" (extrapolated)") : QString());
}

QString ratio(const Timing &ours, const std::optional<Timing> &other)
{
    if (!other)
        return QStringLiteral("–");
    const double r = other->ms / std::max(ours.ms, 1e-6);
    return (other->extrapolated ? QStringLiteral("~") : QString()) +
           (r >= 10 ? QString::number(r, 'f', 0) : QString::number(r, 'f', 1)) + u'x';
}

qint64 g_size = 0;

void row(const QString &op, const Timing &ours, const std::optional<Timing> &plain,
         const std::optional<Timing> &sql, qint64 lines = -1)
{
    const QString text = QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 |")
                             .arg(QString::number(g_size), op, fmt(ours.ms), cell(plain), ratio(ours, plain),
                                  cell(sql), ratio(ours, sql), lines < 0 ? QString() : QString::number(lines));
    std::printf("%s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

qint64 peakKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

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

bool isTx(const Record &r) { return r.hasKind && r.kind == kTransaction; }

QStringList plainNames(sqlite3 *db, int kind, const QString &category)
{
    QStringList out;
    walk(db, [&](const Record &r) {
        if (r.hasKind && r.kind == kind && (kind == kCategory || (!r.cat.isNull() && r.cat == category)))
            out << r.name;
    });
    return out;
}

struct Listed {
    std::vector<qint64> ids;
    double amount = 0;
    bool operator==(const Listed &o) const { return ids == o.ids && formatNumber(amount) == formatNumber(o.amount); }
};

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

CalcTotals plainCalc(sqlite3 *db, const QString &cat, const QString &prod, double calcno)
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

Listed sqlListing(Query &q)
{
    Listed out;
    while (q.next()) {
        out.ids.push_back(q.integer(0));
        out.amount += q.real(1);
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

struct SqlCalc {
    double inQty = 0, inAmount = 0, outQty = 0, outAmount = 0, monthOutQty = 0;
};

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

// ---------------------------------------------------------------------------------------------

QStringList listTexts(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

Listed listedIn(const Form1 &w, double amount)
{
    Listed out;
    for (int i = 0; i < w.List3->count(); ++i)
        out.ids.push_back(w.lineRecord(i).id);
    out.amount = amount;
    return out;
}

void choose(QListWidget *list, const QString &text)
{
    const QSignalBlocker quiet(list);
    const auto found = list->findItems(text, Qt::MatchExactly);
    if (found.isEmpty())
        die(QStringLiteral("no line %1").arg(text));
    list->setCurrentItem(found.first());
    found.first()->setSelected(true);
}

void setChecked(QCheckBox *box, bool on)
{
    const QSignalBlocker quiet(box);
    box->setChecked(on);
}

void chooseCombo(QComboBox *combo, const QString &text)
{
    const QSignalBlocker quiet(combo);
    combo->setCurrentIndex(combo->findText(text));
}

int runBench(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: warehouse_bench <records> <cache folder>\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    g_size = QByteArray(argv[1]).toLongLong();
    const QString cache = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
    QDir().mkpath(cache);
    const QString master = cache + QStringLiteral("/ledger-%1.mdb").arg(g_size);
    if (!QFile::exists(master)) {
        QElapsedTimer t;
        t.start();
        generate(master + QStringLiteral(".tmp"), g_size);
        QFile::rename(master + QStringLiteral(".tmp"), master);
        std::fprintf(stderr, "generated %lld records in %.1f s\n", static_cast<long long>(g_size), msSince(t) / 1000);
    }
    // Work on a copy, so the cached ledger stays as generated.
    const QString work = cache + QStringLiteral("/run-%1").arg(g_size);
    QDir(work).removeRecursively();
    QDir().mkpath(work);
    QFile::copy(master, work + QStringLiteral("/1.mdb"));
    QDir::setCurrent(work);

    // Opening as the program starts: a fresh process, the main window opens the file and lists
    // the categories. Then the store alone, a few times (in memory the process has used before).
    std::unique_ptr<Form1> w;
    QElapsedTimer t;
    t.start();
    w = std::make_unique<Form1>(Store::open(QStringLiteral("1.mdb")));
    w->axd(QString(), 2);
    const Timing open{msSince(t), false};
    g_oursPeakKb = std::max(g_oursPeakKb, peakKb());
    w.reset();
    const Timing storeOpen = median([&] {
        auto s = Store::open(QStringLiteral("1.mdb"));
        s->rows();
    }, 3);
    w = std::make_unique<Form1>(Store::open(QStringLiteral("1.mdb")));
    if (qEnvironmentVariableIntValue("BENCH_OPEN_ONLY")) { // for profiling the load
        std::printf("open %.0f ms\n", open.ms);
        const Timing steps = median([&] {
            Query q(w->store()->handle(), "SELECT rowid, * FROM \"库\"");
            qint64 bytes = 0;
            while (q.next())
                for (int c = 2; c < 10; ++c)
                    bytes += q.bytes(c);
        }, 3);
        std::printf("raw steps %.0f ms, peak %lld kB\n", steps.ms, static_cast<long long>(peakKb()));
        return 0;
    }
    sqlite3 *db = w->store()->handle();
    registerFunctions(db);

    // The product with the most transactions, and a day on which it moved.
    QString cat, prod, midDay;
    {
        QHash<QString, int> counts;
        for (const Record &r : w->store()->rows())
            if (isTx(r))
                ++counts[r.cat + kSep + r.name];
        int best = -1;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            if (it.value() > best || (it.value() == best && it.key() < cat + kSep + prod)) {
                best = it.value();
                cat = it.key().section(kSep, 0, 0);
                prod = it.key().section(kSep, 1, 1);
            }
        std::vector<QString> days;
        for (const Record &r : w->store()->rows())
            if (isTx(r) && r.cat == cat && r.name == prod && readDate(r.date))
                days.push_back(r.date);
        if (days.empty())
            die(QStringLiteral("no dated transaction"));
        midDay = days[days.size() / 2];
    }
    row(QStringLiteral("open (program start: window, file, rows, category list)"), open, std::nullopt, std::nullopt,
        w->store()->count());
    row(QStringLiteral("open again (store alone, same process)"), storeOpen, std::nullopt, std::nullopt);

    // 2: categories.
    {
        const Timing ours = median([&] { w->axd(QString(), 2); });
        check(listTexts(w->List1) == plainNames(db, kCategory, {}), "op2 plain");
        check(listTexts(w->List1) == sqlNames(db, kCategory, {}), "op2 sql");
        row(QStringLiteral("2 categories"), ours, ref([&] { plainNames(db, kCategory, {}); }),
            ref([&] { sqlNames(db, kCategory, {}); }), w->List1->count());
    }
    // 3: products of one category.
    choose(w->List1, cat);
    {
        const Timing ours = median([&] { w->axd(QString(), 3); });
        check(listTexts(w->List2) == plainNames(db, kProduct, cat), "op3 plain");
        check(listTexts(w->List2) == sqlNames(db, kProduct, cat), "op3 sql");
        row(QStringLiteral("3 products"), ours, ref([&] { plainNames(db, kProduct, cat); }),
            ref([&] { sqlNames(db, kProduct, cat); }), w->List2->count());
    }
    // 4: transactions of one product, with and without the month filter.
    choose(w->List2, prod);
    for (bool month : {false, true}) {
        setChecked(w->Check2, month);
        const Timing ours = median([&] { w->axd(QString(), 4); });
        const Listed mine = listedIn(*w, w->runtotal);
        check(mine == plainTransactions(db, cat, prod, kIn, month), "op4 plain");
        check(mine == sqlTransactions(db, cat, prod, kIn, month), "op4 sql");
        row(month ? QStringLiteral("4 transactions, this month") : QStringLiteral("4 transactions"), ours,
            ref([&] { plainTransactions(db, cat, prod, kIn, month); }),
            ref([&] { sqlTransactions(db, cat, prod, kIn, month); }), w->List3->count());
    }
    // 6, 7: the find dialog's boxes.
    Form4 *f4 = w->form4();
    {
        const Timing ours = median([&] { w->axd(QString(), 6); });
        check(f4->Combo1->count() == plainNames(db, kCategory, {}).size(), "op6");
        row(QStringLiteral("6 find: categories"), ours, ref([&] { plainNames(db, kCategory, {}); }),
            ref([&] { sqlNames(db, kCategory, {}); }), f4->Combo1->count());
        chooseCombo(f4->Combo1, cat);
        const Timing ours7 = median([&] { w->axd(QString(), 7); });
        check(f4->Combo2->count() == sqlNames(db, kProduct, cat).size(), "op7");
        row(QStringLiteral("7 find: products"), ours7, ref([&] { plainNames(db, kProduct, cat); }),
            ref([&] { sqlNames(db, kProduct, cat); }), f4->Combo2->count());
    }
    // 8: find.
    {
        struct Case {
            QString name, cat, prod, day;
        };
        const Case cases[] = {
            {QStringLiteral("8 find: one product"), cat, prod, QString()},
            {QStringLiteral("8 find: one category on one day"), cat, QString(), midDay},
        };
        setChecked(f4->Check3, true);
        setChecked(f4->Check4, true);
        for (const Case &c : cases) {
            setChecked(f4->Check1, c.prod.isEmpty());
            setChecked(f4->Check5, c.cat.isEmpty());
            const QString request = c.cat + kSep + c.prod + kSep + c.day + kSep +
                                    (c.day.isEmpty() ? QStringLiteral("0") : QStringLiteral("2"));
            const Timing ours = median([&] { w->axd(request, 8); });
            FindQuery q;
            q.category = c.cat;
            q.product = c.prod;
            q.date = c.day;
            q.condition = c.day.isEmpty() ? DateAny : DateOn;
            q.anyCategory = c.cat.isEmpty();
            q.anyProduct = c.prod.isEmpty();
            q.stockIn = q.stockOut = true;
            const Listed mine = listedIn(*w, w->runtotal);
            check(mine == plainFind(db, q), "op8 plain");
            check(mine == sqlFind(db, c.cat, c.prod, c.day), "op8 sql");
            row(c.name, ours, ref([&] { plainFind(db, q); }), ref([&] { sqlFind(db, c.cat, c.prod, c.day); }),
                w->List3->count());
        }
        // Everything: the core query, and the window's find that lists it all into List3.
        FindQuery all;
        all.anyCategory = all.anyProduct = all.stockIn = all.stockOut = true;
        const Timing core = median([&] { findTransactions(w->store()->rows(), all); });
        const FindResult found = findTransactions(w->store()->rows(), all);
        Listed mine;
        for (const Record &r : found.matches)
            mine.ids.push_back(r.id);
        mine.amount = found.net;
        check(mine == plainFind(db, all), "op8 all plain");
        check(mine == sqlFind(db, {}, {}, {}), "op8 all sql");
        const auto plain = ref([&] { plainFind(db, all); }, 3);
        const auto sql = ref([&] { sqlFind(db, {}, {}, {}); }, 3);
        row(QStringLiteral("8 find: everything (core)"), core, plain, sql, static_cast<qint64>(found.matches.size()));
        {
            setChecked(f4->Check1, true);
            setChecked(f4->Check5, true);
            const QString request = QStringLiteral("|||0");
            // Listed and drawn, as the user sees it: the first screen of lines is spelled.
            w->show();
            const Timing ours = median([&] {
                w->axd(request, 8);
                w->List3->grab();
            }, 3);
            check(listedIn(*w, w->runtotal) == mine, "op8 all window");
            row(QStringLiteral("8 find: everything into List3 (window, drawn)"), ours, plain, sql, w->List3->count());
            w->hide();
            w->List3->clear();
        }
    }
    // 11, 12: the calculation dialog's boxes.
    Form5 *f5 = w->form5();
    {
        const Timing ours = median([&] { w->axd(QString(), 12); });
        check(f5->Combo1->count() == sqlNames(db, kCategory, {}).size(), "op12");
        row(QStringLiteral("12 calc: categories"), ours, ref([&] { plainNames(db, kCategory, {}); }),
            ref([&] { sqlNames(db, kCategory, {}); }), f5->Combo1->count());
        chooseCombo(f5->Combo1, cat);
        const Timing ours11 = median([&] { w->axd(QString(), 11); });
        check(f5->Combo2->count() == sqlNames(db, kProduct, cat).size(), "op11");
        row(QStringLiteral("11 calc: products"), ours11, ref([&] { plainNames(db, kProduct, cat); }),
            ref([&] { sqlNames(db, kProduct, cat); }), f5->Combo2->count());
    }
    // 13: each calculation, through the function the operation calls (its answer is a message box).
    for (int calcno = 1; calcno <= 5; ++calcno) {
        const QDate today = QDate::currentDate();
        std::vector<CalcMessage> boxes;
        const Timing ours = median([&] { boxes = calculate(w->store()->rows(), cat, prod, calcno, kIn, today); });
        const CalcTotals mine = sumProduct(w->store()->rows(), cat, prod, calcno, kIn, today);
        const CalcTotals plain = plainCalc(db, cat, prod, calcno);
        const SqlCalc sql = sqlCalc(db, cat, prod);
        check(mine.netStock == plain.netStock && mine.inAmount == plain.inAmount &&
                  mine.outAmount == plain.outAmount && mine.monthOutQty == plain.monthOutQty,
              "op13 plain");
        auto same = [](double a, double b) { return formatNumber(a) == formatNumber(b); };
        check(same(mine.inQty, sql.inQty) && same(mine.inAmount, sql.inAmount) && same(mine.outQty, sql.outQty) &&
                  same(mine.outAmount, sql.outAmount) &&
                  same(mine.monthOutQty, calcno == CalcMonthProfit ? sql.monthOutQty : sql.outQty),
              "op13 sql");
        row(QStringLiteral("13 calc %1").arg(calcno), ours, ref([&] { plainCalc(db, cat, prod, calcno); }),
            ref([&] { sqlCalc(db, cat, prod); }), static_cast<qint64>(boxes.size()));
    }
    // 101: the period of every record; 102: the statistics run over it.
    Form6 *f6 = w->form6();
    {
        const Timing ours = median([&] { w->axd(QString(), 101); });
        const DateRange plain = plainRange(db), sql = sqlRange(db);
        check(plain.start == f6->Label3->text() && plain.end == f6->Label4->text(), "op101 plain");
        check(sql.start == f6->Label3->text() && sql.end == f6->Label4->text(), "op101 sql");
        row(QStringLiteral("101 (its core: findRange)"),
            median([&] { findRange(w->store()->rows(), QString(), QDate::currentDate()); }), std::nullopt, std::nullopt);
        row(QStringLiteral("101 period of all records"), ours, ref([&] { plainRange(db); }, 3),
            ref([&] { sqlRange(db); }, 3));
    }
    {
        const QString start = f6->Label3->text(), end = f6->Label4->text();
        const Timing ours = median([&] { f6->Command1_Click(); }, 5);
        const QStringList mine = listTexts(f6->List1);
        const QStringList sql = sqlStats(db, start, end);
        check(mine == sql, "op102 sql");
        bool complete = false;
        QElapsedTimer pt;
        pt.start();
        const double budget = g_oursOnly ? 100 : 20000;
        const QStringList plain = plainStats(db, start, end, budget, &complete);
        std::optional<Timing> plainTime = Timing{msSince(pt), !complete};
        check(plain == mine.mid(0, plain.size()), "op102 plain");
        if (!complete) // the remaining days cost as much each as the ones done
            plainTime->ms *= static_cast<double>(mine.size()) / std::max<qsizetype>(1, plain.size());
        if (g_oursOnly)
            plainTime.reset();
        row(QStringLiteral("102 (its core: statisticsDays)"),
            median([&] { statisticsDays(w->store()->rows(), Period::fromLabels(start, end)); }), std::nullopt, std::nullopt);
        row(QStringLiteral("102 statistics run, all records"), ours, plainTime,
            ref([&] { sqlStats(db, start, end); }, 3), mine.size());
    }
    // The analyses of the chooser: each window's refresh (what it runs when it becomes active),
    // its core function alone, and a sample of its figures checked against the calculations.
    {
        const std::vector<Record> &all = w->store()->rows();
        const QDate today = QDate::currentDate();
        auto answer = [&](const Product &p, double calcno) {
            const std::vector<CalcMessage> boxes = calculate(all, p.category, p.name, calcno, kIn, today);
            return boxes.empty() ? QString() : boxes[0].text.section(u'\uff1a', 1);
        };
        Form7 *f7 = w->form7();
        FormLowStock *low = f7->lowStock();
        const Timing lowWin = median([&] { low->Form_Activate(); });
        std::vector<LowStockRow> lows;
        const Timing lowCore = median([&] { lows = lowStock(all, today, false); });
        const std::vector<LowStockRow> every = lowStock(all, today, true);
        for (std::size_t i = 0; i < every.size(); i += std::max<std::size_t>(1, every.size() / 20))
            check(answer(every[i].product, CalcStock) == QString::number(every[i].stock), "low stock");
        row(QStringLiteral("low stock (window)"), lowWin, std::nullopt, std::nullopt, low->List1->count());
        row(QStringLiteral("low stock (core)"), lowCore, std::nullopt, std::nullopt, static_cast<qint64>(lows.size()));

        FormRanking *rank = f7->ranking();
        for (int choice : {0, 2}) {
            rank->Combo1->setCurrentIndex(choice);
            const Timing ours = median([&] { rank->Form_Activate(); });
            std::vector<RankingRow> ranked;
            const Timing core = median([&] { ranked = ranking(all, rank->period()); });
            for (std::size_t i = 0; i < ranked.size(); i += std::max<std::size_t>(1, ranked.size() / 20))
                check(!ranked[i].hasProfit ||
                          answer(ranked[i].product, choice == 0 ? CalcProfit : CalcMonthProfit) ==
                              formatNumber(ranked[i].profit),
                      "ranking");
            const QString what = choice == 0 ? QStringLiteral("all records") : QStringLiteral("this month");
            row(QStringLiteral("ranking, %1 (window)").arg(what), ours, std::nullopt, std::nullopt, rank->List1->count());
            row(QStringLiteral("ranking, %1 (core)").arg(what), core, std::nullopt, std::nullopt,
                static_cast<qint64>(ranked.size()));
        }

        FormStockValue *value = f7->stockValue();
        const Timing valueWin = median([&] { value->Form_Activate(); });
        StockValue v;
        const Timing valueCore = median([&] { v = stockValue(all); });
        for (std::size_t i = 0; i < v.apart.size() && i < 20; ++i)
            check(!v.apart[i].hasValue || answer(v.apart[i].product, CalcStockValue) == formatNumber(v.apart[i].value),
                  "stock value");
        row(QStringLiteral("stock value (window)"), valueWin, std::nullopt, std::nullopt, value->List1->count());
        row(QStringLiteral("stock value (core)"), valueCore, std::nullopt, std::nullopt,
            static_cast<qint64>(v.categories.size()));

        // The chart of the statistics list that 102 wrote above.
        QMenu menu;
        addChartAction(&menu, f6);
        const Timing chart = median([&] { menu.actions().first()->trigger(); });
        auto *drawn = f6->findChild<FormDayChart *>();
        row(QStringLiteral("chart of the statistics list"), chart, std::nullopt, std::nullopt,
            static_cast<qint64>(drawn->data().days.size()));
    }
    // Adding one transaction (committed) and deleting its line.
    {
        const QString request = QStringLiteral("3|%1|%2|12.5|4|50|%3|12345678").arg(prod, cat, currentDateText());
        std::vector<Record> added;
        const Timing add = median([&] {
            w->axd(request, 0);
            added.push_back(w->store()->rows().back());
        });
        row(QStringLiteral("0 add one transaction (committed)"), add, std::nullopt, std::nullopt);
        std::size_t next = 0;
        const Timing del = median([&] {
            if (next < added.size())
                w->store()->removeExact(added[next++]);
        });
        row(QStringLiteral("delete one line (committed)"), del, std::nullopt, std::nullopt);
        while (next < added.size())
            w->store()->removeExact(added[next++]);
    }
    // Backups: the copy with its check, the check alone, a write that comes in during a copy,
    // and the export of every record.
    {
        const QString ledgerPath = QDir::current().absoluteFilePath(QStringLiteral("1.mdb"));
        QDateTime at(QDate(2026, 1, 1), QTime(0, 0));
        QString last;
        const Timing backup = median([&] {
            at = at.addSecs(60);
            const BackupResult b = backupLedger(ledgerPath, at, false);
            if (!b.ok())
                die(b.error);
            last = b.path;
        }, 5);
        row(QStringLiteral("backup: online copy + check"), backup, std::nullopt, std::nullopt, w->store()->count());
        row(QStringLiteral("backup: its check alone (integrity_check, count)"),
            median([&] { checkLedgerFile(last); }, 5), std::nullopt, std::nullopt);
        const QString request = QStringLiteral("1|bench%1");
        int n = 0;
        // Records added one after another while a backup runs: the longest one waited for the
        // copy's read lock.
        double longest = 0;
        {
            std::atomic<bool> done{false};
            at = at.addSecs(60);
            std::thread copier([&] {
                backupLedger(ledgerPath, at, false);
                done = true;
            });
            while (!done) {
                QElapsedTimer add;
                add.start();
                w->axd(request.arg(n++), 0);
                longest = std::max(longest, msSince(add));
            }
            copier.join();
        }
        const Timing waiting{longest, false};
        row(QStringLiteral("longest add while a backup runs (it waits for the copy)"), waiting, std::nullopt, std::nullopt, n);
        w->store()->removeWhere([](const Record &r) { return r.name.startsWith(QStringLiteral("bench")); });
        QDir(backupFolder(ledgerPath)).removeRecursively();
        const QString csv = QDir::current().absoluteFilePath(QStringLiteral("all.csv"));
        const Timing exported = median([&] {
            QString out, err;
            QTextStream o(&out), e(&err);
            runCommand({QStringLiteral("--export"), csv}, ledgerPath, at, o, e);
        }, 3);
        row(QStringLiteral("--export every record to CSV (own process work)"), exported, std::nullopt, std::nullopt);
    }
    std::printf("| %lld | peak memory of our operations (VmHWM) | %.0f MB | | | | | |\n",
                static_cast<long long>(g_size), static_cast<double>(g_oursPeakKb) / 1024);
    w.reset();
    QDir::setCurrent(cache);
    QDir(work).removeRecursively();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        return runBench(argc, argv);
    } catch (const sqldb::Error &e) {
        die(QString::fromUtf8(e.what()));
    } catch (const StoreError &e) {
        die(e.message());
    }
}
