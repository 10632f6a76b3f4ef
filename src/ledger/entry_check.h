// The check every typed name, price and quantity passes before it is stored.
#pragma once

#include <QString>
#include <QStringList>

namespace ledger {

struct EntryCheck {
    bool rejected = false;
    QStringList messages; // shown in this order, each titled "系统提示："
};

// field is the name shown to the user: "单价" selects the price rule, "数量" the quantity rule,
// anything else the name rule.
EntryCheck checkEntry(const QString &text, const QString &field);

} // namespace ledger
