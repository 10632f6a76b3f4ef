#include "ledger/entry_check.h"

#include "ledger/adding.h"
#include "ledger/text.h"

namespace ledger {

EntryCheck checkEntry(const QString &text, const QString &field)
{
    EntryCheck out;
    if (text.isEmpty()) {
        out.rejected = true;
        out.messages << field + QStringLiteral("不能为空！");
        return out;
    }
    const int length = charCount(text);
    if (length > 20) {
        out.rejected = true;
        out.messages << field + QStringLiteral("输入过长！");
        return out;
    }
    if (length > 10) {
        out.rejected = true;
        out.messages << field + QStringLiteral("输入过长！");
    }
    const bool price = field == QStringLiteral("单价");
    const bool quantity = field == QStringLiteral("数量");
    int error = 0;
    for (QChar c : text) {
        const bool digit = c >= u'0' && c <= u'9';
        if (price && !digit && c != u'.')
            error = 2;
        if (quantity && !digit)
            error = 2;
        if (c == u'|')
            error = 1;
    }
    if (error == 1) {
        out.rejected = true;
        out.messages << field + QStringLiteral("中不能含有“|”竖线系统默认分隔符！");
    } else if (error == 2) {
        out.rejected = true;
        out.messages << field + QStringLiteral("填写不标准！");
    }
    return out;
}

QString checkTransactionTarget(const QString &category, const QString &product, const QString &readError)
{
    if (category.isEmpty())
        return QStringLiteral("请选择类名！");
    if (product.isEmpty())
        return QStringLiteral("请选择商品名！");
    return readError;
}

TransactionCheck checkTransactionValues(const QString &price, const QString &quantity, const QString &date)
{
    TransactionCheck out;
    const auto refuse = [&out](const QString &message, const QString &field) {
        out.rejected = true;
        out.messages << message;
        out.field = field;
        return out;
    };
    for (const QString &field : {QStringLiteral("单价"), QStringLiteral("数量")}) {
        const EntryCheck typed = checkEntry(field == QStringLiteral("单价") ? price : quantity, field);
        out.messages << typed.messages;
        if (typed.rejected) {
            out.rejected = true;
            out.clearField = field;
            out.field = field;
            return out;
        }
    }
    if (charCount(date) > 20)
        return refuse(QStringLiteral("日期输入过长！"), QStringLiteral("日期"));
    if (date.contains(kSep))
        return refuse(QStringLiteral("日期中不能含有“|”竖线系统默认分隔符！"), QStringLiteral("日期"));
    out.total = totalText(price, quantity);
    if (charCount(out.total) > 10)
        return refuse(QStringLiteral("总额位数过长请减少数量！"), QStringLiteral("数量"));
    return out;
}

} // namespace ledger
