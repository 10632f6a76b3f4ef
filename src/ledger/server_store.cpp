#include "ledger/server_store.h"

#include "ledger/columns.h"
#include "ledger/facts.h"
#include "ledger/history.h"
#include "ledger/row_loader.h"

#include <QCryptographicHash>
#include <QSet>
#include <QStringEncoder>
#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <string>

namespace ledger {

namespace {

using pgdb::Connection;
using pgdb::Failure;
using pgdb::Transaction;

// The scanner codes deletions took, for a restore ("序" keeps their order, as the file's rowid does).
std::vector<std::string> deletedCodesStatements()
{
    return {
        "CREATE TABLE \"删除的条码\" (\"序\" bigserial PRIMARY KEY, \"操作\" bigint NOT NULL, \"条码\" text NOT NULL,"
        " \"类\" text NOT NULL, \"商品名\" text NOT NULL)",
        "CREATE INDEX ON \"删除的条码\" (\"操作\")",
    };
}

// The record of changes (history.h): entries numbered from the one-row counter "操作编号",
// whose row lock is held until the commit, so that numbers follow commit order (a sequence
// hands them out when asked, not when committed); beside the number, the rows the record knows
// of and the newest id it has seen, so that rows written by other tools can be told at an open;
// the rows deletions removed, with their ids and places, and the codes they took.
std::vector<std::string> historyStatements()
{
    std::vector<std::string> all = {
        "CREATE TABLE \"操作记录\" (\"编号\" bigint PRIMARY KEY, \"时间\" timestamptz NOT NULL, \"计算机\" text,"
        " \"种类\" text NOT NULL, \"说明\" text NOT NULL, \"行数\" bigint NOT NULL, \"校验\" text, \"记录\" bigint,"
        " \"恢复于\" bigint)",
        "CREATE TABLE \"操作编号\" (n bigint NOT NULL, \"行数\" bigint NOT NULL, \"最大行号\" bigint NOT NULL)",
        "INSERT INTO \"操作编号\" SELECT 0, count(*), coalesce(max(id), 0) FROM \"库\"",
        "CREATE TABLE \"删除的记录\" (\"操作\" bigint NOT NULL, \"位置\" bigint NOT NULL, \"行号\" bigint NOT NULL, " +
            columnDefinitionsSql(false) + ")",
        "CREATE INDEX ON \"删除的记录\" (\"操作\")",
    };
    for (std::string &sql : deletedCodesStatements())
        all.push_back(std::move(sql));
    return all;
}

// The ledger's tables, the nine columns with the widths and checks of the file's table. Row
// ids come from the sequence of "库": it never goes down, so no id is handed out twice.
std::vector<std::string> createStatements()
{
    std::vector<std::string> all = {
        "CREATE TABLE \"库\" (id bigserial PRIMARY KEY, " + columnDefinitionsSql(false) + ")",
        "CREATE TABLE \"账本版本\" (n bigint NOT NULL)",
        "INSERT INTO \"账本版本\" VALUES (0)",
        "CREATE TABLE \"条码\" (\"序\" bigserial, \"条码\" text PRIMARY KEY CHECK (length(\"条码\") BETWEEN 1 AND 64),"
        " \"类\" text NOT NULL, \"商品名\" text NOT NULL)",
        "CREATE TABLE \"盘点\" (\"编号\" bigserial PRIMARY KEY, \"时间\" text NOT NULL, \"计算机\" text)",
        "CREATE TABLE \"盘点明细\" (\"序\" bigserial PRIMARY KEY, \"盘点\" bigint NOT NULL, \"类\" text, \"商品名\" text,"
        " \"账面\" bigint, \"实盘\" bigint, \"记录\" bigint, \"交易号码\" text)",
    };
    for (std::string &sql : historyStatements())
        all.push_back(std::move(sql));
    return all;
}

const char *copyOutSql()
{
    static const std::string sql = "COPY (SELECT id, " + columnListSql() + " FROM \"库\" ORDER BY id) TO STDOUT";
    return sql.c_str();
}

const char *copyInSql()
{
    static const std::string sql = "COPY \"库\" (" + columnListSql() + ") FROM STDIN";
    return sql.c_str();
}

// The rows of a restore that get their old ids back.
const char *copyInWithIdSql()
{
    static const std::string sql = "COPY \"库\" (id, " + columnListSql() + ") FROM STDIN";
    return sql.c_str();
}

const char *copyDeletedSql()
{
    static const std::string sql =
        "COPY \"删除的记录\" (\"操作\", \"位置\", \"行号\", " + columnListSql() + ") FROM STDIN";
    return sql.c_str();
}

const char *insertReturningSql()
{
    static const std::string sql = [] {
        std::string marks;
        for (std::size_t i = 1; i <= std::size(kColumns); ++i)
            marks += (i == 1 ? "$" : ", $") + std::to_string(i);
        return "INSERT INTO \"库\" (" + columnListSql() + ") VALUES (" + marks + ") RETURNING id";
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

void addRecord(pgdb::CopyIn &in, const Record &r)
{
    for (const QString &value : recordParams(r))
        in.add(value);
    in.endRow();
}

qint64 toNumber(std::string_view bytes)
{
    qint64 n = 0;
    std::from_chars(bytes.data(), bytes.data() + bytes.size(), n);
    return n;
}

// A row of copyOutSql().
Record recordFrom(const pgdb::CopyRow &row)
{
    Record r;
    r.id = toNumber(row.bytes(0));
    r.hasKind = !row.isNull(1);
    r.kind = r.hasKind ? static_cast<int>(toNumber(row.bytes(1))) : 0;
    for (std::size_t i = 0; i < kTextColumns.size(); ++i)
        r.*kTextColumns[i].field = row.text(static_cast<int>(i) + 2);
    return r;
}

// The nine columns of a result's row from column first on.
Record recordFrom(const pgdb::Result &res, int row, int first)
{
    Record r;
    r.hasKind = !res.isNull(row, first);
    r.kind = static_cast<int>(res.number(row, first));
    for (std::size_t i = 0; i < kTextColumns.size(); ++i)
        r.*kTextColumns[i].field = res.text(row, first + 1 + static_cast<int>(i));
    return r;
}

// ServerStore::checksum(), a row at a time: each row's fields as "n" for NULL or "t<bytes>:"
// and the UTF-8, rows apart by a newline. A row's text is put together in buffers kept from row
// to row, so a million rows cost no allocations.
class RowHash {
public:
    void add(const Record &r)
    {
        m_row.clear();
        if (!m_first)
            m_row += '\n';
        m_first = false;
        field(r.hasKind ? QString::number(r.kind) : QString());
        for (const Column &c : kTextColumns)
            field(r.*c.field);
        m_hash.addData(QByteArrayView(m_row.data(), static_cast<qsizetype>(m_row.size())));
    }
    QByteArray result() const { return m_hash.result().toHex(); }

private:
    void field(const QString &text)
    {
        if (text.isNull()) {
            m_row += 'n';
            return;
        }
        m_utf8.resize(static_cast<std::size_t>(m_encoder.requiredSpace(text.size())));
        const auto bytes = static_cast<std::size_t>(m_encoder.appendToBuffer(m_utf8.data(), text) - m_utf8.data());
        char length[24];
        const auto end = std::to_chars(length, length + sizeof length, bytes).ptr;
        m_row += 't';
        m_row.append(length, end);
        m_row += ':';
        m_row.append(m_utf8.data(), bytes);
    }
    QCryptographicHash m_hash{QCryptographicHash::Md5};
    QStringEncoder m_encoder{QStringEncoder::Utf8};
    std::string m_row, m_utf8;
    bool m_first = true;
};

QString number(qint64 n) { return QString::number(n); }

QString productKey(const QString &category, const QString &name) { return category + QChar(0x1f) + name; }

bool hasTable(Connection &db, const char *name)
{
    return !db.exec("SELECT to_regclass(quote_ident($1))", {QString::fromUtf8(name)}).isNull(0, 0);
}

// The columns the ledger's tables must have, with their types as format_type() gives them.
struct ExpectedColumn {
    QString table, column, type;
};

std::vector<ExpectedColumn> expectedColumns(bool history)
{
    const QString bigint = QStringLiteral("bigint"), text = QStringLiteral("text");
    std::vector<ExpectedColumn> all;
    const auto add = [&](const char *table, std::initializer_list<const char *> columns, const QString &type) {
        for (const char *c : columns)
            all.push_back({QString::fromUtf8(table), QString::fromUtf8(c), type});
    };
    const auto nine = [&](const char *table) {
        for (const Column &c : kColumns)
            all.push_back({QString::fromUtf8(table), columnName(c),
                           c.field ? QStringLiteral("character varying(%1)").arg(c.width) : QStringLiteral("smallint")});
    };
    add("库", {"id"}, bigint);
    nine("库");
    add("账本版本", {"n"}, bigint);
    if (history) {
        add("操作记录", {"编号", "行数", "记录", "恢复于"}, bigint);
        add("操作记录", {"时间"}, QStringLiteral("timestamp with time zone"));
        add("操作记录", {"计算机", "种类", "说明", "校验"}, text);
        add("操作编号", {"n", "行数", "最大行号"}, bigint);
        add("删除的记录", {"操作", "位置", "行号"}, bigint);
        nine("删除的记录");
        add("删除的条码", {"序", "操作"}, bigint);
        add("删除的条码", {"条码", "类", "商品名"}, text);
    }
    return all;
}

QString arrayOf(const QStringList &names) { return u'{' + names.join(u',') + u'}'; }

// What is wrong with the ledger's tables, or an empty text. history: with the record of changes;
// privileges: what the role must be allowed to do with every one of them.
QString shapeProblem(Connection &db, bool history, const char *privileges)
{
    const std::vector<ExpectedColumn> expected = expectedColumns(history);
    QStringList tables;
    for (const ExpectedColumn &e : expected)
        if (!tables.contains(e.table))
            tables << e.table;
    // From the catalog: information_schema shows only the columns the role may use.
    const pgdb::Result cols =
        db.exec("SELECT c.relname::text, a.attname::text, format_type(a.atttypid, a.atttypmod) FROM pg_attribute a"
                " JOIN pg_class c ON c.oid = a.attrelid WHERE c.relnamespace = current_schema()::regnamespace"
                " AND c.relname = ANY($1::text[]) AND a.attnum > 0 AND NOT a.attisdropped",
                {arrayOf(tables)});
    QHash<QString, QString> found;
    QSet<QString> present;
    for (int i = 0; i < cols.rows(); ++i) {
        found.insert(cols.text(i, 0) + u'.' + cols.text(i, 1), cols.text(i, 2));
        present.insert(cols.text(i, 0));
    }
    for (const ExpectedColumn &e : expected) {
        const auto it = found.constFind(e.table + u'.' + e.column);
        if (!present.contains(e.table))
            return QStringLiteral("缺少表“%1”").arg(e.table);
        if (it == found.cend())
            return QStringLiteral("表“%1”缺少字段“%2”").arg(e.table, e.column);
        if (*it != e.type)
            return QStringLiteral("表“%1”的字段“%2”类型不符").arg(e.table, e.column);
    }
    for (const char *table : {"条码", "盘点", "盘点明细"}) {
        if (!hasTable(db, table))
            return QStringLiteral("缺少表“%1”").arg(QString::fromUtf8(table));
        tables << QString::fromUtf8(table);
    }
    const pgdb::Result refused = db.exec("SELECT t FROM unnest($1::text[]) t WHERE NOT has_table_privilege(quote_ident(t), $2)",
                                         {arrayOf(tables), QString::fromLatin1(privileges)});
    if (refused.rows() > 0)
        return QStringLiteral("%1（表“%2”）")
            .arg(pgdb::reasonPhrase(pgdb::FailureKind::NoPermission), refused.text(0, 0));
    return {};
}

// Appends an entry inside the open transaction, numbered from the locked counter and stamped
// with the server's clock; returns its number. The rows the record knows of change by count
// (less for a deletion), and the newest id seen follows "库" (its index gives max(id) at once).
qint64 addEntry(Connection &db, ChangeKind kind, const QString &summary, qint64 count, const QString &checksum,
                qint64 rowId)
{
    const qint64 delta = kind == ChangeKind::Delete ? -count : count;
    return db
        .exec("WITH c AS (UPDATE \"操作编号\" SET n = n + 1, \"行数\" = \"行数\" + $7::bigint,"
              " \"最大行号\" = greatest(\"最大行号\", (SELECT coalesce(max(id), 0) FROM \"库\")) RETURNING n) "
              "INSERT INTO \"操作记录\" (\"编号\", \"时间\", \"计算机\", \"种类\", \"说明\", \"行数\", \"校验\", \"记录\") "
              "SELECT n, clock_timestamp(), $1, $2, $3, $4, $5, $6 FROM c RETURNING \"编号\"",
              {thisComputer(), changeKindName(kind), summary, QString::number(count), checksum,
               rowId ? QString::number(rowId) : QString(), QString::number(delta)})
        .number(0, 0);
}

// Where every change is announced, with the ledger's new version.
const char *const kChannel = "warehouse_changes";

// Inside a write transaction: bumps the change counter, taking its row lock until the commit,
// and announces the change to the other PCs at the commit; returns the new version.
qint64 bumpVersion(Connection &db)
{
    return db
        .exec("WITH v AS (UPDATE \"账本版本\" SET n = n + 1 RETURNING n) SELECT n, pg_notify($1, n::text) FROM v",
              {QString::fromLatin1(kChannel)})
        .number(0, 0);
}

QString idArray(const QStringList &ids) { return u'{' + ids.join(u',') + u'}'; }

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

bool hasLedgerTable(Connection &db) { return hasTable(db, "库"); }

// A counter row of an earlier build lacks the counts that tell rows changed outside: they start
// from the rows there now. Left as it is when the role may not alter it (the shape check says so).
void addOutsideCounts(Connection &db)
{
    if (db.exec("SELECT 1 FROM information_schema.columns WHERE table_schema = current_schema()"
                " AND table_name = '操作编号' AND column_name = '行数'")
            .rows() > 0)
        return;
    try {
        Transaction tx(db);
        db.exec("ALTER TABLE \"操作编号\" ADD COLUMN \"行数\" bigint, ADD COLUMN \"最大行号\" bigint");
        db.exec("UPDATE \"操作编号\" SET \"行数\" = (SELECT count(*) FROM \"库\"),"
                " \"最大行号\" = (SELECT coalesce(max(id), 0) FROM \"库\")");
        db.exec("ALTER TABLE \"操作编号\" ALTER COLUMN \"行数\" SET NOT NULL, ALTER COLUMN \"最大行号\" SET NOT NULL");
        tx.commit();
    } catch (const Failure &f) {
        if (f.kind() == pgdb::FailureKind::ConnectionLost)
            throw;
    }
}

// A record of changes of an earlier build lacks the table of the codes deletions took: made
// empty (the deletions before kept none). Left out when the role may not create it (the shape
// check says so).
void addDeletedCodes(Connection &db)
{
    if (hasTable(db, "删除的条码"))
        return;
    try {
        Transaction tx(db);
        for (const std::string &sql : deletedCodesStatements())
            db.exec(sql.c_str());
        tx.commit();
    } catch (const Failure &f) {
        if (f.kind() == pgdb::FailureKind::ConnectionLost)
            throw;
    }
}

// A ledger made before the record of changes gets its tables, when the role may create them.
bool setUpHistory(Connection &db)
{
    if (hasTable(db, "操作记录")) {
        addOutsideCounts(db);
        addDeletedCodes(db);
        return true;
    }
    try {
        Transaction tx(db);
        for (const std::string &sql : historyStatements())
            db.exec(sql.c_str());
        tx.commit();
        return true;
    } catch (const Failure &f) {
        if (f.kind() == pgdb::FailureKind::ConnectionLost)
            throw;
        return hasTable(db, "操作记录"); // another PC made them meanwhile, or this role may not
    }
}

// The entries matching where (fixed SQL over the table aliased e), newest first; limit < 0: all.
std::vector<ChangeEntry> readEntries(Connection &db, const char *where, int limit)
{
    const std::string select =
        std::string("SELECT \"编号\", extract(epoch FROM \"时间\")::bigint, \"计算机\", \"种类\", \"说明\", \"行数\","
                    " \"校验\", coalesce(\"记录\", 0), coalesce(\"恢复于\", 0) FROM \"操作记录\" e WHERE ") +
        where + " ORDER BY \"编号\" DESC LIMIT $1";
    const pgdb::Result res = db.exec(select.c_str(), {limit < 0 ? QString() : number(limit)});
    std::vector<ChangeEntry> found;
    found.reserve(static_cast<std::size_t>(res.rows()));
    for (int i = 0; i < res.rows(); ++i)
        found.push_back({res.number(i, 0), QDateTime::fromSecsSinceEpoch(res.number(i, 1)), res.text(i, 2),
                         changeKindOf(res.text(i, 3)), res.text(i, 4), res.number(i, 5), res.text(i, 6),
                         res.number(i, 7), res.number(i, 8)});
    return found;
}

// Codes as a query gives them: code, category and product name.
std::vector<ProductCode> codesFrom(const pgdb::Result &res)
{
    std::vector<ProductCode> codes;
    for (int i = 0; i < res.rows(); ++i)
        codes.push_back({res.text(i, 0), res.text(i, 1), res.text(i, 2)});
    return codes;
}

std::vector<ProductCode> readCodes(Connection &db)
{
    return codesFrom(db.exec("SELECT \"条码\", \"类\", \"商品名\" FROM \"条码\" ORDER BY \"序\""));
}

// Inside a transaction that sees both tables at one moment.
std::vector<StockTakeRecord> readStockTakes(Connection &db)
{
    std::vector<StockTakeRecord> takes;
    QHash<qint64, std::size_t> byId;
    const pgdb::Result head = db.exec("SELECT \"编号\", \"时间\", \"计算机\" FROM \"盘点\" ORDER BY \"编号\"");
    for (int i = 0; i < head.rows(); ++i) {
        byId.insert(head.number(i, 0), takes.size());
        takes.push_back({head.number(i, 0), head.text(i, 1), head.text(i, 2), {}});
    }
    const pgdb::Result lines = db.exec("SELECT \"盘点\", \"类\", \"商品名\", \"账面\", \"实盘\", "
                                       "coalesce(\"记录\", 0), \"交易号码\" FROM \"盘点明细\" ORDER BY \"序\"");
    for (int i = 0; i < lines.rows(); ++i) {
        const auto owner = byId.constFind(lines.number(i, 0));
        if (owner == byId.cend())
            continue;
        takes[*owner].lines.push_back({lines.text(i, 1), lines.text(i, 2), lines.number(i, 3), lines.number(i, 4),
                                       lines.number(i, 5), lines.text(i, 6)});
    }
    return takes;
}

// All of them at once, inside a transaction of one snapshot; a ledger without the record of
// changes has none of it.
LedgerRecords readRecords(Connection &db)
{
    LedgerRecords out{{}, {}, readCodes(db), readStockTakes(db), {}};
    if (!hasTable(db, "操作记录"))
        return out;
    out.entries = readEntries(db, "true", -1);
    // The copies of deletions not put back, as deletedRows() gives them.
    static const std::string kept = "SELECT d.\"操作\", d.\"位置\", d.\"行号\", " + columnListSql() +
                                    " FROM \"删除的记录\" d JOIN \"操作记录\" e ON e.\"编号\" = d.\"操作\""
                                    " WHERE e.\"种类\" = '删除' AND e.\"恢复于\" IS NULL ORDER BY d.\"操作\", d.\"位置\"";
    const pgdb::Result res = db.exec(kept.c_str());
    out.deleted.reserve(static_cast<std::size_t>(res.rows()));
    for (int i = 0; i < res.rows(); ++i) {
        DeletedRow d{recordFrom(res, i, 3), res.number(i, 1)};
        d.row.id = res.number(i, 2);
        out.deleted.emplace_back(res.number(i, 0), std::move(d));
    }
    if (!hasTable(db, "删除的条码"))
        return out; // a ledger of an earlier build, read before the owner's next open
    const pgdb::Result codes =
        db.exec("SELECT c.\"操作\", c.\"条码\", c.\"类\", c.\"商品名\" FROM \"删除的条码\" c JOIN \"操作记录\" e"
                " ON e.\"编号\" = c.\"操作\" WHERE e.\"种类\" = '删除' AND e.\"恢复于\" IS NULL ORDER BY c.\"操作\", c.\"序\"");
    for (int i = 0; i < codes.rows(); ++i)
        out.deletedCodes.emplace_back(codes.number(i, 0), ProductCode{codes.text(i, 1), codes.text(i, 2), codes.text(i, 3)});
    return out;
}

} // namespace

template <class F> auto ServerStore::guarded(StoreError::Kind what, F &&action) -> decltype(action())
{
    // The rows in memory change only once a change is committed, or as a whole once read: they
    // stay those of m_version whatever failed.
    try {
        return action();
    } catch (const Failure &f) {
        throw fromFailure(what, f);
    }
}

void ServerStore::createTables(const QString &conninfo, const QString &password)
{
    createLedger(conninfo, {}, password);
}

QByteArray ServerStore::checksum(const std::vector<Record> &rows)
{
    RowHash hash;
    for (const Record &r : rows)
        hash.add(r);
    return hash.result();
}

namespace {

// checksum() of the server's table, its rows streamed rather than gathered into one text.
QByteArray serverChecksum(Connection &db)
{
    RowHash hash;
    db.copyOut(copyOutSql(), [&](const pgdb::CopyRow &row) { hash.add(recordFrom(row)); });
    return hash.result();
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
        for (const Record &r : rows)
            addRecord(in, r);
        in.finish();
        const qint64 stored = db->exec("SELECT count(*) FROM \"库\"").number(0, 0);
        if (stored != static_cast<qint64>(rows.size()) || serverChecksum(*db) != checksum(rows))
            throw StoreError::onServer(StoreError::Kind::Create, db->server(),
                                       QStringLiteral("服务器上的记录与账本文件不一致（数目或校验和不符）"));
        if (!rows.empty()) {
            const auto n = static_cast<qint64>(rows.size());
            addEntry(*db, ChangeKind::CarryOver, carryOverSummary(n), n,
                     rowsChecksum(RecordRefs(rows.cbegin(), rows.cend())), 0);
        }
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

bool ServerStore::asksForPassword(const StoreError &e)
{
    return e.kind() == StoreError::Kind::Open && e.reason() == pgdb::reasonPhrase(pgdb::FailureKind::PasswordNeeded);
}

std::unique_ptr<ServerStore> ServerStore::open(const QString &conninfo, const QString &password,
                                               std::chrono::milliseconds lockWait, Purpose purpose)
{
    auto db = connectTo(conninfo, password, StoreError::Kind::Open);
    const QString server = db->server();
    std::unique_ptr<ServerStore> store(new ServerStore(server, std::move(db)));
    store->guarded(StoreError::Kind::Open, [&] {
        if (!hasLedgerTable(*store->m_db))
            throw StoreError::onServer(StoreError::Kind::Open, server, QStringLiteral("服务器上没有账本表“库”"));
        store->m_history =
            purpose == Purpose::Work ? setUpHistory(*store->m_db) : hasTable(*store->m_db, "操作记录");
        const QString why = shapeProblem(*store->m_db, store->m_history,
                                         purpose == Purpose::Work ? "SELECT, INSERT, UPDATE, DELETE" : "SELECT");
        if (!why.isEmpty())
            throw StoreError::onServer(StoreError::Kind::Open, server, why);
        store->setLockWait(lockWait);
        if (purpose == Purpose::Work)
            store->m_db->keepForSession((std::string("LISTEN ") + kChannel).c_str());
        store->rows();
        if (purpose == Purpose::Work && store->m_history)
            store->explainOutsideChanges();
    });
    return store;
}

void ServerStore::explainOutsideChanges()
{
    // The rows just read against the counter read in the same snapshot: the usual case ends here.
    const std::vector<Record> &rows = loadedRows();
    if (static_cast<qint64>(rows.size()) == m_knownRows && (rows.empty() || rows.back().id <= m_knownNewest))
        return;
    // Again in the writers' turn, which every recorded change takes before it commits; as a
    // change of its own, so that the other PCs read the rows again.
    Transaction tx(*m_db);
    beginChange();
    const pgdb::Result known = m_db->exec("SELECT \"行数\", \"最大行号\" FROM \"操作编号\" FOR UPDATE");
    const pgdb::Result now = m_db->exec("SELECT count(*), coalesce(max(id), 0) FROM \"库\"");
    const qint64 count = now.number(0, 0), knownRows = known.number(0, 0);
    if (count == knownRows && now.number(0, 1) <= known.number(0, 1))
        return;
    const qint64 entry =
        addEntry(*m_db, ChangeKind::Outside, outsideSummary(count, knownRows), count - knownRows, QString(), 0);
    tx.commit();
    committed(entry);
}

void ServerStore::setLockWait(std::chrono::milliseconds wait)
{
    guarded(StoreError::Kind::Read, [&] {
        m_db->keepForSession("SELECT set_config('lock_timeout', $1, false)", {QStringLiteral("%1ms").arg(wait.count())});
    });
}

void ServerStore::load()
{
    dropRows();
    m_loaded = false;
    if (m_history) {
        // The record's counts of the same snapshot as the rows.
        const pgdb::Result counts = m_db->exec("SELECT n, \"行数\", \"最大行号\" FROM \"操作编号\"");
        m_entry = counts.number(0, 0);
        m_knownRows = counts.number(0, 1);
        m_knownNewest = counts.number(0, 2);
    }
    std::vector<Record> rows;
    // Reserved once, as the file's rows are: ids are never reused, so no more rows than the newest id.
    rows.reserve(static_cast<std::size_t>(m_db->exec("SELECT coalesce(max(id), 0) FROM \"库\"").number(0, 0)));
    {
        // This thread takes the rows off the connection, a second one makes records of them.
        RowLoader loader(rows);
        RowLoader::Field fields[kTextColumns.size()];
        m_db->copyOut(copyOutSql(), [&](const pgdb::CopyRow &row) {
            for (std::size_t i = 0; i < kTextColumns.size(); ++i) {
                const int c = static_cast<int>(i) + 2;
                const std::string_view bytes = row.bytes(c);
                fields[i] = {bytes.data(), row.isNull(c) ? -1 : static_cast<int>(bytes.size())};
            }
            loader.add(toNumber(row.bytes(0)), row.isNull(1) ? RowLoader::kNoKind : static_cast<int>(toNumber(row.bytes(1))),
                       fields);
        });
        loader.finish();
    }
    m_loaded = true;
    setRows(std::move(rows));
}

bool ServerStore::catchUp(qint64 version)
{
    if (!m_loaded || !m_history)
        return false;
    const pgdb::Result entries = m_db->exec("SELECT \"编号\", \"种类\", coalesce(\"记录\", 0), \"行数\" FROM \"操作记录\""
                                            " WHERE \"编号\" > $1 ORDER BY \"编号\"",
                                            {number(m_entry)});
    // Each change this program makes bumps the version once and writes one entry: when they
    // disagree, another program (or a role without the record of changes) wrote.
    if (entries.rows() != version - m_version)
        return false;
    QStringList names, deletions, restores;
    bool stockTake = false;
    qint64 added = 0; // at most this many rows above the highest id held
    for (int i = 0; i < entries.rows(); ++i) {
        const ChangeKind kind = changeKindOf(entries.text(i, 1));
        if (kind != ChangeKind::Delete)
            added += entries.number(i, 3);
        switch (kind) {
        case ChangeKind::Add: names << entries.text(i, 2); break;
        case ChangeKind::Delete: deletions << entries.text(i, 0); break;
        case ChangeKind::Restore: restores << entries.text(i, 0); break;
        case ChangeKind::StockTake: stockTake = true; break;
        case ChangeKind::CarryOver: break; // rows above the highest id held
        case ChangeKind::Outside: return false;
        }
    }
    if (!deletions.isEmpty() || !restores.isEmpty()) {
        // The rows of those deletions and of the deletions those restores put back; a deletion
        // whose copies went meanwhile (cleared, too old) cannot be followed.
        const pgdb::Result kept = m_db->exec(
            "SELECT e.\"编号\", e.\"行数\", count(d.\"行号\"), coalesce(e.\"恢复于\" = ANY($2::bigint[]), false),"
            " coalesce(string_agg(d.\"行号\"::text, ','), '') FROM \"操作记录\" e LEFT JOIN \"删除的记录\" d"
            " ON d.\"操作\" = e.\"编号\" WHERE e.\"编号\" = ANY($1::bigint[]) OR e.\"恢复于\" = ANY($2::bigint[])"
            " GROUP BY e.\"编号\"",
            {idArray(deletions), idArray(restores)});
        qsizetype found = 0, putBack = 0;
        for (int i = 0; i < kept.rows(); ++i) {
            if (kept.number(i, 1) != kept.number(i, 2))
                return false;
            found += deletions.contains(kept.text(i, 0));
            putBack += kept.text(i, 3) == QLatin1String("t");
            if (kept.number(i, 2) > 0)
                names << kept.text(i, 4).split(u',');
        }
        if (found != deletions.size() || putBack != restores.size())
            return false;
    }

    const std::vector<Record> &rows = loadedRows();
    const qint64 newest = rows.empty() ? 0 : rows.back().id;
    // Two walks along the key: the limit keeps the planner off a scan of the whole table when
    // it has no statistics yet, and one more row than expected means another program wrote.
    static const std::string above =
        "SELECT id, " + columnListSql() + " FROM \"库\" WHERE id > $1 ORDER BY id LIMIT $2";
    static const std::string byId = "SELECT id, " + columnListSql() + " FROM \"库\" WHERE id = ANY($1::bigint[])";
    const pgdb::Result fresh = m_db->exec(above.c_str(), {number(newest), number(added + 1)});
    if (fresh.rows() > added)
        return false;
    const pgdb::Result named = names.isEmpty() ? pgdb::Result() : m_db->exec(byId.c_str(), {idArray(names)});
    std::vector<Record> newer, older;
    QSet<qint64> present;
    for (const pgdb::Result *now : {&fresh, &named}) {
        for (int i = 0; i < now->rows(); ++i) {
            Record r = recordFrom(*now, i, 1);
            r.id = now->number(i, 0);
            if (present.contains(r.id))
                continue;
            present.insert(r.id);
            if (!positionOf(r.id))
                (r.id > newest ? newer : older).push_back(std::move(r));
        }
    }
    std::sort(older.begin(), older.end(), [](const Record &a, const Record &b) { return a.id < b.id; });
    std::vector<std::size_t> gone;
    for (const QString &id : std::as_const(names)) {
        const qint64 n = id.toLongLong();
        if (const auto at = positionOf(n); at && !present.contains(n))
            gone.push_back(*at);
    }
    std::sort(gone.begin(), gone.end());
    gone.erase(std::unique(gone.begin(), gone.end()), gone.end());

    if (entries.rows() > 0)
        m_entry = entries.number(entries.rows() - 1, 0);
    removeRowsAt(gone);
    // Rows put back, and a stock-take's rows (which the facts mark when they are built), as a reload.
    if (!older.empty() || (stockTake && !newer.empty())) {
        newer.insert(newer.end(), std::make_move_iterator(older.begin()), std::make_move_iterator(older.end()));
        mergeRows(std::move(newer));
    } else if (!newer.empty()) {
        appendRows(newer);
    }
    return true;
}

void ServerStore::follow(qint64 version, bool others)
{
    if (m_loaded && version == m_version)
        return;
    const bool held = m_loaded;
    if (!catchUp(version))
        load();
    m_version = version;
    if (held && others)
        emit changedElsewhere();
}

void ServerStore::refresh(bool others)
{
    const qint64 version = m_db->exec("SELECT n FROM \"账本版本\"").number(0, 0);
    if (m_loaded && version == m_version)
        return;
    // The counter, the entries and the rows from one snapshot.
    Transaction tx(*m_db);
    m_db->exec("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ READ ONLY");
    follow(m_db->exec("SELECT n FROM \"账本版本\"").number(0, 0), others);
    tx.commit();
}

const std::vector<Record> &ServerStore::rows()
{
    guarded(StoreError::Kind::Read, [&] { refresh(true); });
    return loadedRows();
}

bool ServerStore::reconnect()
{
    return guarded(StoreError::Kind::Read, [&] { return m_db->reconnect(); });
}

void ServerStore::beginChange()
{
    // The counter's row lock lets one writer at a time through, in commit order: what was
    // committed before is all there is to take in.
    follow(bumpVersion(*m_db) - 1, true);
}

Record ServerStore::add(const Record &r)
{
    return guarded(StoreError::Kind::Add, [&] {
        Transaction tx(*m_db);
        beginChange();
        Record stored = r;
        stored.id = m_db->exec(insertReturningSql(), recordParams(r)).number(0, 0);
        const qint64 entry = m_history ? addEntry(*m_db, ChangeKind::Add, addSummary(r), 1, QString(), stored.id) : 0;
        tx.commit();
        committed(entry);
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
        beginChange();
        pgdb::CopyIn in(*m_db, copyInSql());
        for (std::size_t n = 0; n < records.size(); ++n) {
            addRecord(in, records[n]);
            if (progress && n % 1024 == 1023)
                progress(n + 1);
        }
        in.finish();
        if (m_history) {
            const auto n = static_cast<qint64>(records.size());
            addEntry(*m_db, ChangeKind::CarryOver, carryOverSummary(n), n,
                     rowsChecksum(RecordRefs(records.cbegin(), records.cend())), 0);
        }
        tx.commit();
        refresh(false); // the new rows and their ids read back, as another PC would take them in
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
    // Nothing to delete changes nothing, not even the version the other PCs follow.
    if (positions.empty())
        return 0;
    m_db->exec("DELETE FROM \"库\" WHERE id = ANY($1::bigint[])", {idArray(ids)});
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
    const qint64 entry = m_history ? recordDeletion(positions) : 0;
    for (const QString &key : std::as_const(gone)) {
        const QStringList parts = key.split(QChar(0x1f));
        if (entry)
            m_db->exec("INSERT INTO \"删除的条码\" (\"操作\", \"条码\", \"类\", \"商品名\") SELECT $3::bigint, \"条码\", \"类\","
                       " \"商品名\" FROM \"条码\" WHERE \"类\" = $1 AND \"商品名\" = $2 ORDER BY \"序\"",
                       {parts[0], parts[1], number(entry)});
        m_db->exec("DELETE FROM \"条码\" WHERE \"类\" = $1 AND \"商品名\" = $2", {parts[0], parts[1]});
    }
    tx.commit();
    committed(entry);
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
        return removePositions(tx, exactly(target)) > 0;
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
    return guarded(StoreError::Kind::Read, [&] { return readCodes(*m_db); });
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
            const auto at = positionOf(id);
            if (at && rows[*at].txno == res.text(i, 1))
                facts.markStockTake(*at);
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
        qint64 entry = 0;
        if (m_history) {
            const auto n = static_cast<qint64>(rows.size());
            entry = addEntry(*m_db, ChangeKind::StockTake, stockTakeSummary(n), n,
                             rowsChecksum(RecordRefs(rows.cbegin(), rows.cend())), 0);
        }
        tx.commit();
        committed(entry);
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
        Transaction tx(*m_db);
        m_db->exec("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ READ ONLY");
        std::vector<StockTakeRecord> takes = readStockTakes(*m_db);
        tx.commit();
        return takes;
    });
}

qint64 ServerStore::recordDeletion(const std::vector<std::size_t> &positions)
{
    const std::vector<Record> &rows = loadedRows();
    const RecordRefs refs = rowsAt(positions);
    const auto n = static_cast<qint64>(positions.size());
    const qint64 entry = addEntry(*m_db, ChangeKind::Delete, deletionSummary(refs), n, rowsChecksum(refs), 0);
    pgdb::CopyIn in(*m_db, copyDeletedSql());
    for (const std::size_t p : positions) {
        in.add(entry).add(static_cast<qint64>(p)).add(rows[p].id);
        addRecord(in, rows[p]);
    }
    in.finish();
    return entry;
}

std::vector<ChangeEntry> ServerStore::entries(const char *where, int limit)
{
    if (!m_history)
        return {};
    return guarded(StoreError::Kind::Read, [&] { return readEntries(*m_db, where, limit); });
}

std::vector<ChangeEntry> ServerStore::history(int limit) { return entries("true", limit); }

std::vector<ChangeEntry> ServerStore::deletions()
{
    return entries("\"种类\" = '删除' AND \"恢复于\" IS NULL AND EXISTS (SELECT 1 FROM \"删除的记录\" d"
                   " WHERE d.\"操作\" = e.\"编号\")",
                   -1);
}

std::vector<DeletedRow> ServerStore::deletedRows(qint64 entry)
{
    if (!m_history)
        return {};
    return guarded(StoreError::Kind::Read, [&] {
        // A deletion put back keeps its copies for the other PCs only, as if they were gone.
        static const std::string select =
            "SELECT \"位置\", \"行号\", " + columnListSql() +
            " FROM \"删除的记录\" d WHERE \"操作\" = $1 AND NOT EXISTS (SELECT 1 FROM \"操作记录\""
            " WHERE \"编号\" = d.\"操作\" AND \"恢复于\" IS NOT NULL) ORDER BY \"位置\"";
        const pgdb::Result res = m_db->exec(select.c_str(), {number(entry)});
        std::vector<DeletedRow> found;
        found.reserve(static_cast<std::size_t>(res.rows()));
        for (int i = 0; i < res.rows(); ++i) {
            DeletedRow d{recordFrom(res, i, 2), res.number(i, 0)};
            d.row.id = res.number(i, 1);
            found.push_back(std::move(d));
        }
        return found;
    });
}

std::vector<ProductCode> ServerStore::deletedCodes(qint64 entry)
{
    if (!m_history)
        return {};
    return guarded(StoreError::Kind::Read, [&] {
        return codesFrom(m_db->exec(
            "SELECT \"条码\", \"类\", \"商品名\" FROM \"删除的条码\" WHERE \"操作\" = $1 ORDER BY \"序\"", {number(entry)}));
    });
}

RestoredDeletion ServerStore::restoreDeletion(qint64 entry)
{
    constexpr StoreError::Kind kFailed = StoreError::Kind::Restore;
    if (!m_history)
        throw StoreError::onServer(kFailed, path(), QStringLiteral("服务器上的账本还不保存删除的记录"));
    return guarded(kFailed, [&] {
        Transaction tx(*m_db);
        beginChange();
        // After beginChange(): a second restore of the same deletion waits for this one and sees it done.
        const pgdb::Result found = m_db->exec(
            "SELECT coalesce(\"恢复于\", 0) FROM \"操作记录\" WHERE \"编号\" = $1 AND \"种类\" = '删除'", {number(entry)});
        if (found.rows() == 0)
            throw StoreError::onServer(kFailed, path(), noSuchDeletion(entry));
        if (const qint64 by = found.number(0, 0); by != 0)
            throw StoreError::onServer(kFailed, path(), restoredAlready(by));
        const std::vector<DeletedRow> deleted = deletedRows(entry);
        if (deleted.empty())
            throw StoreError::onServer(kFailed, path(), deletionNotKept());

        QStringList ids;
        for (const DeletedRow &d : deleted)
            ids << number(d.row.id);
        static const std::string takenSql = "SELECT id, " + columnListSql() + " FROM \"库\" WHERE id = ANY($1::bigint[])";
        const pgdb::Result takenRows = m_db->exec(takenSql.c_str(), {idArray(ids)});
        QSet<qint64> taken;
        RestoredDeletion done;
        std::vector<Record> back;
        for (int i = 0; i < takenRows.rows(); ++i) {
            taken.insert(takenRows.number(i, 0));
            // Taken by a row another program wrote, which the rows in memory lack so far.
            if (!positionOf(takenRows.number(i, 0))) {
                back.push_back(recordFrom(takenRows, i, 1));
                back.back().id = takenRows.number(i, 0);
            }
        }
        {
            pgdb::CopyIn in(*m_db, copyInWithIdSql());
            for (const DeletedRow &d : deleted) {
                if (taken.contains(d.row.id))
                    continue;
                in.add(d.row.id);
                addRecord(in, d.row);
                back.push_back(d.row);
            }
            in.finish();
        }
        // Rows whose old id another program gave out meanwhile: new ids, so at the end.
        for (const DeletedRow &d : deleted) {
            if (!taken.contains(d.row.id))
                continue;
            done.movedToEnd.push_back(d.row.id);
            back.push_back(d.row);
            back.back().id = m_db->exec(insertReturningSql(), recordParams(d.row)).number(0, 0);
        }
        done.rows = static_cast<qint64>(deleted.size());
        done.entry = addEntry(*m_db, ChangeKind::Restore, restoreSummary(entry, done.rows), done.rows,
                              rowsChecksum(rowsOf(deleted)), 0);
        // The copies stay (until the deletion is 90 days old): they tell the other PCs which rows came back.
        m_db->exec("UPDATE \"操作记录\" SET \"恢复于\" = $1 WHERE \"编号\" = $2", {number(done.entry), number(entry)});
        // The kept codes go back, and are no longer kept; a code filed under another product
        // meanwhile stays there.
        m_db->exec("INSERT INTO \"条码\" (\"条码\", \"类\", \"商品名\") SELECT \"条码\", \"类\", \"商品名\""
                   " FROM \"删除的条码\" WHERE \"操作\" = $1 ORDER BY \"序\" ON CONFLICT (\"条码\") DO NOTHING",
                   {number(entry)});
        m_db->exec("DELETE FROM \"删除的条码\" WHERE \"操作\" = $1", {number(entry)});
        tx.commit();
        committed(done.entry);
        // The rows went back among the others, at their ids.
        mergeRows(std::move(back));
        return done;
    });
}

int ServerStore::pruneDeletions(const QDateTime &now)
{
    if (!m_history)
        return 0;
    return guarded(StoreError::Kind::Remove, [&] {
        const qint64 before = now.toSecsSinceEpoch() - qint64(kDeletionDays) * 86400;
        // One statement: its parts see the same entries and commit together.
        return static_cast<int>(
            m_db->exec("WITH old AS (SELECT \"编号\" FROM \"操作记录\" WHERE \"种类\" = '删除'"
                       " AND \"时间\" < to_timestamp($1::bigint)),"
                       " codes AS (DELETE FROM \"删除的条码\" WHERE \"操作\" IN (SELECT \"编号\" FROM old)),"
                       " gone AS (DELETE FROM \"删除的记录\" WHERE \"操作\" IN (SELECT \"编号\" FROM old) RETURNING \"操作\")"
                       " SELECT count(DISTINCT \"操作\") FROM gone",
                       {number(before)})
                .number(0, 0));
    });
}

void ServerStore::clearDeletions()
{
    if (!m_history)
        return;
    guarded(StoreError::Kind::Remove, [&] {
        Transaction tx(*m_db);
        m_db->exec("DELETE FROM \"删除的记录\"");
        m_db->exec("DELETE FROM \"删除的条码\"");
        tx.commit();
    });
}

ServerStore::Snapshot ServerStore::readSnapshot(Connection &db, const std::function<void(const pgdb::CopyRow &)> &row,
                                                LedgerRecords *records)
{
    try {
        Snapshot s;
        Transaction tx(db);
        db.exec("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ READ ONLY");
        s.version = db.exec("SELECT n FROM \"账本版本\"").number(0, 0);
        db.copyOut(copyOutSql(), [&](const pgdb::CopyRow &line) {
            ++s.rows;
            s.nextId = std::max(s.nextId, toNumber(line.bytes(0)) + 1);
            row(line);
        });
        if (records)
            *records = readRecords(db);
        // The sequence stands outside the snapshot; it only goes up.
        s.nextId = std::max(s.nextId, db.exec("SELECT coalesce(pg_sequence_last_value("
                                              "pg_get_serial_sequence('\"库\"', 'id')::regclass), 0) + 1")
                                          .number(0, 0));
        tx.commit();
        return s;
    } catch (const Failure &f) {
        throw fromFailure(StoreError::Kind::Read, f);
    }
}

QString ServerStore::inUseReason(qint64 others)
{
    return QStringLiteral("正被另外 %1 个连接使用，请先关闭其他计算机上的本软件").arg(others);
}

qint64 ServerStore::otherSessions()
{
    // The server's own workers (autovacuum) have no role; the kind of another role's session is
    // shown only to a role allowed to see it, and a session of unknown kind may be another PC.
    return guarded(StoreError::Kind::Read, [&] {
        return m_db
            ->exec("SELECT count(*) FROM pg_stat_activity WHERE datname = current_database()"
                   " AND usesysid IS NOT NULL AND coalesce(backend_type, 'client backend') = 'client backend'"
                   " AND pid <> pg_backend_pid()")
            .number(0, 0);
    });
}

namespace {

// Inside the restore's transaction: the backup's codes, stock-takes and (with history) record of
// changes in place of the server's; returns an id above the rows the record keeps.
qint64 replaceRecords(Connection &db, const LedgerRecords &records, bool history)
{
    db.exec("DELETE FROM \"条码\"");
    db.exec("DELETE FROM \"盘点明细\"");
    db.exec("DELETE FROM \"盘点\"");
    {
        pgdb::CopyIn in(db, "COPY \"条码\" (\"条码\", \"类\", \"商品名\") FROM STDIN");
        for (const ProductCode &c : records.codes) {
            in.add(c.code).add(c.category).add(c.name);
            in.endRow();
        }
        in.finish();
    }
    {
        pgdb::CopyIn heads(db, "COPY \"盘点\" (\"编号\", \"时间\", \"计算机\") FROM STDIN");
        for (const StockTakeRecord &t : records.stockTakes) {
            heads.add(t.id).add(t.when).add(t.computer);
            heads.endRow();
        }
        heads.finish();
        pgdb::CopyIn lines(db, "COPY \"盘点明细\" (\"盘点\", \"类\", \"商品名\", \"账面\", \"实盘\", \"记录\", "
                               "\"交易号码\") FROM STDIN");
        for (const StockTakeRecord &t : records.stockTakes)
            for (const StockTakeLine &l : t.lines) {
                lines.add(t.id).add(l.category).add(l.name).add(l.book).add(l.count);
                lines.add(l.rowId ? number(l.rowId) : QString()).add(l.txno);
                lines.endRow();
            }
        lines.finish();
    }
    // Stock-takes made after the restore are numbered above the restored ones.
    db.exec("SELECT setval(pg_get_serial_sequence('\"盘点\"', '编号'), greatest(max(\"编号\"), 1), max(\"编号\") IS NOT NULL)"
            " FROM \"盘点\"");
    qint64 top = 0;
    if (!history)
        return top;
    db.exec("DELETE FROM \"删除的记录\"");
    db.exec("DELETE FROM \"删除的条码\"");
    db.exec("DELETE FROM \"操作记录\"");
    qint64 newest = 0;
    {
        pgdb::CopyIn in(db, "COPY \"操作记录\" (\"编号\", \"时间\", \"计算机\", \"种类\", \"说明\", \"行数\", \"校验\","
                            " \"记录\", \"恢复于\") FROM STDIN");
        for (const ChangeEntry &e : records.entries) {
            in.add(e.number).add(e.time.toUTC().toString(Qt::ISODate)).add(e.computer).add(changeKindName(e.kind));
            in.add(e.summary).add(e.count).add(e.checksum);
            in.add(e.rowId ? number(e.rowId) : QString()).add(e.restoredBy ? number(e.restoredBy) : QString());
            in.endRow();
            newest = std::max(newest, e.number);
        }
        in.finish();
    }
    {
        pgdb::CopyIn in(db, copyDeletedSql());
        for (const auto &[entry, d] : records.deleted) {
            in.add(entry).add(d.position).add(d.row.id);
            addRecord(in, d.row);
            top = std::max(top, d.row.id);
        }
        in.finish();
    }
    {
        pgdb::CopyIn in(db, "COPY \"删除的条码\" (\"操作\", \"条码\", \"类\", \"商品名\") FROM STDIN");
        for (const auto &[entry, c] : records.deletedCodes) {
            in.add(entry).add(c.code).add(c.category).add(c.name);
            in.endRow();
        }
        in.finish();
    }
    // Entry numbers never go down: the other PCs follow them.
    db.exec("UPDATE \"操作编号\" SET n = greatest(n, $1::bigint)", {number(newest)});
    return top;
}

} // namespace

void ServerStore::replaceRows(const std::vector<Record> &backupRows, const QString &backup, qint64 version,
                              const LedgerRecords *records)
{
    constexpr StoreError::Kind kFailed = StoreError::Kind::Add;
    guarded(kFailed, [&] {
        Transaction tx(*m_db);
        // The writers' turn first: from here to the commit nobody else changes the rows.
        const qint64 next = bumpVersion(*m_db);
        if (next - 1 != version)
            throw StoreError::onServer(kFailed, path(), QStringLiteral("账本在保留当前记录之后又有改动，请再试一次"));
        if (const qint64 others = otherSessions(); others > 0)
            throw StoreError::onServer(kFailed, path(), QStringLiteral("账本") + inUseReason(others));
        m_db->exec("DELETE FROM \"库\"");
        qint64 top = 0;
        {
            pgdb::CopyIn in(*m_db, copyInWithIdSql());
            for (const Record &r : backupRows) {
                in.add(r.id);
                addRecord(in, r);
                top = std::max(top, r.id);
            }
            in.finish();
        }
        const auto n = static_cast<qint64>(backupRows.size());
        if (m_db->exec("SELECT count(*) FROM \"库\"").number(0, 0) != n || serverChecksum(*m_db) != checksum(backupRows))
            throw StoreError::onServer(kFailed, path(), QStringLiteral("服务器上的记录与备份文件不一致（数目或校验和不符）"));
        if (records)
            top = std::max(top, replaceRecords(*m_db, *records, m_history));
        // New rows get ids above the restored ones (and the deleted ones a restore of a deletion
        // puts back); the sequence never goes down.
        if (m_db->exec("SELECT nextval(pg_get_serial_sequence('\"库\"', 'id'))").number(0, 0) <= top)
            m_db->exec("SELECT setval(pg_get_serial_sequence('\"库\"', 'id'), $1::bigint)", {number(top)});
        if (m_history) {
            addEntry(*m_db, ChangeKind::Restore, backupRestoreSummary(backup, n), n,
                     rowsChecksum(RecordRefs(backupRows.cbegin(), backupRows.cend())), 0);
            // The record knows of the backup's rows now, not of them on top of those before.
            m_db->exec("UPDATE \"操作编号\" SET \"行数\" = $1::bigint", {number(n)});
        }
        tx.commit();
        m_loaded = false;
        rows();
    });
}

} // namespace ledger
