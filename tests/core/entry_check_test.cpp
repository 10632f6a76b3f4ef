#include "ledger/entry_check.h"
#include "rows.h"

#include <gtest/gtest.h>

using namespace ledger;

namespace {
QStringList msgs(const char *text, const char *field) { return checkEntry(q(text), q(field)).messages; }
} // namespace

TEST(EntryCheck, LengthRules)
{
    EXPECT_EQ(msgs("", "类"), QStringList{q("类不能为空！")});
    EXPECT_FALSE(checkEntry(q("0123456789"), q("数量")).rejected);
    EXPECT_EQ(msgs("01234567890", "数量"), QStringList{q("数量输入过长！")});
    EXPECT_TRUE(checkEntry(q("01234567890"), q("数量")).rejected);
    EXPECT_EQ(msgs("0123456789|", "数量"),
              (QStringList{q("数量输入过长！"), q("数量中不能含有“|”竖线系统默认分隔符！")}));
    EXPECT_EQ(msgs("012345678901234567890", "数量"), QStringList{q("数量输入过长！")});
    // Characters, not bytes: ten Chinese characters pass.
    EXPECT_FALSE(checkEntry(q("一二三四五六七八九十"), q("商品名")).rejected);
}

TEST(EntryCheck, PriceAndQuantityCharacters)
{
    for (const char *ok : {"12.5", "1.2.3", ".", "007"})
        EXPECT_FALSE(checkEntry(q(ok), q("单价")).rejected) << ok;
    EXPECT_EQ(msgs("12元", "单价"), QStringList{q("单价填写不标准！")});
    EXPECT_EQ(msgs(" 12", "单价"), QStringList{q("单价填写不标准！")});
    EXPECT_EQ(msgs("１２", "单价"), QStringList{q("单价填写不标准！")});
    EXPECT_EQ(msgs("3.5", "数量"), QStringList{q("数量填写不标准！")});
    EXPECT_EQ(msgs("-3", "数量"), QStringList{q("数量填写不标准！")});
    // The last offending character decides.
    EXPECT_EQ(msgs("1|2", "数量"), QStringList{q("数量中不能含有“|”竖线系统默认分隔符！")});
    EXPECT_EQ(msgs("1|a", "数量"), QStringList{q("数量填写不标准！")});
}

TEST(EntryCheck, NamesOnlyRefuseTheSeparator)
{
    EXPECT_FALSE(checkEntry(q("A.B"), q("类")).rejected);
    EXPECT_FALSE(checkEntry(q("'; DROP"), q("类")).rejected);
    EXPECT_EQ(msgs("a|b", "类"), QStringList{q("类中不能含有“|”竖线系统默认分隔符！")});
    EXPECT_EQ(msgs("", ""), QStringList{q("不能为空！")});
}

TEST(EntryCheck, NewTransactionChecksInOrder)
{
    const QString none;
    EXPECT_EQ(checkTransactionTarget(none, none, QStringLiteral("read")), QStringLiteral("请选择类名！"));
    EXPECT_EQ(checkTransactionTarget(QStringLiteral("A"), none, QStringLiteral("read")), QStringLiteral("请选择商品名！"));
    EXPECT_EQ(checkTransactionTarget(QStringLiteral("A"), QStringLiteral("p"), QStringLiteral("read")), QStringLiteral("read"));
    EXPECT_TRUE(checkTransactionTarget(QStringLiteral("A"), QStringLiteral("p"), none).isNull());

    // The price before the quantity, each emptying its own box.
    TransactionCheck c = checkTransactionValues(QString(), QString(), QStringLiteral("24-1-1"));
    EXPECT_TRUE(c.rejected);
    EXPECT_EQ(c.messages, QStringList{QStringLiteral("单价不能为空！")});
    EXPECT_EQ(c.clearField, QStringLiteral("单价"));
    c = checkTransactionValues(QStringLiteral("2"), QString(), QStringLiteral("24-1-1"));
    EXPECT_EQ(c.clearField, QStringLiteral("数量"));
    EXPECT_EQ(c.field, QStringLiteral("数量"));
    // Then the date, before the total; these keep every box's text.
    c = checkTransactionValues(QStringLiteral("999999"), QStringLiteral("99999"), QString(21, u'1'));
    EXPECT_EQ(c.messages, QStringList{QStringLiteral("日期输入过长！")});
    EXPECT_TRUE(c.clearField.isEmpty());
    EXPECT_EQ(c.field, QStringLiteral("日期"));
    c = checkTransactionValues(QStringLiteral("999999"), QStringLiteral("99999"), QStringLiteral("24|1"));
    EXPECT_EQ(c.messages, QStringList{QStringLiteral("日期中不能含有“|”竖线系统默认分隔符！")});
    EXPECT_EQ(c.field, QStringLiteral("日期"));
    c = checkTransactionValues(QStringLiteral("999999"), QStringLiteral("99999"), QStringLiteral("24-1-1"));
    EXPECT_EQ(c.messages, QStringList{QStringLiteral("总额位数过长请减少数量！")});
    EXPECT_EQ(c.field, QStringLiteral("数量")); // it asks for a smaller quantity
    c = checkTransactionValues(QStringLiteral("2.5"), QStringLiteral("4"), QStringLiteral("24-1-1"));
    EXPECT_FALSE(c.rejected);
    EXPECT_TRUE(c.messages.isEmpty());
    EXPECT_EQ(c.total, QStringLiteral("10"));
}
