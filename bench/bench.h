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

// A backup of the generated ledger carried to a server, and adds meanwhile (server_backup_bench.cpp).
void timeServerBackup(const QString &generated);

// One markdown table row.
void row(const QString &op, const Timing &ours, const std::optional<Timing> &plain,
         const std::optional<Timing> &sql, qint64 lines = -1);

} // namespace bench
