// The generated ledger on a PostgreSQL server: the server's database for it, and opening it
// against opening the same ledger as a file.
#include "bench.h"

#include "ledger/columns.h"
#include "ledger/file_store.h"
#include "ledger/pg_db.h"
#include "ledger/server_store.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

using namespace ledger;

namespace bench {

QString g_rowPrefix;

namespace {

QString firstLine(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        die(QStringLiteral("cannot read %1").arg(path));
    return QString::fromUtf8(f.readLine()).trimmed();
}

// BENCH_PG_CONNINFO, or a database bench_<records> of the server whose connection strings
// tests/support/pg_server.sh wrote to WAREHOUSE_PG_DIR, made on first use.
QString serverConninfo()
{
    const QString given = qEnvironmentVariable("BENCH_PG_CONNINFO");
    if (!given.isEmpty())
        return given;
    const QString dir = qEnvironmentVariable("WAREHOUSE_PG_DIR");
    if (dir.isEmpty())
        die(QStringLiteral("BENCH_SERVER_ONLY needs WAREHOUSE_PG_DIR or BENCH_PG_CONNINFO"));
    const QString name = QStringLiteral("bench_%1").arg(g_size); // digits only: no quoting needed
    pgdb::Connection admin(firstLine(dir + QStringLiteral("/conninfo.admin")));
    if (admin.exec("SELECT 1 FROM pg_database WHERE datname = $1", {name}).rows() == 0)
        admin.exec(QStringLiteral("CREATE DATABASE %1 OWNER shop").arg(name).toUtf8().constData());
    return firstLine(dir + QStringLiteral("/conninfo")) + QStringLiteral(" dbname=") + name;
}

// COPY of every row, as the server store reads them.
const std::string &copySql()
{
    static const std::string sql = "COPY (SELECT id, " + columnListSql() + " FROM \"库\" ORDER BY id) TO STDOUT";
    return sql;
}

Timing medianOf(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], false};
}

QString listed(const std::vector<double> &times)
{
    QStringList out;
    for (const double t : times)
        out << QString::number(t, 'f', 0);
    return out.join(QStringLiteral(", "));
}

} // namespace

QString serverLedgerFor(const std::vector<Record> &rows)
{
    const QString conninfo = serverConninfo();
    if (!ServerStore::holdsLedger(conninfo)) {
        QElapsedTimer t;
        t.start();
        ServerStore::createLedger(conninfo, rows);
        std::fprintf(stderr, "moved %zu records to the server in %.1f s\n", rows.size(), msSince(t) / 1000);
    }
    return conninfo;
}

std::pair<Timing, Timing> alternating(const QString &op, int runs, const std::function<void()> &onFile,
                                      const std::function<void()> &onServer)
{
    std::vector<double> file, server;
    for (int i = 0; i < runs; ++i) {
        // Each goes first every other time: neither pays for the other's leftovers more often.
        for (const bool fileFirst : {i % 2 == 0, i % 2 != 0}) {
            QElapsedTimer t;
            t.start();
            (fileFirst ? onFile : onServer)();
            (fileFirst ? file : server).push_back(msSince(t));
        }
    }
    std::fprintf(stderr, "%s, file: %s ms; server: %s ms\n", op.toUtf8().constData(), listed(file).toUtf8().constData(),
                 listed(server).toUtf8().constData());
    return {medianOf(file), medianOf(server)};
}

void timeAlternating(const QString &op, int runs, const std::function<void()> &onFile,
                     const std::function<void()> &onServer, qint64 lines)
{
    const auto [file, server] = alternating(op, runs, onFile, onServer);
    row(op + QStringLiteral(", alternating: file"), file, std::nullopt, std::nullopt, lines);
    row(op + QStringLiteral(", alternating: server"), server, std::nullopt, std::nullopt, lines);
}

void timeServerOpen(const QString &conninfo)
{
    std::size_t fileRows = 0, serverRows = 0;
    const auto [file, server] = alternating(
        QStringLiteral("open"), 5, [&] { fileRows = FileStore::open(QStringLiteral("1.mdb"))->rows().size(); },
        [&] { serverRows = ServerStore::open(conninfo)->rows().size(); });
    check(fileRows == serverRows, "server: as many rows as the file");

    // References: every row taken off the connection without making records, and records made one
    // by one on this thread, each field converted on its own.
    pgdb::Connection c(conninfo);
    const auto copyOnly = ref([&] {
        std::size_t n = 0;
        c.copyOut(copySql().c_str(), [&](const pgdb::CopyRow &) { ++n; });
        check(n == serverRows, "server: COPY of every row");
    }, 3);
    const auto oneByOne = ref([&] {
        std::vector<Record> rows;
        c.copyOut(copySql().c_str(), [&](const pgdb::CopyRow &row) {
            Record &r = rows.emplace_back();
            r.id = row.text(0).toLongLong();
            r.hasKind = !row.isNull(1);
            r.kind = row.text(1).toInt();
            for (std::size_t i = 0; i < kTextColumns.size(); ++i)
                r.*kTextColumns[i].field = row.text(static_cast<int>(i) + 2);
        });
        check(rows.size() == serverRows, "server: records one by one");
    }, 3);
    row(QStringLiteral("open, store alone: file (FileStore::open, every row)"), file, std::nullopt,
        std::nullopt, static_cast<qint64>(fileRows));
    row(QStringLiteral("open, store alone: server (ServerStore::open, every row by COPY)"), server, oneByOne,
        copyOnly, static_cast<qint64>(serverRows));
}

} // namespace bench
