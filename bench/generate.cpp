// The benchmark's ledgers: three years of a shop's stock movements.
#include "bench.h"

#include "ledger/columns.h"
#include "ledger/dates.h"
#include "ledger/file_store.h"
#include "ledger/sqlite_db.h"
#include "ledger/text.h"

#include <QDate>
#include <QFile>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

using namespace ledger;
using ledger::sql::Query;

namespace bench {

namespace {

constexpr int kCategories = 100;
constexpr int kProductsPer = 50;

QString categoryName(int c) { return QStringLiteral("类别%1").arg(c, 3, 10, QChar(u'0')); }
QString productName(int c, int p)
{
    return QStringLiteral("商品%1-%2").arg(c, 3, 10, QChar(u'0')).arg(p, 2, 10, QChar(u'0'));
}

} // namespace

// A ledger of three years up to today, in the order a shop would have typed it: the categories,
// their products, then the stock movements day by day. Written through the store's own
// (encrypted) connection in one transaction.
void generate(const QString &path, qint64 n)
{
    QFile::remove(path);
    auto store = FileStore::open(path);
    sqlite3 *db = store->handle();
    std::mt19937_64 rng(20240615);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Query(db, "BEGIN IMMEDIATE").run();
    Query insert(db, ledger::insertSql());
    auto put = [&](int kind, const Record &r) {
        insert.bind(1, qint64{kind});
        for (std::size_t i = 0; i < ledger::kTextColumns.size(); ++i)
            insert.bind(static_cast<int>(i) + 2, r.*ledger::kTextColumns[i].field);
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

} // namespace bench
