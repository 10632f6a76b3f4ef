#include "ledger/calc.h"
#include "rows.h"

#include <gtest/gtest.h>

using namespace ledger;

namespace {

const QString kIn = QStringLiteral("进货");
const QString kOut = QStringLiteral("出货");
const QString kDrinks = QStringLiteral("饮料");
const QString kCola = QStringLiteral("可乐");
const QDate kToday(2026, 12, 7);
const QString kTip = QStringLiteral("系统提示：");
const QString kResult = QStringLiteral("计算结果：");

Record in(const QString &qty, const QString &total, const QString &date = QStringLiteral("26-12-1"))
{
    return tx(kCola, kDrinks, kIn, qty, total, date);
}

Record out(const QString &qty, const QString &total, const QString &date = QStringLiteral("2026/12/7"))
{
    return tx(kCola, kDrinks, kOut, qty, total, date);
}

// The texts of the boxes shown for one calculation of 饮料 / 可乐.
QStringList shown(const std::vector<Record> &rows, double calcno)
{
    QStringList texts;
    for (const CalcMessage &m : calculate(rows, kDrinks, kCola, calculation(calcno), kIn, kToday))
        texts << m.text;
    return texts;
}

QStringList list(std::initializer_list<const char *> texts)
{
    QStringList out;
    for (const char *t : texts)
        out << QString::fromUtf8(t);
    return out;
}

} // namespace

TEST(Calculations, OneStockInAndOneStockOutThisMonth)
{
    const std::vector<Record> rows = {category(kDrinks), product(kCola, kDrinks), in("10", "50"), out("4", "32")};
    EXPECT_EQ(shown(rows, 1), list({"此商品库存：6"}));
    EXPECT_EQ(shown(rows, 2), list({"此商品营业额：32"}));
    EXPECT_EQ(shown(rows, 3), list({"此商品营业利润：12"}));
    EXPECT_EQ(shown(rows, 5), list({"此商品本月营业利润：12"}));
    EXPECT_EQ(shown(rows, 4), list({"此商品库存积压货款：30"}));
    for (Calculation n : {CalcStock, CalcTurnover, CalcProfit, CalcStockValue, CalcMonthProfit}) {
        const auto boxes = calculate(rows, kDrinks, kCola, n, kIn, kToday);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].title, kResult);
    }
}

TEST(Calculations, EarlierMonthStockOutCountsExceptForTheMonthProfit)
{
    const std::vector<Record> rows = {in("10", "50"), out("4", "32"), out("3", "24", QStringLiteral("26-11-30"))};
    EXPECT_EQ(shown(rows, 1), list({"此商品库存：3"}));
    EXPECT_EQ(shown(rows, 2), list({"此商品营业额：56"}));
    EXPECT_EQ(shown(rows, 3), list({"此商品营业利润：21"}));
    // Only this month's 4 pieces, priced with the averages of every month (8 and 5).
    EXPECT_EQ(shown(rows, 5), list({"此商品本月营业利润：12"}));
    // The same month of another year is not the current month.
    const std::vector<Record> lastYear = {in("10", "50"), out("4", "32"), out("3", "24", QStringLiteral("2025/12/7"))};
    EXPECT_EQ(shown(lastYear, 5), list({"此商品本月营业利润：12"}));
}

TEST(Calculations, UnreadableOrMissingDatesAreNeverTheCurrentMonth)
{
    Record noDate = out("4", "32");
    noDate.date = QString();
    const std::vector<Record> rows = {in("10", "50"), out("2", "16", QStringLiteral("12月7日")), noDate,
                                      out("1", "8", QStringLiteral("26-12-07"))};
    EXPECT_EQ(shown(rows, 5), list({"此商品本月营业利润：3"}));
    // Every stock-out still counts for the other figures.
    EXPECT_EQ(shown(rows, 3), list({"此商品营业利润：21"}));
}

TEST(Calculations, AveragePricesRoundHalfUpOnTheDoubleProduct)
{
    // 201 / 200 = 1.005, which as a double is just below the half: the average stays 1.
    const std::vector<Record> rows = {in("200", "201"), out("1", "2")};
    EXPECT_EQ(shown(rows, 3), list({"此商品营业利润：1"}));
    EXPECT_EQ(shown(rows, 4), list({"此商品库存积压货款：199"}));
    // 9.38 / 4 = 2.345 rounds up to 2.35; 0.34 / 3 rounds down to 0.11.
    const std::vector<Record> up = {in("4", "9.38"), out("2", "6")};
    EXPECT_EQ(shown(up, 4), list({"此商品库存积压货款：4.7"}));
    const std::vector<Record> down = {in("3", "0.34")};
    EXPECT_EQ(shown(down, 4), list({"此商品库存积压货款：0.33"}));
}

TEST(Calculations, NetStockIsRoundedAfterEveryRecord)
{
    EXPECT_EQ(shown({in("2.5", "5"), in("2.5", "5")}, 1), list({"此商品库存：4"}));
    EXPECT_EQ(shown({in("0.5", "1"), in("0.5", "1")}, 1), list({"此商品库存：0"}));
    EXPECT_EQ(shown({in("1.5", "1"), out("0.5", "1")}, 1), list({"此商品库存：2"}));
}

TEST(Calculations, OnlyStockIns)
{
    const std::vector<Record> rows = {in("10", "50")};
    EXPECT_EQ(shown(rows, 1), list({"此商品库存：10"}));
    EXPECT_EQ(shown(rows, 2), list({"此商品营业额：0"}));
    EXPECT_EQ(shown(rows, 3), list({"出货商品数为0！"}));
    EXPECT_EQ(shown(rows, 5), list({"出货商品数为0！"}));
    EXPECT_EQ(shown(rows, 4), list({"此商品库存积压货款：50"}));
    const auto boxes = calculate(rows, kDrinks, kCola, CalcProfit, kIn, kToday);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, kTip);
}

TEST(Calculations, OnlyStockOutsOrNothingAtAll)
{
    const std::vector<Record> rows = {out("4", "32")};
    EXPECT_EQ(shown(rows, 1), list({"此商品库存：-4"}));
    EXPECT_EQ(shown(rows, 2), list({"此商品营业额：32"}));
    for (double n : {3, 4, 5})
        EXPECT_EQ(shown(rows, n), list({"进货货商品数为0！"})) << n;

    const std::vector<Record> none = {category(kDrinks), product(kCola, kDrinks)};
    EXPECT_EQ(shown(none, 1), list({"此商品库存：0"}));
    EXPECT_EQ(shown(none, 2), list({"此商品营业额：0"}));
    for (double n : {3, 4, 5})
        EXPECT_EQ(shown(none, n), list({"进货货商品数为0！"})) << n;
}

TEST(Calculations, MoreStockOutsThanStockInsGiveNegativeFigures)
{
    const std::vector<Record> rows = {in("2", "10"), out("5", "40")};
    EXPECT_EQ(shown(rows, 1), list({"此商品库存：-3"}));
    EXPECT_EQ(shown(rows, 4), list({"此商品库存积压货款：-15"}));
}

TEST(Calculations, OnlyTheChosenProductOfTheChosenCategoryCounts)
{
    const std::vector<Record> rows = {
        in("10", "50"),
        tx(kCola, QStringLiteral("零食"), kIn, QStringLiteral("100"), QStringLiteral("100"), QStringLiteral("26-12-1")),
        tx(QStringLiteral("雪碧"), kDrinks, kIn, QStringLiteral("100"), QStringLiteral("100"), QStringLiteral("26-12-1")),
        // A product row with the same names is not a transaction.
        product(kCola, kDrinks),
    };
    EXPECT_EQ(shown(rows, 1), list({"此商品库存：10"}));
    EXPECT_EQ(calculate(rows, kDrinks, QStringLiteral("可乐 "), CalcStock, kIn, kToday).at(0).text,
              QStringLiteral("此商品库存：0"));
    EXPECT_EQ(calculate(rows, QStringLiteral("无此类"), kCola, CalcStock, kIn, kToday).at(0).text,
              QStringLiteral("此商品库存：0"));
}

TEST(Calculations, ADirectionThatIsNeitherCountsAsAStockOut)
{
    const std::vector<Record> rows = {in("10", "50"), tx(kCola, kDrinks, QStringLiteral("退货"), QStringLiteral("4"),
                                                         QStringLiteral("32"), QStringLiteral("26-12-2"))};
    EXPECT_EQ(shown(rows, 1), list({"此商品库存：6"}));
    EXPECT_EQ(shown(rows, 2), list({"此商品营业额：32"}));
}

TEST(Calculations, NumbersAreReadFromTheirLeadingDigits)
{
    const std::vector<Record> rows = {in("1 0个", "5 0元"), out("4件", "abc")};
    EXPECT_EQ(shown(rows, 1), list({"此商品库存：6"}));
    EXPECT_EQ(shown(rows, 2), list({"此商品营业额：0"}));
}

TEST(Calculations, OtherNumbersShowOnlyTheMissingNote)
{
    const std::vector<Record> both = {in("10", "50"), out("4", "32")};
    EXPECT_TRUE(shown(both, 0).isEmpty());
    EXPECT_TRUE(shown(both, 6).isEmpty());
    EXPECT_EQ(shown({out("4", "32")}, 6), list({"进货货商品数为0！"}));
    EXPECT_TRUE(shown({out("4", "32")}, 0).isEmpty());
    EXPECT_EQ(shown({out("4", "32")}, 3.5), list({"进货货商品数为0！"}));
    EXPECT_TRUE(shown({out("4", "32")}, 2.5).isEmpty());
}

TEST(Calculations, LargeQuantitiesAndPricesNeitherOverflowNorCrash)
{
    // Beyond 32 bits: a stock of twenty thousand million pieces, an average of 5,000,000,000.
    const std::vector<Record> big = {in("9999999999", "1"), in("9999999999", "1"), in("1", "5000000000"),
                                     out("1", "6000000000")};
    EXPECT_EQ(shown(big, 1), list({"此商品库存：19999999998"}));
    const std::vector<Record> price = {in("1", "5000000000"), in("1", "5000000000"), out("1", "6000000000")};
    EXPECT_EQ(shown(price, 3), list({"此商品营业利润：1000000000"}));
    EXPECT_EQ(shown(price, 4), list({"此商品库存积压货款：5000000000"}));
    // Absurd texts still give an answer.
    const std::vector<Record> absurd = {in("1E300", "1E308"), in("1E300", "1E308"), out("1E-300", "1E308"),
                                        out("-1E300", "-1E308")};
    for (double n : {1, 2, 3, 4, 5}) {
        const QStringList texts = shown(absurd, n);
        EXPECT_EQ(texts.size(), 1) << n;
    }
}
