// CSV and clipboard tables: what a real CSV reader (Python's csv module) makes of them.
#include "ledger/csv.h"
#include "rows.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ledger;

namespace {



// Python's csv module reads the file as a spreadsheet's CSV; the rows come back as JSON.
QList<QStringList> readWithPython(const QString &path)
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    EXPECT_FALSE(python.isEmpty()) << "python3 is needed (scripts/deps.sh installs it)";
    QProcess p;
    p.start(python, {QStringLiteral("-c"),
                     QStringLiteral("import csv, json, sys\n"
                                    "with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:\n"
                                    "    rows = list(csv.reader(f, dialect='excel', strict=True))\n"
                                    "sys.stdout.buffer.write(json.dumps(rows).encode())\n"),
                     path});
    EXPECT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    QList<QStringList> out;
    for (const QJsonValue &row : QJsonDocument::fromJson(p.readAllStandardOutput()).array()) {
        QStringList cells;
        for (const QJsonValue &cell : row.toArray())
            cells << cell.toString();
        out << cells;
    }
    return out;
}

Table tricky()
{
    Table t;
    t.header = transactionHeader();
    t.rows << QStringList{q("苹果,红富士"), q("2.5"), q("-3"), q("-7.5"), q("26-12-7"), q("出货"), q("1")}
           << QStringList{q("说\"好\"的"), q("=1+1"), q("+5"), q("@SUM(A1)"), q("第一行\r\n第二行"), q("-3元"), q("")}
           << QStringList{q("\tTab"), q("\r回车"), q("1E3"), q("a\nb"), q("'已有"), q(" =空格"), q("0")};
    return t;
}

} // namespace

TEST(CsvTest, ATableWrittenInPiecesIsTheWholeTableText)
{
    // Enough lines for several pieces, each line with the tricky cells, one cut per line.
    Table big = tricky();
    while (big.rows.size() < 40000)
        big.rows << tricky().rows;
    QTemporaryDir dir;
    const QString path = dir.filePath(q("大.csv"));
    ASSERT_TRUE(writeCsvFile(path, big).isEmpty());
    EXPECT_EQ(readAll(path), toCsv(big));
}

TEST(CsvTest, SpreadsheetReaderGetsTheFieldsBackWithFormulasDisarmed)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(q("表.csv"));
    ASSERT_TRUE(writeCsvFile(path, tricky()).isEmpty());
    const QByteArray bytes = readAll(path);
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    EXPECT_EQ(bytes.count("\r\n"), 4 + 1); // four lines, and the CRLF inside a quoted field
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{q("表.csv")});

    const QList<QStringList> rows = readWithPython(path);
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0], transactionHeader());
    EXPECT_EQ(rows[1], tricky().rows[0]); // numbers, also negative ones, stay as they are
    EXPECT_EQ(rows[2], (QStringList{q("说\"好\"的"), q("'=1+1"), q("+5"), q("'@SUM(A1)"), q("第一行\r\n第二行"),
                                    q("'-3元"), q("")}));
    EXPECT_EQ(rows[3], (QStringList{q("'\tTab"), q("'\r回车"), q("1E3"), q("a\nb"), q("'已有"), q(" =空格"), q("0")}));
}

TEST(CsvTest, ClipboardTextIsTabSeparatedAndQuotedWhereNeeded)
{
    Table t;
    t.header = {q("日期"), q("进货总额")};
    t.rows << QStringList{q("26-12-7"), q("1500")} << QStringList{q("a\tb"), q("=2")};
    EXPECT_EQ(toTsv(t), q("日期\t进货总额\n26-12-7\t1500\n\"a\tb\"\t'=2\n"));
}

TEST(CsvTest, FailedWriteSaysWhyAndLeavesNoFileUnderTheName)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(q("没有/表.csv"));
    const QString why = writeCsvFile(missing, tricky());
    EXPECT_TRUE(why.contains(q("不存在"))) << why.toStdString();
    EXPECT_FALSE(QFile::exists(missing));
    // A folder in place of the file: refused, the folder untouched.
    const QString folder = dir.filePath(q("表.csv"));
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_FALSE(writeCsvFile(folder, tricky()).isEmpty());
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 0);
}

TEST(CsvTest, RecordColumns)
{
    Record r;
    r.kind = kProduct;
    r.name = q("苹果");
    r.cat = q("水果");
    r.method = q("进货");
    EXPECT_EQ(recordCells(r), (QStringList{q("2"), q("苹果"), q("水果"), q(""), q(""), q(""), q(""), q("进货"), q("")}));
    r.hasKind = false;
    EXPECT_EQ(recordCells(r).first(), q(""));
    EXPECT_EQ(transactionCells(r), (QStringList{q("苹果"), q(""), q(""), q(""), q(""), q("进货"), q("")}));
}
