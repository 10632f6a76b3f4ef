// Ledger rows for the core tests.
#pragma once

#include "ledger/store.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <vector>

inline QString q(const char *utf8) { return QString::fromUtf8(utf8); }

// A file's bytes, empty when it cannot be read.
inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline ledger::Record category(const QString &name)
{
    ledger::Record r;
    r.kind = ledger::kCategory;
    r.name = name;
    r.method = QStringLiteral("进货");
    return r;
}

inline ledger::Record product(const QString &name, const QString &cat)
{
    ledger::Record r = category(name);
    r.kind = ledger::kProduct;
    r.cat = cat;
    return r;
}

// A stock movement with every field given.
inline ledger::Record transaction(const QString &name, const QString &cat, const QString &price, const QString &qty,
                                  const QString &total, const QString &date, const QString &method,
                                  const QString &txno)
{
    ledger::Record r;
    r.kind = ledger::kTransaction;
    r.name = name;
    r.cat = cat;
    r.price = price;
    r.qty = qty;
    r.total = total;
    r.date = date;
    r.method = method;
    r.txno = txno;
    return r;
}

inline ledger::Record tx(const QString &name, const QString &cat, const QString &method, const QString &qty,
                         const QString &total, const QString &date, const QString &price = QStringLiteral("1"))
{
    return transaction(name, cat, price, qty, total, date, method, QStringLiteral("7"));
}

// A ledger of two categories, their products and transactions, for the record of changes; 价格
// of one row null, of another empty, so that a restore must keep them apart.
inline std::vector<ledger::Record> historyRows()
{
    return {category(q("零食")), product(q("薯片"), q("零食")), category(q("饮料")), product(q("可乐"), q("饮料")),
            product(q("饼干"), q("零食")), tx(q("薯片"), q("零食"), q("进货"), q("5"), q("10"), q("2024/6/1")),
            tx(q("可乐"), q("饮料"), q("出货"), q("2"), q("6"), q("2024/6/2")),
            tx(q("饼干"), q("零食"), q("进货"), q("3"), q(""), q("2024/6/3"), QString()),
            tx(q("薯片"), q("零食"), q("出货"), q("1"), q("2"), q("2024/6/4"))};
}
