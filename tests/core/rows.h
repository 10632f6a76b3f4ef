// Ledger rows for the core tests.
#pragma once

#include "ledger/store.h"

#include <QByteArray>
#include <QFile>
#include <QString>

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
