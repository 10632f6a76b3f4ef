// The program started on foreign, damaged and protected ledger files: a clear message, a
// non-zero exit where it cannot go on, and the file left exactly as it was.
#include "ledger/file_store.h"
#include "sqlite_db.h"
#include "support.h"

#include <QDate>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kFile = QStringLiteral("1.mdb");
const QString kNotALedger = QStringLiteral("BOX 系统提示：|无法打开账本文件“1.mdb”：文件已损坏、不是本软件的账本文件或密码不符！");

struct Run {
    int exitCode = -1;
    QStringList boxes;
};

// Runs the program in folder, as the unprivileged user "nobody" when we are root (root ignores
// file permissions).
Run runProgram(const QString &folder, const QString &category = QString(), bool unprivileged = false)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.setProcessChannelMode(QProcess::SeparateChannels);
    if (unprivileged && geteuid() == 0)
        p.setChildProcessModifier([] {
            if (setgid(65534) != 0 || setuid(65534) != 0)
                _exit(99);
        });
    QStringList args;
    if (!category.isEmpty())
        args << category;
    p.start(QStringLiteral(PROGRAM_DRIVER), args);
    p.waitForFinished(60000);
    Run r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n'))
        if (line.startsWith("BOX "))
            r.boxes << QString::fromUtf8(line);
    return r;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray realLedger(const QString &folder, int rows)
{
    {
        auto store = ledger::FileStore::open(folder + u'/' + kFile);
        for (int i = 0; i < rows; ++i) {
            ledger::Record r;
            r.kind = ledger::kCategory;
            r.name = QStringLiteral("类%1").arg(i);
            r.method = QStringLiteral("进货");
            store->add(r);
        }
    }
    return readAll(folder + u'/' + kFile);
}

QByteArray sqliteFile(const QString &path, const char *key)
{
    sqldb::Connection(path, key).exec("CREATE TABLE \"库\"(x); INSERT INTO \"库\" VALUES (1)");
    return readAll(path);
}

} // namespace

class BadFilesTest : public QObject {
    Q_OBJECT

private slots:
    void foreignOrDamagedFileStopsTheProgramUntouched_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char *k : {"text", "truncated", "overwritten", "random", "plain", "otherPassword"})
            QTest::newRow(k) << QString::fromLatin1(k);
    }

    void foreignOrDamagedFileStopsTheProgramUntouched()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath(kFile);
        QByteArray bytes;
        if (kind == QStringLiteral("text")) {
            bytes = "商品 价格 数量\n苹果 2.5 10\n";
        } else if (kind == QStringLiteral("truncated")) {
            bytes = realLedger(dir.path(), 300);
            bytes.truncate(bytes.size() / 2);
        } else if (kind == QStringLiteral("overwritten")) {
            bytes = realLedger(dir.path(), 300);
            QRandomGenerator rng(7);
            for (int i = 0; i < 64; ++i)
                bytes[rng.bounded(static_cast<int>(bytes.size()))] = static_cast<char>(rng.bounded(256));
            for (int i = 0; i < 16; ++i)
                bytes[i + 16] = static_cast<char>(rng.bounded(256)); // surely in the first page
        } else if (kind == QStringLiteral("random")) {
            QRandomGenerator rng(8);
            bytes.resize(8192);
            for (char &c : bytes)
                c = static_cast<char>(rng.bounded(256));
        } else if (kind == QStringLiteral("plain")) {
            bytes = sqliteFile(path, nullptr);
        } else {
            bytes = sqliteFile(path, "not-the-password");
        }
        writeAll(path, bytes);
        const Run run = runProgram(dir.path());
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.boxes.size(), 1);
        if (kind == QStringLiteral("truncated") || kind == QStringLiteral("overwritten"))
            QVERIFY2(run.boxes[0].startsWith(QStringLiteral("BOX 系统提示：|无法打开账本文件“1.mdb”：文件已损坏")),
                     qPrintable(run.boxes[0]));
        else
            QCOMPARE(run.boxes, QStringList{kNotALedger});
        QCOMPARE(readAll(path), bytes);
        QVERIFY(!QFile::exists(path + QStringLiteral("-journal")));
    }

    void damageOnlyTheLaterReadMeetsIsAFailedReadAndNothingIsWritten()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(kFile);
        sqldb::writeSpreadLedger(path);
        QVERIFY(sqldb::damageAPageOfOtherRows(path));
        const QByteArray bytes = readAll(path);
        // The window comes up with its categories; adding one needs every row.
        const Run run = runProgram(dir.path(), QStringLiteral("新类"));
        QCOMPARE(run.exitCode, 0);
        const QString failedRead = QStringLiteral("BOX 系统提示：|无法读取账本文件“1.mdb”：文件已损坏");
        QCOMPARE(std::count_if(run.boxes.cbegin(), run.boxes.cend(), [&](const QString &b) { return b.startsWith(failedRead); }), 1);
        QCOMPARE(readAll(path), bytes);
        QVERIFY(!QFile::exists(path + QStringLiteral("-journal")));
    }

    void folderInPlaceOfTheFile()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(kFile));
        const Run run = runProgram(dir.path());
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.boxes, QStringList{QStringLiteral("BOX 系统提示：|无法打开账本文件“1.mdb”：同名的是一个文件夹，不是账本文件！")});
        QVERIFY(QFileInfo(dir.filePath(kFile)).isDir());
    }

    void emptyFileAndAbsentFileStartANewLedger()
    {
        QTemporaryDir dir;
        writeAll(dir.filePath(kFile), QByteArray());
        Run run = runProgram(dir.path(), QStringLiteral("水果"));
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.boxes.isEmpty());
        QCOMPARE(ledger::FileStore::open(dir.filePath(kFile))->count(), 1);
        QFile::remove(dir.filePath(kFile));
        run = runProgram(dir.path());
        QCOMPARE(run.exitCode, 0);
        QVERIFY(QFile::exists(dir.filePath(kFile)));
    }

    void readOnlyFileOpensAndRefusesTheFirstWrite_data()
    {
        QTest::addColumn<bool>("indexed");
        QTest::newRow("with the index on the kind") << true;
        QTest::newRow("without it, as older releases left it") << false;
    }

    void readOnlyFileOpensAndRefusesTheFirstWrite()
    {
        QFETCH(bool, indexed);
        QTemporaryDir dir;
        QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777));
        const QString path = dir.filePath(kFile);
        realLedger(dir.path(), 3);
        if (!indexed)
            QCOMPARE(sqldb::Connection(path).exec("DROP INDEX \"库_标号\""), SQLITE_OK);
        const QByteArray bytes = readAll(path);
        ::chmod(path.toUtf8().constData(), 0444);
        const Run run = runProgram(dir.path(), QStringLiteral("新类"), true);
        QCOMPARE(run.exitCode, 0); // the ledger can still be read
        QCOMPARE(run.boxes.size(), 1);
        QVERIFY2(run.boxes[0].startsWith(QStringLiteral("BOX 系统提示：|记录未能保存到账本文件“1.mdb”：")),
                 qPrintable(run.boxes[0]));
        QCOMPARE(readAll(path), bytes);
    }

    void folderWithoutWritePermission()
    {
        QTemporaryDir dir;
        QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777));
        const QString sub = dir.filePath(QStringLiteral("shop"));
        QVERIFY(QDir().mkpath(sub));
        // No ledger yet: it cannot be created.
        ::chmod(sub.toUtf8().constData(), 0555);
        Run run = runProgram(sub, QString(), true);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.boxes.size(), 1);
        QVERIFY2(run.boxes[0].startsWith(QStringLiteral("BOX 系统提示：|无法创建账本文件“1.mdb”：")), qPrintable(run.boxes[0]));
        QVERIFY(!QFile::exists(sub + u'/' + kFile));
        // A ledger that is there opens, and a write that needs the journal beside it is refused.
        ::chmod(sub.toUtf8().constData(), 0777);
        const QByteArray bytes = realLedger(sub, 3);
        ::chmod((sub + u'/' + kFile).toUtf8().constData(), 0666);
        ::chmod(sub.toUtf8().constData(), 0555);
        run = runProgram(sub, QStringLiteral("新类"), true);
        QCOMPARE(run.exitCode, 0);
        // The start's backup has nowhere to go either: said once, and the program goes on.
        QCOMPARE(run.boxes.size(), 2);
        QVERIFY2(run.boxes[0].startsWith(QStringLiteral("BOX 系统提示：|无法备份账本文件“1.mdb”：")), qPrintable(run.boxes[0]));
        QVERIFY2(run.boxes[1].startsWith(QStringLiteral("BOX 系统提示：|记录未能保存到账本文件“1.mdb”：")), qPrintable(run.boxes[1]));
        QCOMPARE(readAll(sub + u'/' + kFile), bytes);
        ::chmod(sub.toUtf8().constData(), 0777);
    }

    void startBacksAnExistingLedgerUpOnceADay()
    {
        QTemporaryDir dir;
        realLedger(dir.path(), 30);
        const QString backups = dir.filePath(QStringLiteral("备份"));
        for (int start = 0; start < 2; ++start) {
            const Run run = runProgram(dir.path(), QStringLiteral("类%1").arg(100 + start));
            QCOMPARE(run.exitCode, 0);
            QVERIFY(run.boxes.isEmpty());
        }
        const QStringList made = QDir(backups).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(made.size(), 1);
        const QString today = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
        QVERIFY2(made[0].startsWith(QStringLiteral("1-%1-").arg(today)), qPrintable(made[0]));
        // Made at the first start, before its category was added.
        QCOMPARE(ledger::FileStore::open(QDir(backups).filePath(made[0]))->count(), 30);
        QCOMPARE(ledger::FileStore::open(dir.filePath(kFile))->count(), 32);
    }

    void leftOverJournalBesideAReadOnlyFile()
    {
        QTemporaryDir dir;
        QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777));
        const QString sub = dir.filePath(QStringLiteral("shop"));
        QVERIFY(QDir().mkpath(sub));
        const QByteArray before = realLedger(sub, 400);
        const auto names = [&] {
            QStringList out;
            const auto store = ledger::FileStore::open(sub + u'/' + kFile);
            for (const ledger::Record &r : store->rows())
                out << r.name;
            return out;
        };
        // A writer killed in the middle of a transaction that had already changed the file.
        QProcess writer;
        writer.start(QStringLiteral(LEDGER_CHILD), {QStringLiteral("spill"), sub, QStringLiteral("0")});
        QVERIFY(writer.waitForReadyRead(30000));
        QCOMPARE(writer.readLine().trimmed(), QByteArray("spilled"));
        writer.kill();
        writer.waitForFinished();
        const QString journal = sub + u'/' + kFile + QStringLiteral("-journal");
        QVERIFY(QFileInfo(journal).size() > 0);
        const QByteArray damaged = readAll(sub + u'/' + kFile);
        QVERIFY(damaged != before);

        // Read-only: the journal cannot be rolled back, so the ledger cannot be read.
        ::chmod((sub + u'/' + kFile).toUtf8().constData(), 0444);
        ::chmod(journal.toUtf8().constData(), 0444);
        ::chmod(sub.toUtf8().constData(), 0555);
        const Run run = runProgram(sub, QString(), true);
        if (geteuid() == 0 || ::access(sub.toUtf8().constData(), W_OK) != 0) {
            QCOMPARE(run.exitCode, 1);
            QCOMPARE(run.boxes.size(), 1);
            QVERIFY2(run.boxes[0].startsWith(QStringLiteral("BOX 系统提示：|无法打开账本文件“1.mdb”：")), qPrintable(run.boxes[0]));
            QCOMPARE(readAll(sub + u'/' + kFile), damaged);
        }
        // Writable again: the next start rolls the journal back and every row is as it was.
        ::chmod(sub.toUtf8().constData(), 0777);
        ::chmod((sub + u'/' + kFile).toUtf8().constData(), 0666);
        QCOMPARE(runProgram(sub).exitCode, 0);
        QVERIFY(!QFile::exists(journal));
        QCOMPARE(names().size(), 400);
        QCOMPARE(names().first(), QStringLiteral("类0"));
    }
};

QTEST_GUILESS_MAIN(BadFilesTest)
#include "test_files.moc"
