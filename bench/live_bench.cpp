// What seeing another PC's add costs on a server ledger: the rows of the generated ledger carried
// to a fresh database of a local server (BENCH_PG_DIR: a folder of tests/support/pg_server.sh),
// two stores on it, and the work the one does to take in an add by the other: the catch-up
// alone, and with the main window listing again with the place kept (an add to the chosen
// product, and to another one).
#include "bench.h"

#include "ledger/facts.h"
#include "ledger/pg_db.h"
#include "ledger/server_store.h"
#include "mainwin/form1.h"

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <algorithm>
#include <functional>
#include <unistd.h>

using namespace ledger;

namespace bench {

namespace {

QString conninfoIn(const QString &dir, const char *role)
{
    QFile f(dir + QStringLiteral("/conninfo") + QString::fromLatin1(role));
    if (!f.open(QIODevice::ReadOnly))
        die(QStringLiteral("no server in %1 (start one with tests/support/pg_server.sh start DIR)").arg(dir));
    return QString::fromUtf8(f.readAll()).trimmed();
}

} // namespace

void timeLiveChanges(Store &file)
{
    const QString dir = qEnvironmentVariable("BENCH_PG_DIR");
    pgdb::Connection admin(conninfoIn(dir, ".admin"));
    const QString name = QStringLiteral("bench_live_%1").arg(::getpid());
    admin.exec(QStringLiteral("CREATE DATABASE %1 OWNER shop").arg(name).toUtf8().constData());
    const QString conninfo = conninfoIn(dir, "") + QStringLiteral(" dbname=") + name;
    {
        ServerStore::createLedger(conninfo, file.rows());
        auto mine = ServerStore::open(conninfo);
        auto theirs = ServerStore::open(conninfo);
        mine->facts();
        const Record r{0, true, kTransaction, QStringLiteral("bench商品"), QStringLiteral("bench类"), QStringLiteral("12.5"),
                       QStringLiteral("4"), QStringLiteral("50"), QStringLiteral("2026-01-01"), kIn,
                       QStringLiteral("12345678")};
        const auto before = static_cast<qint64>(mine->rows().size());
        // Each run: their add (not timed), then ours.
        std::vector<double> store, facts;
        for (int i = 0; i < 7; ++i) {
            theirs->add(r);
            QElapsedTimer own;
            own.start();
            mine->rows();
            store.push_back(msSince(own));
            own.start();
            mine->facts();
            facts.push_back(msSince(own));
        }
        std::sort(store.begin(), store.end());
        std::sort(facts.begin(), facts.end());
        check(mine->rows().size() == static_cast<std::size_t>(before + 7), "every add taken in");
        check(mine->rows().back().sameContent(r), "the add taken in as stored");
        row(QStringLiteral("another PC's add taken in by the store (catch-up)"), Timing{store[3], false}, std::nullopt,
            std::nullopt);
        row(QStringLiteral("… and the analyses' facts brought up to date"), Timing{facts[3], false}, std::nullopt,
            std::nullopt);

        // The main window on the server ledger, a category and product chosen, listing again.
        const Record chosen = [&] {
            for (auto it = mine->rows().crbegin(); it != mine->rows().crend(); ++it)
                if (it->isKind(kTransaction) && it->cat != r.cat)
                    return *it;
            die(QStringLiteral("no transaction"));
        }();
        Form1 w(std::move(mine));
        w.Form_Activate();
        w.List1->setCurrentItem(w.List1->findItems(chosen.cat, Qt::MatchExactly).constFirst());
        w.List2->setCurrentItem(w.List2->findItems(chosen.name, Qt::MatchExactly).constFirst());
        // Median of 7 rounds of their add of added(), then ours taking it in and listing.
        const auto timeShown = [&](const std::function<Record()> &added) {
            std::vector<double> shown;
            for (int i = 0; i < 7; ++i) {
                theirs->add(added());
                QElapsedTimer own;
                own.start();
                w.store()->rows();
                w.relist();
                shown.push_back(msSince(own));
            }
            std::sort(shown.begin(), shown.end());
            return shown[3];
        };
        w.relist(); // the listing the next ones carry on
        const double toChosen = timeShown([&] { return chosen; });
        check(w.List2->currentItem() && w.List2->currentItem()->text() == chosen.name, "the product still chosen");
        const int lines = w.List3->count();
        const QString status = w.Label5->text();
        const double toOther = timeShown([&] { return r; });
        check(w.List3->count() == lines, "another product's add not listed");
        w.List2_Click();
        check(w.List3->count() == lines && w.Label5->text() == status, "the lines and totals of a fresh listing");
        row(QStringLiteral("another PC's add to the chosen product shown (catch-up, main window listed again)"),
            Timing{toChosen, false}, std::nullopt, std::nullopt, lines);
        row(QStringLiteral("another PC's add to another product taken in (catch-up, nothing to list)"),
            Timing{toOther, false}, std::nullopt, std::nullopt);
    }
    admin.exec(QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(name).toUtf8().constData());
}

} // namespace bench
