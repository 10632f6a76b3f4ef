#include "ledger/pg_db.h"

#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <chrono>
#include <cstdlib>
#include <libpq-fe.h>
#include <poll.h>

namespace ledger::pgdb {

namespace {

const QString kConnectFailed = QStringLiteral("无法连接到服务器“%1”：%2！");
const QString kConnectFailedNoServer = QStringLiteral("无法连接到服务器：%1！");
const QString kFailed = QStringLiteral("服务器“%1”上的操作没有完成：%2！");

// Rows go to the server in pieces of about this size.
constexpr std::size_t kCopyPiece = 1 << 16;

QString utf8(const char *text) { return text ? QString::fromUtf8(text).trimmed() : QString(); }

QString errorField(const pg_result *res, int field) { return res ? utf8(PQresultErrorField(res, field)) : QString(); }

void ignoreNotice(void *, const char *) {}

// The value of keyword among libpq's parsed options, or empty.
QString optionValue(const PQconninfoOption *options, const char *keyword)
{
    for (auto *o = options; o && o->keyword; ++o) {
        if (qstrcmp(o->keyword, keyword) == 0 && o->val && *o->val)
            return QString::fromUtf8(o->val);
    }
    return {};
}

struct Options {
    void operator()(PQconninfoOption *o) const { PQconninfoFree(o); }
};
using OptionList = std::unique_ptr<PQconninfoOption, Options>;

// A value in single quotes, its quotes and backslashes escaped.
QString quotedOption(const QString &value)
{
    QString v = value;
    v.replace(u'\\', QStringLiteral("\\\\")).replace(u'\'', QStringLiteral("\\'"));
    return u'\'' + v + u'\'';
}

// libpq's options as a connection string, every one that has a value but the password.
QString withoutPassword(const PQconninfoOption *options)
{
    QStringList parts;
    for (const PQconninfoOption *o = options; o && o->keyword; ++o)
        if (o->val && qstrcmp(o->keyword, "password") != 0)
            parts << QString::fromUtf8(o->keyword) + u'=' + quotedOption(QString::fromUtf8(o->val));
    return parts.join(u' ');
}

} // namespace

QString withoutPassword(const QString &conninfo)
{
    char *error = nullptr;
    const OptionList options(PQconninfoParse(conninfo.toUtf8().constData(), &error));
    PQfreemem(error);
    return options ? withoutPassword(options.get()) : QString();
}

Failure::Failure(FailureKind kind, QString server, QString sqlState, QString serverMessage, bool connecting,
                 QString reason)
    : std::runtime_error(serverMessage.toStdString()), m_kind(kind), m_server(std::move(server)),
      m_sqlState(std::move(sqlState)), m_serverMessage(std::move(serverMessage)),
      m_reason(reason.isEmpty() ? reasonPhrase(kind, m_serverMessage) : std::move(reason)), m_connecting(connecting)
{
}

QString Failure::message() const
{
    if (!m_connecting)
        return kFailed.arg(m_server, m_reason);
    return m_server.isEmpty() ? kConnectFailedNoServer.arg(m_reason) : kConnectFailed.arg(m_server, m_reason);
}

FailureKind kindOf(std::string_view state)
{
    if (state.starts_with("28"))
        return FailureKind::BadPassword;
    if (state == "3D000")
        return FailureKind::NoDatabase;
    if (state == "42501")
        return FailureKind::NoPermission;
    if (state == "42P01" || state == "42703" || state == "42804")
        return FailureKind::WrongShape;
    // Connection exceptions, and the server ending the session (killed, crashed, shutting down).
    if (state.starts_with("08") || state == "57P01" || state == "57P02" || state == "57P03")
        return FailureKind::ConnectionLost;
    return FailureKind::Other;
}

QString reasonPhrase(FailureKind kind, const QString &serverMessage)
{
    switch (kind) {
    case FailureKind::Unreachable:
        return QStringLiteral("服务器没有应答（请检查地址、端口和网络，以及服务器是否已启动）");
    case FailureKind::PasswordNeeded:
        return QStringLiteral("服务器要求密码，但没有提供（可写入 ~/.pgpass，或设置环境变量 PGPASSWORD）");
    case FailureKind::BadPassword:
        return QStringLiteral("用户名或密码不正确，或服务器不允许此用户从这台电脑登录");
    case FailureKind::NoDatabase:
        return QStringLiteral("服务器上没有这个数据库");
    case FailureKind::NoPermission:
        return QStringLiteral("该用户没有所需的权限");
    case FailureKind::WrongShape:
        return QStringLiteral("服务器上的账本表与本软件的格式不符");
    case FailureKind::ConnectionLost:
        return QStringLiteral("与服务器的连接中断了");
    case FailureKind::Other:
        break;
    }
    return QStringLiteral("服务器报告错误：%1").arg(serverMessage);
}

QString describeServer(const QString &conninfo)
{
    char *error = nullptr;
    const OptionList given(PQconninfoParse(conninfo.toUtf8().constData(), &error));
    PQfreemem(error);
    if (!given)
        return {};
    const OptionList defaults(PQconndefaults());
    const auto value = [&](const char *keyword) {
        const QString v = optionValue(given.get(), keyword);
        return v.isEmpty() ? optionValue(defaults.get(), keyword) : v;
    };
    QString host = value("host");
    if (host.isEmpty())
        host = value("hostaddr");
    if (host.isEmpty())
        host = QStringLiteral("本机"); // libpq's own socket folder
    const QString port = value("port");
    if (!port.isEmpty() && port != QLatin1String("5432"))
        host += QLatin1Char(':') + port;
    QString db = value("dbname");
    if (db.isEmpty())
        db = value("user"); // libpq's default database
    return host + QLatin1Char('/') + db;
}

void Result::Clear::operator()(pg_result *res) const { PQclear(res); }

Result::Result(pg_result *res) : m_res(res) {}

int Result::rows() const { return PQntuples(m_res.get()); }

int Result::columns() const { return PQnfields(m_res.get()); }

bool Result::isNull(int row, int column) const { return PQgetisnull(m_res.get(), row, column) != 0; }

QString Result::text(int row, int column) const
{
    if (isNull(row, column))
        return {};
    return QString::fromUtf8(PQgetvalue(m_res.get(), row, column), PQgetlength(m_res.get(), row, column));
}

qint64 Result::number(int row, int column) const { return std::strtoll(PQgetvalue(m_res.get(), row, column), nullptr, 10); }

qint64 Result::affected() const { return std::strtoll(PQcmdTuples(m_res.get()), nullptr, 10); }

QString Result::command() const { return utf8(PQcmdStatus(m_res.get())); }

QString CopyRow::text(int i) const
{
    if (isNull(i))
        return {};
    const std::string_view b = bytes(i);
    return QString::fromUtf8(b.data(), static_cast<qsizetype>(b.size()));
}

bool CopyRow::parse(std::string_view line)
{
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    m_buffer.clear();
    // Unescaping only shortens: the views into the buffer stay valid while it grows.
    m_buffer.reserve(line.size() + 1);
    m_fields.clear();
    m_null.clear();
    std::size_t i = 0;
    for (;;) {
        const std::size_t start = m_buffer.size();
        bool null = false;
        if (line.substr(i, 2) == "\\N" && (i + 2 == line.size() || line[i + 2] == '\t')) {
            null = true;
            i += 2;
        }
        while (!null && i < line.size() && line[i] != '\t') {
            const char c = line[i++];
            if (c != '\\') {
                m_buffer.push_back(c);
                continue;
            }
            if (i == line.size())
                return false;
            const char e = line[i++];
            switch (e) {
            case 'b': m_buffer.push_back('\b'); break;
            case 'f': m_buffer.push_back('\f'); break;
            case 'n': m_buffer.push_back('\n'); break;
            case 'r': m_buffer.push_back('\r'); break;
            case 't': m_buffer.push_back('\t'); break;
            case 'v': m_buffer.push_back('\v'); break;
            case 'x': {
                int v = 0, digits = 0;
                for (; digits < 2 && i < line.size() && std::isxdigit(static_cast<unsigned char>(line[i])); ++digits) {
                    const char h = line[i++];
                    v = v * 16 + (h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
                }
                if (digits == 0)
                    m_buffer.push_back('x');
                else
                    m_buffer.push_back(static_cast<char>(v));
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    int v = e - '0';
                    for (int digits = 1; digits < 3 && i < line.size() && line[i] >= '0' && line[i] <= '7'; ++digits)
                        v = v * 8 + (line[i++] - '0');
                    m_buffer.push_back(static_cast<char>(v));
                } else {
                    m_buffer.push_back(e); // a backslash before anything else stands for that character
                }
            }
        }
        m_fields.emplace_back(m_buffer.data() + start, m_buffer.size() - start);
        m_null.push_back(null);
        if (i == line.size())
            return true;
        if (line[i] != '\t')
            return false; // "\N" followed by more text
        ++i;
    }
}

void Connection::Finish::operator()(pg_conn *conn) const { PQfinish(conn); }

Connection::Connection(const QString &conninfo, const QString &password) : m_conninfo(conninfo), m_password(password)
{
    connect();
}

void Connection::start()
{
    const QByteArray info = m_conninfo.toUtf8();
    char *error = nullptr;
    if (const OptionList parsed(PQconninfoParse(info.constData(), &error)); !parsed) {
        const QString why = utf8(error);
        PQfreemem(error);
        throw Failure(FailureKind::Other, {}, {}, why, true, QStringLiteral("连接参数有误：%1").arg(why));
    }
    m_server = describeServer(m_conninfo);
    // Entries before dbname are defaults the connection string may override; those after it win.
    std::vector<const char *> keys, values;
    const QByteArray timeout = QByteArray::number(kConnectTimeout);
    if (!qEnvironmentVariableIsSet("PGCONNECT_TIMEOUT")) {
        keys.push_back("connect_timeout");
        values.push_back(timeout.constData());
    }
    keys.insert(keys.end(), {"fallback_application_name", "dbname", "client_encoding"});
    values.insert(values.end(), {"warehouse", info.constData(), "UTF8"});
    const QByteArray secret = m_password.toUtf8();
    if (!m_password.isNull()) {
        keys.push_back("password");
        values.push_back(secret.constData());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    m_conn.reset(PQconnectStartParams(keys.data(), values.data(), 1));
    if (!m_conn)
        throw Failure(FailureKind::Other, m_server, {}, QStringLiteral("out of memory"), true);
    // Verbose messages carry the server's SQLSTATE, which libpq keeps nowhere else while connecting.
    PQsetErrorVerbosity(m_conn.get(), PQERRORS_VERBOSE);
    PQsetNoticeProcessor(m_conn.get(), ignoreNotice, nullptr);

    // libpq's own wait (PQconnectdb) would lose the SQLSTATE: waited for here, as long as
    // connect_timeout says.
    const OptionList used(PQconninfo(m_conn.get()));
    const int seconds = optionValue(used.get(), "connect_timeout").toInt();
    m_deadline = seconds > 0 ? std::optional(std::chrono::steady_clock::now() + std::chrono::seconds(seconds))
                             : std::nullopt;
    m_polling = PQstatus(m_conn.get()) == CONNECTION_BAD ? PGRES_POLLING_FAILED : PGRES_POLLING_WRITING;
}

bool Connection::advance(std::chrono::milliseconds wait)
{
    while (m_polling != PGRES_POLLING_OK && m_polling != PGRES_POLLING_FAILED) {
        pollfd fd{PQsocket(m_conn.get()), static_cast<short>(m_polling == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        auto left = wait;
        if (m_deadline)
            left = std::min(left, std::max(std::chrono::milliseconds(0),
                                           std::chrono::duration_cast<std::chrono::milliseconds>(
                                               *m_deadline - std::chrono::steady_clock::now())));
        const int ready = ::poll(&fd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            if (m_deadline && std::chrono::steady_clock::now() >= *m_deadline)
                throw Failure(FailureKind::Unreachable, m_server, {}, QStringLiteral("timeout expired"), true);
            return false;
        }
        m_polling = PQconnectPoll(m_conn.get());
    }
    if (m_polling == PGRES_POLLING_OK)
        return true;

    const QString said = utf8(PQerrorMessage(m_conn.get()));
    // "SEVERITY:  SQLSTATE: message", the severity perhaps in the server's language.
    static const QRegularExpression sqlState(QStringLiteral(":  ([0-9A-Z]{5}): "));
    QString code;
    for (auto it = sqlState.globalMatch(said); it.hasNext();)
        code = it.next().captured(1);
    FailureKind kind = code.isEmpty() ? FailureKind::Unreachable : kindOf(code.toStdString());
    if (PQconnectionNeedsPassword(m_conn.get()))
        kind = FailureKind::PasswordNeeded;
    else if (kind == FailureKind::ConnectionLost)
        kind = FailureKind::Unreachable; // starting up or shutting down
    throw Failure(kind, m_server, code, said, true);
}

void Connection::connect()
{
    m_reconnecting = false;
    start();
    while (!advance(std::chrono::milliseconds(INT_MAX))) {
    }
}

bool Connection::reconnect()
{
    if (m_inTransaction || (!m_reconnecting && PQstatus(m_conn.get()) == CONNECTION_OK))
        return false;
    if (!m_reconnecting) {
        m_conn.reset();
        start();
        m_reconnecting = true;
    }
    try {
        if (!advance(std::chrono::milliseconds(0)))
            return false;
    } catch (const Failure &) {
        m_reconnecting = false; // the next call starts again
        throw;
    }
    m_reconnecting = false;
    for (const SessionStatement &s : m_session)
        exec(s.sql.c_str(), s.params);
    return true;
}

Connection::~Connection() = default;

int Connection::backendPid() const { return PQbackendPID(m_conn.get()); }

void Connection::ready()
{
    if (m_inTransaction)
        return;
    // A session ended while idle says so in what is waiting on the socket: its last message,
    // then the end of the stream, perhaps in two reads.
    for (int reads = 0; reads < 4 && PQstatus(m_conn.get()) == CONNECTION_OK; ++reads) {
        pollfd fd{PQsocket(m_conn.get()), POLLIN, 0};
        if (::poll(&fd, 1, 0) <= 0)
            break;
        PQconsumeInput(m_conn.get());
    }
    if (PQstatus(m_conn.get()) == CONNECTION_OK)
        return;
    m_conn.reset();
    connect();
    for (const SessionStatement &s : m_session)
        exec(s.sql.c_str(), s.params);
}

void Connection::keepForSession(const char *sql, const std::vector<QString> &params)
{
    exec(sql, params);
    const auto same = std::find_if(m_session.begin(), m_session.end(), [&](const SessionStatement &s) { return s.sql == sql; });
    if (same != m_session.end())
        same->params = params; // a setting given again
    else
        m_session.push_back({sql, params});
}

int Connection::socket() const { return m_conn && PQstatus(m_conn.get()) == CONNECTION_OK ? PQsocket(m_conn.get()) : -1; }

bool Connection::notified()
{
    if (!m_conn || PQstatus(m_conn.get()) != CONNECTION_OK)
        return false;
    PQconsumeInput(m_conn.get());
    bool any = false;
    while (PGnotify *n = PQnotifies(m_conn.get())) {
        any = any || n->be_pid != PQbackendPID(m_conn.get());
        PQfreemem(n);
    }
    return any;
}

Address Connection::address() const
{
    Address a;
    const OptionList used(PQconninfo(m_conn.get()));
    a.conninfo = withoutPassword(used.get());
    if (const char *secret = PQpass(m_conn.get()); secret && *secret)
        a.password = QString::fromUtf8(secret);
    return a;
}

void Connection::fail(const pg_result *res) const
{
    const QString state = errorField(res, PG_DIAG_SQLSTATE);
    QString said = errorField(res, PG_DIAG_MESSAGE_PRIMARY);
    if (said.isEmpty())
        said = utf8(PQerrorMessage(m_conn.get()));
    const FailureKind kind = PQstatus(m_conn.get()) == CONNECTION_BAD ? FailureKind::ConnectionLost
                                                                      : kindOf(state.toStdString());
    throw Failure(kind, m_server, state, said);
}

void Connection::drain()
{
    while (pg_result *res = PQgetResult(m_conn.get()))
        PQclear(res);
}

void Connection::checkText(const QString &text) const
{
    // libpq passes texts as C strings, and the server keeps none with NUL: refuse rather than cut.
    if (text.contains(QChar(0)))
        throw Failure(FailureKind::Other, m_server, QStringLiteral("22021"), QStringLiteral("text with NUL"), false,
                      QStringLiteral("文字中含有服务器不能保存的空字符（\\0）"));
}

Result Connection::exec(const char *sql, const std::vector<QString> &params)
{
    ready();
    std::vector<QByteArray> bytes;
    bytes.reserve(params.size());
    std::vector<const char *> values;
    values.reserve(params.size());
    for (const QString &p : params) {
        if (p.isNull()) {
            values.push_back(nullptr);
            continue;
        }
        checkText(p);
        bytes.push_back(p.toUtf8());
        values.push_back(bytes.back().constData()); // never null, also for empty text
    }
    Result res(PQexecParams(m_conn.get(), sql, static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                            nullptr, 0));
    const ExecStatusType status = PQresultStatus(res.handle());
    if (!res.handle() || (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK))
        fail(res.handle());
    return res;
}

void Connection::copyOut(const char *sql, const std::function<void(const CopyRow &)> &row)
{
    ready();
    {
        const Result start(PQexec(m_conn.get(), sql));
        if (PQresultStatus(start.handle()) != PGRES_COPY_OUT)
            fail(start.handle());
    }
    CopyRow parsed;
    try {
        for (;;) {
            char *line = nullptr;
            const int size = PQgetCopyData(m_conn.get(), &line, 0);
            if (size < 0)
                break;
            const std::unique_ptr<char, void (*)(void *)> owned(line, PQfreemem);
            if (!parsed.parse(std::string_view(line, static_cast<std::size_t>(size))))
                throw Failure(FailureKind::Other, m_server, {}, QStringLiteral("malformed COPY row"));
            row(parsed);
        }
    } catch (...) {
        // Read the rest of the copy, so that the connection can go on.
        char *line = nullptr;
        while (PQgetCopyData(m_conn.get(), &line, 0) >= 0)
            PQfreemem(line);
        drain();
        throw;
    }
    const Result end(PQgetResult(m_conn.get()));
    drain();
    if (PQresultStatus(end.handle()) != PGRES_COMMAND_OK)
        fail(end.handle());
}

CopyIn::CopyIn(Connection &connection, const char *sql) : m_connection(connection)
{
    m_connection.ready();
    const Result start(PQexec(m_connection.m_conn.get(), sql));
    if (PQresultStatus(start.handle()) != PGRES_COPY_IN) {
        m_open = false;
        m_connection.fail(start.handle());
    }
    m_buffer.reserve(kCopyPiece * 2);
}

CopyIn::~CopyIn()
{
    if (!m_open)
        return;
    // The server rolls the copy back when told to give it up.
    PQputCopyEnd(m_connection.m_conn.get(), "abandoned");
    m_connection.drain();
}

void CopyIn::separate()
{
    if (m_rowStarted)
        m_buffer.push_back('\t');
    m_rowStarted = true;
}

CopyIn &CopyIn::add(const QString &text)
{
    separate();
    if (text.isNull())
        m_buffer += "\\N";
    else
        append(text);
    return *this;
}

CopyIn &CopyIn::add(qint64 number)
{
    separate();
    m_buffer += std::to_string(number);
    return *this;
}

void CopyIn::append(const QString &text)
{
    m_connection.checkText(text);
    // UTF-16 to UTF-8 and COPY's escapes in one pass: a million rows must load in about a second.
    const QChar *c = text.constData();
    const QChar *end = c + text.size();
    for (; c != end; ++c) {
        char32_t u = c->unicode();
        if (c->isHighSurrogate() && c + 1 != end && (c + 1)->isLowSurrogate()) {
            u = QChar::surrogateToUcs4(*c, *(c + 1));
            ++c;
        } else if (c->isSurrogate()) {
            u = QChar::ReplacementCharacter;
        }
        if (u < 0x80) {
            switch (u) {
            case '\\': m_buffer += "\\\\"; break;
            case '\t': m_buffer += "\\t"; break;
            case '\n': m_buffer += "\\n"; break;
            case '\r': m_buffer += "\\r"; break;
            default: m_buffer.push_back(static_cast<char>(u));
            }
        } else if (u < 0x800) {
            m_buffer.push_back(static_cast<char>(0xC0 | (u >> 6)));
            m_buffer.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else if (u < 0x10000) {
            m_buffer.push_back(static_cast<char>(0xE0 | (u >> 12)));
            m_buffer.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            m_buffer.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else {
            m_buffer.push_back(static_cast<char>(0xF0 | (u >> 18)));
            m_buffer.push_back(static_cast<char>(0x80 | ((u >> 12) & 0x3F)));
            m_buffer.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            m_buffer.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        }
    }
}

void CopyIn::endRow()
{
    m_buffer.push_back('\n');
    m_rowStarted = false;
    if (m_buffer.size() >= kCopyPiece)
        flush();
}

void CopyIn::flush()
{
    if (m_buffer.empty())
        return;
    if (PQputCopyData(m_connection.m_conn.get(), m_buffer.data(), static_cast<int>(m_buffer.size())) != 1)
        m_connection.fail(nullptr);
    m_buffer.clear();
}

qint64 CopyIn::finish()
{
    flush();
    m_open = false;
    if (PQputCopyEnd(m_connection.m_conn.get(), nullptr) != 1) {
        m_connection.drain();
        m_connection.fail(nullptr);
    }
    const Result end(PQgetResult(m_connection.m_conn.get()));
    m_connection.drain();
    if (PQresultStatus(end.handle()) != PGRES_COMMAND_OK)
        m_connection.fail(end.handle());
    return end.affected();
}

Transaction::Transaction(Connection &connection) : m_connection(connection)
{
    m_connection.exec("BEGIN");
    m_connection.m_inTransaction = true;
}

Transaction::~Transaction()
{
    m_connection.m_inTransaction = false;
    pg_conn *conn = m_connection.m_conn.get();
    if (m_done || PQstatus(conn) != CONNECTION_OK || PQtransactionStatus(conn) == PQTRANS_IDLE)
        return;
    PQclear(PQexec(conn, "ROLLBACK"));
}

void Transaction::commit()
{
    m_done = true;
    // Never sent again on a new connection: a lost answer leaves the outcome unknown.
    const Result res = m_connection.exec("COMMIT");
    m_connection.m_inTransaction = false;
    // A transaction in which a statement failed ends in a rollback that the server reports as done.
    if (res.command() != QLatin1String("COMMIT"))
        throw Failure(FailureKind::Other, m_connection.server(), QStringLiteral("25P02"),
                      QStringLiteral("transaction rolled back"), false,
                      QStringLiteral("此前的一步没有完成，整个操作都没有保存"));
}

} // namespace ledger::pgdb
