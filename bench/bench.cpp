// Times the program's operations on one large generated ledger, next to the straightforward
// algorithm (walk every stored row on every call) and next to one SQL statement over the same
// encrypted file. Prints markdown table rows; scripts/bench.sh runs one size per process.
//
//   warehouse_bench <records> <cache folder>
//
// BENCH_OURS_ONLY=1 leaves the references untimed (still checked); BENCH_WINDOW_ONLY=1 times
// only the window-level rows of long lists (find of everything into List3, 101 and 102);
// BENCH_OPEN_ONLY=1 stops after opening; BENCH_STOCKTAKE_ONLY=1 times only the stock-take;
// BENCH_SERVER_ONLY=1 times the same ledger on a PostgreSQL server against the file (the server:
// BENCH_PG_CONNINFO, or the one tests/support/pg_server.sh started in WAREHOUSE_PG_DIR).
// BENCH_SERVER_BACKUP_ONLY=1 times only the backup of a server ledger (needs WAREHOUSE_PG_DIR).
#include "bench.h"
#include "references.h"

#include "about/form7.h"
#include "analysis/form_daychart.h"
#include "analysis/form_lowstock.h"
#include "analysis/form_ranking.h"
#include "analysis/form_stockvalue.h"
#include "ledger/backup.h"
#include "ledger/file_store.h"
#include "ledger/server_store.h"
#include "ledger/browse.h"
#include "ledger/commands.h"
#include "ledger/dates.h"
#include "ledger/daychart.h"
#include "ledger/facts.h"
#include "ledger/lowstock.h"
#include "ledger/ranking.h"
#include "ledger/sqlite_db.h"
#include "ledger/stockvalue.h"
#include "ledger/text.h"
#include "mainwin/form1.h"
#include "query/form4.h"
#include "query/form5.h"
#include "stats/form6.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableView>
#include <QTextStream>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>

using namespace ledger;
using namespace bench;

namespace {

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

// The window under test, the connection the references use, and the product they ask about.
struct Bench {
    std::unique_ptr<Form1> w;
    sqlite3 *db = nullptr;
    QString cat, prod, midDay;
};

// The generated ledger of this size (made once), copied into a fresh working folder that
// becomes the current one.
QString prepareLedger(const QString &cache)
{
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
    return work;
}

// Opening as the program starts: a fresh process, the main window opens the file and lists the
// categories while the other rows are read in the background; then until every row is read.
// Then the store alone, a few times (in memory the process has used before), and one SQL
// statement over every row for scale.
void timeOpen(Bench &b)
{
    QElapsedTimer t;
    t.start();
    b.w = std::make_unique<Form1>(FileStore::open(QStringLiteral("1.mdb"), Store::kLockWait, FileStore::Purpose::Work,
                                                  FileStore::Reading::InBackground));
    b.w->axd(QString(), 2);
    const Timing open{msSince(t), false};
    const QStringList categories = listTexts(b.w->List1);
    const std::size_t rowCount = b.w->store()->rows().size();
    const Timing everyRow{msSince(t), false};
    const std::vector<Record> &all = b.w->store()->rows();
    check(categories == categoryNames(RecordRefs(all.cbegin(), all.cend())), "open: categories before the rows");
    g_oursPeakKb = std::max(g_oursPeakKb, peakKb());
    b.w.reset();
    const Timing storeOpen = median([&] {
        auto s = FileStore::open(QStringLiteral("1.mdb"));
        s->rows();
    }, 3);
    std::unique_ptr<FileStore> file = FileStore::open(QStringLiteral("1.mdb"));
    b.db = file->handle(); // the references read the same file
    b.w = std::make_unique<Form1>(std::move(file));
    if (qEnvironmentVariableIntValue("BENCH_OPEN_ONLY")) { // for profiling the load
        std::printf("open %.0f ms, every row read %.0f ms\n", open.ms, everyRow.ms);
        const Timing steps = median([&] {
            sql::Query q(b.db, "SELECT rowid, * FROM \"库\"");
            qint64 bytes = 0;
            while (q.next())
                for (int c = 2; c < 10; ++c)
                    bytes += q.bytes(c);
        }, 3);
        std::printf("raw steps %.0f ms, peak %lld kB\n", steps.ms, static_cast<long long>(peakKb()));
        std::exit(0);
    }
    const auto scan = ref([&] {
        sql::Query q(b.db, "SELECT rowid, * FROM \"库\"");
        std::size_t n = 0;
        while (q.next())
            ++n;
        check(n == rowCount, "open: every row");
    }, 3);
    row(QStringLiteral("open (program start: window, file, category list)"), open, std::nullopt, scan,
        static_cast<qint64>(categories.size()));
    row(QStringLiteral("open: every row read (in the background, from the start)"), everyRow, std::nullopt, scan,
        static_cast<qint64>(rowCount));
    row(QStringLiteral("open again (store alone, same process)"), storeOpen, std::nullopt, std::nullopt);
}

// The product with the most transactions, and a day on which it moved.
void pickProduct(Bench &b)
{
    QHash<QString, int> counts;
    for (const Record &r : b.w->store()->rows())
        if (isTx(r))
            ++counts[r.cat + kSep + r.name];
    int best = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > best || (it.value() == best && it.key() < b.cat + kSep + b.prod)) {
            best = it.value();
            b.cat = it.key().section(kSep, 0, 0);
            b.prod = it.key().section(kSep, 1, 1);
        }
    std::vector<QString> days;
    for (const Record &r : b.w->store()->rows())
        if (isTx(r) && r.cat == b.cat && r.name == b.prod && readDate(r.date))
            days.push_back(r.date);
    if (days.empty())
        die(QStringLiteral("no dated transaction"));
    b.midDay = days[days.size() / 2];
}

// 2: categories, 3: products of one category, 4: transactions of one product.
void timeLists(Bench &b)
{
    Form1 *w = b.w.get();
    sqlite3 *db = b.db;
    const QString &cat = b.cat, &prod = b.prod;
    {
        const Timing ours = median([&] { w->axd(QString(), 2); });
        check(listTexts(w->List1) == plainNames(db, kCategory, {}), "op2 plain");
        check(listTexts(w->List1) == sqlNames(db, kCategory, {}), "op2 sql");
        row(QStringLiteral("2 categories"), ours, ref([&] { plainNames(db, kCategory, {}); }),
            ref([&] { sqlNames(db, kCategory, {}); }), w->List1->count());
    }
    choose(w->List1, cat);
    {
        const Timing ours = median([&] { w->axd(QString(), 3); });
        check(listTexts(w->List2) == plainNames(db, kProduct, cat), "op3 plain");
        check(listTexts(w->List2) == sqlNames(db, kProduct, cat), "op3 sql");
        row(QStringLiteral("3 products"), ours, ref([&] { plainNames(db, kProduct, cat); }),
            ref([&] { sqlNames(db, kProduct, cat); }), w->List2->count());
    }
    // With and without the month filter.
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
}

// 6, 7: the find dialog's boxes; 8: find one product, one category on one day.
void timeFind(Bench &b)
{
    Form1 *w = b.w.get();
    sqlite3 *db = b.db;
    Form4 *f4 = w->form4();
    {
        const Timing ours = median([&] { w->axd(QString(), 6); });
        check(f4->Combo1->count() == plainNames(db, kCategory, {}).size(), "op6");
        row(QStringLiteral("6 find: categories"), ours, ref([&] { plainNames(db, kCategory, {}); }),
            ref([&] { sqlNames(db, kCategory, {}); }), f4->Combo1->count());
        chooseCombo(f4->Combo1, b.cat);
        const Timing ours7 = median([&] { w->axd(QString(), 7); });
        check(f4->Combo2->count() == sqlNames(db, kProduct, b.cat).size(), "op7");
        row(QStringLiteral("7 find: products"), ours7, ref([&] { plainNames(db, kProduct, b.cat); }),
            ref([&] { sqlNames(db, kProduct, b.cat); }), f4->Combo2->count());
    }
    struct Case {
        QString name, cat, prod, day;
    };
    const Case cases[] = {
        {QStringLiteral("8 find: one product"), b.cat, b.prod, QString()},
        {QStringLiteral("8 find: one category on one day"), b.cat, QString(), b.midDay},
    };
    setChecked(f4->Check3, true);
    setChecked(f4->Check4, true);
    for (const Case &c : cases) {
        setChecked(f4->Check1, c.prod.isEmpty());
        setChecked(f4->Check5, c.cat.isEmpty());
        const QString request = c.cat + kSep + c.prod + kSep + c.day + kSep +
                                (c.day.isEmpty() ? QStringLiteral("0") : QStringLiteral("2"));
        const Timing ours = median([&] { w->axd(request, 8, Form1::Given{f4->options(), {}}); });
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
}

// 8 everything: the core query, and the window's find that lists it all into List3, with the
// process's peak memory while every transaction is listed.
void timeFindEverything(Bench &b)
{
    Form1 *w = b.w.get();
    sqlite3 *db = b.db;
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

    Form4 *f4 = w->form4();
    for (QCheckBox *box : {f4->Check1, f4->Check3, f4->Check4, f4->Check5})
        setChecked(box, true);
    const QString request = QStringLiteral("|||0");
    // Listed and drawn, as the user sees it: the events the listing left are handled and the
    // first screen of lines is spelled.
    w->show();
    const Timing ours = median([&] {
        w->axd(request, 8, Form1::Given{f4->options(), {}});
        QApplication::processEvents();
        w->List3->grab();
    }, 3);
    const qint64 listedPeak = peakKb();
    check(listedIn(*w, w->runtotal) == mine, "op8 all window");
    row(QStringLiteral("8 find: everything into List3 (window, drawn)"), ours, plain, sql, w->List3->count());
    std::printf("| %lld | peak memory with every transaction in List3 (VmHWM) | %.0f MB | | | | | |\n",
                static_cast<long long>(g_size), static_cast<double>(listedPeak) / 1024);
    w->hide();
    w->List3->clear();
}

// 11, 12: the calculation dialog's boxes; 13: each calculation, through the function the
// operation calls (its answer is a message box).
void timeCalc(Bench &b)
{
    Form1 *w = b.w.get();
    sqlite3 *db = b.db;
    const QString &cat = b.cat, &prod = b.prod;
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
    for (Calculation calcno : {CalcStock, CalcTurnover, CalcProfit, CalcStockValue, CalcMonthProfit}) {
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
        row(QStringLiteral("13 calc %1").arg(static_cast<int>(calcno)), ours, ref([&] { plainCalc(db, cat, prod, calcno); }),
            ref([&] { sqlCalc(db, cat, prod); }), static_cast<qint64>(boxes.size()));
    }
}

// 101: the period of every record, which 102 then runs over.
void timeRange(Bench &b)
{
    Form1 *w = b.w.get();
    sqlite3 *db = b.db;
    Form6 *f6 = w->form6();
    const Timing ours = median([&] { w->axd(QString(), 101); });
    const DateRange plain = plainRange(db), sql = sqlRange(db);
    check(plain.start == f6->Label3->text() && plain.end == f6->Label4->text(), "op101 plain");
    check(sql.start == f6->Label3->text() && sql.end == f6->Label4->text(), "op101 sql");
    row(QStringLiteral("101 (its core: findRange)"),
        median([&] { findRange(w->store()->rows(), QString(), QDate::currentDate()); }), std::nullopt, std::nullopt);
    row(QStringLiteral("101 period of all records"), ours, ref([&] { plainRange(db); }, 3),
        ref([&] { sqlRange(db); }, 3));
}

// 102: the statistics run, in the hidden window and in the shown one with its list drawn, as
// the user sees it.
void timeStats(Bench &b)
{
    Form1 *w = b.w.get();
    sqlite3 *db = b.db;
    Form6 *f6 = w->form6();
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
    const auto sqlTime = ref([&] { sqlStats(db, start, end); }, 3);
    row(QStringLiteral("102 statistics run, all records"), ours, plainTime, sqlTime, mine.size());
    f6->show();
    const Timing shown = median([&] {
        f6->Command1->click();
        QApplication::processEvents();
        f6->List1->grab();
    }, 5);
    check(listTexts(f6->List1) == sql, "op102 window");
    check(f6->ProgressBar1->value() == 100, "op102 progress");
    row(QStringLiteral("102 statistics run, all records (window, drawn)"), shown, plainTime, sqlTime, mine.size());
    f6->hide();
}

// The analyses of the chooser: each window's refresh (what it runs when it becomes active), its
// core function alone, and a sample of its figures checked against the calculations.
struct Analyses {
    const std::vector<Record> &all;
    QDate today = QDate::currentDate();
    Form7 *f7;
    Store *store;

    // What the calculation dialog answers for a product.
    QString answer(const Product &p, Calculation calcno) const
    {
        const std::vector<CalcMessage> boxes = calculate(all, p.category, p.name, calcno, kIn, today);
        return boxes.empty() ? QString() : boxes[0].text.section(u'\uff1a', 1);
    }

    void lowStockRows() const
    {
        FormLowStock *low = f7->lowStock();
        // The first analysis after opening reads every row into the store's facts.
        const Timing first = median([&] { low->Form_Activate(); }, 1);
        const Timing win = median([&] { low->Form_Activate(); });
        const LedgerFacts &facts = store->facts();
        const Timing factsBuilt = median([&] { LedgerFacts{all}; }, 3);
        std::vector<LowStockRow> lows;
        const Timing core = median([&] { lows = lowStock(facts, today, false); });
        const std::vector<LowStockRow> every = lowStock(facts, today, true);
        check(every.size() == lowStock(all, today, true).size(), "low stock from rows");
        for (std::size_t i = 0; i < every.size(); i += std::max<std::size_t>(1, every.size() / 20))
            check(answer(every[i].product, CalcStock) == QString::number(every[i].stock), "low stock");
        row(QStringLiteral("analysis facts: reading every row once"), factsBuilt, std::nullopt, std::nullopt,
            static_cast<qint64>(facts.facts().size()));
        row(QStringLiteral("low stock (window, first after opening)"), first, std::nullopt, std::nullopt);
        row(QStringLiteral("low stock (window)"), win, std::nullopt, std::nullopt, low->List1->model()->rowCount());
        row(QStringLiteral("low stock (core)"), core, std::nullopt, std::nullopt, static_cast<qint64>(lows.size()));
    }

    void rankingRows(int choice) const
    {
        FormRanking *rank = f7->ranking();
        rank->Combo1->setCurrentIndex(choice);
        const Timing ours = median([&] { rank->Form_Activate(); });
        const LedgerFacts &facts = store->facts();
        std::vector<RankingRow> ranked;
        const Timing core = median([&] { ranked = ranking(facts, rank->period()); });
        for (std::size_t i = 0; i < ranked.size(); i += std::max<std::size_t>(1, ranked.size() / 20))
            check(!ranked[i].hasProfit ||
                      answer(ranked[i].product, choice == 0 ? CalcProfit : CalcMonthProfit) ==
                          formatNumber(ranked[i].profit),
                  "ranking");
        const QString what = choice == 0 ? QStringLiteral("all records") : QStringLiteral("this month");
        row(QStringLiteral("ranking, %1 (window)").arg(what), ours, std::nullopt, std::nullopt, rank->List1->model()->rowCount());
        row(QStringLiteral("ranking, %1 (core)").arg(what), core, std::nullopt, std::nullopt,
            static_cast<qint64>(ranked.size()));
    }

    void stockValueRows() const
    {
        FormStockValue *value = f7->stockValue();
        const Timing win = median([&] { value->Form_Activate(); });
        const LedgerFacts &facts = store->facts();
        StockValue v;
        const Timing core = median([&] { v = stockValue(facts); });
        check(formatNumber(v.total) == formatNumber(stockValue(all).total), "stock value from rows");
        for (std::size_t i = 0; i < v.apart.size() && i < 20; ++i)
            check(!v.apart[i].hasValue || answer(v.apart[i].product, CalcStockValue) == formatNumber(v.apart[i].value),
                  "stock value");
        row(QStringLiteral("stock value (window)"), win, std::nullopt, std::nullopt, value->List1->model()->rowCount());
        row(QStringLiteral("stock value (core)"), core, std::nullopt, std::nullopt,
            static_cast<qint64>(v.categories.size()));
    }
};

void timeAnalyses(Bench &b)
{
    const Analyses a{b.w->store()->rows(), QDate::currentDate(), b.w->form7(), b.w->store()};
    a.lowStockRows();
    a.rankingRows(0);
    a.rankingRows(2);
    a.stockValueRows();
    // The chart of the statistics list that 102 wrote.
    Form6 *f6 = b.w->form6();
    QMenu menu;
    addChartAction(&menu, f6);
    const Timing chart = median([&] { menu.actions().first()->trigger(); });
    auto *drawn = f6->findChild<FormDayChart *>();
    row(QStringLiteral("chart of the statistics list (its core: chartDays)"), median([&] { chartDays(f6->listed); }),
        std::nullopt, std::nullopt);
    row(QStringLiteral("chart of the statistics list"), chart, std::nullopt, std::nullopt,
        static_cast<qint64>(drawn->data().days.size()));
}

// Adding one transaction (committed) and deleting its line.
void timeAddDelete(Bench &b)
{
    Form1 *w = b.w.get();
    const QString request = QStringLiteral("3|%1|%2|12.5|4|50|%3|12345678").arg(b.prod, b.cat, currentDateText());
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

// The same ledger on a server: opening it against the file, then the category and product
// lists (a category click, a product click) and the long lists, each timed on the file and on
// the server by the same code. The references read the file, whose ids the server's rows share.
void timeServer(Bench &file)
{
    const QString conninfo = serverLedgerFor(file.w->store()->rows());
    timeServerOpen(conninfo);
    Bench server{std::make_unique<Form1>(ServerStore::open(conninfo)), file.db, file.cat, file.prod, file.midDay};
    const std::vector<Record> &mine = server.w->store()->rows(), &theirs = file.w->store()->rows();
    check(mine.size() == theirs.size() &&
              std::equal(mine.cbegin(), mine.cend(), theirs.cbegin(),
                         [](const Record &a, const Record &b) { return a.id == b.id && a.sameContent(b); }),
          "server: the file's rows");
    // Each operation on the file and then on the server, so that both see about the same load.
    for (void (*op)(Bench &) : {timeLists, timeFindEverything, timeRange, timeStats})
        for (Bench *b : {&file, &server}) {
            g_rowPrefix = b == &file ? QStringLiteral("file: ") : QStringLiteral("server: ");
            op(*b);
        }
    g_rowPrefix.clear();
    // The cores of the longest lists over each store's rows in memory, in turns within one timing.
    FindQuery all;
    all.anyCategory = all.anyProduct = all.stockIn = all.stockOut = true;
    const Period period = Period::fromLabels(file.w->form6()->Label3->text(), file.w->form6()->Label4->text());
    auto rowsOf = [](Bench &b) -> const std::vector<Record> & { return b.w->store()->rows(); };
    timeAlternating(QStringLiteral("8 find: everything (core)"), 9, [&] { findTransactions(rowsOf(file), all); },
                    [&] { findTransactions(rowsOf(server), all); });
    timeAlternating(QStringLiteral("102 (its core: statisticsDays)"), 9, [&] { statisticsDays(rowsOf(file), period); },
                    [&] { statisticsDays(rowsOf(server), period); });
}

// Records added one after another while a backup runs: the longest one waited for the copy's
// read lock.
void timeAddDuringBackup(Bench &b, const QString &ledgerPath, const QDateTime &at)
{
    const QString request = QStringLiteral("1|bench%1");
    int n = 0;
    double longest = 0;
    std::atomic<bool> done{false};
    std::thread copier([&] {
        backupLedger(ledgerPath, at, false);
        done = true;
    });
    while (!done) {
        QElapsedTimer add;
        add.start();
        b.w->axd(request.arg(n++), 0);
        longest = std::max(longest, msSince(add));
    }
    copier.join();
    row(QStringLiteral("longest add while a backup runs (it waits for the copy)"), Timing{longest, false},
        std::nullopt, std::nullopt, n);
    b.w->store()->removeWhere([](const Record &r) { return r.name.startsWith(QStringLiteral("bench")); });
}

// Backups: the copy with its check, the check alone, a write that comes in during a copy, and
// the export of every record.
void timeBackups(Bench &b)
{
    const QString ledgerPath = QDir::current().absoluteFilePath(QStringLiteral("1.mdb"));
    QDateTime at(QDate(2026, 1, 1), QTime(0, 0));
    QString last;
    const Timing backup = median([&] {
        at = at.addSecs(60);
        const BackupResult r = backupLedger(ledgerPath, at, false);
        if (!r.ok())
            die(r.error);
        last = r.path;
    }, 5);
    row(QStringLiteral("backup: online copy + check"), backup, std::nullopt, std::nullopt, b.w->store()->count());
    row(QStringLiteral("backup: its check alone (integrity_check, count)"),
        median([&] { checkLedgerFile(last); }, 5), std::nullopt, std::nullopt);
    at = at.addSecs(60);
    timeAddDuringBackup(b, ledgerPath, at);
    QDir(backupFolder(ledgerPath)).removeRecursively();
    const QString csv = QDir::current().absoluteFilePath(QStringLiteral("all.csv"));
    const Timing exported = median([&] {
        QString out, err;
        QTextStream o(&out), e(&err);
        runCommand({QStringLiteral("--export"), csv}, ledgerPath, at, o, e);
    }, 3);
    row(QStringLiteral("--export every record to CSV (own process work)"), exported, std::nullopt, std::nullopt);
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
    const QString work = prepareLedger(cache);
    if (qEnvironmentVariableIntValue("BENCH_SERVER_BACKUP_ONLY")) {
        timeServerBackup(cache + QStringLiteral("/ledger-%1.mdb").arg(g_size));
        QDir::setCurrent(cache);
        QDir(work).removeRecursively();
        return 0;
    }
    Bench b;
    timeOpen(b);
    registerFunctions(b.db);
    const QString generated = cache + QStringLiteral("/ledger-%1.mdb").arg(g_size);
    const bool liveOnly = qEnvironmentVariableIntValue("BENCH_LIVE_ONLY");
    const bool serverOnly = qEnvironmentVariableIntValue("BENCH_SERVER_ONLY");
    if (liveOnly) {
        timeLiveChanges(*b.w->store());
    } else if (qEnvironmentVariableIntValue("BENCH_HISTORY_ONLY")) {
        timeHistory(*b.w->store(), generated);
    } else if (serverOnly) {
        pickProduct(b);
        timeServer(b);
    } else if (qEnvironmentVariableIntValue("BENCH_STOCKTAKE_ONLY")) {
    } else if (qEnvironmentVariableIntValue("BENCH_WINDOW_ONLY")) {
        timeFindEverything(b);
        timeRange(b);
        timeStats(b);
    } else {
        pickProduct(b);
        timeLists(b);
        timeFind(b);
        timeFindEverything(b);
        timeCalc(b);
        timeRange(b);
        timeStats(b);
        timeAnalyses(b);
        timeAddDelete(b);
        timeHistory(*b.w->store(), generated);
        timeBackups(b);
    }
    if (!qEnvironmentVariableIntValue("BENCH_WINDOW_ONLY") && !qEnvironmentVariableIntValue("BENCH_HISTORY_ONLY") &&
        !liveOnly && !serverOnly)
        timeStockTake(b.w.get()); // last: it adds a row per product
    std::printf("| %lld | peak memory of our operations (VmHWM) | %.0f MB | | | | | |\n",
                static_cast<long long>(g_size), static_cast<double>(g_oursPeakKb) / 1024);
    b.w.reset();
    QDir::setCurrent(cache);
    QDir(work).removeRecursively();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        return runBench(argc, argv);
    } catch (const sql::Error &e) {
        die(QString::fromUtf8(e.what()));
    } catch (const StoreError &e) {
        die(e.message());
    }
}
