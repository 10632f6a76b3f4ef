// The generated Jet ledgers of tests/data/jet/generated and the rows each must yield
// (written next to them by tests/jet/make_jet_ledgers.py).
#pragma once

#include "ledger/store.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <vector>

inline QString jetData(const QString &name) { return QStringLiteral(JET_DATA "/") + name; }

inline QString generatedJet(const QString &stem) { return jetData(QStringLiteral("generated/%1.mdb").arg(stem)); }

inline std::vector<ledger::Record> expectedJetRows(const QString &stem)
{
    std::vector<ledger::Record> rows;
    QFile f(jetData(QStringLiteral("generated/%1.rows.jsonl").arg(stem)));
    if (!f.open(QIODevice::ReadOnly))
        return rows;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonArray a = QJsonDocument::fromJson(line).array();
        ledger::Record r;
        r.hasKind = !a[0].isNull();
        r.kind = a[0].toInt();
        QString *texts[] = {&r.name, &r.cat, &r.price, &r.qty, &r.total, &r.date, &r.method, &r.txno};
        for (int i = 0; i < 8; ++i) {
            if (a[i + 1].isNull())
                continue;
            *texts[i] = a[i + 1].toString();
            if (texts[i]->isNull())
                *texts[i] = QStringLiteral(""); // empty, not null
        }
        rows.push_back(r);
    }
    return rows;
}

inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
