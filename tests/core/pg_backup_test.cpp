// Backups of a server ledger as ledger files, and --restore of a backup onto the server.
#include "ledger/backup.h"
#include "ledger/columns.h"
#include "ledger/history.h"
#include "ledger/ledger_table.h"
#include "ledger/server_backup.h"
#include "ledger/server_ledger.h"
#include "ledger/sqlite_db.h"
#include "pg_support.h"
#include "sqlite_db.h"

#include <QDir>
#include <atomic>
#include <functional>
#include <sqlite3.h>
#include <thread>

using namespace ledger;

namespace {

constexpr auto kReading = FileStore::Purpose::Reading;

std::vector<Record> rowsOf(const QString &file) { return FileStore::open(file, Store::kLockWait, kReading)->rows(); }

// The schema of a ledger file: every table and index with its SQL.
QStringList schemaOf(const QString &file)
{
    sql::Connection c(file, SQLITE_OPEN_READONLY);
    return sqldb::column(c.get(),
                         "SELECT type || ' ' || name || ' ' || coalesce(sql, '') FROM sqlite_master ORDER BY type, name");
}

Record movement(const QString &name, const QString &qty)
{
    return transaction(name, QStringLiteral("类"), {}, qty, {}, QStringLiteral("2026-12-07"), kStockIn, {});
}

// A folder whose ledger was moved to the server, the clerk allowed to work on it.
class ServerBackups : public ServerCommands {
public:
    void SetUp() override
    {
        ServerCommands::SetUp();
        ASSERT_EQ(run({QStringLiteral("--move-to-server"), db.conninfo()}), 0) << errText.toStdString();
        grantClerk(db.conninfo());
        qputenv("PGPASSWORD", "shop-secret"); // the folder's settings keep no password
    }
    void TearDown() override { qunsetenv("PGPASSWORD"); }

    // A backup of the server's ledger taken at that time, on a connection of its own.
    BackupResult backup(const QDateTime &at) const
    {
        pgdb::Connection c(db.conninfo());
        return backupServerLedger(ledger(), c, at);
    }
    // The number a restore checks the rows have not changed since.
    static qint64 version(ServerStore &server) { return server.connection().exec("SELECT n FROM \"账本版本\"").number(0, 0); }
    // Rows with a gap in their ids, and the newest id deleted: the sequence stands above the rows.
    static void shape(Store &store)
    {
        const qint64 gap = store.add(movement(QStringLiteral("gone"), QStringLiteral("1"))).id;
        Record empty = movement(QStringLiteral(""), QString());
        empty.price = QStringLiteral("");
        store.add(empty);
        const qint64 newest = store.add(movement(QStringLiteral("newest"), QStringLiteral("2"))).id;
        store.removeWhere([&](const Record &r) { return r.id == gap || r.id == newest; });
    }
    // What a refused restore must leave as it was: the server's rows and record, and the backups.
    QStringList state() const
    {
        const auto server = db.open();
        return QStringList{QString::fromLatin1(server->storedChecksum()), QString::number(server->rows().size()),
                           QString::number(server->history(1000).size())} +
               QDir(dir.filePath(QStringLiteral("备份"))).entryList(QDir::Files | QDir::Hidden);
    }
};

TEST_F(ServerBackups, ABackupIsALedgerFileWithTheServersRowsTheirIdsAndOrder)
{
    const auto server = db.open();
    shape(*server);
    const std::vector<Record> want = server->rows();
    const qint64 given = server->add(movement(QStringLiteral("last"), QStringLiteral("3"))).id;
    server->removeWhere([&](const Record &r) { return r.id == given; });

    const BackupResult b = backup(kNow);
    ASSERT_TRUE(b.ok()) << b.error.toStdString();
    EXPECT_EQ(b.path, dir.filePath(QStringLiteral("备份/1-20261207-1200.mdb")));
    EXPECT_EQ(b.rows, static_cast<qint64>(want.size()));
    expectSameRows(rowsOf(b.path), want);
    EXPECT_EQ(checkLedgerFile(b.path).rows, b.rows);
    // The tables of a new ledger file, nothing else.
    const QString fresh = dir.filePath(QStringLiteral("fresh.mdb"));
    FileStore::open(fresh);
    EXPECT_EQ(schemaOf(b.path), schemaOf(fresh));
    // Listed as every backup is.
    ASSERT_EQ(run({QStringLiteral("--list-backups")}), 0) << errText.toStdString();
    EXPECT_TRUE(outText.contains(QStringLiteral("备份/1-20261207-1200.mdb  %1 条记录").arg(want.size()))) << outText.toStdString();

    // Opened for work it explains its rows, and hands out no id the server gave out.
    const QString copy = dir.filePath(QStringLiteral("copy.mdb"));
    ASSERT_TRUE(QFile::copy(b.path, copy));
    {
        const auto file = FileStore::open(copy);
        EXPECT_EQ(file->history(100).size(), server->history(100).size());
        EXPECT_GT(file->add(want.front()).id, given);
    }

    // --restore into a file ledger takes it as it is.
    QTemporaryDir shop;
    const QString other = shop.filePath(kLedgerFileName);
    FileStore::open(other)->add(want.back());
    ASSERT_EQ(run({QStringLiteral("--restore"), b.path}, other), 0) << errText.toStdString();
    expectSameRows(rowsOf(other), want);
    EXPECT_EQ(FileStore::open(other)->history(1).front().kind, ChangeKind::Restore);
}

TEST_F(ServerBackups, ABackupTakenWhileAnotherPcAddsIsOneSnapshotAndDoesNotHoldTheAddsUp)
{
    {
        std::vector<Record> many;
        for (int i = 0; i < 20000; ++i)
            many.push_back(movement(QStringLiteral("货%1").arg(i), QString::number(i)));
        db.open()->addAll(many);
    }
    std::atomic<bool> stop{false};
    std::atomic<int> added{0};
    std::thread adder([&] {
        const auto other = db.open(QStringLiteral("clerk"));
        for (int i = 0; !stop; ++i) {
            other->add(movement(QStringLiteral("并发%1").arg(i), QStringLiteral("1")));
            ++added;
        }
    });
    while (added < 3)
        std::this_thread::yield();
    pgdb::Connection db2(db.conninfo());
    const int before = added;
    const BackupResult b = backupServerLedger(ledger(), db2, kNow);
    const int during = added - before;
    stop = true;
    adder.join();
    ASSERT_TRUE(b.ok()) << b.error.toStdString();
    // The adds went on meanwhile; the backup is the ledger as it was at one moment: the rows
    // then, which the adds only extended.
    EXPECT_GT(during, 0);
    const std::vector<Record> now = db.open()->rows();
    const std::vector<Record> got = rowsOf(b.path);
    ASSERT_LT(got.size(), now.size());
    expectSameRows(got, std::vector<Record>(now.cbegin(), now.cbegin() + static_cast<std::ptrdiff_t>(got.size())));
    EXPECT_GE(got.size(), 20000u + 4u + static_cast<std::size_t>(before));
}

TEST_F(ServerBackups, ServerBackupsAreThinnedLikeFileBackupsButNeverTheKeptOnes)
{
    const BackupResult first = backup(kNow.addDays(-60));
    ASSERT_TRUE(first.ok()) << first.error.toStdString();
    // Older backups under their names: one a day for 20 days, and a ledger a restore replaced.
    const QString folder = dir.filePath(QStringLiteral("备份"));
    for (int day = 1; day <= 20; ++day)
        ASSERT_TRUE(QFile::copy(first.path, QDir(folder).filePath(
                                                 kNow.addDays(-day).toString(QStringLiteral("'1-'yyyyMMdd-HHmm'.mdb'")))));
    const QString kept = QDir(folder).filePath(QStringLiteral("1-20260101-0900") + kBeforeRestore + QStringLiteral(".mdb"));
    ASSERT_TRUE(QFile::copy(first.path, kept));
    const std::vector<BackupFile> before = listBackups(ledger());

    const BackupResult b = backup(kNow);
    ASSERT_TRUE(b.ok()) << b.error.toStdString();
    std::vector<BackupFile> all = before;
    all.push_back({b.path, kNow, false});
    const QStringList thinned = backupsToThin(all, kNow, b.path);
    EXPECT_FALSE(thinned.isEmpty());
    EXPECT_EQ(b.removed.join(u'\n').toStdString(), thinned.join(u'\n').toStdString());
    for (const QString &path : thinned)
        EXPECT_FALSE(QFileInfo::exists(path)) << path.toStdString();
    EXPECT_TRUE(QFileInfo::exists(kept));
    EXPECT_TRUE(QFileInfo::exists(b.path));
    EXPECT_EQ(listBackups(ledger()).size(), before.size() + 1 - static_cast<std::size_t>(thinned.size()));
}

// --restore onto the server: from a backup of the server, from the file the move kept, and from
// a file ledger whose ids stand above the server's.
const struct RestoreSource {
    const char *name;
    std::function<QString(ServerBackups &)> backup;
} kSources[] = {
    {"ServerBackup",
     [](ServerBackups &t) {
         ServerBackups::shape(*t.db.open());
         return t.backup(kNow.addDays(-1)).path;
     }},
    {"FileTheMoveKept", [](ServerBackups &t) { return listBackups(t.ledger()).front().path; }},
    {"FileWithHigherIds",
     [](ServerBackups &t) {
         const QString file = t.dir.filePath(QStringLiteral("high.mdb"));
         const auto store = FileStore::open(file);
         for (int i = 0; i < 30; ++i)
             store->add(movement(QStringLiteral("高%1").arg(i), QString::number(i)));
         store->removeWhere([](const Record &r) { return r.id <= 25; });
         return file;
     }},
};

class ServerRestores : public ServerBackups, public ::testing::WithParamInterface<int> {};

TEST_P(ServerRestores, ReplaceTheServersRowsExactlyAfterKeepingThem)
{
    const QString file = kSources[GetParam()].backup(*this);
    ASSERT_FALSE(file.isEmpty());
    const std::vector<Record> want = rowsOf(file);
    std::vector<Record> previous;
    std::size_t entries = 0;
    {
        const auto server = db.open();
        server->add(movement(QStringLiteral("之后"), QStringLiteral("5")));
        previous = server->rows();
        entries = FileStore::open(file, Store::kLockWait, kReading)->history(1000).size(); // the record the restore brings
    }
    ASSERT_EQ(run({QStringLiteral("--restore"), file}), 0) << errText.toStdString();
    EXPECT_TRUE(outText.contains(QStringLiteral("已用“%1”恢复服务器“%2”上的账本，共 %3 条记录。")
                                     .arg(file, pgdb::describeServer(db.conninfo()))
                                     .arg(want.size())))
        << outText.toStdString();

    const auto server = db.open();
    expectSameRows(server->rows(), want);
    const std::vector<ChangeEntry> history = server->history(1000);
    ASSERT_EQ(history.size(), entries + 1);
    EXPECT_EQ(history.front().kind, ChangeKind::Restore);
    EXPECT_EQ(history.front().count, static_cast<qint64>(want.size()));
    EXPECT_EQ(history.front().checksum, rowsChecksum(RecordRefs(want.cbegin(), want.cend())));
    EXPECT_EQ(history.front().summary, backupRestoreSummary(QFileInfo(file).fileName(), static_cast<qint64>(want.size())));
    // The rows it replaced are kept, out of the thinning's reach.
    const QString kept = dir.filePath(QStringLiteral("备份/1-20261207-1200") + kBeforeRestore + QStringLiteral(".mdb"));
    expectSameRows(rowsOf(kept), previous);
    EXPECT_TRUE(outText.contains(QStringLiteral("原来的账本已保存为“备份/%1”").arg(QFileInfo(kept).fileName())))
        << outText.toStdString();
    EXPECT_FALSE(backupsToThin(listBackups(ledger()), kNow.addYears(3), QString()).contains(kept));
    // No id is handed out twice.
    EXPECT_GT(server->add(want.front()).id, std::max(previous.back().id, want.back().id));
}

TEST_F(ServerBackups, RestoreIsRefusedWhileAnotherSessionIsConnected)
{
    const QString file = listBackups(ledger()).front().path;
    shape(*db.open());
    const QStringList before = state();
    {
        const auto other = db.open(QStringLiteral("clerk"));
        EXPECT_EQ(run({QStringLiteral("--restore"), file}), 1);
        EXPECT_EQ(errText.trimmed(), QStringLiteral("服务器“%1”上的账本正被另外 1 个连接使用，请先关闭其他计算机上的本软件，未做任何改动！")
                                         .arg(pgdb::describeServer(db.conninfo())));
        EXPECT_EQ(state(), before);
        // The store refuses as well, inside its transaction: a PC that connected after the check.
        const auto server = db.open();
        try {
            server->replaceRows(rowsOf(file), QStringLiteral("x.mdb"), version(*server));
            ADD_FAILURE() << "replaced while another session was connected";
        } catch (const StoreError &e) {
            EXPECT_TRUE(e.message().contains(ServerStore::inUseReason(1))) << e.message().toStdString();
        }
    }
    EXPECT_EQ(state(), before);
    // Rows changed after the snapshot the kept backup was taken from: refused too.
    const auto server = db.open();
    const qint64 seen = version(*server);
    server->add(movement(QStringLiteral("之后"), QStringLiteral("1")));
    const QStringList changed = state();
    EXPECT_THROW(server->replaceRows(rowsOf(file), QStringLiteral("x.mdb"), seen), StoreError);
    EXPECT_EQ(state(), changed);
    server->replaceRows(rowsOf(file), QStringLiteral("x.mdb"), seen + 1);
    expectSameRows(server->rows(), rowsOf(file));
}

// A keyed ledger file made by hand: a table created by create, rows added by fill.
QString handMade(const QString &path, const char *create, const std::function<void(sql::Connection &)> &fill = {})
{
    sql::Connection c(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    c.exec(create);
    if (fill)
        fill(c);
    return path;
}

QString withBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

// Every column of 库 as TEXT, without the file's checks of type and width.
std::string uncheckedTable()
{
    return "CREATE TABLE \"库\" (\"" + ledgerColumns().join(QStringLiteral("\" TEXT, \"")).toStdString() + "\" TEXT)";
}

void insertName(sql::Connection &c, const QString &name)
{
    sql::Query q(c.get(), insertSql());
    q.bind(1, qint64(kProduct)).bind(2, name).bind(3, QStringLiteral("类"));
    for (int i = 4; i <= 9; ++i)
        q.bind(i, QString());
    q.run();
}

TEST_F(ServerBackups, DamagedOrForeignBackupsAreRefusedWithNothingChanged)
{
    shape(*db.open());
    const QString good = backup(kNow.addDays(-1)).path;
    const QByteArray bytes = readAll(good);
    ASSERT_GT(bytes.size(), 8192);
    QByteArray flipped = bytes;
    for (qsizetype i = bytes.size() - 2048; i < bytes.size() - 1024; ++i)
        flipped[i] = static_cast<char>(~flipped[i]);
    const auto in = [&](const char *name) { return dir.filePath(QString::fromUtf8(name)); };
    const std::string unchecked = uncheckedTable();
    const struct {
        const char *what;
        QString file;
        const char *said;
    } cases[] = {
        {"missing", in("none.mdb"), "文件不存在"},
        {"empty", withBytes(in("empty.mdb"), {}), "文件是空的"},
        {"not a ledger", withBytes(in("garbage.mdb"), QByteArray(8192, 'x')), "不是本软件的账本文件"},
        {"cut short", withBytes(in("short.mdb"), bytes.left(bytes.size() / 2)), "不能用来恢复账本"},
        {"damaged page", withBytes(in("flipped.mdb"), flipped), "不能用来恢复账本"},
        {"no table 库", handMade(in("other.mdb"), "CREATE TABLE t (a)"), "没有账本表"},
        {"other columns", handMade(in("shape.mdb"), "CREATE TABLE \"库\" (a, b)"), "字段与本软件的不同"},
        {"too long for the server", handMade(in("long.mdb"), unchecked.c_str(), [](sql::Connection &c) {
             insertName(c, QString(300, u'长'));
         }), "记录未能保存到服务器"},
        {"a NUL in a text", handMade(in("nul.mdb"), createTableSql(), [](sql::Connection &c) {
             insertName(c, QStringLiteral("a") + QChar(0) + QStringLiteral("b"));
         }), "空字符"},
    };
    const QStringList before = state();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(run({QStringLiteral("--restore"), c.file}), 1);
        EXPECT_TRUE(errText.contains(QString::fromUtf8(c.said))) << errText.toStdString();
        EXPECT_EQ(state(), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, ServerRestores, ::testing::Range(0, static_cast<int>(std::size(kSources))),
                         [](const ::testing::TestParamInfo<int> &info) { return std::string(kSources[info.param].name); });

// What a ledger keeps beside its rows, as the windows show it; restored: lines that a restore
// puts in front (its own entry).
const struct KeptBeside {
    const char *what;
    std::function<QStringList(Store &)> lines;
    qsizetype restored = 0;
} kKeptBeside[] = {
    {"record of changes",
     [](Store &s) {
         QStringList out;
         for (const ChangeEntry &e : s.history(-1))
             out << QStringList{QString::number(e.number), QString::number(e.time.toSecsSinceEpoch()), e.computer,
                                changeKindName(e.kind), e.summary, QString::number(e.count), e.checksum,
                                QString::number(e.rowId), QString::number(e.restoredBy)}
                        .join(u'|');
         for (const ChangeEntry &e : s.deletions())
             for (const DeletedRow &d : s.deletedRows(e.number))
                 out << QStringLiteral("%1|%2|%3|").arg(e.number).arg(d.position).arg(d.row.id) + recordText(d.row);
         return out;
     },
     1},
    {"scanner codes",
     [](Store &s) {
         QStringList out;
         for (const ProductCode &c : s.productCodes())
             out << QStringList{c.code, c.category, c.name}.join(u'|');
         return out;
     }},
    {"codes deletions took",
     [](Store &s) {
         QStringList out;
         for (const ChangeEntry &e : s.deletions())
             for (const ProductCode &c : s.deletedCodes(e.number))
                 out << QStringList{QString::number(e.number), c.code, c.category, c.name}.join(u'|');
         return out;
     }},
    {"stock-takes",
     [](Store &s) {
         QStringList out;
         for (const StockTakeRecord &t : s.stockTakes()) {
             out << QStringList{QString::number(t.id), t.when, t.computer}.join(u'|');
             for (const StockTakeLine &l : t.lines)
                 out << QStringList{l.category, l.name, QString::number(l.book), QString::number(l.count),
                                    QString::number(l.rowId), l.txno}
                            .join(u'|');
         }
         return out;
     }},
};

TEST_F(ServerBackups, TheRecordOfChangesCodesAndStockTakesGoIntoTheBackupAndBackOntoTheServer)
{
    std::vector<QStringList> want;
    QString backup;
    qint64 lastBefore = 0;
    const QStringList keptCodes = {QStringLiteral("6900000000002"), QStringLiteral("6900000000001")};
    {
        const auto server = db.open();
        shape(*server); // adds and a deletion whose rows are kept
        // A deletion that keeps its product's codes.
        server->add(product(QStringLiteral("旧货"), QStringLiteral("类")));
        for (const QString &code : keptCodes)
            server->setProductCode({code, QStringLiteral("类"), QStringLiteral("旧货")});
        server->removeWhere([](const Record &r) { return r.name == QStringLiteral("旧货"); });
        server->setProductCode({QStringLiteral("6901234567892"), QStringLiteral("类"), QStringLiteral("𠀀")});
        Record counted = movement(QStringLiteral("𠀀"), QStringLiteral("3"));
        counted.txno = QStringLiteral("PD-1");
        server->postStockTake({0, QStringLiteral("2026-12-07 11:00:00"), QStringLiteral("柜台"),
                               {{QStringLiteral("类"), QStringLiteral("𠀀"), 0, 3, 0, {}}}},
                              {counted});
        for (const KeptBeside &k : kKeptBeside)
            want.push_back(k.lines(*server));
        const BackupResult b = backupServerLedger(ledger(), server->connection(), kNow);
        ASSERT_TRUE(b.ok()) << b.error.toStdString();
        backup = b.path;
        // Changed after the backup, so that the restore has something to put back.
        server->setProductCode({QStringLiteral("111"), QStringLiteral("类"), QStringLiteral("a|b\\c")});
        server->removeWhere([](const Record &r) { return r.name == QStringLiteral("𠀀"); });
        server->postStockTake({0, QStringLiteral("2026-12-07 11:30:00"), QStringLiteral("柜台"), {}}, {});
        lastBefore = server->history(1).front().number;
    }
    const QString copy = dir.filePath(QStringLiteral("copy.mdb"));
    ASSERT_TRUE(QFile::copy(backup, copy));
    ASSERT_EQ(run({QStringLiteral("--restore"), backup}), 0) << errText.toStdString();
    // --restore into a file ledger too.
    QTemporaryDir shop;
    const QString other = shop.filePath(kLedgerFileName);
    FileStore::open(other)->add(movement(QStringLiteral("别处"), QStringLiteral("1")));
    QString said;
    QTextStream out(&said), err(&said);
    ASSERT_EQ(*runCommand({QStringLiteral("--restore"), backup}, other, kNow, out, err), 0) << said.toStdString();

    const auto server = db.open();
    const auto asFile = FileStore::open(copy); // for work: nothing for it to add to the record
    const auto restoredFile = FileStore::open(other);
    for (std::size_t i = 0; i < std::size(kKeptBeside); ++i) {
        const KeptBeside &k = kKeptBeside[i];
        SCOPED_TRACE(k.what);
        EXPECT_FALSE(want[i].isEmpty());
        EXPECT_EQ(k.lines(*asFile), want[i]);
        for (Store *restored : {static_cast<Store *>(server.get()), static_cast<Store *>(restoredFile.get())}) {
            const QStringList got = k.lines(*restored);
            EXPECT_EQ(got.mid(k.restored), want[i]);
            EXPECT_EQ(got.size(), want[i].size() + k.restored);
        }
    }
    // The restore's own entry is numbered after every entry the server gave out before it.
    EXPECT_EQ(server->history(1).front().kind, ChangeKind::Restore);
    EXPECT_GT(server->history(1).front().number, lastBefore);
    // The deleted product comes back with its codes on either.
    for (Store *restored : {static_cast<Store *>(server.get()), static_cast<Store *>(restoredFile.get())}) {
        restored->restoreDeletion(restored->deletions().front().number);
        QStringList codes;
        for (const ProductCode &c : restored->productCodes())
            codes << c.code;
        EXPECT_EQ(codes.mid(codes.size() - 2), keptCodes);
    }
}

// Only other PCs hold a restore up: a replication connection to the database is none (a role that
// may see its kind), a session of another role, whose kind is not shown, is one.
TEST_F(ServerBackups, OnlyClientSessionsCountAsOtherConnections)
{
    const auto admin = ServerStore::open(db.conninfo(QStringLiteral("admin")));
    pgdb::Connection replication(db.conninfo(QStringLiteral("admin")) + QStringLiteral(" replication=database"));
    EXPECT_EQ(admin->otherSessions(), 0);
    const auto clerk = db.open(QStringLiteral("clerk"));
    EXPECT_EQ(admin->otherSessions(), 1);
    EXPECT_EQ(clerk->otherSessions(), 2);
}

} // namespace
