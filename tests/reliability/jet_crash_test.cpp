// Converting an Access ledger must survive being killed at any moment: after every kill the
// folder holds either the untouched original or the complete new ledger with the original kept
// beside it, and a later conversion finishes the job.
#include "../jet/jet_rows.h"
#include "ledger/jet_import.h"
#include "ledger/file_store.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <signal.h>

using namespace ledger;

namespace {

const QString kStem = QStringLiteral("ledger_jet4_large");
// The conversions this test finishes itself read in a child too: jet_child is that reader.
const bool kReaderSet = (jet::setReaderProgram(QStringLiteral(JET_CHILD)), true);

// Checks the folder after a kill; returns true when the conversion had finished.
bool checkFolder(const QString &dir, const QByteArray &original, const QByteArray &expected, int run)
{
    const QString path = QDir(dir).filePath(QStringLiteral("1.mdb"));
    const QString kept = QDir(dir).filePath(QStringLiteral("1.jet.mdb"));
    if (jet::isJetFile(path)) {
        EXPECT_EQ(fileBytes(path), original) << "run " << run;
        if (QFileInfo::exists(kept)) {
            EXPECT_EQ(fileBytes(kept), original) << "run " << run;
        }
        return false;
    }
    EXPECT_EQ(fileBytes(kept), original) << "new ledger in place but original not kept, run " << run;
    const auto store = FileStore::open(path);
    EXPECT_EQ(jet::checksum(store->rows()), expected) << "half-converted ledger, run " << run;
    return true;
}

} // namespace

TEST(JetCrash, KilledConversionLeavesOriginalOrWholeLedger)
{
    const QByteArray original = fileBytes(generatedJet(kStem));
    const QByteArray expected = jet::checksum(expectedJetRows(kStem));
    QRandomGenerator rng(20261207);
    int finished = 0, interrupted = 0;
    qint64 longest = 1;
    for (int run = 0; run < 40; ++run) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("1.mdb"));
        ASSERT_TRUE(QFile::copy(generatedJet(kStem), path));
        QProcess child;
        child.start(QStringLiteral(JET_CHILD), {dir.path()});
        ASSERT_TRUE(child.waitForStarted());
        while (!child.canReadLine() && child.state() == QProcess::Running)
            child.waitForReadyRead(20);
        QElapsedTimer clock;
        clock.start();
        // Every few runs an uninterrupted one measures how long a whole conversion takes.
        if (run % 8 == 0) {
            child.waitForFinished(60000);
            longest = std::max(longest, clock.elapsed());
        } else {
            QThread::usleep(static_cast<unsigned long>(rng.bounded(static_cast<quint32>(longest * 1100))));
            ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
            child.waitForFinished();
        }
        if (checkFolder(dir.path(), original, expected, run)) {
            ++finished;
        } else {
            ++interrupted;
            // The next start converts again, from the untouched original.
            EXPECT_EQ(jet::convert(path, jet::keptPath(path)), static_cast<qint64>(expectedJetRows(kStem).size()));
            EXPECT_TRUE(checkFolder(dir.path(), original, expected, run));
        }
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2) << "leftover files, run " << run;
    }
    EXPECT_GT(interrupted, 5); // most kills land before the rename
    RecordProperty("finished", finished);
}
