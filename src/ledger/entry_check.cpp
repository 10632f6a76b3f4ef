#include "ledger/entry_check.h"

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

} // namespace ledger
