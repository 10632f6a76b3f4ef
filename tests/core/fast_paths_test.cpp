// The shortcuts taken for large ledgers must give exactly what the plain text paths give.
#include "ledger/browse.h"
#include "ledger/dates.h"
#include "ledger/stats.h"
#include "ledger/text.h"
#include "rows.h"

#include <gtest/gtest.h>

using namespace ledger;

namespace {

Record drink(const QString &name, const QString &price, const QString &qty, const QString &total,
             const QString &date, const QString &method, const QString &txno)
{
    return transaction(name, QStringLiteral("饮料"), price, qty, total, date, method, txno);
}

std::vector<Record> awkwardRecords()
{
    const QString in = QStringLiteral("进货"), out = QStringLiteral("出货");
    return {
        drink(QStringLiteral("可乐"), QStringLiteral("2.5"), QStringLiteral("10"), QStringLiteral("25"),
           QStringLiteral("24-6-15"), in, QStringLiteral("12345678")),
        drink(QStringLiteral("a|b"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("2"),
           QStringLiteral("2024/6/15"), out, QStringLiteral("1")),           // "|" in a field
        drink(QStringLiteral("名字很长很长很长很长很长很长"), QString(), QStringLiteral(""), QString(),
           QString(), QString(), QString()),                                  // null and empty
        drink(QStringLiteral("x"), QStringLiteral("12345678901"), QStringLiteral("1"), QStringLiteral("3|4"),
           QStringLiteral("24|6|15"), in, QStringLiteral("😀😀")),            // too wide, "|" in date
        drink(QStringLiteral("y"), QStringLiteral("3"), QStringLiteral("1"), QStringLiteral("3"),
           QStringLiteral(" 2024.06.15 "), QStringLiteral("进货|"), QStringLiteral("9")),
    };
}

TEST(FastPaths, TransactionLineIsTheLineOfTheRecordText)
{
    for (const Record &r : awkwardRecords())
        EXPECT_EQ(transactionLine(r), makeTxLine(recordText(r))) << recordText(r).toStdString();
}

TEST(FastPaths, SplitKeepsEmptyFieldsNullAndDropsExtraFields)
{
    const QStringList f = splitRequest(QStringLiteral("a||c|||||||j|k|l|m"));
    ASSERT_EQ(f.size(), kRequestFields);
    EXPECT_EQ(f[0], QStringLiteral("a"));
    EXPECT_TRUE(f[1].isNull());
    EXPECT_EQ(f[2], QStringLiteral("c"));
    EXPECT_EQ(f[9], QStringLiteral("j"));
    EXPECT_EQ(f[10], QStringLiteral("k")); // "l" and "m" are beyond the last field
    for (const QString &field : splitRequest(QString()))
        EXPECT_TRUE(field.isNull());
    EXPECT_EQ(splitRequest(QStringLiteral("|")).value(1), QString());
}

TEST(FastPaths, DayTallyOfARecordEqualsTheTallyOfItsText)
{
    for (const Record &r : awkwardRecords()) {
        DayTally byRecord, byText;
        byRecord.addRecord(r);
        byRecord.addRecord(r);
        byText.addRecord(dayRecordText(r));
        byText.addRecord(dayRecordText(r));
        EXPECT_EQ(byRecord.daytext, byText.daytext);
        EXPECT_EQ(byRecord.daytext.isNull(), byText.daytext.isNull());
        EXPECT_EQ(byRecord.closeDay(), byText.closeDay()) << recordText(r).toStdString();
    }
    // A whole day at once, ending on each record in turn (its date text is the one shown).
    const std::vector<Record> rows = awkwardRecords();
    for (std::size_t last = 0; last < rows.size(); ++last) {
        std::vector<std::size_t> day;
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (i != last)
                day.push_back(i);
        day.push_back(last);
        DayTally byDay, byText;
        byDay.addRecords(rows, day);
        for (std::size_t i : day)
            byText.addRecord(dayRecordText(rows[i]));
        EXPECT_EQ(byDay.daytext.isNull(), byText.daytext.isNull());
        EXPECT_EQ(byDay.closeDay(), byText.closeDay()) << last;
    }
}

TEST(FastPaths, DayNumbersOrderLikeTheNormalisedTexts)
{
    const QStringList dates = {QStringLiteral("24-6-15"), QStringLiteral("2024/6/15"), QStringLiteral("99-12-31"),
                               QStringLiteral("00-1-1"),  QStringLiteral("2024/13/1"), QStringLiteral("昨天"),
                               QStringLiteral("24-06-16"), QString(),                  QStringLiteral("1999.2.28"),
                               QStringLiteral("24-6-5")};
    DayMemo memo;
    for (const QString &a : dates) {
        const int da = memo.day(a);
        EXPECT_EQ(da == kNoDay, dateYYMMDD(a).isNull()) << a.toStdString();
        if (da == kNoDay)
            continue;
        for (const QString &b : dates) {
            const int db = memo.day(b);
            if (db == kNoDay)
                continue;
            EXPECT_EQ(da < db, dateYYMMDD(a) < dateYYMMDD(b)) << a.toStdString() << " " << b.toStdString();
            EXPECT_EQ(da / 100 == db / 100, dateYYMM(a) == dateYYMM(b));
            EXPECT_EQ(da / 10000 == db / 10000, dateYY(a) == dateYY(b));
        }
    }
}

TEST(FastPaths, RangeOverReadAndUnreadDatesComparesTheirTexts)
{
    // Unread dates take part as their own text: "昨天" sorts after every "YY-MM-DD".
    std::vector<Record> rows = {
        drink(QStringLiteral("a"), {}, {}, {}, QStringLiteral("24-6-15"), QStringLiteral("进货"), {}),
        drink(QStringLiteral("a"), {}, {}, {}, QStringLiteral("昨天"), QStringLiteral("进货"), {}),
        drink(QStringLiteral("a"), {}, {}, {}, QStringLiteral("2023/1/2"), QStringLiteral("出货"), {}),
        drink(QStringLiteral("a"), {}, {}, {}, QStringLiteral("0-1-1"), QStringLiteral("出货"), {}),
    };
    const DateRange r = findRange(rows, QString(), QDate(2024, 6, 20));
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.start, QStringLiteral("0-1-1")); // "0-1-1" < "23-01-02" as text
    EXPECT_EQ(r.end, QStringLiteral("昨天"));
}

} // namespace
