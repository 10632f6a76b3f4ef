#include "ledger/backup.h"
#include "ledger/columns.h"
#include "ledger/commands.h"
#include "ledger/file_store.h"
#include "ledger/history.h"
#include "rows.h"
#include "sqlite_db.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

using namespace ledger;

namespace {

// The ledger file of historyRows(). What the record of changes does on both kinds of ledger is
// tested in pg_history_test.cpp; here what only the file has: older files, outside writers.
class History : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("1.mdb"));
        store = FileStore::open(path);
        for (const Record &r : historyRows())
            store->add(r);
    }

    void reopen()
    {
        store.reset();
        store = FileStore::open(path);
    }

    QTemporaryDir dir;
    QString path;
    std::unique_ptr<FileStore> store;
};

TEST_F(History, RowsWrittenOutsideAreExplainedAtTheNextOpen)
{
    store.reset();
    {
        sqldb::Connection older(path);
        ASSERT_EQ(older.exec("INSERT INTO \"库\" (\"标号\", \"名称\", \"方法\") VALUES (1, '外来', '进货')"), SQLITE_OK);
    }
    store = FileStore::open(path);
    const std::vector<ChangeEntry> h = store->history(1);
    ASSERT_EQ(h.size(), 1u);
    EXPECT_EQ(h.front().kind, ChangeKind::Outside);
    EXPECT_TRUE(h.front().summary.startsWith(q("在本软件之外改动"))) << h.front().summary.toStdString();
    reopen(); // explained once
    EXPECT_EQ(store->history(1).front().number, h.front().number);
}

struct Clash {
    const char *what;
    std::vector<Record> addedAgain;
    QStringList asked;
};

class RestoreClashes : public History, public ::testing::WithParamInterface<Clash> {};

// A category comes back by its name alone, a product by its name and category.
TEST_P(RestoreClashes, NameTheNamesThatExistAgain)
{
    store->removeWhere([](const Record &r) { return r.name == q("零食") || r.cat == q("零食"); });
    for (const Record &r : GetParam().addedAgain)
        store->add(r);
    EXPECT_EQ(restoreClashes(store->deletedRows(store->deletions().front().number), store->rows()), GetParam().asked);
}

Record categoryOut(const QString &name)
{
    Record r = category(name);
    r.method = q("出货");
    return r;
}

INSTANTIATE_TEST_SUITE_P(
    Names, RestoreClashes,
    ::testing::Values(Clash{"none", {}, {}},
                      Clash{"categoryOtherDirection", {categoryOut(q("零食"))}, {q("类“零食”")}},
                      Clash{"productSameCategory", {category(q("零食")), product(q("饼干"), q("零食"))},
                            {q("类“零食”"), q("商品“饼干”（零食）")}},
                      Clash{"productOtherCategory", {product(q("薯片"), q("饮料"))}, {}},
                      Clash{"transactionOnly", {tx(q("薯片"), q("零食"), q("进货"), q("5"), q("10"), q("2024/6/1"))}, {}}),
    [](const auto &info) { return std::string(info.param.what); });

// A restore of a backup, of this release or of one before the record of changes, is itself an
// entry of the restored ledger, with its count and checksum; the copy gets no backup of its own.
TEST_F(History, ABackupRestoreIsRecorded)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QString fresh = backupLedger(path, now, false).path;
    ASSERT_FALSE(fresh.isEmpty());
    const QString old = dir.filePath(QStringLiteral("old.mdb"));
    {
        sqldb::Connection c(old);
        ASSERT_EQ(c.exec(createTableSql()), SQLITE_OK);
        ASSERT_EQ(c.exec("INSERT INTO \"库\" (\"标号\", \"名称\", \"方法\") VALUES (1, '零食', '进货')"), SQLITE_OK);
    }
    store.reset();
    for (const QString &backup : {fresh, old}) {
        SCOPED_TRACE(backup.toStdString());
        const std::size_t backups = listBackups(path).size();
        const RestoreResult done = restoreBackup(path, backup, now);
        ASSERT_TRUE(done.ok()) << done.error.toStdString();
        auto restored = FileStore::open(path);
        const std::vector<Record> &rows = restored->rows();
        const ChangeEntry last = restored->history(1).front();
        EXPECT_EQ(last.kind, ChangeKind::Restore);
        EXPECT_EQ(last.count, done.rows);
        EXPECT_EQ(last.checksum, rowsChecksum(RecordRefs(rows.cbegin(), rows.cend())));
        EXPECT_EQ(last.summary, q("用备份“%1”恢复账本：%2 条记录").arg(QFileInfo(backup).fileName()).arg(rows.size()));
        EXPECT_EQ(listBackups(path).size(), backups + 1); // the ledger replaced, nothing else
        EXPECT_EQ(QDir(backupFolder(path)).entryList(QDir::Files).size(), backups + 1);
        EXPECT_TRUE(restored->passesIntegrityCheck());
    }
}

// Opened as the program's start opens it (its rows in the background) and at once.
class Upgrade : public History, public ::testing::WithParamInterface<FileStore::Reading> {};
INSTANTIATE_TEST_SUITE_P(Readings, Upgrade,
                         ::testing::Values(FileStore::Reading::AtOnce, FileStore::Reading::InBackground));

TEST_P(Upgrade, AnOlderLedgerIsUpgradedAfterABackupAndStillWorksForAnOlderRelease)
{
    const auto open = [](const QString &file) {
        return FileStore::open(file, Store::kLockWait, FileStore::Purpose::Work, GetParam());
    };
    const QString old = dir.filePath(QStringLiteral("old/1.mdb"));
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("old"))));
    {
        sqldb::Connection c(old);
        ASSERT_EQ(c.exec(createTableSql()), SQLITE_OK);
        ASSERT_EQ(c.exec("INSERT INTO \"库\" (\"标号\", \"名称\", \"方法\") VALUES (1, '零食', '进货')"), SQLITE_OK);
    }
    {
        auto upgraded = open(old);
        EXPECT_EQ(listBackups(old).size(), 1u); // at the open, before the start's daily backup
        EXPECT_EQ(sqldb::column(upgraded->handle(), "SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = '库'"),
                  QStringList{q("库_标号")});
        upgraded->add(product(q("薯片"), q("零食")));
        EXPECT_EQ(upgraded->history(10).size(), 1u);
    }
    {
        // The previous release reads and writes only 库.
        sqldb::Connection c(old);
        EXPECT_EQ(sqldb::column(c.get(), "SELECT \"名称\" FROM \"库\" ORDER BY rowid"), QStringList({q("零食"), q("薯片")}));
        ASSERT_EQ(c.exec("INSERT INTO \"库\" (\"标号\", \"名称\", \"方法\") VALUES (1, '饮料', '进货')"), SQLITE_OK);
        ASSERT_EQ(c.exec("DELETE FROM \"库\" WHERE \"名称\" = '零食'"), SQLITE_OK);
        EXPECT_EQ(sqldb::integrity(c.get()), q("ok"));
    }
    auto reopened = open(old);
    EXPECT_EQ(reopened->rows().size(), 2u);
    EXPECT_EQ(reopened->history(1).front().kind, ChangeKind::Outside);
    EXPECT_EQ(listBackups(old).size(), 1u); // once
    EXPECT_TRUE(reopened->passesIntegrityCheck());
}

TEST_F(History, ReadingWritesNothing)
{
    store.reset();
    {
        sqldb::Connection older(path);
        ASSERT_EQ(older.exec("INSERT INTO \"库\" (\"标号\", \"名称\") VALUES (1, '外来')"), SQLITE_OK);
    }
    const QByteArray bytes = readAll(path);
    auto reading = FileStore::open(path, Store::kLockWait, FileStore::Purpose::Reading);
    EXPECT_EQ(reading->history(100).size(), 9u);
    reading.reset();
    EXPECT_EQ(readAll(path), bytes);
}

TEST_F(History, TheCommandLinePrintsTheLastEntries)
{
    store->removeWhere([](const Record &r) { return r.name == q("可乐"); });
    const std::vector<std::pair<QStringList, int>> runs = {
        {{q("--history")}, 10}, {{q("--history"), q("2")}, 2}, {{q("--history"), q("100")}, 10}};
    for (const auto &[args, lines] : runs) {
        SCOPED_TRACE(args.join(u' ').toStdString());
        QString outText, errText;
        QTextStream out(&outText), err(&errText);
        EXPECT_EQ(runCommand(args, path, QDateTime::currentDateTime(), out, err), 0);
        const QStringList printed = outText.trimmed().split(u'\n');
        ASSERT_EQ(printed.size(), lines + 1) << outText.toStdString();
        EXPECT_TRUE(printed.value(1).endsWith(q("删除商品“可乐”：1 条交易记录"))) << outText.toStdString();
        EXPECT_TRUE(errText.isEmpty());
    }
    for (const QString &wrong : {q("0"), q("x")}) {
        QString outText, errText;
        QTextStream out(&outText), err(&errText);
        EXPECT_EQ(runCommand({q("--history"), wrong}, path, QDateTime::currentDateTime(), out, err), 2);
        EXPECT_TRUE(errText.startsWith(q("不认识的参数：") + wrong)) << errText.toStdString();
    }
}

} // namespace
