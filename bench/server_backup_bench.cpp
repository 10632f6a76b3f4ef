// What a backup of a server ledger costs, and what it costs another PC meanwhile: the generated
// ledger carried to a database of the throwaway server (tests/support/pg_server.sh, found through
// WAREHOUSE_PG_DIR), backed up as a ledger file while another connection adds rows one by one.
#include "bench.h"

#include "ledger/backup.h"
#include "ledger/file_store.h"
#include "ledger/server_backup.h"
#include "ledger/server_store.h"
#include "pg_test_server.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

using namespace ledger;

namespace bench {

namespace {

Record benchAdd()
{
    return {0, true, kTransaction, QStringLiteral("bench商品"), QStringLiteral("bench备份"), QStringLiteral("12.5"),
            QStringLiteral("4"), QStringLiteral("50"), QStringLiteral("2026-01-01"), kIn, QStringLiteral("12345678")};
}

// Milliseconds each add took, one after the other, until stop; added counts them.
std::vector<double> addUntil(Store &store, const std::atomic<bool> &stop, std::atomic<qint64> &added)
{
    std::vector<double> took;
    while (!stop) {
        QElapsedTimer t;
        t.start();
        store.add(benchAdd());
        took.push_back(msSince(t));
        ++added;
    }
    return took;
}

void latencyRow(const char *what, std::vector<double> took)
{
    std::sort(took.begin(), took.end());
    const double median = took.empty() ? 0 : took[took.size() / 2];
    const double most = took.empty() ? 0 : took.back();
    std::printf("| %lld | %s: %zu adds, median %.2f ms, longest %.2f ms | | | | | | |\n",
                static_cast<long long>(g_size), what, took.size(), median, most);
    std::fflush(stdout);
}

} // namespace

void timeServerBackup(const QString &generated)
{
    if (testpg::conninfo().isEmpty())
        die(QStringLiteral("BENCH_SERVER_BACKUP_ONLY needs a server: bash tests/support/pg_server.sh start DIR, "
                           "then WAREHOUSE_PG_DIR=DIR"));
    const testpg::Database database;
    {
        const std::vector<Record> rows = FileStore::open(generated, Store::kLockWait, FileStore::Purpose::Reading)->rows();
        ServerStore::createLedger(database.conninfo(), rows);
    }
    const QTemporaryDir folder;
    const QString ledgerPath = QDir(folder.path()).filePath(QStringLiteral("1.mdb"));
    auto adder = ServerStore::open(database.conninfo());
    pgdb::Connection db(database.conninfo());
    std::atomic<qint64> rows{static_cast<qint64>(adder->loadedRows().size())};

    std::atomic<bool> stop{false};
    std::vector<double> idle;
    {
        std::thread t([&] { idle = addUntil(*adder, stop, rows); });
        std::this_thread::sleep_for(std::chrono::seconds(2));
        stop = true;
        t.join();
    }
    latencyRow("add from another connection, no backup running", idle);

    // The parts: the snapshot read alone, and the whole backup, with nobody else working.
    const Timing snapshot = median([&] { ServerStore::readSnapshot(db, [](const pgdb::CopyRow &) {}); }, 3, 1e9);
    row(QStringLiteral("server backup, the snapshot alone (COPY of every row with its id)"), snapshot, std::nullopt,
        std::nullopt);
    QDateTime at = QDateTime::currentDateTime();
    int runs = 0;
    const auto backupOnce = [&] {
        const qint64 before = rows;
        const BackupResult b = backupServerLedger(ledgerPath, db, at.addSecs(60 * runs++), {}, false);
        check(b.ok(), "the server's backup made and checked");
        check(b.rows >= before && b.rows <= rows, "the backup holds the rows of one moment");
        QFile::remove(b.path);
    };
    const Timing alone = median(backupOnce, 3, 1e9);
    row(QStringLiteral("server backup into a ledger file (snapshot, write, read back, integrity check)"), alone,
        std::nullopt, std::nullopt);

    // For scale: the backup of the same ledger as a file (the benchmark's copy of it).
    const Timing file = median([&] {
        const BackupResult b = backupLedger(QDir::current().absoluteFilePath(QStringLiteral("1.mdb")), at, false);
        check(b.ok(), "the file's backup made and checked");
        QFile::remove(b.path);
    }, 3, 1e9);
    row(QStringLiteral("for scale: backup of the same ledger as a file (SQLite's online backup, integrity check)"), file,
        std::nullopt, std::nullopt);

    // Again while another connection adds rows as fast as it can.
    stop = false;
    std::vector<double> during;
    std::thread t([&] { during = addUntil(*adder, stop, rows); });
    const Timing busy = median(backupOnce, 1, 1e9);
    stop = true;
    t.join();
    row(QStringLiteral("the same while another connection adds rows one after the other"), busy, std::nullopt,
        std::nullopt);
    latencyRow("add from another connection while the backup runs", during);
}

} // namespace bench
