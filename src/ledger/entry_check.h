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

// Before a transaction is added, first its target: a category and a product chosen and the
// ledger readable (readError null when it was). The one message to show, or null to go on.
QString checkTransactionTarget(const QString &category, const QString &product, const QString &readError);

struct TransactionCheck {
    bool rejected = false;
    QStringList messages; // shown in this order
    QString clearField;   // the field whose box is emptied on refusal ("单价", "数量"), or empty
    QString field;        // the field the refusal is about ("单价", "数量", "日期"), or empty
    QString total;        // the total to store, once accepted
};

// Then the typed values, in this order: price, quantity, the date's length (it goes into a
// 20-character column) and separator (it goes into a "|"-separated request), the total's length.
TransactionCheck checkTransactionValues(const QString &price, const QString &quantity, const QString &date);

} // namespace ledger
