#include "ledger/random.h"
#include "ledger/adding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace ledger;

TEST(TransactionNumber, FormulaAndRange)
{
    EXPECT_EQ(transactionNumber({0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f}, 2), 50000 + 5000 + 500 + 50 + 5 + 500 * 2);
    EXPECT_EQ(transactionNumber({0.f, 0.f, 0.f, 0.f, 0.f, 0.f}, 1000), 0);
    const float top = std::nextafter(1.0f, 0.0f);
    EXPECT_EQ(transactionNumber({top, top, top, top, top, top}, 2), 111105 + 999 * 2);
    // The row count multiplies only the fifth draw.
    EXPECT_EQ(transactionNumber({0.f, 0.f, 0.f, 0.f, 0.25f, 0.f}, 3), 750);
    EXPECT_EQ(transactionNumber({0.f, 0.f, 0.f, 0.f, 0.f, 0.25f}, 3), 25000);
}

TEST(TransactionNumber, SameSequenceInEveryRunAndInRange)
{
    auto run = [] {
        Rnd rnd;
        std::vector<qint64> numbers;
        for (qint64 n = 0; n < 200; ++n) {
            std::array<float, 6> d{};
            for (float &x : d) {
                x = rnd.next();
                EXPECT_GE(x, 0.0f);
                EXPECT_LT(x, 1.0f);
            }
            const qint64 number = transactionNumber(d, n);
            EXPECT_GE(number, 0);
            EXPECT_LE(number, 111105 + 999 * n);
            numbers.push_back(number);
        }
        return numbers;
    };
    const std::vector<qint64> first = run();
    EXPECT_EQ(first, run());
    // Not one number over and over.
    EXPECT_NE(first[0], first[1]);
}

TEST(Total, PriceTimesQuantityAsStored)
{
    EXPECT_EQ(totalText(QStringLiteral("2.5"), QStringLiteral("4")), QStringLiteral("10"));
    EXPECT_EQ(totalText(QStringLiteral("12.75"), QStringLiteral("3")), QStringLiteral("38.25"));
    EXPECT_EQ(totalText(QStringLiteral("1.2.3"), QStringLiteral("2")), QStringLiteral("2.4"));
    EXPECT_EQ(totalText(QStringLiteral("."), QStringLiteral("7")), QStringLiteral("0"));
    EXPECT_EQ(totalText(QStringLiteral("99999"), QStringLiteral("1000000")), QStringLiteral("99999000000"));
}
