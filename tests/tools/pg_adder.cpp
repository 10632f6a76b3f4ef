// Another PC adding to a server ledger, for the reconnection test:
//   pg_adder CONNINFO NAME STOPFILE
// adds transactions NAME-1, NAME-2, ... through the store until STOPFILE exists, printing
// "ok NAME-n" for each add the server acknowledged and "failed NAME-n" for each that failed.
// An add that failed is never made again under the same name.
#include "ledger/server_store.h"

#include <QFileInfo>
#include <chrono>
#include <cstdio>
#include <thread>

int main(int argc, char **argv)
{
    if (argc != 4)
        return 2;
    const QString conninfo = QString::fromUtf8(argv[1]), name = QString::fromUtf8(argv[2]);
    const QString stop = QString::fromUtf8(argv[3]);
    std::unique_ptr<ledger::ServerStore> store = ledger::ServerStore::open(conninfo);
    for (int n = 1; !QFileInfo::exists(stop); ++n) {
        ledger::Record r;
        r.kind = ledger::kTransaction;
        r.name = QStringLiteral("%1-%2").arg(name).arg(n);
        r.cat = QStringLiteral("测试");
        r.qty = QStringLiteral("1");
        try {
            store->add(r);
            std::printf("ok %s\n", qPrintable(r.name));
        } catch (const ledger::StoreError &e) {
            std::printf("failed %s %s\n", qPrintable(r.name), qPrintable(e.reason()));
        }
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}
