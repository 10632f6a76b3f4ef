// Shared by the benchmark's files: timing, table rows, checks and the generated ledger's names.
#pragma once

#include "ledger/store.h"

#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <optional>

class Form1;

namespace bench {

inline const QString kIn = QStringLiteral("进货");
inline const QString kOut = QStringLiteral("出货");

[[noreturn]] void die(const QString &why);
// Stops the benchmark when our answer and a reference's differ.
void check(bool ok, const char *what);

// A ledger of n rows written to path (generate.cpp).
void generate(const QString &path, qint64 n);

struct Timing {
    double ms = 0;
    bool extrapolated = false;
};

extern qint64 g_size;        // records of the ledger being timed
extern qint64 g_oursPeakKb;  // largest peak memory seen during our timings
extern const bool g_oursOnly; // BENCH_OURS_ONLY=1: references are checked but not timed

double msSince(const QElapsedTimer &t);
qint64 peakKb();
// Median of several runs of our code; slow ones are run fewer times. Peak memory is reset
// before and read after.
Timing median(const std::function<void()> &f, int maxRuns = 7, double budgetMs = 3000);
// The same for a reference (no peak memory); none under BENCH_OURS_ONLY.
std::optional<Timing> ref(const std::function<void()> &f, int maxRuns = 7);
// The stock-take window and its posting (stocktake_bench.cpp).
void timeStockTake(Form1 *main);

// What the record of changes costs (history_bench.cpp); legacyMaster: the generated ledger.
void timeHistory(ledger::Store &store, const QString &legacyMaster);

// Another PC's add seen on a server ledger of the same rows (live_bench.cpp; BENCH_PG_DIR).
void timeLiveChanges(ledger::Store &file);
// The server ledger (server_bench.cpp): BENCH_PG_CONNINFO, or a database of the server in
// WAREHOUSE_PG_DIR, given these rows when it holds no ledger yet; its connection string.
QString serverLedgerFor(const std::vector<ledger::Record> &rows);
// Opening it against opening 1.mdb, the store alone, alternating.
void timeServerOpen(const QString &conninfo);
// The same operation on the file's rows and the server's, in turns, runs times each: two rows.
void timeAlternating(const QString &op, int runs, const std::function<void()> &onFile,
                     const std::function<void()> &onServer, qint64 lines = -1);
// Put before the operation of each row while both kinds of ledger are timed ("file: ", "server: ").
extern QString g_rowPrefix;
// A backup of the generated ledger carried to a server, and adds meanwhile (server_backup_bench.cpp).
void timeServerBackup(const QString &generated);

// One markdown table row.
void row(const QString &op, const Timing &ours, const std::optional<Timing> &plain,
         const std::optional<Timing> &sql, qint64 lines = -1);

} // namespace bench
