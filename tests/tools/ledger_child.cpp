// A second program working on a ledger file, for the reliability and package tests:
//   ledger_child add FOLDER FIRST COUNT     adds transactions FIRST.., printing "added N" after each
//   ledger_child remove FOLDER PREFIX       deletes every row whose name starts with PREFIX
//   ledger_child lock FOLDER MILLISECONDS   holds an exclusive lock on the file, printing "locked"
//   ledger_child fsize FOLDER BYTES FIRST   as add, with the file size limited to BYTES
//   ledger_child delete FOLDER REQUEST CATEGORY [DIRECTION]
//                                           deletes what the main window's delete button does
//                                           for a request (fields joined by "|"), printing
//                                           "removed N"
//   ledger_child rows FOLDER                opens the existing ledger (never creates one) and
//                                           prints "rows N"
//   ledger_child spill FOLDER 0             changes every row in a transaction that has already
//                                           written to the file, prints "spilled", then waits
//                                           to be killed (leaving a hot journal)
#include "ledger/browse.h"
#include "ledger/file_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <sqlite3.h>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <thread>

using namespace ledger;

namespace {

Record transaction(long n)
{
    Record r;
    r.kind = kTransaction;
    r.name = QStringLiteral("item-%1").arg(n);
    r.cat = QStringLiteral("cat");
    r.price = QString::number(n % 97);
    r.qty = QString::number(n % 13);
    r.total = QString::number((n % 97) * (n % 13));
    r.date = QStringLiteral("2024/6/15");
    r.method = QStringLiteral("进货");
    r.txno = QString::number(n);
    return r;
}

int addLoop(const QString &folder, long first, long count)
{
    auto store = FileStore::open(QDir(folder).filePath(QStringLiteral("1.mdb")));
    for (long n = first; n < first + count; ++n) {
        try {
            store->add(transaction(n));
        } catch (const StoreError &e) {
            std::printf("failed %ld %s\n", n, e.message().toUtf8().constData());
            std::fflush(stdout);
            return 3;
        }
        std::printf("added %ld\n", n);
        std::fflush(stdout);
    }
    return 0;
}

int rows(const QString &folder)
{
    const QFileInfo file(QDir(folder).filePath(QStringLiteral("1.mdb")));
    if (!file.exists() || file.size() == 0) {
        std::printf("missing %s\n", file.filePath().toUtf8().constData());
        return 4;
    }
    std::printf("rows %lld\n", static_cast<long long>(FileStore::open(file.filePath())->count()));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString folder = QString::fromLocal8Bit(argv[2]);
    try {
        if (mode == QStringLiteral("rows"))
            return rows(folder);
        if (argc < 4)
            return 2;
        if (mode == QStringLiteral("add"))
            return addLoop(folder, std::atol(argv[3]), argc > 4 ? std::atol(argv[4]) : 1000000);
        if (mode == QStringLiteral("remove")) {
            auto store = FileStore::open(QDir(folder).filePath(QStringLiteral("1.mdb")));
            const QString prefix = QString::fromLocal8Bit(argv[3]);
            std::printf("removed %d\n", store->removeWhere([&](const Record &r) { return r.name.startsWith(prefix); }));
            std::fflush(stdout);
            return 0;
        }
        if (mode == QStringLiteral("delete")) {
            auto store = FileStore::open(QDir(folder).filePath(QStringLiteral("1.mdb")));
            SelectedLine line;
            line.request = QString::fromLocal8Bit(argv[3]).split(u'|');
            const QString category = argc > 4 ? QString::fromLocal8Bit(argv[4]) : QString();
            const QString direction = argc > 5 ? QString::fromLocal8Bit(argv[5]) : QString();
            std::printf("removed %d\n", removeLines(*store, {line}, category, direction));
            std::fflush(stdout);
            return 0;
        }
        if (mode == QStringLiteral("fsize")) {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit lim{};
            lim.rlim_cur = lim.rlim_max = static_cast<rlim_t>(std::atol(argv[3]));
            setrlimit(RLIMIT_FSIZE, &lim);
            return addLoop(folder, argc > 4 ? std::atol(argv[4]) : 0, 1000000);
        }
        if (mode == QStringLiteral("spill")) {
            auto store = FileStore::open(QDir(folder).filePath(QStringLiteral("1.mdb")));
            sqlite3_exec(store->handle(), "PRAGMA cache_size = 2; BEGIN IMMEDIATE; UPDATE \"库\" SET \"名称\" = 'x'",
                         nullptr, nullptr, nullptr);
            std::printf("spilled\n");
            std::fflush(stdout);
            std::this_thread::sleep_for(std::chrono::hours(1));
            return 0;
        }
        if (mode == QStringLiteral("lock")) {
            auto store = FileStore::open(QDir(folder).filePath(QStringLiteral("1.mdb")));
            sqlite3_exec(store->handle(), "BEGIN EXCLUSIVE; DELETE FROM \"库\" WHERE 0", nullptr, nullptr, nullptr);
            std::printf("locked\n");
            std::fflush(stdout);
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(argv[3])));
            sqlite3_exec(store->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
            return 0;
        }
    } catch (const StoreError &e) {
        std::printf("error %s\n", e.message().toUtf8().constData());
        return 1;
    }
    return 2;
}
