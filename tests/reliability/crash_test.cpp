// A ledger must survive the program being killed at any moment: another process adds
// transactions one at a time and is killed with SIGKILL at random moments; after every kill the
// file must pass its integrity check and hold every reported record exactly once, whole, each
// explained by exactly one entry of the record of changes.
#include "ledger/file_store.h"
#include "sqlite_db.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <map>

using namespace ledger;

namespace {

// What the child writes for number n (see tests/tools/ledger_child.cpp).
QString expectedText(long n)
{
    return QStringLiteral("3|item-%1|cat|%2|%3|%4|2024/6/15|进货|%1")
        .arg(n)
        .arg(n % 97)
        .arg(n % 13)
        .arg((n % 97) * (n % 13));
}

} // namespace

TEST(CrashConsistency, KilledWriterLosesNothingItReported)
{
    QTemporaryDir dir;
    QRandomGenerator rng(20261207);
    long next = 0;
    std::map<long, int> reported;
    constexpr int kRuns = 200;
    int killedMidWrite = 0;
    for (int run = 0; run < kRuns; ++run) {
        QProcess child;
        child.start(QStringLiteral(LEDGER_CHILD),
                    {QStringLiteral("add"), dir.path(), QString::number(next)});
        ASSERT_TRUE(child.waitForStarted());
        // Wait for the first committed record, then kill at a random moment within the next adds.
        while (!child.canReadLine() && child.state() == QProcess::Running)
            child.waitForReadyRead(50);
        QThread::usleep(rng.bounded(30000));
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        child.waitForFinished();
        long last = next - 1;
        for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
            if (!line.startsWith("added "))
                continue;
            last = line.mid(6).toLong();
            ++reported[last];
        }
        {
            // Before the store's open could explain anything: every row of 库 is one add's,
            // every add's row is there, and the record knows the count.
            sqldb::Connection look(dir.filePath(QStringLiteral("1.mdb")));
            const QStringList ids = sqldb::column(look.get(), "SELECT rowid FROM \"库\" ORDER BY rowid");
            ASSERT_EQ(sqldb::column(look.get(), "SELECT \"记录\" FROM \"操作记录\" WHERE \"种类\" = '添加'"
                                                " ORDER BY \"记录\""),
                      ids)
                << "run " << run;
            ASSERT_EQ(look.first("SELECT count(*) FROM \"操作记录\" WHERE \"种类\" <> '添加'"), QStringLiteral("0"));
            // The count written last, and the adds recorded after the entry it counts to.
            ASSERT_EQ(look.first("SELECT r.\"值\" + (SELECT count(*) FROM \"操作记录\" WHERE \"种类\" = '添加'"
                                 " AND \"编号\" > c.\"值\") FROM \"账本状态\" r, \"账本状态\" c"
                                 " WHERE r.\"键\" = '行数' AND c.\"键\" = '行数截至'"),
                      QString::number(ids.size()));
        }
        auto store = FileStore::open(dir.filePath(QStringLiteral("1.mdb")));
        ASSERT_EQ(sqldb::integrity(store->handle()), QStringLiteral("ok")) << "run " << run;
        std::map<long, int> present;
        for (const Record &r : store->rows()) {
            const long n = r.txno.toLong();
            ASSERT_EQ(recordText(r), expectedText(n)) << "partial or foreign record in run " << run;
            ++present[n];
        }
        for (const auto &[n, times] : reported)
            ASSERT_EQ(present[n], 1) << "record " << n << " reported " << times << " times, run " << run;
        for (const auto &[n, times] : present) {
            ASSERT_EQ(times, 1) << "record " << n << " stored twice";
            // Only the add in flight at the kill may be there without having been reported.
            if (!reported.count(n)) {
                ASSERT_EQ(n, last + 1) << "run " << run;
                reported[n] = 1;
                ++killedMidWrite;
            }
        }
        next = reported.empty() ? 0 : reported.rbegin()->first + 1;
    }
    EXPECT_GT(reported.size(), static_cast<size_t>(kRuns));
    RecordProperty("kills", kRuns);
    RecordProperty("records", static_cast<int>(reported.size()));
    RecordProperty("committedButUnreported", killedMidWrite);
    std::printf("%d kills, %zu records, %d committed in the instant before the kill\n", kRuns,
                reported.size(), killedMidWrite);
}
