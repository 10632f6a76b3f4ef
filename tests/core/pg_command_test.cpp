// --move-to-server, --server and --move-to-file against the throwaway server.
#include "ledger/backup.h"
#include "ledger/commands.h"
#include "ledger/ledger_folder.h"
#include "ledger/file_store.h"
#include "ledger/history.h"
#include "ledger/server_ledger.h"
#include "ledger/server_store.h"
#include "pg_support.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ledger;

namespace {

TEST_F(ServerCommands, MoveToServerCarriesEveryRowAndKeepsTheFileOutOfThinning)
{
    ASSERT_EQ(run({QStringLiteral("--move-to-server"), db.conninfo()}), 0) << errText.toStdString();
    const auto server = db.open();
    expectSameRows(server->rows(), rows, Ids::Ignored);
    // The server's record of changes starts with the carry-over: its count and checksum.
    const std::vector<ChangeEntry> history = server->history(10);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history.front().kind, ChangeKind::CarryOver);
    EXPECT_EQ(history.front().count, static_cast<qint64>(rows.size()));
    EXPECT_EQ(history.front().checksum, rowsChecksum(RecordRefs(rows.cbegin(), rows.cend())));
    EXPECT_FALSE(QFileInfo::exists(ledger()));
    const QString kept = dir.filePath(QStringLiteral("备份/1-20261207-1200-迁往服务器前.mdb"));
    EXPECT_EQ(readAll(kept), original);
    const auto backups = listBackups(ledger());
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_TRUE(backupsToThin(backups, kNow.addYears(3), QString()).isEmpty());
    // The settings name the server, never the password.
    const QByteArray settings = readAll(dir.filePath(kServerSettingsName));
    EXPECT_FALSE(settings.contains("secret")) << settings.constData();
    EXPECT_EQ(pgdb::describeServer(serverConnection(dir.path())), pgdb::describeServer(db.conninfo()));
    ASSERT_EQ(run({QStringLiteral("--help")}), 0);
    EXPECT_TRUE(outText.contains(QStringLiteral("当前账本：服务器“%1”").arg(pgdb::describeServer(db.conninfo()))));
    EXPECT_FALSE(outText.contains(QStringLiteral("secret")));
    ASSERT_EQ(run({QStringLiteral("--list-backups")}), 0);
    EXPECT_TRUE(outText.startsWith(QStringLiteral("账本“%1”的备份，共 1 个").arg(pgdb::describeServer(db.conninfo()))))
        << outText.toStdString();

    // --history follows the folder to the server.
    server->add(rows.front());
    qputenv("PGPASSWORD", "shop-secret"); // the settings keep no password
    const int printed = run({QStringLiteral("--history"), QStringLiteral("1")});
    qunsetenv("PGPASSWORD");
    ASSERT_EQ(printed, 0) << errText.toStdString();
    const QStringList lines = outText.trimmed().split(u'\n');
    ASSERT_EQ(lines.size(), 2) << outText.toStdString();
    EXPECT_TRUE(lines[0].contains(pgdb::describeServer(db.conninfo()))) << outText.toStdString();
    EXPECT_TRUE(lines[1].endsWith(addSummary(rows.front()))) << outText.toStdString();
}

TEST_F(ServerCommands, MoveToServerFailuresChangeNothingAnywhere)
{
    ServerDatabase holding;
    ServerStore::createTables(holding.conninfo());
    const QString tcp = conninfo(QStringLiteral("tcp"));
    const struct {
        QString conninfo;
        const char *reason;
        QString server;
    } cases[] = {
        {QStringLiteral("host=127.0.0.1 port=1 dbname=shop user=shop password=x"), "服务器没有应答", QStringLiteral("127.0.0.1:1/shop")},
        {tcp + QStringLiteral(" password=wrong"), "密码不正确", pgdb::describeServer(tcp)},
        {db.conninfo() + QStringLiteral("_none"), "没有这个数据库", pgdb::describeServer(db.conninfo() + QStringLiteral("_none"))},
        {db.conninfo(QStringLiteral("clerk")), "没有所需的权限", pgdb::describeServer(db.conninfo())},
        {holding.conninfo(), "已经有一个账本", pgdb::describeServer(holding.conninfo())},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.reason);
        EXPECT_EQ(run({QStringLiteral("--move-to-server"), c.conninfo}), 1);
        EXPECT_TRUE(errText.contains(QString::fromUtf8(c.reason))) << errText.toStdString();
        EXPECT_TRUE(errText.contains(c.server)) << errText.toStdString();
        EXPECT_FALSE(errText.contains(QStringLiteral("secret")));
        EXPECT_EQ(readAll(ledger()), original);
        EXPECT_FALSE(QFileInfo::exists(dir.filePath(kServerSettingsName)));
        EXPECT_TRUE(listBackups(ledger()).empty());
    }
    {
        // A running program has the file open: it would go on writing to the moved file.
        const LedgerInUse inUse(ledger());
        EXPECT_EQ(run({QStringLiteral("--move-to-server"), db.conninfo()}), 1);
        EXPECT_TRUE(errText.contains(QStringLiteral("正被本软件打开"))) << errText.toStdString();
        EXPECT_EQ(readAll(ledger()), original);
    }
    EXPECT_FALSE(ServerStore::holdsLedger(db.conninfo()));
    EXPECT_EQ(holding.open()->rows().size(), 0u);
}

TEST_F(ServerCommands, OtherFoldersJoinAndTheLedgerMovesBackToAFile)
{
    ASSERT_EQ(run({QStringLiteral("--move-to-server"), db.conninfo()}), 0) << errText.toStdString();
    // Another PC's folder: refused while it holds a ledger file with records.
    QTemporaryDir other;
    const QString otherLedger = other.filePath(kLedgerFileName);
    FileStore::open(otherLedger)->add(rows.front());
    EXPECT_EQ(run({QStringLiteral("--server"), db.conninfo()}, otherLedger), 1);
    EXPECT_TRUE(errText.contains(QStringLiteral("--move-to-server")));
    EXPECT_FALSE(QFileInfo::exists(other.filePath(kServerSettingsName)));
    QFile::remove(otherLedger);
    EXPECT_EQ(run({QStringLiteral("--server"), db.conninfo()}, otherLedger), 0) << errText.toStdString();
    EXPECT_FALSE(serverConnection(other.path()).isEmpty());

    // Back to a file: refused while another session is connected.
    {
        const auto session = db.open();
        qputenv("PGPASSWORD", "shop-secret"); // the settings keep no password
        EXPECT_EQ(run({QStringLiteral("--move-to-file")}), 1);
        EXPECT_TRUE(errText.contains(QStringLiteral("另外 1 个连接"))) << errText.toStdString();
        EXPECT_FALSE(QFileInfo::exists(ledger()));
    }
    EXPECT_EQ(run({QStringLiteral("--move-to-file")}), 0) << errText.toStdString();
    qunsetenv("PGPASSWORD");
    expectSameRows(FileStore::open(ledger())->rows(), rows, Ids::Ignored);
    EXPECT_TRUE(serverConnection(dir.path()).isEmpty());
}

// --server and --move-to-file refused: a Chinese sentence naming the server and the reason, exit
// status 1, nothing changed in the folder or on the server. The password comes from PGPASSWORD,
// as the folder's settings keep none.
TEST_F(ServerCommands, JoiningAndMovingBackFailuresChangeNothing)
{
    ServerStore::createTables(db.conninfo()); // the clerk was granted nothing on it
    const ServerDatabase misshapen;
    ServerStore::createTables(misshapen.conninfo());
    pgdb::Connection(misshapen.conninfo()).exec("ALTER TABLE \"库\" DROP COLUMN \"日期\"");
    const auto at = [](const QString &role, const QString &database) {
        return withoutPassword(conninfo(role)) + QStringLiteral(" dbname=") + database;
    };
    const struct {
        QString conninfo;
        const char *password;
        const char *reason;
    } cases[] = {
        {QStringLiteral("host=127.0.0.1 port=1 dbname=shop user=shop"), "x", "服务器没有应答"},
        {at(QStringLiteral("tcp"), db.name()), "wrong", "密码不正确"},
        {at(QStringLiteral("tcp"), db.name()), nullptr, "PGPASSWORD"},
        {at(QString(), db.name() + QStringLiteral("_none")), "shop-secret", "没有这个数据库"},
        {at(QStringLiteral("clerk"), db.name()), "clerk-secret", "没有所需的权限"},
        {at(QString(), misshapen.name()), "shop-secret", "缺少字段“日期”"},
    };
    for (const auto &c : cases) {
        for (const bool joining : {true, false}) {
            SCOPED_TRACE(std::string(c.reason) + (joining ? " --server" : " --move-to-file"));
            QTemporaryDir folder;
            const QString settings = folder.filePath(kServerSettingsName);
            if (!joining) {
                QFile file(settings);
                ASSERT_TRUE(file.open(QIODevice::WriteOnly));
                file.write(c.conninfo.toUtf8() + '\n');
            }
            const QByteArray before = readAll(settings);
            if (c.password)
                qputenv("PGPASSWORD", c.password);
            const QStringList args =
                joining ? QStringList{QStringLiteral("--server"), c.conninfo} : QStringList{QStringLiteral("--move-to-file")};
            EXPECT_EQ(run(args, folder.filePath(kLedgerFileName)), 1);
            qunsetenv("PGPASSWORD");
            EXPECT_TRUE(errText.contains(QString::fromUtf8(c.reason))) << errText.toStdString();
            EXPECT_TRUE(errText.contains(pgdb::describeServer(c.conninfo))) << errText.toStdString();
            EXPECT_FALSE((outText + errText).contains(QStringLiteral("secret")));
            EXPECT_FALSE(QFileInfo::exists(folder.filePath(kLedgerFileName)));
            EXPECT_EQ(readAll(settings), before);
        }
    }
    const auto untouched = db.open();
    EXPECT_EQ(untouched->rows().size(), 0u);
    EXPECT_TRUE(untouched->history(1).empty());
}

} // namespace
