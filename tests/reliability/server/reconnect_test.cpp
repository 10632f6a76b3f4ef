// Two other PCs adding to a server ledger while the server restarts and their sessions are
// ended: each failed add says so, the next connects again by itself, nothing acknowledged is
// lost and nothing is stored twice.
#include "ledger/server_store.h"
#include "pg_test_server.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <thread>

using namespace ledger;

namespace {

// One adding PC (tests/tools/pg_adder.cpp) and what it printed.
class Adder {
public:
    Adder(const QString &conninfo, const QString &name, const QTemporaryDir &dir)
        : m_out(dir.filePath(name + QStringLiteral(".out")))
    {
        m_process.setStandardOutputFile(m_out);
        m_process.start(QStringLiteral(PG_ADDER), {conninfo, name, dir.filePath(QStringLiteral("stop"))});
    }
    ~Adder()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    // The names of the adds that were acknowledged, and of those that failed.
    std::vector<QString> said(const char *word) const
    {
        QFile f(m_out);
        std::vector<QString> names;
        if (!f.open(QIODevice::ReadOnly))
            return names;
        for (const QByteArray &line : f.readAll().split('\n')) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() >= 2 && parts[0] == word)
                names.push_back(QString::fromUtf8(parts[1]));
        }
        return names;
    }
    std::size_t acknowledged() const { return said("ok").size(); }
    QProcess &process() { return m_process; }

private:
    QString m_out;
    QProcess m_process;
};

// Waits until done() holds, up to a minute.
bool waitFor(const std::function<bool()> &done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

TEST(ServerReconnect, AddsGoOnThroughARestartAndEndedSessionsWithNothingLostOrTwice)
{
    qputenv("PGPASSFILE", "/nonexistent");
    ASSERT_FALSE(testpg::conninfo().isEmpty()) << "no test server: run the tests with ctest";
    const testpg::Database db;
    ServerStore::createTables(db.conninfo());
    const QTemporaryDir dir;
    Adder a(db.conninfo(), QStringLiteral("a"), dir), b(db.conninfo(), QStringLiteral("b"), dir);
    const auto bothAddMore = [&](std::size_t more) {
        const std::size_t fromA = a.acknowledged(), fromB = b.acknowledged();
        return waitFor([&] { return a.acknowledged() >= fromA + more && b.acknowledged() >= fromB + more; });
    };
    ASSERT_TRUE(bothAddMore(5));

    const QString pgDir = qEnvironmentVariable("WAREHOUSE_PG_DIR");
    ASSERT_EQ(QProcess::execute(QStringLiteral("bash"), {QStringLiteral(PG_SERVER_SH), QStringLiteral("restart"), pgDir}), 0);
    ASSERT_TRUE(bothAddMore(5)) << "not adding again after the restart";
    for (int round = 0; round < 5; ++round) {
        testpg::admin().exec("SELECT pg_terminate_backend(pid, 10000) FROM pg_stat_activity"
                             " WHERE datname = $1 AND pid <> pg_backend_pid()",
                             {db.name()});
        ASSERT_TRUE(bothAddMore(3)) << "not adding again after their sessions were ended, round " << round;
    }
    QFile(dir.filePath(QStringLiteral("stop"))).open(QIODevice::WriteOnly);
    for (Adder *adder : {&a, &b}) {
        ASSERT_TRUE(adder->process().waitForFinished(30000));
        EXPECT_EQ(adder->process().exitCode(), 0);
        EXPECT_FALSE(adder->said("failed").empty()) << "no add failed: the faults missed";
    }

    std::map<QString, int> stored;
    const auto after = db.open();
    for (const Record &r : after->rows())
        ++stored[r.name];
    // Stored once or not at all, and once when acknowledged.
    for (const auto &[name, count] : stored)
        EXPECT_EQ(count, 1) << name.toStdString();
    std::size_t acknowledged = 0;
    for (Adder *adder : {&a, &b}) {
        for (const QString &name : adder->said("ok"))
            EXPECT_TRUE(stored.count(name)) << name.toStdString();
        acknowledged += adder->acknowledged();
    }
    EXPECT_LE(acknowledged, stored.size()); // the others failed, some perhaps after their commit
}

} // namespace
