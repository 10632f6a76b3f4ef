#include "ledger/find.h"
#include "rows.h"

#include <gtest/gtest.h>

using namespace ledger;

namespace {

const QString kDrinks = QStringLiteral("饮料");
const QString kFruit = QStringLiteral("水果");
const QString kCola = QStringLiteral("可乐");
const QString kApple = QStringLiteral("苹果");

QStringList totals(const FindResult &r)
{
    QStringList out;
    for (const Record &m : r.matches)
        out << m.total;
    return out;
}

FindQuery everything()
{
    FindQuery q;
    q.anyCategory = q.anyProduct = q.stockIn = q.stockOut = true;
    return q;
}

} // namespace

TEST(FindDates, TheSameDayInEveryStoredForm)
{
    const QString chosen = QStringLiteral("06-3-9");
    for (const char *stored : {"06-3-9", "06-03-09", "2006/3/9", "2006-03-09", " 06-3-9 "}) {
        const QString s = QString::fromLatin1(stored);
        EXPECT_TRUE(dateMatches(s, chosen, DateOn)) << stored;
        EXPECT_TRUE(dateMatches(s, chosen, DateDayDetail)) << stored;
        EXPECT_FALSE(dateMatches(s, chosen, DateBefore)) << stored;
        EXPECT_FALSE(dateMatches(s, chosen, DateAfter)) << stored;
    }
}

TEST(FindDates, BeforeAndAfterCompareWholeDates)
{
    const QString chosen = QStringLiteral("06-3-9");
    // As plain texts 06-3-10 would sort before 06-3-9.
    EXPECT_TRUE(dateMatches(QStringLiteral("06-3-10"), chosen, DateAfter));
    EXPECT_FALSE(dateMatches(QStringLiteral("06-3-10"), chosen, DateBefore));
    EXPECT_TRUE(dateMatches(QStringLiteral("2006/3/8"), chosen, DateBefore));
    EXPECT_FALSE(dateMatches(QStringLiteral("2006/3/8"), chosen, DateAfter));
    EXPECT_TRUE(dateMatches(QStringLiteral("05-12-31"), chosen, DateBefore));
    // Two-digit years: a day of 1999 counts as after every day of 2006.
    EXPECT_TRUE(dateMatches(QStringLiteral("1999/1/1"), chosen, DateAfter));
    EXPECT_FALSE(dateMatches(QStringLiteral("1999/1/1"), chosen, DateBefore));
}

TEST(FindDates, UnreadableDatesMatchOnlyWithoutACondition)
{
    for (const QString &stored : {QString(), QStringLiteral(""), QStringLiteral("三月九日"), QStringLiteral("06-2-30"),
                                  QStringLiteral("06-3-9-1")}) {
        EXPECT_TRUE(dateMatches(stored, QStringLiteral("06-3-9"), DateAny)) << qPrintable(stored);
        for (DateCondition m : {DateBefore, DateOn, DateAfter, DateDayDetail})
            EXPECT_FALSE(dateMatches(stored, QStringLiteral("06-3-9"), m)) << qPrintable(stored) << m;
    }
    // The day detail of a day whose date is no date lists the records of exactly that text.
    EXPECT_TRUE(dateMatches(QStringLiteral("三月九日"), QStringLiteral("三月九日"), DateDayDetail));
    EXPECT_FALSE(dateMatches(QStringLiteral("三月九日"), QStringLiteral("三月九日"), DateOn));
    EXPECT_FALSE(dateMatches(QStringLiteral("三月九日 "), QStringLiteral("三月九日"), DateDayDetail));
    EXPECT_FALSE(dateMatches(QStringLiteral(""), QString(), DateDayDetail));
    // Nor does anything match an unreadable chosen date.
    EXPECT_FALSE(dateMatches(QStringLiteral("06-3-9"), QStringLiteral("x"), DateOn));
    EXPECT_FALSE(dateMatches(QStringLiteral("06-3-9"), QStringLiteral("x"), DateDayDetail));
    EXPECT_FALSE(dateMatches(QStringLiteral("06-3-9"), QString(), DateBefore));
    // Numbers that are no condition match nothing.
    for (double m : {4.0, 5.0, 1.5, -1.0})
        EXPECT_FALSE(dateMatches(QStringLiteral("06-3-9"), QStringLiteral("06-3-9"), dateCondition(m))) << m;
}

TEST(FindQuery, DirectionsSelectTheRecordsAndTheNetAmount)
{
    const std::vector<Record> rows = {
        category(kDrinks),
        product(kCola, kDrinks),
        tx(kCola, kDrinks, kStockOut, QStringLiteral("3"), QStringLiteral("30"), QStringLiteral("06-3-9")),
        tx(kCola, kDrinks, kStockIn, QStringLiteral("10"), QStringLiteral("100"), QStringLiteral("06-3-9")),
        tx(kCola, kDrinks, QStringLiteral("退货"), QStringLiteral("1"), QStringLiteral("5"), QStringLiteral("06-3-9")),
    };
    FindQuery q = everything();
    FindResult r = findTransactions(rows, q);
    EXPECT_EQ(totals(r), QStringList({"30", "100", "5"}));
    EXPECT_EQ(r.net, 65); // a direction that is not 进货 is subtracted

    q.stockIn = false;
    r = findTransactions(rows, q);
    EXPECT_EQ(totals(r), QStringList({"30"}));
    EXPECT_EQ(r.net, -30);

    q.stockIn = true;
    q.stockOut = false;
    r = findTransactions(rows, q);
    EXPECT_EQ(totals(r), QStringList({"100"}));
    EXPECT_EQ(r.net, 100);

    q.stockIn = false;
    r = findTransactions(rows, q);
    EXPECT_TRUE(r.matches.empty());
    EXPECT_EQ(r.net, 0);
}

TEST(FindQuery, CategoryAndProductAreExactUnlessAnyIsAllowed)
{
    const std::vector<Record> rows = {
        category(kDrinks),
        product(kCola, kDrinks),
        tx(kCola, kDrinks, kStockIn, QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("06-3-9")),
        tx(kCola, kFruit, kStockIn, QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("06-3-9")),
        tx(kApple, kFruit, kStockIn, QStringLiteral("1"), QStringLiteral("4"), QStringLiteral("06-3-9")),
        tx(QStringLiteral("Cola"), kDrinks, kStockIn, QStringLiteral("1"), QStringLiteral("8"), QStringLiteral("06-3-9")),
    };
    FindQuery q = everything();
    q.anyCategory = q.anyProduct = false;
    q.category = kDrinks;
    q.product = kCola;
    EXPECT_EQ(totals(findTransactions(rows, q)), QStringList({"1"}));
    q.product = QStringLiteral("cola");
    EXPECT_TRUE(findTransactions(rows, q).matches.empty());

    q.anyCategory = true;
    q.product = kCola;
    EXPECT_EQ(totals(findTransactions(rows, q)), QStringList({"1", "2"}));

    q.anyCategory = false;
    q.anyProduct = true;
    q.category = kFruit;
    EXPECT_EQ(totals(findTransactions(rows, q)), QStringList({"2", "4"}));

    // Everything: transactions only, in stored order, whatever the ignored texts say.
    q = everything();
    q.category = QStringLiteral("无");
    const FindResult all = findTransactions(rows, q);
    EXPECT_EQ(totals(all), QStringList({"1", "2", "4", "8"}));
    EXPECT_EQ(all.net, 15);
}

TEST(FindQuery, DateConditionOverMixedStoredForms)
{
    const std::vector<Record> rows = {
        tx(kCola, kDrinks, kStockIn, QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("06-3-8")),
        tx(kCola, kDrinks, kStockIn, QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("06-03-09")),
        tx(kCola, kDrinks, kStockOut, QStringLiteral("1"), QStringLiteral("4"), QStringLiteral("2006/3/9")),
        tx(kCola, kDrinks, kStockIn, QStringLiteral("1"), QStringLiteral("8"), QStringLiteral("06-3-10")),
        tx(kCola, kDrinks, kStockIn, QStringLiteral("1"), QStringLiteral("16"), QStringLiteral("1999/6/1")),
        tx(kCola, kDrinks, kStockIn, QStringLiteral("1"), QStringLiteral("32"), QStringLiteral("昨天")),
    };
    FindQuery q = everything();
    q.date = QStringLiteral("06-3-9");
    q.condition = DateBefore;
    EXPECT_EQ(totals(findTransactions(rows, q)), QStringList({"1"}));
    q.condition = DateOn;
    const FindResult on = findTransactions(rows, q);
    EXPECT_EQ(totals(on), QStringList({"2", "4"}));
    EXPECT_EQ(on.net, -2);
    q.condition = DateDayDetail;
    EXPECT_EQ(totals(findTransactions(rows, q)), QStringList({"2", "4"}));
    q.condition = DateAfter;
    EXPECT_EQ(totals(findTransactions(rows, q)), QStringList({"8", "16"}));
    q.condition = DateAny;
    EXPECT_EQ(findTransactions(rows, q).matches.size(), 6u);
}
