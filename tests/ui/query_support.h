// Ledger set-up shared by the find and calculation window tests.
#pragma once

#include "support_main.h"

#include <QRadioButton>
#include <QTest>

// Stores a record the way the adding buttons do; transactions go in the given direction.
inline void addRecord(Form1 &w, const QString &request, bool stockOut = false)
{
    (stockOut ? w.Option2 : w.Option1)->setChecked(true);
    QCOMPARE(w.axd(request, 0), 0);
    w.Option1->setChecked(true);
}

// The transaction lines a search or browse would show for these rows, with their records.
inline QStringList linesOf(Form1 &w, const std::vector<ledger::Record> &records)
{
    QStringList lines;
    for (const ledger::Record &r : records)
        lines << w.jkg(ledger::recordText(r), 0);
    return lines;
}
