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

    std::vector<double> during;
    QDateTime at = QDateTime::currentDateTime();
    int runs = 0;
    const Timing backup = median([&] {
        stop = false;
        std::thread t([&] {
            const std::vector<double> took = addUntil(*adder, stop, rows);
            during.insert(during.end(), took.begin(), took.end());
        });
        const qint64 before = rows;
        const BackupResult b = backupServerLedger(ledgerPath, db, at.addSecs(60 * runs++), {}, false);
        stop = true;
        t.join();
        check(b.ok(), "the server's backup made and checked");
        check(b.rows >= before && b.rows <= rows,
              "the backup holds the rows of one moment");
        QFile::remove(b.path);
    }, 3, 1e9);
    row(QStringLiteral("backup of the server ledger into a ledger file (snapshot, write, read back, check)"), backup,
        std::nullopt, std::nullopt);
    latencyRow("add from another connection while the backup runs", during);
}

} // namespace bench
