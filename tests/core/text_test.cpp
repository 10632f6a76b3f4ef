#include "ledger/dates.h"
#include "rows.h"
#include "ledger/random.h"
#include "ledger/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <limits>

using namespace ledger;

namespace {
} // namespace

TEST(ParseNumber, ReadsTheLongestLeadingNumber)
{
    EXPECT_DOUBLE_EQ(parseNumber(q("12.5元")), 12.5);
    EXPECT_DOUBLE_EQ(parseNumber(q("1 2")), 12);
    EXPECT_DOUBLE_EQ(parseNumber(q("\t-3\n.5")), -3.5);
    EXPECT_DOUBLE_EQ(parseNumber(q("abc")), 0);
    EXPECT_DOUBLE_EQ(parseNumber(q("")), 0);
    EXPECT_DOUBLE_EQ(parseNumber(q("1E3")), 1000);
    EXPECT_DOUBLE_EQ(parseNumber(q("2.5e-1x")), 0.25);
    EXPECT_DOUBLE_EQ(parseNumber(q("1E")), 1);  // an exponent without digits is not read
    EXPECT_DOUBLE_EQ(parseNumber(q("1.2.3")), 1.2);
    EXPECT_DOUBLE_EQ(parseNumber(q(".")), 0);
    EXPECT_DOUBLE_EQ(parseNumber(q(".5")), 0.5);
    EXPECT_DOUBLE_EQ(parseNumber(q("+7")), 7);
    EXPECT_DOUBLE_EQ(parseNumber(q("-")), 0);
    EXPECT_DOUBLE_EQ(parseNumber(q("１２")), 0); // full-width digits are not digits
}

TEST(ParseNumber, PlainDecimalsReadExactlyAsStrtod)
{
    // Every length up to 17 digits (past the direct reading's 15), the point anywhere, signs and
    // a unit behind: the same double, bit for bit, as the C library's reading.
    std::mt19937_64 random(7);
    for (int i = 0; i < 200000; ++i) {
        const int length = 1 + static_cast<int>(random() % 17);
        std::string digits;
        for (int d = 0; d < length; ++d)
            digits.push_back(static_cast<char>('0' + random() % 10));
        const std::size_t point = random() % (digits.size() + 2);
        if (point <= digits.size())
            digits.insert(point, ".");
        const char *sign = i % 3 == 0 ? "-" : i % 7 == 0 ? "+" : "";
        const std::string text = sign + digits;
        const double expected = std::strtod(text.c_str(), nullptr);
        const double read = parseNumber(QString::fromStdString(text) + (i % 2 ? q("元") : QString()));
        ASSERT_EQ(std::signbit(read), std::signbit(expected)) << text;
        ASSERT_EQ(read, expected) << text;
    }
}

TEST(ParseNumber, NeverFailsOnHugeOrOddInput)
{
    EXPECT_DOUBLE_EQ(parseNumber(q("1E999")), 0);
    EXPECT_GT(parseNumber(QString(300, u'9')), 1e299);
    EXPECT_DOUBLE_EQ(parseNumber(QString(400, u'9')), 0); // beyond a double
    EXPECT_DOUBLE_EQ(parseNumber(q("9999999999")), 9999999999.0);
    EXPECT_TRUE(std::isfinite(parseNumber(q("-1e308e308"))));
}

TEST(FormatNumber, GivesTheShortestTextTo15Digits)
{
    EXPECT_EQ(formatNumber(1500), q("1500"));
    EXPECT_EQ(formatNumber(12.5), q("12.5"));
    EXPECT_EQ(formatNumber(0.25), q("0.25"));
    EXPECT_EQ(formatNumber(-3), q("-3"));
    EXPECT_EQ(formatNumber(0), q("0"));
    EXPECT_EQ(formatNumber(-0.0), q("0"));
    EXPECT_EQ(formatNumber(0.1 + 0.2), q("0.3"));
    EXPECT_EQ(formatNumber(99999000000.0), q("99999000000"));
    EXPECT_EQ(formatNumber(1e15), q("1E+15"));
    EXPECT_EQ(formatNumber(123456789012345.0), q("123456789012345"));
    EXPECT_EQ(formatNumber(std::numeric_limits<double>::infinity()), q("0"));
}

TEST(RoundEven, HalvesGoToTheEvenNeighbour)
{
    EXPECT_EQ(roundEven(0.5), 0);
    EXPECT_EQ(roundEven(1.5), 2);
    EXPECT_EQ(roundEven(2.5), 2);
    EXPECT_EQ(roundEven(-2.5), -2);
    EXPECT_EQ(roundEven(2.4999), 2);
    EXPECT_EQ(roundEven(9999999999.0 * 3), 29999999997LL);
    EXPECT_GT(roundEven(1e300), 0);
    EXPECT_LT(roundEven(-1e300), 0);
    EXPECT_EQ(roundEven(std::nan("")), 0);
}

TEST(RoundPrice, HalfUpOnTheThirdDecimalOfTheDoubleProduct)
{
    EXPECT_DOUBLE_EQ(roundPrice(2.345), 2.35);
    EXPECT_DOUBLE_EQ(roundPrice(2.675), 2.68);
    EXPECT_DOUBLE_EQ(roundPrice(1.005), 1);
    EXPECT_EQ(formatNumber(roundPrice(10.0 / 3)), q("3.33"));
    EXPECT_EQ(formatNumber(roundPrice(20.0 / 3)), q("6.67"));
    EXPECT_DOUBLE_EQ(roundPrice(-1.237), -1.24); // negative: floor only
    EXPECT_TRUE(std::isfinite(roundPrice(1e18)));
}

TEST(SplitRequest, ElevenFieldsAtMost)
{
    QStringList f = splitRequest(q("1|水果"));
    ASSERT_EQ(f.size(), kRequestFields);
    EXPECT_EQ(f[0], q("1"));
    EXPECT_EQ(f[1], q("水果"));
    EXPECT_TRUE(f[2].isEmpty());

    f = splitRequest(QString());
    EXPECT_EQ(f.size(), kRequestFields);
    EXPECT_TRUE(f[0].isEmpty());

    f = splitRequest(q("|a||b"));
    EXPECT_EQ(f[0], QString());
    EXPECT_EQ(f[1], q("a"));
    EXPECT_EQ(f[2], QString());
    EXPECT_EQ(f[3], q("b"));

    f = splitRequest(q("0|1|2|3|4|5|6|7|8|9|10|11|12"));
    EXPECT_EQ(f.size(), kRequestFields);
    EXPECT_EQ(f[10], q("10")); // text after the eleventh separator has no field
}

TEST(DisplayWidth, OneColumnForPrintableAsciiTwoForTheRest)
{
    EXPECT_EQ(displayWidth(QString()), 0);
    EXPECT_EQ(displayWidth(q("Kiwi fruit")), 10);
    EXPECT_EQ(displayWidth(q("苹果")), 4);
    EXPECT_EQ(displayWidth(q("ａ")), 2);      // full-width
    EXPECT_EQ(displayWidth(q("\t~")), 3);     // control character counts 2
    EXPECT_EQ(displayWidth(QString(QChar(127))), 2);
    EXPECT_EQ(displayWidth(q("😀")), 2);     // outside the BMP: one character
    EXPECT_EQ(charCount(q("😀a")), 2);
    EXPECT_EQ(charCount(q("苹果")), 2);
}

TEST(TransactionLine, MatchesTheFixedColumnLayout)
{
    const QString record = q("3|苹果|水果|2.5|10|25|24-06-15|进货|17");
    const QString line = makeTxLine(record);
    const QString expected = q("苹果") + QString(16, u' ') + q("|") + QString(7, u' ') + q("2.5|") +
                             QString(8, u' ') + q("10|") + QString(8, u' ') + q("25|24-06-15|进货|") +
                             QString(8, u' ') + q("17");
    EXPECT_EQ(line, expected);
    EXPECT_EQ(txLineToRequest(line), q("3|苹果|2.5|25|24-06-15|进货|17||"));

    // A 20-column name gets no filling; a 10-character date simply overflows its column.
    const QString wide = makeTxLine(q("3|一二三四五六七八九十|c|1|1|1|2024/12/25|出货|5"));
    EXPECT_TRUE(wide.startsWith(q("一二三四五六七八九十|")));
    EXPECT_TRUE(wide.contains(q("|2024/12/25|出货|")));
    EXPECT_EQ(txLineToRequest(wide), q("3|一二三四五六七八九十|1|1|2024/12/25|出货|5||"));
}

TEST(Dates, ReadYearMonthDayInSeveralForms)
{
    EXPECT_EQ(dateYYMMDD(q("03-5-6")), q("03-05-06"));
    EXPECT_EQ(dateYYMMDD(q("2003/5/6")), q("03-05-06"));
    EXPECT_EQ(dateYYMMDD(q("2003.05.06")), q("03-05-06"));
    EXPECT_EQ(dateYYMMDD(q(" 06-03-09 ")), q("06-03-09"));
    EXPECT_EQ(dateYYMMDD(q("99-12-31")), q("99-12-31"));
    EXPECT_EQ(readDate(q("29-1-1"))->year(), 2029);
    EXPECT_EQ(readDate(q("30-1-1"))->year(), 1930);
    EXPECT_EQ(dateYYMM(q("2024/6/15")), q("24-06"));
    EXPECT_EQ(dateYY(q("2024/6/15")), q("24"));
    EXPECT_TRUE(readDate(q("24-2-29")).has_value());
    for (const char *bad : {"24-2-30", "23-2-29", "2024/13/1", "abc", "", "2024-6/15", "2024/6",
                            "024/6/15", "20245/6/15", "2024/6/15x", "6/15/2024", "2024/0/1"})
        EXPECT_FALSE(readDate(q(bad)).has_value()) << bad;
    EXPECT_TRUE(dateYYMMDD(q("nonsense")).isNull());
}

TEST(Dates, ChineseYearMonthDayAsTypedByHand)
{
    EXPECT_EQ(dateYYMMDD(q("2026年12月1日")), q("26-12-01"));
    EXPECT_EQ(dateYYMMDD(q("26年12月1日")), q("26-12-01"));
    EXPECT_EQ(dateYYMMDD(q(" 2026年12月1 ")), q("26-12-01"));
    EXPECT_EQ(readDate(q("98年1月2日"))->year(), 1998);
    for (const char *bad : {"2026年12月", "2026年12-1", "2026-12月1日", "2026年12月1日日", "2026年2月30日",
                            "2026年12月1号", "十二月一日"})
        EXPECT_FALSE(readDate(q(bad)).has_value()) << bad;
}

TEST(Dates, TextsForTheDateBoxAndThePicker)
{
    EXPECT_EQ(currentDateText(QDate(2026, 12, 7)), q("2026/12/7"));
    EXPECT_EQ(pickedDateText(QDate(2003, 5, 6)), q("03-5-6"));
    EXPECT_EQ(pickedDateText(QDate(2027, 3, 5)), q("27-3-5"));
    EXPECT_EQ(pickedDateText(QDate(2026, 12, 25)), q("26-12-25"));
    // Both stored forms of one day normalise alike.
    EXPECT_EQ(dateYYMMDD(currentDateText(QDate(2003, 5, 6))), dateYYMMDD(pickedDateText(QDate(2003, 5, 6))));
}

TEST(Rnd, SameSequenceOnEveryRunWithinZeroAndOne)
{
    Rnd a, b;
    bool varied = false;
    float first = a.next();
    EXPECT_EQ(first, b.next());
    for (int i = 0; i < 10000; ++i) {
        const float x = a.next();
        ASSERT_EQ(x, b.next());
        ASSERT_GE(x, 0.0f);
        ASSERT_LT(x, 1.0f);
        varied = varied || x != first;
    }
    EXPECT_TRUE(varied);
}

TEST(TotalsLine, AverageHasTwoDecimalsRoundedHalfUp)
{
    EXPECT_EQ(totalsLine(5, 30.5), q("合计：数量和＝5个 总额和＝30.5元 价格平均＝6.1元（保留两位小数）"));
    EXPECT_TRUE(totalsLine(3, 10).endsWith(q("价格平均＝3.33元（保留两位小数）")));
    EXPECT_TRUE(totalsLine(3, 20).endsWith(q("价格平均＝6.67元（保留两位小数）")));
    EXPECT_TRUE(totalsLine(29999999997LL, 1).startsWith(q("合计：数量和＝29999999997个")));
}
