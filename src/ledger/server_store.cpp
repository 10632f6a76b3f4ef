#include "ledger/server_store.h"

#include "ledger/columns.h"
#include "ledger/facts.h"
#include "ledger/history.h"

#include <QCryptographicHash>
#include <QSet>
#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <string>

namespace ledger {

namespace {

using pgdb::Connection;
using pgdb::Failure;
using pgdb::Transaction;

std::string quoted(const Column &c) { return '"' + std::string(c.name) + '"'; }

std::string columnList()
{
    std::string out;
    for (const Column &c : kColumns)
        out += (out.empty() ? "" : ", ") + quoted(c);
    return out;
}

// The ledger's tables, the nine columns with the widths and checks of the file's table.
std::vector<std::string> createStatements()
{
    std::string ledger = "CREATE TABLE \"库\" (id bigserial PRIMARY KEY";
    for (const Column &c : kColumns) {
        const std::string q = quoted(c);
        if (!c.field) {
            ledger += ", " + q + " smallint";
            continue;
        }
        const std::string w = std::to_string(c.width);
        ledger += ", " + q + " varchar(" + w + ") CHECK (length(" + q + ") <= " + w + ")";
    }
    ledger += ")";
    return {
        ledger,
        "CREATE TABLE \"账本版本\" (n bigint NOT NULL)",
        "INSERT INTO \"账本版本\" VALUES (0)",
        "CREATE TABLE \"条码\" (\"序\" bigserial, \"条码\" text PRIMARY KEY CHECK (length(\"条码\") BETWEEN 1 AND 64),"
        " \"类\" text NOT NULL, \"商品名\" text NOT NULL)",
        "CREATE TABLE \"盘点\" (\"编号\" bigserial PRIMARY KEY, \"时间\" text NOT NULL, \"计算机\" text)",
        "CREATE TABLE \"盘点明细\" (\"序\" bigserial PRIMARY KEY, \"盘点\" bigint NOT NULL, \"类\" text, \"商品名\" text,"
        " \"账面\" bigint, \"实盘\" bigint, \"记录\" bigint, \"交易号码\" text)",
    };
}

const char *copyOutSql()
{
    static const std::string sql = "COPY (SELECT id, " + columnList() + " FROM \"库\" ORDER BY id) TO STDOUT";
    return sql.c_str();
}

const char *copyInSql()
{
    static const std::string sql = "COPY \"库\" (" + columnList() + ") FROM STDIN";
    return sql.c_str();
}

const char *insertReturningSql()
{
    static const std::string sql = [] {
        std::string marks;
        for (std::size_t i = 1; i <= std::size(kColumns); ++i)
            marks += (i == 1 ? "$" : ", $") + std::to_string(i);
        return "INSERT INTO \"库\" (" + columnList() + ") VALUES (" + marks + ") RETURNING id";
    }();
    return sql.c_str();
}

std::vector<QString> recordParams(const Record &r)
{
    std::vector<QString> params{r.hasKind ? QString::number(r.kind) : QString()};
    for (const Column &c : kTextColumns)
        params.push_back(r.*c.field);
    return params;
}

qint64 toNumber(std::string_view bytes)
{
    qint64 n = 0;
    std::from_chars(bytes.data(), bytes.data() + bytes.size(), n);
    return n;
}

QString number(qint64 n) { return QString::number(n); }

QString productKey(const QString &category, const QString &name) { return category + QChar(0x1f) + name; }

// What is wrong with the ledger table's columns, or an empty text.
QString shapeProblem(Connection &db)
{
    const pgdb::Result cols = db.exec(
        "SELECT table_name::text, column_name::text, data_type::text, coalesce(character_maximum_length, 0) "
        "FROM information_schema.columns WHERE table_schema = current_schema() AND table_name IN ($1, $2)",
        {QStringLiteral("库"), QStringLiteral("账本版本")});
    QHash<QString, QPair<QString, qint64>> found;
    for (int i = 0; i < cols.rows(); ++i)
        found.insert(cols.text(i, 0) + u'.' + cols.text(i, 1), {cols.text(i, 2), cols.number(i, 3)});
    auto expect = [&](const QString &table, const QString &column, const QString &type, qint64 width) {
        const auto it = found.constFind(table + u'.' + column);
        if (it == found.cend())
            return QStringLiteral("表“%1”缺少字段“%2”").arg(table, column);
        if (it->first != type || it->second != width)
            return QStringLiteral("表“%1”的字段“%2”类型不符").arg(table, column);
        return QString();
    };
    QString why = expect(QStringLiteral("库"), QStringLiteral("id"), QStringLiteral("bigint"), 0);
    for (const Column &c : kColumns)
        if (why.isEmpty())
            why = c.field ? expect(QStringLiteral("库"), columnName(c), QStringLiteral("character varying"), c.width)
                          : expect(QStringLiteral("库"), columnName(c), QStringLiteral("smallint"), 0);
    if (why.isEmpty())
        why = expect(QStringLiteral("账本版本"), QStringLiteral("n"), QStringLiteral("bigint"), 0);
    for (const char *table : {"条码", "盘点", "盘点明细"})
        if (why.isEmpty() && db.exec("SELECT to_regclass(quote_ident($1))", {QString::fromUtf8(table)}).isNull(0, 0))
            why = QStringLiteral("缺少表“%1”").arg(QString::fromUtf8(table));
    return why;
}

StoreError fromFailure(StoreError::Kind what, const Failure &f)
{
    // Another PC holds the writers' turn longer than the lock wait.
    if (f.sqlState() == QLatin1String("55P03"))
        return StoreError::onServer(what, f.server(), QStringLiteral("账本正被其他计算机修改，请稍后再试"));
    return StoreError::onServer(what, f.server(), f.reason());
}

std::unique_ptr<Connection> connectTo(const QString &conninfo, const QString &password, StoreError::Kind what)
{
    try {
        return std::make_unique<Connection>(conninfo, password);
    } catch (const Failure &f) {
        throw fromFailure(what, f);
    }
}

bool hasLedgerTable(Connection &db)
{
    return !db.exec("SELECT to_regclass(quote_ident($1))", {QStringLiteral("库")}).isNull(0, 0);
}

} // namespace

template <class F> auto ServerStore::guarded(StoreError::Kind what, F &&action) -> decltype(action())
{
    try {
        return action();
    } catch (const Failure &f) {
        m_loaded = false;
        throw fromFailure(what, f);
    } catch (...) {
        m_loaded = false;
        throw;
    }
}

void ServerStore::createTables(const QString &conninfo, const QString &password)
{
    createLedger(conninfo, {}, password);
}

QByteArray ServerStore::checksum(const std::vector<Record> &rows)
{
    QCryptographicHash hash(QCryptographicHash::Md5);
    const auto field = [&](const QString &text) {
        if (text.isNull()) {
            hash.addData(QByteArrayView("n"));
            return;
        }
        const QByteArray bytes = text.toUtf8();
        hash.addData(QByteArray("t") + QByteArray::number(bytes.size()) + ':');
        hash.addData(bytes);
    };
    bool first = true;
    for (const Record &r : rows) {
        if (!first)
            hash.addData(QByteArrayView("\n"));
        first = false;
        field(r.hasKind ? QString::number(r.kind) : QString());
        for (const Column &c : kTextColumns)
            field(r.*c.field);
    }
    return hash.result().toHex();
}

namespace {

// checksum() computed by the server over its table.
QByteArray serverChecksum(Connection &db)
{
    static const std::string sql = [] {
        std::string row;
        for (const Column &c : kColumns) {
            const std::string q = quoted(c) + "::text";
            row += (row.empty() ? "" : " || ") + ("coalesce('t' || octet_length(" + q + ") || ':' || " + q + ", 'n')");
        }
        return "SELECT md5(coalesce(string_agg(" + row + ", E'\\n' ORDER BY id), '')) FROM \"库\"";
    }();
    return db.exec(sql.c_str()).text(0, 0).toLatin1();
}

} // namespace

QByteArray ServerStore::storedChecksum()
{
    return guarded(StoreError::Kind::Read, [&] { return serverChecksum(*m_db); });
}

void ServerStore::createLedger(const QString &conninfo, const std::vector<Record> &rows, const QString &password,
                               const std::function<void()> &beforeCommit)
{
    const auto db = connectTo(conninfo, password, StoreError::Kind::Create);
    try {
        Transaction tx(*db);
        if (hasLedgerTable(*db))
            throw StoreError::onServer(StoreError::Kind::Create, db->server(), QStringLiteral("服务器上已经有一个账本"));
        for (const std::string &sql : createStatements())
            db->exec(sql.c_str());
        pgdb::CopyIn in(*db, copyInSql());
        for (const Record &r : rows) {
            for (const QString &value : recordParams(r))
                in.add(value);
            in.endRow();
        }
        in.finish();
        const qint64 stored = db->exec("SELECT count(*) FROM \"库\"").number(0, 0);
        if (stored != static_cast<qint64>(rows.size()) || serverChecksum(*db) != checksum(rows))
            throw StoreError::onServer(StoreError::Kind::Create, db->server(),
                                       QStringLiteral("服务器上的记录与账本文件不一致（数目或校验和不符）"));
        if (beforeCommit)
            beforeCommit();
        tx.commit();
    } catch (const Failure &f) {
        throw fromFailure(StoreError::Kind::Create, f);
    }
}

bool ServerStore::holdsLedger(const QString &conninfo, const QString &password)
{
    const auto db = connectTo(conninfo, password, StoreError::Kind::Open);
    try {
        return hasLedgerTable(*db);
    } catch (const Failure &f) {
        throw fromFailure(StoreError::Kind::Open, f);
    }
}

ServerStore::ServerStore(QString server, std::unique_ptr<Connection> db) : Store(std::move(server)), m_db(std::move(db)) {}

ServerStore::~ServerStore() = default;

std::unique_ptr<ServerStore> ServerStore::open(const QString &conninfo, const QString &password,
                                               std::chrono::milliseconds lockWait)
{
    auto db = connectTo(conninfo, password, StoreError::Kind::Open);
    const QString server = db->server();
    std::unique_ptr<ServerStore> store(new ServerStore(server, std::move(db)));
    store->guarded(StoreError::Kind::Open, [&] {
        if (!hasLedgerTable(*store->m_db))
            throw StoreError::onServer(StoreError::Kind::Open, server, QStringLiteral("服务器上没有账本表“库”"));
        const QString why = shapeProblem(*store->m_db);
        if (!why.isEmpty())
            throw StoreError::onServer(StoreError::Kind::Open, server, why);
        store->setLockWait(lockWait);
        store->rows();
    });
    return store;
}

void ServerStore::setLockWait(std::chrono::milliseconds wait)
{
    guarded(StoreError::Kind::Read, [&] {
        m_db->exec("SELECT set_config('lock_timeout', $1, false)", {QStringLiteral("%1ms").arg(wait.count())});
    });
}

void ServerStore::load()
{
    dropRows();
    m_loaded = false;
    std::vector<Record> rows;
    m_db->copyOut(copyOutSql(), [&](const pgdb::CopyRow &row) {
        Record r;
        r.id = toNumber(row.bytes(0));
        r.hasKind = !row.isNull(1);
        r.kind = r.hasKind ? static_cast<int>(toNumber(row.bytes(1))) : 0;
        for (std::size_t i = 0; i < kTextColumns.size(); ++i)
            r.*kTextColumns[i].field = row.text(static_cast<int>(i) + 2);
        rows.push_back(std::move(r));
    });
    m_loaded = true;
    setRows(std::move(rows));
}

const std::vector<Record> &ServerStore::rows()
{
    guarded(StoreError::Kind::Read, [&] {
        const qint64 version = m_db->exec("SELECT n FROM \"账本版本\"").number(0, 0);
        if (m_loaded && version == m_version)
            return;
        // The counter and the rows from one snapshot.
        Transaction tx(*m_db);
        m_db->exec("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ READ ONLY");
        const qint64 seen = m_db->exec("SELECT n FROM \"账本版本\"").number(0, 0);
        load();
        tx.commit();
        m_version = seen;
    });
    return loadedRows();
}

void ServerStore::beginChange()
{
    // The counter's row lock lets one writer at a time through, in commit order.
    const qint64 next = m_db->exec("UPDATE \"账本版本\" SET n = n + 1 RETURNING n").number(0, 0);
    if (!m_loaded || next - 1 != m_version)
        load();
    m_version = next - 1;
}

Record ServerStore::add(const Record &r)
{
    return guarded(StoreError::Kind::Add, [&] {
        Transaction tx(*m_db);
        beginChange();
        Record stored = r;
        stored.id = m_db->exec(insertReturningSql(), recordParams(r)).number(0, 0);
        tx.commit();
        ++m_version;
        appendRows({stored});
        return stored;
    });
}

std::vector<qint64> ServerStore::insertRows(const std::vector<Record> &records)
{
    std::vector<qint64> ids;
    ids.reserve(records.size());
    for (const Record &r : records)
        ids.push_back(m_db->exec(insertReturningSql(), recordParams(r)).number(0, 0));
    return ids;
}

void ServerStore::addAll(const std::vector<Record> &records, const std::function<void(std::size_t)> &progress)
{
    guarded(StoreError::Kind::Add, [&] {
        Transaction tx(*m_db);
        m_db->exec("UPDATE \"账本版本\" SET n = n + 1");
        pgdb::CopyIn in(*m_db, copyInSql());
        for (std::size_t n = 0; n < records.size(); ++n) {
            const Record &r = records[n];
            if (r.hasKind)
                in.add(static_cast<qint64>(r.kind));
            else
                in.add(QString());
            for (const Column &c : kTextColumns)
                in.add(r.*c.field);
            in.endRow();
            if (progress && n % 1024 == 1023)
                progress(n + 1);
        }
        in.finish();
        tx.commit();
        m_loaded = false; // read back on the next rows()
    });
}

int ServerStore::removePositions(Transaction &tx, const std::vector<std::size_t> &positions)
{
    const std::vector<Record> &rows = loadedRows();
    QStringList ids;
    QSet<QString> gone;
    for (const std::size_t p : positions) {
        ids << number(rows[p].id);
        if (rows[p].isKind(kProduct))
            gone.insert(productKey(rows[p].cat, rows[p].name));
    }
    if (!positions.empty())
        m_db->exec("DELETE FROM \"库\" WHERE id = ANY($1::bigint[])", {u'{' + ids.join(u',') + u'}'});
    // A second row of the same product that stays keeps its codes.
    auto next = positions.cbegin();
    for (std::size_t i = 0; i < rows.size() && !gone.isEmpty(); ++i) {
        if (next != positions.cend() && *next == i) {
            ++next;
            continue;
        }
        if (rows[i].isKind(kProduct))
            gone.remove(productKey(rows[i].cat, rows[i].name));
    }
    for (const QString &key : std::as_const(gone)) {
        const QStringList parts = key.split(QChar(0x1f));
        m_db->exec("DELETE FROM \"条码\" WHERE \"类\" = $1 AND \"商品名\" = $2", {parts[0], parts[1]});
    }
    tx.commit();
    ++m_version;
    removeRowsAt(positions);
    return static_cast<int>(positions.size());
}

int ServerStore::removeWhere(const std::function<bool(const Record &)> &match)
{
    return guarded(StoreError::Kind::Remove, [&] {
        Transaction tx(*m_db);
        beginChange();
        std::vector<std::size_t> positions;
        const std::vector<Record> &rows = loadedRows();
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (match(rows[i]))
                positions.push_back(i);
        return removePositions(tx, positions);
    });
}

bool ServerStore::removeExact(const Record &target)
{
    return guarded(StoreError::Kind::Remove, [&] {
        Transaction tx(*m_db);
        beginChange();
        const std::vector<Record> &rows = loadedRows();
        const auto it = std::lower_bound(rows.cbegin(), rows.cend(), target.id,
                                         [](const Record &r, qint64 id) { return r.id < id; });
        std::vector<std::size_t> positions;
        if (it != rows.cend() && it->id == target.id && it->sameContent(target))
            positions.push_back(static_cast<std::size_t>(it - rows.cbegin()));
        return removePositions(tx, positions) > 0;
    });
}

bool ServerStore::passesIntegrityCheck()
{
    // The server keeps its own storage sound; what can go wrong here is the counter row.
    try {
        return m_db->exec("SELECT count(*) FROM \"账本版本\"").number(0, 0) == 1;
    } catch (const Failure &) {
        return false;
    }
}

std::vector<ProductCode> ServerStore::productCodes()
{
    return guarded(StoreError::Kind::Read, [&] {
        std::vector<ProductCode> codes;
        const pgdb::Result res = m_db->exec("SELECT \"条码\", \"类\", \"商品名\" FROM \"条码\" ORDER BY \"序\"");
        for (int i = 0; i < res.rows(); ++i)
            codes.push_back({res.text(i, 0), res.text(i, 1), res.text(i, 2)});
        return codes;
    });
}

void ServerStore::setProductCode(const ProductCode &code)
{
    guarded(StoreError::Kind::Add, [&] {
        Transaction tx(*m_db);
        m_db->exec("DELETE FROM \"条码\" WHERE \"条码\" = $1", {code.code});
        m_db->exec("INSERT INTO \"条码\" (\"条码\", \"类\", \"商品名\") VALUES ($1, $2, $3)",
                   {code.code, code.category, code.name});
        tx.commit();
    });
}

void ServerStore::markStockTakeRows(LedgerFacts &facts)
{
    guarded(StoreError::Kind::Read, [&] {
        const std::vector<Record> &rows = loadedRows();
        const pgdb::Result res =
            m_db->exec("SELECT \"记录\", \"交易号码\" FROM \"盘点明细\" WHERE \"记录\" IS NOT NULL");
        for (int i = 0; i < res.rows(); ++i) {
            const qint64 id = res.number(i, 0);
            const auto it = std::lower_bound(rows.cbegin(), rows.cend(), id,
                                             [](const Record &r, qint64 want) { return r.id < want; });
            if (it != rows.cend() && it->id == id && it->txno == res.text(i, 1))
                facts.markStockTake(static_cast<std::size_t>(it - rows.cbegin()));
        }
    });
}

StockTakeRecord ServerStore::postStockTake(StockTakeRecord record, const std::vector<Record> &rows)
{
    const auto differing = std::count_if(record.lines.cbegin(), record.lines.cend(),
                                         [](const StockTakeLine &l) { return l.difference() != 0; });
    if (static_cast<std::size_t>(differing) != rows.size())
        throw std::invalid_argument("postStockTake: one row for each line with a difference");
    return guarded(StoreError::Kind::Add, [&] {
        Transaction tx(*m_db);
        beginChange();
        const std::vector<qint64> ids = insertRows(rows);
        record.id = m_db->exec("INSERT INTO \"盘点\" (\"时间\", \"计算机\") VALUES ($1, $2) RETURNING \"编号\"",
                               {record.when, record.computer})
                        .number(0, 0);
        std::size_t next = 0;
        for (StockTakeLine &l : record.lines) {
            if (l.difference() != 0) {
                l.rowId = ids[next];
                l.txno = rows[next++].txno;
            }
            m_db->exec("INSERT INTO \"盘点明细\" (\"盘点\", \"类\", \"商品名\", \"账面\", \"实盘\", \"记录\", \"交易号码\") "
                       "VALUES ($1, $2, $3, $4, $5, $6, $7)",
                       {number(record.id), l.category, l.name, number(l.book), number(l.count),
                        l.rowId ? number(l.rowId) : QString(), l.txno});
        }
        tx.commit();
        ++m_version;
        std::vector<Record> stored = rows;
        for (std::size_t n = 0; n < stored.size(); ++n)
            stored[n].id = ids[n];
        appendRows(stored, true);
        return record;
    });
}

std::vector<StockTakeRecord> ServerStore::stockTakes()
{
    return guarded(StoreError::Kind::Read, [&] {
        std::vector<StockTakeRecord> takes;
        QHash<qint64, std::size_t> byId;
        Transaction tx(*m_db);
        m_db->exec("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ READ ONLY");
        const pgdb::Result head = m_db->exec("SELECT \"编号\", \"时间\", \"计算机\" FROM \"盘点\" ORDER BY \"编号\"");
        for (int i = 0; i < head.rows(); ++i) {
            byId.insert(head.number(i, 0), takes.size());
            takes.push_back({head.number(i, 0), head.text(i, 1), head.text(i, 2), {}});
        }
        const pgdb::Result lines = m_db->exec("SELECT \"盘点\", \"类\", \"商品名\", \"账面\", \"实盘\", "
                                              "coalesce(\"记录\", 0), \"交易号码\" FROM \"盘点明细\" ORDER BY \"序\"");
        tx.commit();
        for (int i = 0; i < lines.rows(); ++i) {
            const auto owner = byId.constFind(lines.number(i, 0));
            if (owner == byId.cend())
                continue;
            takes[*owner].lines.push_back({lines.text(i, 1), lines.text(i, 2), lines.number(i, 3), lines.number(i, 4),
                                           lines.number(i, 5), lines.text(i, 6)});
        }
        return takes;
    });
}

std::vector<ChangeEntry> ServerStore::history(int) { return {}; }
std::vector<ChangeEntry> ServerStore::deletions() { return {}; }
std::vector<DeletedRow> ServerStore::deletedRows(qint64) { return {}; }

RestoredDeletion ServerStore::restoreDeletion(qint64)
{
    throw StoreError::onServer(StoreError::Kind::Restore, path(), QStringLiteral("服务器上的账本还不保存删除的记录"));
}

int ServerStore::pruneDeletions(const QDateTime &) { return 0; }
void ServerStore::clearDeletions() {}

} // namespace ledger
