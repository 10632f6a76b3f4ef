#include "ledger/ledger_folder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ledger;

namespace {

// A home folder with a shop folder in it, laid out in a temporary folder.
struct Homes {
    QTemporaryDir tmp;
    QString home = tmp.filePath(QStringLiteral("home"));
    QString shop = tmp.filePath(QStringLiteral("home/shop"));
    Homes() { QDir().mkpath(shop); }
    static void touch(const QString &path)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
};

} // namespace

TEST(LedgerFolder, MenuStartInTheHomeFolderUsesTheUserDataFolder)
{
    Homes h;
    EXPECT_EQ(ledgerFolder({}, h.home, h.home, {}), h.home + QStringLiteral("/.local/share/warehouse"));
    EXPECT_EQ(ledgerFolder({}, h.home, h.home, QStringLiteral("/data/u")), QStringLiteral("/data/u/warehouse"));
    // A relative XDG_DATA_HOME is invalid and ignored.
    EXPECT_EQ(ledgerFolder({}, h.home, h.home, QStringLiteral("data")), h.home + QStringLiteral("/.local/share/warehouse"));
    // The home folder reached through a symbolic link is still the home folder.
    const QString link = h.tmp.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(h.home, link));
    EXPECT_EQ(ledgerFolder({}, link, h.home, {}), h.home + QStringLiteral("/.local/share/warehouse"));
}

TEST(LedgerFolder, AFolderHoldingALedgerOrAnyOtherFolderIsKept)
{
    Homes h;
    EXPECT_EQ(ledgerFolder({}, h.shop, h.home, QStringLiteral("/data/u")), h.shop);
    Homes::touch(QDir(h.home).filePath(QStringLiteral("1.mdb")));
    EXPECT_EQ(ledgerFolder({}, h.home, h.home, QStringLiteral("/data/u")), h.home);
}

TEST(LedgerFolder, AChosenFolderWinsAndIsReadFromTheCurrentFolder)
{
    Homes h;
    Homes::touch(QDir(h.home).filePath(QStringLiteral("1.mdb")));
    EXPECT_EQ(ledgerFolder(QStringLiteral("/srv/books/"), h.home, h.home, {}), QStringLiteral("/srv/books"));
    EXPECT_EQ(ledgerFolder(QStringLiteral("../books"), h.shop, h.home, {}), h.home + QStringLiteral("/books"));
}

TEST(LedgerFolder, EnteringCreatesMissingFoldersAndFailsWhereNoneCanBe)
{
    Homes h;
    const QString before = QDir::currentPath();
    const QString deep = h.tmp.filePath(QStringLiteral("a/b/warehouse"));
    ASSERT_TRUE(enterFolder(deep));
    EXPECT_EQ(QDir::currentPath(), QDir(deep).canonicalPath());
    const QString file = h.tmp.filePath(QStringLiteral("plain"));
    Homes::touch(file);
    EXPECT_FALSE(enterFolder(file + QStringLiteral("/sub")));
    EXPECT_EQ(QDir::currentPath(), QDir(deep).canonicalPath());
    ASSERT_TRUE(QDir::setCurrent(before));
}
