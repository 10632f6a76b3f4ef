// Backups beside the ledger, their daily rule and thinning on a fake clock, restore, and the
// command-line options.
#include "ledger/backup.h"
#include "ledger/commands.h"
#include "ledger/file_store.h"
#include "rows.h"
#include "sqlite_db.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <sys/stat.h>
#include <thread>

using namespace ledger;

namespace {



QStringList texts(const QString &path)
{
    QStringList out;
    const auto store = FileStore::open(path);
    for (const Record &r : store->rows())
        out << recordText(r);
    return out;
}

const QDateTime kNow(QDate(2026, 12, 7), QTime(9, 30));

class BackupTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString ledger() const { return dir.filePath(QStringLiteral("1.mdb")); }
    QString folder() const { return dir.filePath(q("备份")); }
    QStringList backupNames() const { return QDir(folder()).entryList(QDir::Files | QDir::Hidden); }

    // A ledger of n rows written in one transaction (one commit per row would take long).
    void fill(int n)
    {
        auto store = FileStore::open(ledger());
        store->add(category(q("水果")));
        sqlite3_exec(store->handle(), "BEGIN", nullptr, nullptr, nullptr);
        const QString sql = q("INSERT INTO \"库\" VALUES (3, '苹果%1', '水果', '2.5', '%1', '%2', '26-12-7', '进货', '%1')");
        for (int i = 1; i < n; ++i)
            sqlite3_exec(store->handle(), sql.arg(i).arg(i * 2.5).toUtf8().constData(), nullptr, nullptr, nullptr);
        sqlite3_exec(store->handle(), "COMMIT", nullptr, nullptr, nullptr);
    }
    void touch(const QString &name) const
    {
        QDir().mkpath(folder());
        touchFile(QDir(folder()).filePath(name));
    }
    static void touchFile(const QString &path)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
};

} // namespace

TEST_F(BackupTest, BackupOpensWithThePasswordAndHoldsExactlyTheLedgersRows)
{
    fill(500);
    const BackupResult b = backupLedger(ledger(), kNow);
    ASSERT_TRUE(b.ok()) << b.error.toStdString();
    EXPECT_EQ(b.path, QDir(folder()).filePath(q("1-20261207-0930.mdb")));
    EXPECT_EQ(b.rows, 500);
    EXPECT_EQ(backupNames(), QStringList{q("1-20261207-0930.mdb")}); // no leftover temporary file
    EXPECT_EQ(texts(b.path), texts(ledger()));
    // Encrypted like the ledger: not a plain SQLite file, and nothing readable inside.
    const QByteArray bytes = readAll(b.path);
    EXPECT_FALSE(bytes.startsWith("SQLite format 3"));
    EXPECT_FALSE(bytes.contains(q("苹果").toUtf8()));
    EXPECT_TRUE(checkLedgerFile(b.path).ok());
    EXPECT_EQ(checkLedgerFile(b.path).rows, 500);
}

TEST_F(BackupTest, DailyRuleAndTwoBackupsInOneMinuteGetTheirOwnNames)
{
    fill(3);
    EXPECT_FALSE(hasBackupOn(ledger(), kNow.date()));
    ASSERT_TRUE(backupLedger(ledger(), kNow).ok());
    EXPECT_TRUE(hasBackupOn(ledger(), kNow.date()));
    EXPECT_FALSE(hasBackupOn(ledger(), kNow.date().addDays(1)));
    EXPECT_FALSE(hasBackupOn(ledger(), kNow.date().addDays(-1)));
    const BackupResult again = backupLedger(ledger(), kNow.addSecs(12));
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(QFileInfo(again.path).fileName(), q("1-20261207-093012.mdb"));
    // Files of other names in the folder are no backups of this ledger.
    touch(q("说明.txt"));
    touch(q("2-20261207-0930.mdb"));
    const auto all = listBackups(ledger());
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].time, kNow);
    EXPECT_EQ(all[1].time, kNow.addSecs(12));
}

TEST_F(BackupTest, ThinningKeepsTwoWeeksOfDaysAndOneAMonthForAYear)
{
    // Today in December, in January (the twelve months cross the year), at a month's end, on a
    // leap day.
    for (const QDateTime &now : {kNow, QDateTime(QDate(2027, 1, 15), QTime(9, 30)),
                                 QDateTime(QDate(2026, 3, 31), QTime(9, 30)), QDateTime(QDate(2028, 2, 29), QTime(9, 30))}) {
        SCOPED_TRACE(now.toString(Qt::ISODate).toStdString());
        // One backup at 08:00 and one at 18:00 on each of the last 500 days, three today, and
        // a ledger a restore replaced long ago.
        std::vector<BackupFile> all;
        const QDate today = now.date();
        for (int d = 500; d >= 1; --d)
            for (int h : {8, 18})
                all.push_back({QStringLiteral("b%1-%2").arg(d).arg(h), QDateTime(today.addDays(-d), QTime(h, 0))});
        all.push_back({QStringLiteral("restored-over"), QDateTime(today.addDays(-300), QTime(12, 0)), true});
        for (int h : {7, 8, 9})
            all.push_back({QStringLiteral("today-%1").arg(h), QDateTime(today, QTime(h, 0))});
        all.push_back({QStringLiteral("future"), now.addDays(3)});
        std::sort(all.begin(), all.end(), [](const BackupFile &a, const BackupFile &b) { return a.time < b.time; });
        const QStringList removed = backupsToThin(all, now, QStringLiteral("today-9"));
        QStringList kept;
        for (const BackupFile &b : all)
            if (!removed.contains(b.path))
                kept << b.path;

        QStringList expected{QStringLiteral("today-7"), QStringLiteral("today-8"), QStringLiteral("today-9"),
                             QStringLiteral("future"), QStringLiteral("restored-over")};
        for (int d = 1; d <= 13; ++d) // the last of each of the 13 days before today
            expected << QStringLiteral("b%1-18").arg(d);
        for (int m = 1; m <= 11; ++m) { // the last of each earlier month of the twelve
            const QDate last = QDate(today.year(), today.month(), 1).addMonths(-m + 1).addDays(-1);
            expected << QStringLiteral("b%1-18").arg(last.daysTo(today));
        }
        std::sort(kept.begin(), kept.end());
        std::sort(expected.begin(), expected.end());
        expected.removeDuplicates();
        EXPECT_EQ(kept, expected);
    }
}

TEST_F(BackupTest, ThinningNeverRemovesTheNewBackupNorOneWhenItIsTheOnlyOne)
{
    const std::vector<BackupFile> one{{QStringLiteral("old"), kNow.addYears(-3)}};
    EXPECT_TRUE(backupsToThin(one, kNow, QStringLiteral("old")).isEmpty());
    // On disk, with a backup on each of the last 14 days: the 14th day before today goes (the
    // last of November stays), so does the one of long ago; the one just made stays.
    fill(2);
    touch(q("1-20230101-1200.mdb"));
    for (int d = 1; d <= 14; ++d)
        touch(q("1-%1-1200.mdb").arg(kNow.date().addDays(-d).toString(q("yyyyMMdd"))));
    const BackupResult b = backupLedger(ledger(), kNow);
    ASSERT_TRUE(b.ok());
    EXPECT_EQ(b.removed, (QStringList{QDir(folder()).filePath(q("1-20230101-1200.mdb")),
                                      QDir(folder()).filePath(q("1-20261123-1200.mdb"))}));
    EXPECT_EQ(backupNames().size(), 14);
    EXPECT_TRUE(backupNames().contains(q("1-20261207-0930.mdb")));
}

TEST_F(BackupTest, FailingBackupSaysWhyAndLeavesTheLedgerAndOldBackupsAlone)
{
    fill(20);
    const QByteArray before = readAll(ledger());
    // A file where the folder should be.
    {
        QFile f(folder());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    BackupResult b = backupLedger(ledger(), kNow);
    EXPECT_FALSE(b.ok());
    EXPECT_TRUE(b.error.contains(q("不是文件夹"))) << b.error.toStdString();
    EXPECT_TRUE(b.path.isEmpty());
    EXPECT_EQ(readAll(ledger()), before);
    // A ledger that cannot be read: no backup, and no half-made file in the folder.
    QFile::remove(folder());
    touch(q("1-20261206-0930.mdb"));
    QByteArray damaged = before;
    damaged.replace(100, 4000, QByteArray(4000, 'x'));
    QFile f(ledger());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(damaged);
    f.close();
    b = backupLedger(ledger(), kNow);
    EXPECT_FALSE(b.ok());
    EXPECT_EQ(backupNames(), QStringList{q("1-20261206-0930.mdb")});
}

TEST_F(BackupTest, WriteDuringABackupWaitsAndTheCopyIsConsistent)
{
    fill(40000);
    std::atomic<bool> started{false};
    BackupResult b;
    std::thread copier([&] {
        started = true;
        b = backupLedger(ledger(), kNow);
    });
    while (!started)
        std::this_thread::yield();
    auto store = FileStore::open(ledger());
    for (int i = 0; i < 20; ++i)
        store->add(category(QStringLiteral("新%1").arg(i))); // never refused while the copy runs
    copier.join();
    ASSERT_TRUE(b.ok()) << b.error.toStdString();
    const qint64 rows = checkLedgerFile(b.path).rows;
    EXPECT_EQ(rows, b.rows);
    EXPECT_GE(rows, 40000);
    EXPECT_LE(rows, 40020);
    EXPECT_EQ(store->count(), 40020);
}

// Another program holding the ledger's lock for less than the store's wait: the backup (which
// reads) and the restore (which takes the write lock) wait for it as the store would.
TEST_F(BackupTest, ALockHeldShorterThanTheWaitIsWaitedOut)
{
    fill(10);
    const BackupResult good = backupLedger(ledger(), kNow, false);
    ASSERT_TRUE(good.ok()) << good.error.toStdString();
    auto holdWhile = [&](const std::function<void()> &act) {
        std::atomic<bool> held{false};
        std::thread holder([&] {
            sqldb::Connection other(ledger());
            held = other.exec("BEGIN EXCLUSIVE") == SQLITE_OK;
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            other.exec("COMMIT");
        });
        while (!held)
            std::this_thread::yield();
        act();
        holder.join();
    };
    BackupResult b;
    holdWhile([&] { b = backupLedger(ledger(), kNow.addSecs(60), false); });
    EXPECT_TRUE(b.ok()) << b.error.toStdString();
    EXPECT_EQ(b.rows, 10);
    RestoreResult r;
    holdWhile([&] { r = restoreBackup(ledger(), good.path, kNow.addSecs(120)); });
    EXPECT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_EQ(r.rows, 10);
}

TEST_F(BackupTest, RestorePutsAGoodBackupInPlaceAndKeepsTheCurrentLedger)
{
    fill(10);
    const BackupResult b = backupLedger(ledger(), kNow.addDays(-1));
    ASSERT_TRUE(b.ok());
    const QStringList yesterday = texts(ledger());
    FileStore::open(ledger())->removeWhere([](const Record &r) { return r.kind == kTransaction; });
    const QStringList today = texts(ledger());
    ASSERT_EQ(today.size(), 1);

    const RestoreResult r = restoreBackup(ledger(), b.path, kNow);
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_EQ(r.rows, 10);
    EXPECT_EQ(texts(ledger()), yesterday);
    EXPECT_EQ(texts(r.keptAs), today);
    EXPECT_EQ(texts(b.path), yesterday); // the backup itself stays
    EXPECT_FALSE(QFile::exists(dir.filePath(q(".1.mdb.restore"))));
}

TEST_F(BackupTest, RestoreOverADamagedLedgerKeepsItsBytes)
{
    fill(200);
    const BackupResult b = backupLedger(ledger(), kNow.addDays(-1));
    ASSERT_TRUE(b.ok());
    QByteArray damaged = readAll(ledger());
    damaged.replace(0, 1024, QByteArray(1024, 'x'));
    {
        QFile f(ledger());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(damaged);
    }
    const RestoreResult r = restoreBackup(ledger(), b.path, kNow);
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_EQ(readAll(r.keptAs), damaged);
    EXPECT_EQ(checkLedgerFile(ledger()).rows, 200);
}

TEST_F(BackupTest, RestoreRefusesADamagedOrForeignFileAndChangesNothing)
{
    fill(300);
    const BackupResult b = backupLedger(ledger(), kNow.addDays(-1));
    ASSERT_TRUE(b.ok());
    QByteArray bytes = readAll(b.path);
    bytes.replace(bytes.size() / 2, 2048, QByteArray(2048, '\0'));
    const QString damaged = dir.filePath(q("damaged.mdb"));
    const QString text = dir.filePath(q("text.mdb"));
    for (const auto &[path, content] : {std::pair{damaged, bytes}, std::pair{text, QByteArray("商品,价格\n")}}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    const QByteArray before = readAll(ledger());
    const QStringList backupsBefore = backupNames();
    for (const QString &file : {damaged, text, dir.filePath(q("absent.mdb")), ledger()}) {
        const RestoreResult r = restoreBackup(ledger(), file, kNow);
        EXPECT_FALSE(r.ok()) << file.toStdString();
        EXPECT_TRUE(r.error.endsWith(u'！'));
        EXPECT_EQ(readAll(ledger()), before);
        EXPECT_EQ(backupNames(), backupsBefore);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3); // 1.mdb, damaged, text
    }
}

TEST_F(BackupTest, RestoreThatCannotKeepTheCurrentLedgerChangesNothing)
{
    fill(30);
    const BackupResult b = backupLedger(ledger(), kNow.addDays(-1));
    ASSERT_TRUE(b.ok());
    const QString copy = dir.filePath(q("昨天.mdb"));
    ASSERT_TRUE(QFile::copy(b.path, copy));
    FileStore::open(ledger())->add(category(q("今天")));
    const QByteArray before = readAll(ledger());
    // A file named 备份 where the folder should be: the current ledger has nowhere to go.
    ASSERT_TRUE(QDir(folder()).removeRecursively());
    touchFile(folder());
    const RestoreResult r = restoreBackup(ledger(), copy, kNow);
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.error.contains(q("无法把当前账本保留为备份"))) << r.error.toStdString();
    EXPECT_EQ(readAll(ledger()), before);
    EXPECT_TRUE(QFileInfo(folder()).isFile());
}

TEST_F(BackupTest, ATableOfOtherColumnsIsRefusedByTheStartTheRestoreAndTheBackupCheck)
{
    fill(3);
    const QByteArray before = readAll(ledger());
    const QStringList tables = {
        q("CREATE TABLE \"库\" (x)"),
        q("CREATE TABLE \"库\" (\"标号\", \"名称\", \"类\", \"价格\", \"数量\", \"总额\", \"日期\", \"方法\")"),
        q("CREATE TABLE \"库\" (\"标号\", \"名称\", \"类\", \"价格\", \"数量\", \"总额\", \"日期\", \"方法\", \"交易号码\", \"备注\")"),
        q("CREATE TABLE \"库\" (\"名称\", \"标号\", \"类\", \"价格\", \"数量\", \"总额\", \"日期\", \"方法\", \"交易号码\")"),
    };
    for (int i = 0; i < tables.size(); ++i) {
        SCOPED_TRACE(tables[i].toStdString());
        const QString other = dir.filePath(q("other%1.mdb").arg(i));
        sqldb::Connection(other).exec(tables[i].toUtf8().constData());
        const QByteArray otherBytes = readAll(other);
        const QString why = q("账本表“库”的字段与本软件的不同");
        EXPECT_TRUE(checkLedgerFile(other).error.startsWith(why)) << checkLedgerFile(other).error.toStdString();
        try {
            FileStore::open(other);
            ADD_FAILURE() << "opened";
        } catch (const StoreError &e) {
            EXPECT_TRUE(e.message().contains(why)) << e.message().toStdString();
        }
        const RestoreResult r = restoreBackup(ledger(), other, kNow);
        EXPECT_FALSE(r.ok());
        EXPECT_TRUE(r.error.contains(why)) << r.error.toStdString();
        EXPECT_EQ(readAll(ledger()), before);
        EXPECT_EQ(readAll(other), otherBytes);
    }
}

TEST_F(BackupTest, RestoreIsRefusedWhileAProgramHasTheLedgerOpen)
{
    fill(5);
    const BackupResult b = backupLedger(ledger(), kNow.addDays(-1));
    ASSERT_TRUE(b.ok());
    const QByteArray before = readAll(ledger());
    {
        const LedgerInUse running(ledger());
        const RestoreResult r = restoreBackup(ledger(), b.path, kNow);
        EXPECT_FALSE(r.ok());
        EXPECT_TRUE(r.error.contains(q("正被本软件打开，请先关闭程序再恢复"))) << r.error.toStdString();
        EXPECT_EQ(readAll(ledger()), before);
        EXPECT_EQ(backupNames(), QStringList{QFileInfo(b.path).fileName()});
    }
    EXPECT_TRUE(restoreBackup(ledger(), b.path, kNow).ok());
}

TEST_F(BackupTest, EveryWriteAcknowledgedDuringARestoreIsInTheKeptCopyOrTheRestoredLedger)
{
    fill(200);
    const BackupResult b = backupLedger(ledger(), kNow.addDays(-1));
    ASSERT_TRUE(b.ok());
    // Another program that writes without saying it has the ledger open.
    std::atomic<bool> stop{false};
    std::atomic<int> acknowledged{0}; // rows 写0 … written and committed
    QString lastError;
    std::thread writer([&] {
        auto store = FileStore::open(ledger());
        for (int i = 0; !stop; ++i) {
            try {
                store->add(category(q("写%1").arg(i)));
                acknowledged = i + 1;
            } catch (const StoreError &e) {
                lastError = e.message();
                return;
            }
        }
    });
    while (acknowledged < 20)
        std::this_thread::yield();
    const RestoreResult r = restoreBackup(ledger(), b.path, kNow);
    stop = true;
    writer.join();
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    const QStringList saved = texts(r.keptAs) + texts(ledger());
    for (int i = 0; i < acknowledged; ++i)
        EXPECT_TRUE(saved.contains(q("1|写%1||||||进货|").arg(i))) << i << " was lost";
    // The writer learns that its file was replaced, not that it is read-only.
    EXPECT_TRUE(lastError.contains(q("已被另一个文件替换"))) << lastError.toStdString();
    EXPECT_TRUE(lastError.contains(q("重新启动")));
}

TEST_F(BackupTest, CopiesKeptByRestoresAreNeverThinnedAndAreListed)
{
    fill(40);
    const BackupResult b = backupLedger(ledger(), kNow.addDays(-1));
    ASSERT_TRUE(b.ok());
    // Two restores on one day, each replacing a ledger that grew after it.
    QStringList kept;
    for (int i = 0; i < 2; ++i) {
        FileStore::open(ledger())->add(category(q("新%1").arg(i)));
        const RestoreResult r = restoreBackup(ledger(), b.path, kNow.addSecs(3600 * i));
        ASSERT_TRUE(r.ok()) << r.error.toStdString();
        EXPECT_TRUE(r.keptAs.endsWith(q("-恢复前.mdb"))) << r.keptAs.toStdString();
        kept << r.keptAs;
    }
    // The next day's backup thins the day before: the kept ledgers stay.
    const BackupResult next = backupLedger(ledger(), kNow.addDays(1));
    ASSERT_TRUE(next.ok());
    for (const QString &k : kept) {
        EXPECT_TRUE(QFile::exists(k)) << k.toStdString();
        EXPECT_EQ(checkLedgerFile(k).rows, 41);
    }
    // A kept ledger is not the day's backup of the ledger in use.
    EXPECT_FALSE(hasBackupOn(ledger(), kNow.date()));
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    EXPECT_EQ(runCommand({q("--list-backups")}, ledger(), kNow.addDays(1), out, err), 0);
    for (const QString &k : kept)
        EXPECT_TRUE(outText.contains(q("备份/") + QFileInfo(k).fileName() + q("  41 条记录"))) << outText.toStdString();
}

TEST_F(BackupTest, CommandLineListsRestoresAndExportsInChinese)
{
    fill(4);
    ASSERT_TRUE(backupLedger(ledger(), kNow.addDays(-1)).ok());
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    auto run = [&](const QStringList &args) { return runCommand(args, ledger(), kNow, out, err); };

    EXPECT_FALSE(run({q("--folder"), q("x")}).has_value());
    EXPECT_FALSE(run({q("--quit-after-start"), q("-platform"), q("offscreen")}).has_value());
    EXPECT_EQ(run({q("--list-backups")}), 0);
    EXPECT_TRUE(outText.contains(q("2026-12-06 09:30  备份/1-20261206-0930.mdb  4 条记录"))) << outText.toStdString();
    EXPECT_TRUE(outText.contains(q("文件名相对于账本所在的文件夹“%1”").arg(QDir::toNativeSeparators(dir.path()))));

    // The name as the listing prints it, from another folder (a menu start, --folder).
    FileStore::open(ledger())->add(category(q("新类")));
    outText.clear();
    QTemporaryDir elsewhere;
    const QString current = QDir::currentPath();
    QDir::setCurrent(elsewhere.path());
    EXPECT_EQ(run({q("--restore"), q("备份/1-20261206-0930.mdb")}), 0) << errText.toStdString();
    QDir::setCurrent(current);
    EXPECT_TRUE(outText.contains(q("原来的账本已保存为“备份/1-20261207-0930-恢复前.mdb”。"))) << outText.toStdString();
    EXPECT_TRUE(outText.contains(q("共 4 条记录。")));
    EXPECT_EQ(checkLedgerFile(QDir(folder()).filePath(q("1-20261207-0930-恢复前.mdb"))).rows, 5);

    EXPECT_EQ(run({q("--restore"), dir.filePath(q("nothing.mdb"))}), 1);
    EXPECT_TRUE(errText.contains(q("不能用来恢复账本：文件不存在！"))) << errText.toStdString();

    outText.clear();
    const QString csv = dir.filePath(q("all.csv"));
    EXPECT_EQ(run({q("--export"), csv}), 0);
    EXPECT_TRUE(outText.contains(q("已把账本的 4 条记录导出到"))) << outText.toStdString();
    const QStringList lines = QString::fromUtf8(readAll(csv).mid(3)).split(q("\r\n"));
    ASSERT_EQ(lines.size(), 6); // header, four records, the end of the last line
    EXPECT_EQ(lines[0], q("标号,名称,类,价格,数量,总额,日期,方法,交易号码"));
    EXPECT_EQ(lines[1], q("1,水果,,,,,,进货,"));
    EXPECT_EQ(lines[2], q("3,苹果1,水果,2.5,1,2.5,26-12-7,进货,1"));
    // An export that cannot write says so and fails.
    errText.clear();
    EXPECT_EQ(run({q("--export"), dir.filePath(q("没有的文件夹/all.csv"))}), 1);
    EXPECT_TRUE(errText.contains(q("文件夹“%1”不存在").arg(dir.filePath(q("没有的文件夹"))))) << errText.toStdString();
    // No ledger: nothing is exported and no ledger is created.
    QFile::remove(ledger());
    EXPECT_EQ(run({q("--export"), csv + q("2")}), 1);
    EXPECT_FALSE(QFile::exists(ledger()));
    EXPECT_FALSE(QFile::exists(csv + q("2")));
}

TEST_F(BackupTest, ExportRefusesTheLedgerItsCompanionsAndWhatIsNoRegularFile)
{
    fill(4);
    ASSERT_TRUE(backupLedger(ledger(), kNow.addDays(-1)).ok());
    const QString journal = ledger() + q("-journal");
    const QString kept = dir.filePath(q("1.jet.mdb"));
    const QString fifo = dir.filePath(q("管道"));
    touchFile(journal);
    touchFile(kept);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(ledger(), dir.filePath(q("链接.csv"))));
    QDir().mkpath(dir.filePath(q("sub")));
    const std::vector<std::pair<QString, QString>> cases = {
        {ledger(), q("这是账本文件本身")},
        {dir.filePath(q("sub/../1.mdb")), q("这是账本文件本身")},
        {dir.filePath(q("链接.csv")), q("这是账本文件本身")},
        {journal, q("这是账本的日志文件")},
        {kept, q("这是保留的 Access 旧账本原文件")},
        {QDir(folder()).filePath(q("1-20261206-0930.mdb")), q("这是备份文件夹中的文件")},
        {QDir(folder()).filePath(q("新.csv")), q("这是备份文件夹中的文件")},
        {fifo, q("不是普通文件")},
        {dir.path(), q("不是普通文件")},
    };
    std::map<QString, QByteArray> before;
    for (const QString &name : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (name != q("管道"))
            before[name] = readAll(dir.filePath(name));
    const QStringList backupsBefore = backupNames();
    for (const auto &[target, why] : cases) {
        SCOPED_TRACE(target.toStdString());
        QString outText, errText;
        QTextStream out(&outText), err(&errText);
        EXPECT_EQ(runCommand({q("--export"), target}, ledger(), kNow, out, err), 1);
        EXPECT_TRUE(errText.contains(why)) << errText.toStdString();
    }
    for (const auto &[name, bytes] : before)
        EXPECT_EQ(readAll(dir.filePath(name)), bytes) << name.toStdString();
    EXPECT_EQ(backupNames(), backupsBefore);
    EXPECT_TRUE(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
}

TEST_F(BackupTest, WrongOrClashingOptionsAreRefusedWithTheUsage)
{
    fill(2);
    const QByteArray before = readAll(ledger());
    const QString csv = dir.filePath(q("x.csv"));
    const std::vector<std::pair<QStringList, QString>> wrong = {
        {{q("--list-backups"), q("--export"), csv}, q("--list-backups、--export 不能同时使用")},
        {{q("--restore"), q("a.mdb"), q("--export"), csv}, q("--restore、--export 不能同时使用")},
        {{q("--export"), csv, q("--quit-after-start")}, q("--export 不打开窗口，不能与窗口的选项同时使用")},
        {{q("--bogus"), q("-x=1")}, q("选项有误（未知选项：--bogus、-x）")},
        {{q("--restore")}, q("选项有误（选项“--restore”缺少参数）")},
        {{q("--list-backups=1")}, q("选项有误（选项“--list-backups”不带参数）")},
        {{q("--export"), q("--folder")}, q("--export 后面缺少文件名")},
        {{q("多余的词")}, q("不认识的参数：多余的词")},
        {{q("--list-backups"), q("-style"), q("fusion")}, q("--list-backups 不打开窗口，不能与窗口的选项同时使用")}};
    for (const auto &[args, why] : wrong) {
        SCOPED_TRACE(args.join(u' ').toStdString());
        QString outText, errText;
        QTextStream out(&outText), err(&errText);
        EXPECT_EQ(runCommand(args, ledger(), kNow, out, err), 2);
        EXPECT_EQ(errText, why + q("\n") + usage()) << errText.toStdString();
        EXPECT_TRUE(outText.isEmpty()) << outText.toStdString();
        EXPECT_FALSE(QFile::exists(csv));
        EXPECT_FALSE(QDir(folder()).exists() && !backupNames().isEmpty());
        EXPECT_EQ(readAll(ledger()), before);
    }
    // --help and the manual page name every option.
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    EXPECT_EQ(runCommand({q("--help")}, ledger(), kNow, out, err), 0);
    const QString man = QString::fromUtf8(readAll(q(MAN_PAGE)));
    for (const char *option : {"--folder", "--quit-after-start", "--list-backups", "--restore", "--export", "--move-to-server",
                               "--server", "--move-to-file", "--help"}) {
        EXPECT_TRUE(outText.contains(q(option))) << option;
        EXPECT_TRUE(man.contains(q(option).replace(q("-"), q("\\-")))) << option;
    }
}
