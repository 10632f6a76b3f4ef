// Writes that fail half-way (a full disk, an I/O error), injected through SQLite's own
// system-call table: the operation reports a clear message, the file stays intact, every earlier
// record is kept and the failed change is wholly absent.
#include "ledger/backup.h"
#include "ledger/file_store.h"
#include "sqlite_db.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cerrno>
#include <vector>
#include <unistd.h>

using namespace ledger;

namespace {

// Fails the Nth write of the ledger's VFS from now on (once, or every write from then on); or,
// garbling, lets every write through with one byte changed.
struct WriteFault {
    static inline int countdown = 0; // 0: off
    static inline bool garbling = false;
    static inline bool sticky = false;
    static inline int error = ENOSPC;
    static inline int calls = 0;
    static inline sqlite3_syscall_ptr realPwrite = nullptr;
    static inline sqlite3_syscall_ptr realPwrite64 = nullptr;
    static inline sqlite3_syscall_ptr realWrite = nullptr;

    static bool fire()
    {
        if (countdown == 0)
            return false;
        ++calls;
        if (calls == countdown || (sticky && calls > countdown)) {
            errno = error;
            return true;
        }
        return false;
    }
    // The bytes to write: buf itself, or a copy with a byte in the middle changed.
    static const void *garbled(const void *buf, size_t n, std::vector<char> &copy)
    {
        if (!garbling || n == 0)
            return buf;
        copy.assign(static_cast<const char *>(buf), static_cast<const char *>(buf) + n);
        copy[n / 2] = static_cast<char>(copy[n / 2] ^ 0x5a);
        return copy.data();
    }
    static ssize_t pwrite(int fd, const void *buf, size_t n, off_t off)
    {
        std::vector<char> copy;
        return fire() ? -1 : reinterpret_cast<ssize_t (*)(int, const void *, size_t, off_t)>(realPwrite)(fd, garbled(buf, n, copy), n, off);
    }
    static ssize_t pwrite64(int fd, const void *buf, size_t n, off64_t off)
    {
        std::vector<char> copy;
        return fire() ? -1 : reinterpret_cast<ssize_t (*)(int, const void *, size_t, off64_t)>(realPwrite64)(fd, garbled(buf, n, copy), n, off);
    }
    static ssize_t write(int fd, const void *buf, size_t n)
    {
        std::vector<char> copy;
        return fire() ? -1 : reinterpret_cast<ssize_t (*)(int, const void *, size_t)>(realWrite)(fd, garbled(buf, n, copy), n);
    }

    static void install()
    {
        sqlite3_vfs *vfs = sqlite3_vfs_find(nullptr);
        realPwrite = vfs->xGetSystemCall(vfs, "pwrite");
        realPwrite64 = vfs->xGetSystemCall(vfs, "pwrite64");
        realWrite = vfs->xGetSystemCall(vfs, "write");
        if (realPwrite)
            vfs->xSetSystemCall(vfs, "pwrite", reinterpret_cast<sqlite3_syscall_ptr>(&WriteFault::pwrite));
        if (realPwrite64)
            vfs->xSetSystemCall(vfs, "pwrite64", reinterpret_cast<sqlite3_syscall_ptr>(&WriteFault::pwrite64));
        if (realWrite)
            vfs->xSetSystemCall(vfs, "write", reinterpret_cast<sqlite3_syscall_ptr>(&WriteFault::write));
    }
    static void uninstall()
    {
        sqlite3_vfs *vfs = sqlite3_vfs_find(nullptr);
        vfs->xSetSystemCall(vfs, nullptr, nullptr); // restores every default
    }
    static void arm(int n, bool stays, int err)
    {
        countdown = n;
        sticky = stays;
        error = err;
        calls = 0;
    }
    static void disarm() { countdown = 0; }
};

using sqldb::integrity;

Record named(const QString &name)
{
    Record r;
    r.kind = kTransaction;
    r.name = name;
    r.cat = QStringLiteral("c");
    r.price = QStringLiteral("2.5");
    r.qty = QStringLiteral("4");
    r.total = QStringLiteral("10");
    r.date = QStringLiteral("2024/6/15");
    r.method = QStringLiteral("出货");
    r.txno = QStringLiteral("7");
    return r;
}

QStringList names(const std::vector<Record> &rows)
{
    QStringList out;
    for (const Record &r : rows)
        out << r.name;
    return out;
}

struct Case {
    bool stays;
    int error;
};

// What the user reads for the injected error.
QString reasonFor(const Case &c)
{
    return c.error == ENOSPC ? QStringLiteral("磁盘空间已满")
                             : QStringLiteral("写入文件失败，磁盘可能已满或文件超过了大小限制");
}

void PrintTo(const Case &c, std::ostream *os)
{
    *os << (c.stays ? "stays on, " : "once, ") << (c.error == ENOSPC ? "ENOSPC" : "EIO");
}

class WriteFaultTest : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override { WriteFault::install(); }
    void TearDown() override
    {
        WriteFault::disarm();
        WriteFault::uninstall();
    }
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("1.mdb")); }
};

} // namespace

TEST_P(WriteFaultTest, FailedAddLeavesTheLedgerAsItWas)
{
    auto store = FileStore::open(path());
    QStringList expected;
    for (int i = 0; i < 30; ++i) {
        store->add(named(QStringLiteral("old-%1").arg(i)));
        expected << QStringLiteral("old-%1").arg(i);
    }
    int failures = 0;
    for (int n = 1; n < 200; ++n) {
        SCOPED_TRACE(n);
        const QString name = QStringLiteral("new-%1").arg(n);
        WriteFault::arm(n, GetParam().stays, GetParam().error);
        bool added = true;
        try {
            store->add(named(name));
        } catch (const StoreError &e) {
            added = false;
            ++failures;
            EXPECT_EQ(e.message(), QStringLiteral("记录未能保存到账本文件“%1”：%2！").arg(path(), reasonFor(GetParam())));
        }
        WriteFault::disarm();
        if (added)
            expected << name;
        // A new connection sees exactly the records that were reported as stored ...
        auto fresh = FileStore::open(path());
        ASSERT_EQ(integrity(fresh->handle()), QStringLiteral("ok"));
        ASSERT_EQ(names(fresh->rows()), expected);
        // ... and so does the connection that saw the failure.
        ASSERT_EQ(names(store->rows()), expected);
        if (added)
            break;
    }
    EXPECT_GT(failures, 0);
    std::printf("add: %d injected failures before the write went through\n", failures);
}

TEST_P(WriteFaultTest, FailedDeleteLeavesTheLedgerAsItWas)
{
    auto store = FileStore::open(path());
    QStringList expected;
    for (int i = 0; i < 30; ++i) {
        store->add(named(QStringLiteral("old-%1").arg(i)));
        expected << QStringLiteral("old-%1").arg(i);
    }
    int failures = 0;
    for (int n = 1; n < 200; ++n) {
        SCOPED_TRACE(n);
        WriteFault::arm(n, GetParam().stays, GetParam().error);
        bool removed = true;
        try {
            store->removeWhere([](const Record &r) { return r.name.endsWith(u'3'); });
        } catch (const StoreError &e) {
            removed = false;
            ++failures;
            EXPECT_EQ(e.message(), QStringLiteral("记录未能从账本文件“%1”中删除：%2！").arg(path(), reasonFor(GetParam())));
        }
        WriteFault::disarm();
        if (removed)
            expected.removeIf([](const QString &s) { return s.endsWith(u'3'); });
        auto fresh = FileStore::open(path());
        ASSERT_EQ(integrity(fresh->handle()), QStringLiteral("ok"));
        ASSERT_EQ(names(fresh->rows()), expected);
        ASSERT_EQ(names(store->rows()), expected);
        if (removed)
            break;
    }
    EXPECT_GT(failures, 0);
    std::printf("delete: %d injected failures before the write went through\n", failures);
}

INSTANTIATE_TEST_SUITE_P(Faults, WriteFaultTest,
                         ::testing::Values(Case{false, ENOSPC}, Case{true, ENOSPC}, Case{false, EIO},
                                           Case{true, EIO}),
                         [](const auto &info) {
                             return std::string(info.param.stays ? "StaysOn" : "Once") +
                                    (info.param.error == ENOSPC ? "DiskFull" : "IoError");
                         });

// The disk fills while a new ledger gets its table: the message says why, not SQLite's "not an
// error" left over from the rollback, and the next start sets the file up again.
TEST(WriteFaultOnCreate, FailedCreateSaysWhy)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("1.mdb"));
    WriteFault::install();
    WriteFault::arm(1, true, ENOSPC);
    QString message;
    try {
        FileStore::open(path);
    } catch (const StoreError &e) {
        message = e.message();
    }
    WriteFault::disarm();
    WriteFault::uninstall();
    EXPECT_EQ(message, QStringLiteral("无法创建账本文件“%1”：磁盘空间已满！").arg(path));
    auto store = FileStore::open(path);
    store->add(named(QStringLiteral("first")));
    EXPECT_EQ(names(FileStore::open(path)->rows()), QStringList{QStringLiteral("first")});
}

// A backup whose copy reaches the disk garbled is caught by its check (password, integrity, row
// count): no new backup, and the older ones are not thinned.
TEST(WriteFaultOnBackup, GarbledCopyIsNeitherKeptNorThinsTheOldOnes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("1.mdb"));
    {
        auto store = FileStore::open(path);
        for (int i = 0; i < 50; ++i)
            store->add(named(QStringLiteral("n-%1").arg(i)));
    }
    const QDir folder(dir.filePath(QStringLiteral("备份")));
    ASSERT_TRUE(folder.mkpath(QStringLiteral(".")));
    const QStringList old{QStringLiteral("1-20230101-1200.mdb"), QStringLiteral("1-20240101-1200.mdb")};
    for (const QString &name : old) { // due to be thinned by today's backup
        QFile f(folder.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    WriteFault::install();
    WriteFault::garbling = true;
    const BackupResult b = backupLedger(path, QDateTime(QDate(2026, 12, 7), QTime(9, 30)));
    WriteFault::garbling = false;
    WriteFault::uninstall();
    EXPECT_FALSE(b.ok());
    EXPECT_TRUE(b.error.startsWith(QStringLiteral("备份副本检查未通过"))) << b.error.toStdString();
    EXPECT_TRUE(b.removed.isEmpty());
    EXPECT_EQ(folder.entryList(QDir::Files | QDir::Hidden), old);
    EXPECT_EQ(names(FileStore::open(path)->rows()).size(), 50);
}

// The writing program hits its file-size limit (ulimit -f, SIGXFSZ ignored) while adding.
TEST(FileSizeLimit, WriterStopsWithAMessageAndTheFileStaysWhole)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("1.mdb"));
    FileStore::open(path); // a fresh ledger, a few pages long
    QProcess child;
    child.start(QStringLiteral(LEDGER_CHILD), {QStringLiteral("fsize"), dir.path(), QStringLiteral("40960")});
    ASSERT_TRUE(child.waitForFinished(120000));
    const QList<QByteArray> lines = child.readAllStandardOutput().split('\n');
    EXPECT_EQ(child.exitCode(), 3);
    long added = 0;
    QByteArray failure;
    for (const QByteArray &line : lines) {
        if (line.startsWith("added "))
            ++added;
        if (line.startsWith("failed "))
            failure = line;
    }
    ASSERT_FALSE(failure.isEmpty());
    EXPECT_TRUE(QString::fromUtf8(failure).contains(QStringLiteral("记录未能保存到账本文件"))) << failure.toStdString();
    EXPECT_GT(added, 10);
    auto store = FileStore::open(path);
    EXPECT_EQ(integrity(store->handle()), QStringLiteral("ok"));
    ASSERT_EQ(store->count(), added);
    for (long n = 0; n < added; ++n)
        EXPECT_EQ(store->rows()[static_cast<size_t>(n)].name, QStringLiteral("item-%1").arg(n));
    std::printf("file size limit: %ld records stored, then: %s\n", added, failure.constData());
}

// A really full disk: a small tmpfs, where the machine lets us mount one.
TEST(FullDisk, AddsStopWithAMessageAndTheFileStaysWhole)
{
    QTemporaryDir dir;
    const QString mountPoint = dir.path();
    if (geteuid() != 0 || QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                                                       QStringLiteral("-o"), QStringLiteral("size=96k"),
                                                                       QStringLiteral("tmpfs"), mountPoint}) != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    struct Unmount {
        QString at;
        ~Unmount() { QProcess::execute(QStringLiteral("umount"), {at}); }
    } unmount{mountPoint};

    const QString path = mountPoint + QStringLiteral("/1.mdb");
    QStringList stored;
    QString message;
    {
        auto store = FileStore::open(path);
        for (int i = 0; i < 100000 && message.isEmpty(); ++i) {
            try {
                store->add(named(QStringLiteral("n-%1").arg(i)));
                stored << QStringLiteral("n-%1").arg(i);
            } catch (const StoreError &e) {
                message = e.message();
            }
        }
        EXPECT_EQ(names(store->rows()), stored);
    }
    // The disk is full, but some writes come back as a plain write error.
    const QStringList why = {reasonFor({true, ENOSPC}), reasonFor({true, EIO})};
    const QString addFailed = QStringLiteral("记录未能保存到账本文件“%1”：%2！");
    EXPECT_TRUE(message == addFailed.arg(path, why[0]) || message == addFailed.arg(path, why[1])) << message.toStdString();
    auto store = FileStore::open(path);
    EXPECT_EQ(integrity(store->handle()), QStringLiteral("ok"));
    EXPECT_EQ(names(store->rows()), stored);
    // A delete needs room for its journal: on a full disk it either goes through whole or is
    // refused with a message and changes nothing.
    try {
        store->removeWhere([](const Record &r) { return r.name.endsWith(u'7'); });
        stored.removeIf([](const QString &s) { return s.endsWith(u'7'); });
    } catch (const StoreError &e) {
        const QString removeFailed = QStringLiteral("记录未能从账本文件“%1”中删除：%2！");
        EXPECT_TRUE(e.message() == removeFailed.arg(path, why[0]) || e.message() == removeFailed.arg(path, why[1]))
            << e.message().toStdString();
    }
    EXPECT_EQ(names(FileStore::open(path)->rows()), stored);
    EXPECT_EQ(integrity(FileStore::open(path)->handle()), QStringLiteral("ok"));
    std::printf("full disk: %lld records stored, then: %s\n", static_cast<long long>(stored.size()), message.toUtf8().constData());
}
