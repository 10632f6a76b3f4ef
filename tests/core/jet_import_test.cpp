// Reading Access (Jet) files: the third-party samples and our generated ledgers through libmdb
// itself, then the carry-over of every generated ledger and its refusals.
#include <glib.h>
#include <mdbtools.h>

#include "../jet/jet_rows.h"
#include "ledger/jet_import.h"
#include "ledger/file_store.h"
#include "ledger/history.h"

#include <QDir>
#include <QTemporaryDir>
#include <functional>
#include <tuple>
#include <gtest/gtest.h>

using namespace ledger;

namespace {

struct MdbTable {
    QStringList columns;
    QList<QStringList> rows; // as libmdb's bind API gives them
};

// One table as libmdb reads it, without any of our code in between.
MdbTable readWithLibmdb(const QString &path, const char *table)
{
    qputenv("MDB_JET3_CHARSET", "CP936");
    MdbTable out;
    MdbHandle *mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb)
        return out;
    MdbTableDef *t = mdb_read_table_by_name(mdb, const_cast<gchar *>(table), MDB_TABLE);
    if (t && mdb_read_columns(t)) {
        std::vector<std::vector<char>> bound(t->num_cols, std::vector<char>(MDB_BIND_SIZE));
        for (unsigned i = 0; i < t->num_cols; ++i) {
            out.columns << QString::fromUtf8(static_cast<MdbColumn *>(g_ptr_array_index(t->columns, i))->name);
            mdb_bind_column(t, static_cast<int>(i) + 1, bound[i].data(), nullptr);
        }
        mdb_rewind_table(t);
        while (mdb_fetch_row(t)) {
            QStringList row;
            for (const auto &b : bound)
                row << QString::fromUtf8(b.data());
            out.rows << row;
        }
    }
    mdb_free_tabledef(t);
    mdb_close(mdb);
    return out;
}

QString field(const QString &s) { return s.isNull() ? QString(QStringLiteral("")) : s; }

// What libmdb's bind API makes of an expected row: NULL as empty text, and characters outside
// the Basic Multilingual Plane as "??".
QStringList asLibmdbSees(const Record &r)
{
    QStringList out{r.hasKind ? QString::number(r.kind) : QString()};
    for (const QString *s : {&r.name, &r.cat, &r.price, &r.qty, &r.total, &r.date, &r.method, &r.txno}) {
        QString t = field(*s);
        for (qsizetype i = 0; i + 1 < t.size(); ++i)
            if (t[i].isHighSurrogate())
                t.replace(i, 2, QStringLiteral("??"));
        out << t;
    }
    return out;
}

// The conversion reads in a child: the test tool jet_child is the reader.
const bool kReaderSet = (jet::setReaderProgram(QStringLiteral(JET_CHILD)), true);

const QStringList kLedgers = {QStringLiteral("ledger_jet4"), QStringLiteral("ledger_jet4_encoded"),
                              QStringLiteral("ledger_jet4_large"), QStringLiteral("ledger_jet3_gbk"),
                              QStringLiteral("ledger_jet4_widened"), QStringLiteral("ledger_jet3_byte_kind")};

std::map<QString, QByteArray> folderBytes(const QString &dir)
{
    std::map<QString, QByteArray> out;
    for (const QString &name : QDir(dir).entryList(QDir::Files | QDir::Hidden))
        out[name] = fileBytes(QDir(dir).filePath(name));
    return out;
}

} // namespace

TEST(JetSamples, ReadAsAccessWroteThem)
{
    const QStringList oneTwoThree{QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three")};
    // A database password only masks a copy in the header: nothing to type.
    for (const char *name : {"mdb-reader/password_data_V2000_with-password.mdb", "mdb-reader/password_data_V2003_with-password.mdb"}) {
        const MdbTable t = readWithLibmdb(jetData(QString::fromLatin1(name)), "Table1");
        ASSERT_EQ(t.rows.size(), 3) << name;
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(t.rows[i][1], oneTwoThree[i]) << name;
    }
    // Pages encoded by "encrypt database" are decoded by the reader.
    const MdbTable enc = readWithLibmdb(jetData(QStringLiteral("jackcessencrypt/db-enc.mdb")), "Table1");
    ASSERT_EQ(enc.rows.size(), 2);
    EXPECT_EQ(enc.rows[0][1], QStringLiteral("hello"));
    EXPECT_EQ(enc.rows[1][2], QStringLiteral("42"));
    const MdbTable uni = readWithLibmdb(jetData(QStringLiteral("jackcess/testUnicodeCompV2003.mdb")), "Table");
    ASSERT_EQ(uni.rows.size(), 8);
    EXPECT_EQ(uni.rows[2][1], QStringLiteral("Мир"));
    EXPECT_EQ(uni.rows[4][1], QStringLiteral("漢字仮名交じり文"));
    EXPECT_EQ(uni.rows[0][1], QStringLiteral("only ascii chars")); // compressed text
    const MdbTable jet3 = readWithLibmdb(jetData(QStringLiteral("mdb-reader/data_V1997_test.mdb")), "Table1");
    EXPECT_FALSE(jet3.columns.isEmpty());
    for (const QString &f : {QStringLiteral("mdb-reader/data_V1997_test.mdb"), QStringLiteral("jackcessencrypt/db-enc.mdb"),
                             QStringLiteral("mdb-reader/data_V2000_empty.mdb")})
        EXPECT_TRUE(jet::isJetFile(jetData(f))) << f.toStdString();
}

TEST(JetGenerated, LibmdbReadsTheGeneratedLedgers)
{
    const QStringList columns{QStringLiteral("标号"), QStringLiteral("名称"), QStringLiteral("类"),
                              QStringLiteral("价格"), QStringLiteral("数量"), QStringLiteral("总额"),
                              QStringLiteral("日期"), QStringLiteral("方法"), QStringLiteral("交易号码")};
    for (const QString &stem : kLedgers.mid(0, 4)) {
        const auto expected = expectedJetRows(stem);
        ASSERT_FALSE(expected.empty()) << stem.toStdString();
        const MdbTable t = readWithLibmdb(generatedJet(stem), "库");
        EXPECT_EQ(t.columns, columns) << stem.toStdString();
        ASSERT_EQ(t.rows.size(), static_cast<qsizetype>(expected.size())) << stem.toStdString();
        for (std::size_t i = 0; i < expected.size(); ++i)
            ASSERT_EQ(t.rows[static_cast<qsizetype>(i)], asLibmdbSees(expected[i])) << stem.toStdString() << " row " << i;
    }
    EXPECT_GT(fileBytes(generatedJet(QStringLiteral("ledger_jet4_large"))).size(), 50 * 4096); // many pages
}

TEST(JetImport, ReadsEveryFieldOfEveryRowExactly)
{
    for (const QString &stem : kLedgers) {
        const auto expected = expectedJetRows(stem);
        const auto rows = jet::readLedger(generatedJet(stem));
        ASSERT_EQ(rows.size(), expected.size()) << stem.toStdString();
        for (std::size_t i = 0; i < rows.size(); ++i)
            ASSERT_TRUE(rows[i].sameContent(expected[i]))
                << stem.toStdString() << " row " << i << ": " << recordText(rows[i]).toStdString();
    }
    // The cases libmdb's own conversion gets wrong.
    const auto rows = jet::readLedger(generatedJet(QStringLiteral("ledger_jet4")));
    EXPECT_EQ(rows[6].name, QStringLiteral("𠀀字笔"));
    EXPECT_TRUE(rows[0].cat.isNull());
    EXPECT_FALSE(rows[7].price.isNull());
    EXPECT_TRUE(rows[7].price.isEmpty());
    EXPECT_FALSE(rows[12].hasKind);
    for (const Record &r : rows) // deleted in Access before the carry-over
        EXPECT_NE(r.name, QStringLiteral("已删除"));
    EXPECT_EQ(jet::readLedger(generatedJet(QStringLiteral("ledger_jet3_gbk")))[4].name, QStringLiteral("镕铓鐢"));
    // Code page 936's euro sign (one byte, three in UTF-8), and marks that look like byte orders.
    EXPECT_EQ(jet::readLedger(generatedJet(QStringLiteral("ledger_jet3_gbk")))[5].name, QStringLiteral("欧元€€€€€€€€"));
    const auto widened = jet::readLedger(generatedJet(QStringLiteral("ledger_jet4_widened")));
    EXPECT_EQ(widened[3].name, QStringLiteral("\uFEFF螺丝钉"));
    EXPECT_EQ(widened[3].txno, QStringLiteral("\uFEFF"));
    EXPECT_EQ(widened[4].name, QStringLiteral("\uFFFE铅笔"));
    EXPECT_EQ(widened[5].kind, -32768);
}

TEST(JetImport, ConvertsKeepingTheOriginal)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("1.mdb"));
    ASSERT_TRUE(QFile::copy(generatedJet(QStringLiteral("ledger_jet4_encoded")), path));
    const QByteArray original = fileBytes(path);
    // A file of the user's already has the first name: the original goes to the next one.
    QFile other(dir.filePath(QStringLiteral("1.jet.mdb")));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write("someone else's");
    other.close();
    const QString kept = jet::keptPath(path);
    EXPECT_EQ(QFileInfo(kept).fileName(), QStringLiteral("1.jet2.mdb"));
    std::vector<int> seen;
    EXPECT_EQ(jet::convert(path, kept, [&](int p) { seen.push_back(p); }), 15);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 100);
    EXPECT_EQ(fileBytes(kept), original);
    EXPECT_EQ(fileBytes(dir.filePath(QStringLiteral("1.jet.mdb"))), QByteArray("someone else's"));
    EXPECT_FALSE(jet::isJetFile(path));
    const auto store = FileStore::open(path);
    const auto expected = expectedJetRows(QStringLiteral("ledger_jet4_encoded"));
    ASSERT_EQ(store->rows().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(store->rows()[i].sameContent(expected[i])) << i;
    // The carry-over is the new ledger's one entry, with its count and checksum.
    const std::vector<ChangeEntry> record = store->history(10);
    ASSERT_EQ(record.size(), 1u);
    EXPECT_EQ(record.front().kind, ChangeKind::CarryOver);
    EXPECT_EQ(record.front().count, 15);
    EXPECT_EQ(record.front().checksum, rowsChecksum(RecordRefs(store->rows().cbegin(), store->rows().cend())));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3); // no temporary file left
}

TEST(JetImport, RefusalsNameTheReasonAndChangeNothing)
{
    const std::vector<std::pair<QString, QString>> cases = {
        {generatedJet(QStringLiteral("refused_columns")), QStringLiteral("字段与本软件的不同")},
        {generatedJet(QStringLiteral("refused_too_long")), QStringLiteral("第 4 条记录的“名称”有 24 个字，超过了新账本允许的 20 个字")},
        {generatedJet(QStringLiteral("refused_no_table")), QStringLiteral("没有账本表“库”")},
        {generatedJet(QStringLiteral("refused_overflow")), QStringLiteral("第 3 条记录被 Access 移到了别处")},
        {generatedJet(QStringLiteral("refused_kind_too_big")), QStringLiteral("第 3 条记录的“标号”是 32768，超出了")},
        // The last two-byte character of a compressed text lost its second byte.
        {generatedJet(QStringLiteral("refused_cut_text")), QStringLiteral("第 3 条记录的“名称”不是可以识别的文字")},
        {jetData(QStringLiteral("mdb-reader/data_V2000_empty.mdb")), QStringLiteral("没有账本表“库”")},
    };
    QByteArray damagedJet = fileBytes(generatedJet(QStringLiteral("ledger_jet4"))).left(4096 * 2);
    QByteArray ace = damagedJet;
    ace.replace(4, 15, "Standard ACE DB");
    ace[0x14] = 3;
    for (int i = 4096; i < ace.size(); ++i) // pages as Office encryption leaves them: unreadable
        ace[i] = static_cast<char>(i * 7919 % 251);
    for (const auto &[bytes, why] : {std::pair{damagedJet, QStringLiteral("文件已损坏")}, std::pair{ace, QStringLiteral("Office 加密")}}) {
        QTemporaryDir dir;
        QFile f(dir.filePath(QStringLiteral("1.mdb")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        const auto before = folderBytes(dir.path());
        const QString path = f.fileName();
        EXPECT_TRUE(jet::isJetFile(path));
        try {
            jet::convert(path, jet::keptPath(path));
            ADD_FAILURE() << why.toStdString();
        } catch (const StoreError &e) {
            EXPECT_TRUE(e.message().contains(why)) << e.message().toStdString();
        }
        EXPECT_EQ(folderBytes(dir.path()), before);
    }
    for (const auto &[source, why] : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("1.mdb"));
        ASSERT_TRUE(QFile::copy(source, path));
        const auto before = folderBytes(dir.path());
        try {
            jet::convert(path, jet::keptPath(path));
            ADD_FAILURE() << source.toStdString();
        } catch (const StoreError &e) {
            EXPECT_TRUE(e.message().contains(why)) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(QStringLiteral("原文件未作任何改动"))) << e.message().toStdString();
        }
        EXPECT_EQ(folderBytes(dir.path()), before) << source.toStdString();
    }
}

namespace {

// Refuses path with a sentence holding every one of whys; nothing in its folder changes.
void expectRefused(const QString &path, const QStringList &whys, const jet::ReaderLimits &limits = {})
{
    const auto before = folderBytes(QFileInfo(path).absolutePath());
    try {
        jet::convert(path, jet::keptPath(path), {}, limits);
        ADD_FAILURE() << "converted";
    } catch (const StoreError &e) {
        EXPECT_EQ(e.kind(), StoreError::Kind::NotConverted);
        for (const QString &why : whys)
            EXPECT_TRUE(e.message().contains(why)) << e.message().toStdString();
    }
    EXPECT_EQ(folderBytes(QFileInfo(path).absolutePath()), before);
}

void setInt(QByteArray &b, qsizetype at, quint32 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b[at + i] = static_cast<char>(v >> (8 * i));
}

} // namespace

// The carry-over tells its own refusals from the store's by their kind: a store failure while
// the new ledger is built comes back once as a refusal, with the store's sentence inside.
TEST(JetImport, AStoreFailureWhileBuildingBecomesOneRefusal)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("1.mdb"));
    ASSERT_TRUE(QFile::copy(generatedJet(QStringLiteral("ledger_jet4")), path));
    const QString tmp = path + QStringLiteral(".tmp");
    ASSERT_TRUE(QDir().mkdir(tmp)); // where the new ledger is built
    try {
        jet::convert(path, jet::keptPath(path));
        ADD_FAILURE() << "converted";
    } catch (const StoreError &e) {
        EXPECT_EQ(e.kind(), StoreError::Kind::NotConverted);
        EXPECT_EQ(e.message(), QStringLiteral("无法转换旧账本文件“%1”：无法打开账本文件“%2”：同名的是一个文件夹，"
                                              "不是账本文件！原文件未作任何改动。")
                                   .arg(QDir::toNativeSeparators(path), tmp));
    }
    EXPECT_TRUE(jet::isJetFile(path));
}

TEST(JetImport, DamagedFilesAreRefusedNotConvertedShort)
{
    const QStringList damaged{QStringLiteral("文件已损坏"), QStringLiteral("“压缩和修复数据库”"),
                              QStringLiteral("原文件未作任何改动")};
    const qsizetype p4 = 4096, p3 = 2048;
    const qsizetype rco = 0x0C; // row count of a Jet 4 data page; its row offsets follow
    struct Case {
        const char *what;
        const char *stem;
        std::function<void(QByteArray &)> damage;
    };
    const std::vector<Case> cases = {
        {"cut mid-page", "ledger_jet4_large", [](QByteArray &b) { b.truncate(267413); }},
        {"cut at a page boundary", "ledger_jet4_large", [&](QByteArray &b) { b.truncate(p4 * 40); }},
        {"a page type changed", "ledger_jet4_large", [&](QByteArray &b) { b[p4 * 10] = 0x02; }},
        {"a row marked deleted", "ledger_jet4", [&](QByteArray &b) { b[p4 * 6 + rco + 3] = char(b[p4 * 6 + rco + 3] | 0x40); }},
        {"a raised row count on a page", "ledger_jet4", [&](QByteArray &b) { b[p4 * 6 + rco] = char(b[p4 * 6 + rco] + 1); }},
        {"a zeroed Jet 3 data page", "ledger_jet3_gbk", [&](QByteArray &b) { b.replace(p3 * 6, p3, QByteArray(p3, '\0')); }},
        {"a table declaring 0xFFFFFFF0 rows", "ledger_jet4", [&](QByteArray &b) { setInt(b, p4 * 4 + 16, 0xFFFFFFF0u, 4); }},
        // libmdb's catalogue reader loops on it, eating memory.
        {"an Access 97 file 144 bytes short", "../mdb-reader/data_V1997_test", [](QByteArray &b) { b.truncate(118640); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        QByteArray bytes = fileBytes(generatedJet(QString::fromLatin1(c.stem)));
        c.damage(bytes);
        QFile f(dir.filePath(QStringLiteral("1.mdb")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        expectRefused(f.fileName(), damaged);
    }
}

TEST(JetImport, WhateverHappensToTheReaderIsARefusal)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("1.mdb"));
    ASSERT_TRUE(QFile::copy(generatedJet(QStringLiteral("ledger_jet4")), path));
    // A short time limit for the one that hangs, a low memory ceiling for the one that eats it.
    const jet::ReaderLimits soon{std::chrono::milliseconds(2000), 0}, small{std::chrono::minutes(2), qint64(128) << 20};
    const std::vector<std::tuple<const char *, QString, jet::ReaderLimits>> cases = {
        {"hang", QStringLiteral("超过了 2 秒"), soon},     {"grow", QStringLiteral("超过 128 MB 内存"), small},
        {"crash", QStringLiteral("意外中止"), small},      {"garbage", QStringLiteral("意外中止"), small},
        {"silent", QStringLiteral("意外中止"), small}};
    for (const auto &[how, why, limits] : cases) {
        SCOPED_TRACE(how);
        qputenv("JET_CHILD_MISBEHAVE", how);
        expectRefused(path, {QStringLiteral("文件已损坏"), why}, limits);
    }
    qunsetenv("JET_CHILD_MISBEHAVE");
    EXPECT_EQ(jet::convert(path, jet::keptPath(path)), 15);
}
