#include "ledger/columns.h"
#include "ledger/file_store.h"
#include "ledger/facts.h"
#include "ledger/history.h"
#include "rows.h"
#include "sqlite_db.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ledger;

namespace {



void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

Record tx(const char *name, const char *cat, const char *total, const char *date = "2024/6/15")
{
    Record r;
    r.kind = kTransaction;
    r.name = q(name);
    r.cat = q(cat);
    r.price = q("1");
    r.qty = q("1");
    r.total = q(total);
    r.date = q(date);
    r.method = q("进货");
    r.txno = q("42");
    return r;
}

Record category(const char *name)
{
    Record r;
    r.kind = kCategory;
    r.name = q(name);
    r.method = q("进货");
    return r;
}

QStringList names(Store &s)
{
    QStringList out;
    for (const Record &r : s.rows())
        out << r.name;
    return out;
}

// Runs one SQL statement on a second, independent connection to the same file.
int otherConnection(const QString &path, const char *sql, const char *key = FileStore::kPassword)
{
    return sqldb::Connection(path, key).exec(sql);
}

class StoreTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("1.mdb")); }
};

std::unique_ptr<FileStore> openInBackground(const QString &path, FileStore::Purpose purpose = FileStore::Purpose::Work)
{
    return FileStore::open(path, Store::kLockWait, purpose, FileStore::Reading::InBackground);
}

QStringList texts(const RecordRefs &rows)
{
    QStringList out;
    for (const Record &r : rows)
        out << QString::number(r.id) + u'|' + recordText(r);
    return out;
}

bool hasKindIndex(FileStore &s)
{
    return !sqldb::column(s.handle(), "SELECT name FROM sqlite_master WHERE type = 'index' AND name = '库_标号'").isEmpty();
}

} // namespace

TEST_F(StoreTest, FirstOpenCreatesTheTableWithItsColumnsInOrder)
{
    auto store = FileStore::open(path());
    EXPECT_EQ(store->count(), 0);
    const QStringList columns = sqldb::column(store->handle(), "PRAGMA table_info(\"库\")", 1);
    const QStringList types = sqldb::column(store->handle(), "PRAGMA table_info(\"库\")", 2);
    EXPECT_EQ(columns, (QStringList{q("标号"), q("名称"), q("类"), q("价格"), q("数量"), q("总额"),
                                    q("日期"), q("方法"), q("交易号码")}));
    EXPECT_EQ(types, (QStringList{q("SMALLINT"), q("VARCHAR(20)"), q("VARCHAR(20)"), q("VARCHAR(20)"),
                                  q("VARCHAR(20)"), q("VARCHAR(20)"), q("VARCHAR(20)"), q("VARCHAR(4)"),
                                  q("VARCHAR(20)")}));
    // The table as the ledgers already written hold it, character for character.
    const char *written =
        "CREATE TABLE \"库\" ("
        "\"标号\" SMALLINT CHECK (\"标号\" IS NULL OR (typeof(\"标号\") = 'integer' AND \"标号\" BETWEEN -32768 AND 32767)),"
        "\"名称\" VARCHAR(20) CHECK (length(\"名称\") <= 20),"
        "\"类\" VARCHAR(20) CHECK (length(\"类\") <= 20),"
        "\"价格\" VARCHAR(20) CHECK (length(\"价格\") <= 20),"
        "\"数量\" VARCHAR(20) CHECK (length(\"数量\") <= 20),"
        "\"总额\" VARCHAR(20) CHECK (length(\"总额\") <= 20),"
        "\"日期\" VARCHAR(20) CHECK (length(\"日期\") <= 20),"
        "\"方法\" VARCHAR(4) CHECK (length(\"方法\") <= 4),"
        "\"交易号码\" VARCHAR(20) CHECK (length(\"交易号码\") <= 20))";
    EXPECT_EQ(sqldb::column(store->handle(), "SELECT sql FROM sqlite_master WHERE name = '库'"),
              QStringList{QString::fromUtf8(written)});
}

TEST_F(StoreTest, FileIsEncryptedWithThePassword)
{
    {
        auto store = FileStore::open(path());
        store->add(tx("SECRETNAME", "secretcat", "123456789"));
        const QStringList version = sqldb::column(store->handle(), "PRAGMA cipher_version");
        ASSERT_EQ(version.size(), 1); // answered only by SQLCipher
        EXPECT_FALSE(version[0].isEmpty());
    }
    const QByteArray bytes = readAll(path());
    ASSERT_GT(bytes.size(), 0);
    EXPECT_FALSE(bytes.startsWith("SQLite format 3"));
    EXPECT_FALSE(bytes.contains("SECRETNAME"));
    EXPECT_FALSE(bytes.contains("123456789"));
    EXPECT_NE(otherConnection(path(), "SELECT count(*) FROM sqlite_master", nullptr), SQLITE_OK);
    EXPECT_NE(otherConnection(path(), "SELECT count(*) FROM sqlite_master", "wrong"), SQLITE_OK);
    EXPECT_EQ(otherConnection(path(), "SELECT count(*) FROM sqlite_master"), SQLITE_OK);
}

TEST_F(StoreTest, ReopeningKeepsRowsInOrderWithNulls)
{
    {
        auto store = FileStore::open(path());
        store->add(category("水果"));
        Record product;
        product.kind = kProduct;
        product.name = q("苹果");
        product.cat = q("水果");
        product.method = q("出货");
        store->add(product);
        store->add(tx("苹果", "水果", "25"));
    }
    auto store = FileStore::open(path());
    const auto &rows = store->rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].kind, kCategory);
    EXPECT_TRUE(rows[0].cat.isNull());
    EXPECT_TRUE(rows[0].txno.isNull());
    EXPECT_EQ(rows[1].cat, q("水果"));
    EXPECT_TRUE(rows[1].price.isNull());
    EXPECT_EQ(rows[1].method, q("出货"));
    EXPECT_EQ(recordText(rows[2]), q("3|苹果|水果|1|1|25|2024/6/15|进货|42"));
    EXPECT_EQ(recordText(rows[0]), q("1|水果||||||进货|"));
}

TEST_F(StoreTest, EmptyTextStaysDistinctFromNull)
{
    auto store = FileStore::open(path());
    Record r = category("");
    store->add(r);
    auto reopened = FileStore::open(path());
    ASSERT_EQ(reopened->rows().size(), 1u);
    EXPECT_FALSE(reopened->rows()[0].name.isNull());
    EXPECT_TRUE(reopened->rows()[0].name.isEmpty());
    EXPECT_TRUE(reopened->rows()[0].cat.isNull());
}

TEST_F(StoreTest, TextsStartingWithByteOrderMarksComeBackExactly)
{
    Record r = category("x");
    r.name = QStringLiteral("\uFEFF苹果");
    r.cat = QStringLiteral("\uFFFE梨");
    r.txno = QStringLiteral("\uFEFF");
    FileStore::open(path())->add(r);
    const auto reopened = FileStore::open(path());
    ASSERT_EQ(reopened->rows().size(), 1u);
    EXPECT_TRUE(reopened->rows()[0].sameContent(r)) << recordText(reopened->rows()[0]).toStdString();
}

TEST_F(StoreTest, OverlongTextIsRefusedAndNothingStored)
{
    auto store = FileStore::open(path());
    store->add(category("kept"));
    Record tooLong = tx("x", "y", "1", "2024/6/15 and then some more");
    EXPECT_THROW(store->add(tooLong), StoreError);
    Record wideMethod = category("z");
    wideMethod.method = q("12345");
    EXPECT_THROW(store->add(wideMethod), StoreError);
    Record badKind = category("k");
    badKind.kind = 40000;
    EXPECT_THROW(store->add(badKind), StoreError);
    // Twenty wide characters fit: widths count characters.
    Record wide = category("一二三四五六七八九十一二三四五六七八九十");
    EXPECT_NO_THROW(store->add(wide));
    EXPECT_EQ(names(*store), (QStringList{q("kept"), q("一二三四五六七八九十一二三四五六七八九十")}));
    auto reopened = FileStore::open(path());
    EXPECT_EQ(names(*reopened), names(*store));
}

TEST_F(StoreTest, DeletesKeepTheOrderOfTheRest)
{
    auto store = FileStore::open(path());
    for (const char *n : {"a", "b", "c", "d", "e"})
        store->add(category(n));
    EXPECT_EQ(store->removeWhere([](const Record &r) { return r.name == q("b") || r.name == q("d"); }), 2);
    store->add(category("f"));
    EXPECT_EQ(names(*store), (QStringList{q("a"), q("c"), q("e"), q("f")}));
    auto reopened = FileStore::open(path());
    EXPECT_EQ(names(*reopened), names(*store));
    EXPECT_EQ(store->removeWhere([](const Record &) { return false; }), 0);
}

TEST_F(StoreTest, RemoveExactTouchesOnlyThatRecord)
{
    auto store = FileStore::open(path());
    const Record first = store->add(tx("same", "c", "1"));
    const Record twin = store->add(tx("same", "c", "1"));
    EXPECT_TRUE(store->removeExact(first));
    EXPECT_FALSE(store->removeExact(first)); // already gone
    ASSERT_EQ(store->rows().size(), 1u);
    EXPECT_EQ(store->rows()[0].id, twin.id);
    Record changed = twin;
    changed.total = q("2");
    EXPECT_FALSE(store->removeExact(changed)); // content differs: not the same record
    EXPECT_EQ(store->count(), 1);
}

TEST_F(StoreTest, SeesWhatAnotherProgramChanged)
{
    auto store = FileStore::open(path());
    store->add(category("mine"));
    EXPECT_EQ(store->count(), 1);
    ASSERT_EQ(otherConnection(path(), "INSERT INTO \"库\" (\"标号\", \"名称\") VALUES (1, 'theirs')"), SQLITE_OK);
    EXPECT_EQ(names(*store), (QStringList{q("mine"), q("theirs")}));
    ASSERT_EQ(otherConnection(path(), "DELETE FROM \"库\" WHERE \"名称\" = 'mine'"), SQLITE_OK);
    EXPECT_EQ(names(*store), QStringList{q("theirs")});
    store->add(category("again"));
    EXPECT_EQ(names(*FileStore::open(path())), (QStringList{q("theirs"), q("again")}));
}

TEST_F(StoreTest, ReadInTheBackgroundTheCategoriesComeFirstAndEveryRowWhenAsked)
{
    const std::vector<Record> all = sqldb::writeSpreadLedger(path());
    const RecordRefs allRefs(all.cbegin(), all.cend());
    RecordRefs categories;
    std::copy_if(all.cbegin(), all.cend(), std::back_inserter(categories), [](const Record &r) { return r.isKind(kCategory); });
    ASSERT_EQ(categories.size(), 3u);
    std::unique_ptr<FileStore> store;
    sqldb::ReaderGate gate;
    store = openInBackground(path());
    EXPECT_TRUE(store->reading());
    EXPECT_EQ(texts(store->categoryRows()), texts(categories));
    EXPECT_TRUE(store->hasRows());
    EXPECT_TRUE(store->loadedRows().empty());
    // Every row is waited for, announced, and then the same as read at once.
    std::vector<bool> waits;
    QObject::connect(store.get(), &Store::waiting, [&](bool busy) {
        waits.push_back(busy);
        gate.release();
    });
    const std::vector<Record> &rows = store->rows();
    EXPECT_EQ(waits, (std::vector<bool>{true, false}));
    EXPECT_EQ(texts(RecordRefs(rows.cbegin(), rows.cend())), texts(allRefs));
    EXPECT_FALSE(store->reading());
    EXPECT_EQ(texts(store->categoryRows()), texts(categories));
    EXPECT_EQ(store->facts().facts().size(), all.size());
}

TEST_F(StoreTest, CategoryAndProductRowsFollowEveryChangeOfTheRows)
{
    auto store = FileStore::open(path());
    const auto kindTexts = [&](int kind) {
        RecordRefs out;
        for (const Record &r : store->rows())
            if (r.isKind(kind))
                out.push_back(std::cref(r));
        return texts(out);
    };
    const auto same = [&](const char *step) {
        SCOPED_TRACE(step);
        EXPECT_EQ(texts(store->categoryRows()), kindTexts(kCategory));
        EXPECT_EQ(texts(store->productRows()), kindTexts(kProduct));
    };
    store->add(category("甲"));
    store->add(product(q("苹果"), q("甲")));
    same("added");
    store->addAll({tx("苹果", "甲", "1"), category("乙"), product(q("梨"), q("乙"))});
    same("added all");
    store->add(product(q("桃"), q("乙")));
    same("added after a call");
    EXPECT_EQ(store->removeWhere([](const Record &r) { return r.name == q("苹果"); }), 2);
    same("deleted");
    ASSERT_EQ(otherConnection(path(), "INSERT INTO \"库\" (\"标号\", \"名称\") VALUES (1, '丙')"), SQLITE_OK);
    same("another program added");
    ASSERT_EQ(otherConnection(path(), "DELETE FROM \"库\" WHERE \"名称\" = '甲'"), SQLITE_OK);
    same("another program deleted");
    EXPECT_EQ(store->categoryRows().size(), 2u);
    EXPECT_EQ(store->productRows().size(), 2u);
}

TEST_F(StoreTest, AnIndexOnTheKindIsMadeOnlyWhenEveryRowOfAWritableLedgerWasRead)
{
    sqldb::writeSpreadLedger(path());
    EXPECT_TRUE(hasKindIndex(*FileStore::open(path(), Store::kLockWait, FileStore::Purpose::Reading)));
    ASSERT_EQ(otherConnection(path(), "DROP INDEX \"库_标号\""), SQLITE_OK); // as older releases left it
    const QByteArray before = readAll(path());
    EXPECT_FALSE(hasKindIndex(*FileStore::open(path(), Store::kLockWait, FileStore::Purpose::Reading)));
    EXPECT_EQ(readAll(path()), before);
    {
        std::unique_ptr<FileStore> store;
        sqldb::ReaderGate gate;
        store = openInBackground(path());
        // Without the index the categories wait for every row.
        QObject::connect(store.get(), &Store::waiting, [&](bool) { gate.release(); });
        EXPECT_EQ(store->categoryRows().size(), 3u);
        EXPECT_TRUE(hasKindIndex(*store));
    }
    EXPECT_TRUE(hasKindIndex(*FileStore::open(path(), Store::kLockWait, FileStore::Purpose::Reading)));
}

TEST_F(StoreTest, DamageOnlyTheBackgroundReadMeetsIsAFailedReadAndNothingIsWritten)
{
    sqldb::writeSpreadLedger(path());
    ASSERT_EQ(otherConnection(path(), "DELETE FROM \"账本状态\" WHERE \"键\" = '行数'"), SQLITE_OK); // an entry due
    ASSERT_TRUE(sqldb::damageAPageOfOtherRows(path()));
    const QByteArray damaged = readAll(path());
    try {
        FileStore::open(path());
        ADD_FAILURE() << "read at once, the damage is not refused at the start";
    } catch (const StoreError &e) {
        EXPECT_EQ(e.kind(), StoreError::Kind::Open);
    }
    auto store = openInBackground(path());
    EXPECT_EQ(store->categoryRows().size(), 3u);
    const std::function<void()> operations[] = {
        [&] { store->rows(); },
        [&] { store->add(category("新")); },
        [&] { store->removeWhere([](const Record &) { return true; }); },
        [&] { store->history(10); },
    };
    for (const auto &operation : operations) {
        try {
            operation();
            ADD_FAILURE() << "answered from part of a damaged ledger";
        } catch (const StoreError &e) {
            EXPECT_EQ(e.message(), q("无法读取账本文件“%1”：%2！").arg(path(), e.reason()));
            EXPECT_TRUE(e.reason().startsWith(q("文件已损坏"))) << e.reason().toStdString();
        }
    }
    store.reset();
    EXPECT_EQ(readAll(path()), damaged);
    EXPECT_FALSE(QFile::exists(path() + QStringLiteral("-journal")));
}

TEST_F(StoreTest, ZeroLengthFileIsSetUpLikeANewOne)
{
    writeAll(path(), QByteArray());
    auto store = FileStore::open(path());
    store->add(category("x"));
    EXPECT_EQ(FileStore::open(path())->count(), 1);
    EXPECT_FALSE(readAll(path()).startsWith("SQLite format 3"));
}

TEST_F(StoreTest, ForeignFilesAreReportedAndLeftUnchanged)
{
    // A plain database, one with another password, a text file, random bytes, a damaged ledger.
    QByteArray real;
    {
        auto store = FileStore::open(path());
        for (int i = 0; i < 50; ++i)
            store->add(tx("item", "cat", "1"));
    }
    real = readAll(path());
    QByteArray damaged = real;
    for (int i = 20; i < 400; ++i)
        damaged[i] = static_cast<char>(i * 7);

    const QString plain = dir.filePath(QStringLiteral("plain.db"));
    ASSERT_EQ(otherConnection(plain, "CREATE TABLE t(x); INSERT INTO t VALUES (1)", nullptr), SQLITE_OK);
    const QString other = dir.filePath(QStringLiteral("other.db"));
    ASSERT_EQ(otherConnection(other, "CREATE TABLE t(x); INSERT INTO t VALUES (1)", "another"), SQLITE_OK);
    const QList<QByteArray> contents = {"just some text\n", QByteArray(4096, '\x5a'), damaged,
                                        real.left(real.size() / 2), readAll(plain), readAll(other)};
    const QString notALedger = q("文件已损坏、不是本软件的账本文件或密码不符");
    const QStringList reasons = {notALedger, notALedger, notALedger, q("文件已损坏"), notALedger, notALedger};
    for (int i = 0; i < contents.size(); ++i) {
        SCOPED_TRACE(i);
        writeAll(path(), contents[i]);
        try {
            FileStore::open(path());
            ADD_FAILURE() << "a foreign or damaged file was opened";
        } catch (const StoreError &e) {
            EXPECT_EQ(e.message(), q("无法打开账本文件“%1”：%2！").arg(path(), reasons[i]));
        }
        EXPECT_EQ(readAll(path()), contents[i]);
    }
}

TEST_F(StoreTest, WrongPasswordAndPlainDatabaseAreRefusedAtOpen)
{
    const QString plain = path();
    ASSERT_EQ(otherConnection(plain, "CREATE TABLE \"库\"(x)", nullptr), SQLITE_OK);
    const QByteArray before = readAll(plain);
    try {
        FileStore::open(plain);
        ADD_FAILURE() << "a plain database was opened";
    } catch (const StoreError &e) {
        EXPECT_EQ(e.message(), q("无法打开账本文件“%1”：文件已损坏、不是本软件的账本文件或密码不符！").arg(plain));
    }
    EXPECT_EQ(readAll(plain), before);
}

TEST_F(StoreTest, FolderInPlaceOfTheFile)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("1.mdb")));
    try {
        FileStore::open(path());
        ADD_FAILURE() << "a folder was opened";
    } catch (const StoreError &e) {
        EXPECT_EQ(e.message(), q("无法打开账本文件“%1”：同名的是一个文件夹，不是账本文件！").arg(path()));
    }
}

TEST_F(StoreTest, ForeignTableLayoutIsNotTakenOver)
{
    ASSERT_EQ(otherConnection(path(), "CREATE TABLE other(x)"), SQLITE_OK);
    const QByteArray before = readAll(path());
    try {
        FileStore::open(path());
        ADD_FAILURE() << "a ledger file without the ledger table was opened";
    } catch (const StoreError &e) {
        EXPECT_EQ(e.message(), q("无法打开账本文件“%1”：文件中没有账本表“库”！").arg(path()));
    }
    EXPECT_EQ(readAll(path()), before);
}
