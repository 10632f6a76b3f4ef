// Two programs on one ledger file: nothing lost on either side, a busy file waits, the next
// operation sees the other program's changes, a lock held too long gives a clear message.
#include "ledger/file_store.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>

using namespace ledger;

namespace {

Record mine(int n)
{
    Record r;
    r.kind = kCategory;
    r.name = QStringLiteral("mine-%1").arg(n);
    r.method = QStringLiteral("进货");
    return r;
}

} // namespace

TEST(Concurrency, BothWritersKeepEveryRecord)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("1.mdb"));
    auto store = FileStore::open(path);
    QProcess other;
    other.start(QStringLiteral(LEDGER_CHILD), {QStringLiteral("add"), dir.path(), QStringLiteral("0"), QStringLiteral("150")});
    ASSERT_TRUE(other.waitForStarted());
    int n = 0;
    while (other.state() == QProcess::Running || n < 150) {
        store->add(mine(n++));
        store->rows(); // reads in between the other program's writes
        other.waitForFinished(0);
    }
    if (other.state() != QProcess::NotRunning) {
        ASSERT_TRUE(other.waitForFinished(60000));
    }
    const QByteArray out = other.readAllStandardOutput();
    ASSERT_EQ(other.exitCode(), 0) << out.right(300).toStdString();

    std::set<QString> names;
    for (const Record &r : store->rows())
        EXPECT_TRUE(names.insert(r.name).second) << "twice: " << r.name.toStdString();
    for (int i = 0; i < n; ++i)
        EXPECT_TRUE(names.count(QStringLiteral("mine-%1").arg(i)));
    for (int i = 0; i < 150; ++i)
        EXPECT_TRUE(names.count(QStringLiteral("item-%1").arg(i)));
    EXPECT_EQ(names.size(), static_cast<size_t>(n + 150));

    // The other program deletes; our next read and our own delete both see it.
    QProcess remover;
    remover.start(QStringLiteral(LEDGER_CHILD), {QStringLiteral("remove"), dir.path(), QStringLiteral("item-")});
    ASSERT_TRUE(remover.waitForFinished(60000));
    EXPECT_EQ(remover.readAllStandardOutput().trimmed(), QByteArray("removed 150"));
    EXPECT_EQ(store->count(), n);
    EXPECT_EQ(store->removeWhere([](const Record &r) { return r.name == QStringLiteral("mine-0"); }), 1);
    EXPECT_EQ(FileStore::open(path)->count(), n - 1);
}

TEST(Concurrency, LockHeldPastTheTimeoutGivesAClearMessage)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("1.mdb"));
    // Each attempt waits a second for the lock (ten in the program); the lock outlasts both.
    auto store = FileStore::open(path, std::chrono::seconds(1));
    store->add(mine(1));
    QProcess locker;
    locker.start(QStringLiteral(LEDGER_CHILD), {QStringLiteral("lock"), dir.path(), QStringLiteral("5000")});
    ASSERT_TRUE(locker.waitForReadyRead(30000));
    ASSERT_EQ(locker.readLine().trimmed(), QByteArray("locked"));
    try {
        store->add(mine(2));
        ADD_FAILURE() << "write went through an exclusive lock";
    } catch (const StoreError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("记录未能保存到账本文件“%1”：文件正被其他程序使用，请稍后再试！").arg(path));
    }
    try {
        store->rows();
        ADD_FAILURE() << "read went through an exclusive lock";
    } catch (const StoreError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("文件正被其他程序使用")));
    }
    ASSERT_TRUE(locker.waitForFinished(30000));
    // Once the lock is gone everything works again and nothing was half-written.
    store->add(mine(3));
    ASSERT_EQ(store->count(), 2);
    EXPECT_EQ(store->rows()[1].name, QStringLiteral("mine-3"));
}

TEST(Concurrency, ShortLockIsWaitedFor)
{
    QTemporaryDir dir;
    auto store = FileStore::open(dir.filePath(QStringLiteral("1.mdb")));
    QProcess locker;
    locker.start(QStringLiteral(LEDGER_CHILD), {QStringLiteral("lock"), dir.path(), QStringLiteral("1000")});
    ASSERT_TRUE(locker.waitForReadyRead(30000));
    EXPECT_NO_THROW(store->add(mine(1))); // waits for the lock instead of failing
    EXPECT_EQ(store->count(), 1);
    locker.waitForFinished(30000);
}
