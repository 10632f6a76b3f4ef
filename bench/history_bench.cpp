// What the record of changes costs: an add with its entry against an add to a ledger without
// the record (as before it existed), opening with and without it, and deleting a category of
// 10^5 records and putting it back.
#include "bench.h"

#include "ledger/columns.h"
#include "ledger/file_store.h"
#include "ledger/history.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <chrono>
#include <sqlite3.h>

using namespace ledger;

namespace bench {

namespace {

bool sameRows(const std::vector<Record> &a, const std::vector<Record> &b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].id != b[i].id || !a[i].sameContent(b[i]))
            return false;
    return true;
}

// Adds to the ledgers in turn, rounds times each, so that a change of the machine's load meets
// them alike; the medians of each ledger's adds, which are deleted again afterwards.
std::vector<Timing> timeAddsInTurn(const std::vector<Store *> &stores, int rounds = 41)
{
    const QString category = QStringLiteral("bench加");
    const Record r{0, true, kTransaction, QStringLiteral("bench商品"), category, QStringLiteral("12.5"),
                   QStringLiteral("4"), QStringLiteral("50"), QStringLiteral("2026-01-01"), kIn,
                   QStringLiteral("12345678")};
    std::vector<std::vector<double>> times(stores.size());
    for (int i = 0; i < rounds; ++i)
        for (std::size_t s = 0; s < stores.size(); ++s) {
            const auto start = std::chrono::steady_clock::now();
            stores[s]->add(r);
            times[s].push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
    std::vector<Timing> medians(stores.size());
    for (std::size_t s = 0; s < stores.size(); ++s) {
        stores[s]->removeWhere([&](const Record &x) { return x.cat == category; });
        std::nth_element(times[s].begin(), times[s].begin() + rounds / 2, times[s].end());
        medians[s].ms = times[s][static_cast<std::size_t>(rounds / 2)];
    }
    return medians;
}

} // namespace

void timeHistory(Store &store, const QString &legacyMaster)
{
    // The generated ledger as it was before the record of changes: opened for reading, it is not
    // upgraded, and adds to it write no entries.
    const QString legacy = QDir::current().absoluteFilePath(QStringLiteral("legacy.mdb"));
    QFile::remove(legacy);
    QFile::copy(legacyMaster, legacy);
    const Timing openLegacy = median([&] { FileStore::open(legacy, Store::kLockWait, FileStore::Purpose::Reading)->rows(); }, 3);
    const Timing openNow = median([&] { FileStore::open(QStringLiteral("1.mdb"))->rows(); }, 3);
    row(QStringLiteral("open, store alone: ledger without the record of changes"), openLegacy, std::nullopt, std::nullopt);
    row(QStringLiteral("open, store alone: ledger with the record of changes"), openNow, std::nullopt, std::nullopt);
    {
        // The same older ledger with the index on 标号 that a ledger opened for work gets: the
        // part of the add's cost that is the index's, not the record's.
        const QString indexed = QDir::current().absoluteFilePath(QStringLiteral("indexed.mdb"));
        QFile::remove(indexed);
        QFile::copy(legacyMaster, indexed);
        auto old = FileStore::open(legacy, Store::kLockWait, FileStore::Purpose::Reading);
        auto withIndex = FileStore::open(indexed, Store::kLockWait, FileStore::Purpose::Reading);
        check(sqlite3_exec(withIndex->handle(), createKindIndexSql(), nullptr, nullptr, nullptr) == SQLITE_OK,
              "the index made");
        const std::vector<Timing> adds = timeAddsInTurn({old.get(), withIndex.get(), &store});
        row(QStringLiteral("add one transaction (committed), without the record of changes"), adds[0], std::nullopt,
            std::nullopt);
        row(QStringLiteral("add one transaction (committed), without the record, with the index on 标号"), adds[1],
            std::nullopt, std::nullopt);
        row(QStringLiteral("add one transaction (committed), with its entry"), adds[2], std::nullopt, std::nullopt);
        withIndex.reset();
        QFile::remove(indexed);
    }
    QFile::remove(legacy);

    // A category of 10^5 records at the end of the ledger, deleted and put back.
    const QString cat = QStringLiteral("bench回收");
    std::vector<Record> added;
    added.push_back({0, true, kCategory, cat, QString(), QString(), QString(), QString(), QString(), kIn, QString()});
    added.push_back({0, true, kProduct, QStringLiteral("bench品"), cat, QString(), QString(), QString(), QString(), QString(), QString()});
    for (int i = 0; i < 100000; ++i)
        added.push_back({0, true, kTransaction, QStringLiteral("bench品"), cat, QStringLiteral("3"), QString::number(i % 7 + 1),
                         QString::number(3 * (i % 7 + 1)), QStringLiteral("2026-02-03"), i % 3 ? kOut : kIn,
                         QString::number(10000000 + i)});
    store.addAll(added);
    const std::vector<Record> before = store.rows();
    const Timing del = median([&] {
        store.removeWhere([&](const Record &r) { return r.cat == cat || (r.isKind(kCategory) && r.name == cat); });
    }, 1);
    check(store.count() == static_cast<qint64>(before.size() - added.size()), "the category deleted");
    const qint64 entry = store.deletions().front().number;
    const Timing restore = median([&] { store.restoreDeletion(entry); }, 1);
    check(sameRows(store.rows(), before), "the category put back as it was");
    row(QStringLiteral("delete a category of 10^5 records (committed, rows kept)"), del, std::nullopt, std::nullopt,
        static_cast<qint64>(added.size()));
    row(QStringLiteral("put that deletion back (committed)"), restore, std::nullopt, std::nullopt,
        static_cast<qint64>(added.size()));
    store.removeWhere([&](const Record &r) { return r.cat == cat || (r.isKind(kCategory) && r.name == cat); });
    store.clearDeletions();
}

} // namespace bench
