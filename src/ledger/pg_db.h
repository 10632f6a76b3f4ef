// Connections to a PostgreSQL server over libpq: statements only with bound parameters, a
// transaction that rolls back unless committed, and COPY for reading and writing many rows.
// Texts travel as UTF-8; a null QString is SQL NULL, an empty one is empty text.
#pragma once

#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct pg_conn;
struct pg_result;

namespace ledger::pgdb {

enum class FailureKind {
    Unreachable,    // no server answered at that address
    PasswordNeeded, // the server asks for a password and none was given
    BadPassword,    // the server refused the user or the password
    NoDatabase,     // the server has no database of that name
    NoPermission,   // the role may not do this
    WrongShape,     // a table or column is missing or of another type
    ConnectionLost, // the connection broke after it was made
    Other,
};

// A failure on the way to the server or on it. server() names it without the password;
// sqlState() and serverMessage() are what the server (or libpq) said, for the log.
class Failure : public std::runtime_error {
public:
    // reason: the Chinese phrase when the kind's own one does not fit.
    Failure(FailureKind kind, QString server, QString sqlState, QString serverMessage, bool connecting = false,
            QString reason = {});
    FailureKind kind() const { return m_kind; }
    const QString &server() const { return m_server; }
    const QString &sqlState() const { return m_sqlState; }
    const QString &serverMessage() const { return m_serverMessage; }
    // Why, as a Chinese phrase.
    const QString &reason() const { return m_reason; }
    // A complete sentence naming the server and the reason, e.g. 无法连接到服务器“host/db”：….
    QString message() const;

private:
    FailureKind m_kind;
    QString m_server, m_sqlState, m_serverMessage, m_reason;
    bool m_connecting;
};

// The kind a server's SQLSTATE (e.g. "42501") stands for.
FailureKind kindOf(std::string_view sqlState);
// The Chinese phrase for a kind; serverMessage completes the one for Other.
QString reasonPhrase(FailureKind kind, const QString &serverMessage = {});

// The server a libpq connection string or URI names, for messages: host (or socket folder),
// the port when not the usual one, and the database, as "192.168.1.10/shop". Never the password.
// Unset parts come from libpq's defaults (PGHOST and the like).
QString describeServer(const QString &conninfo);

// The connection string or URI as a connection string without its password; empty when libpq
// cannot read it.
QString withoutPassword(const QString &conninfo);

// What opens another connection like one already made (for work on a thread of its own): its
// options as a connection string without the password, and the password apart (null when it
// used none; kept in memory only).
struct Address {
    QString conninfo;
    QString password;
};

class Result {
public:
    explicit Result(pg_result *res = nullptr);
    int rows() const;
    int columns() const;
    bool isNull(int row, int column) const;
    // The value as text: a null QString for NULL.
    QString text(int row, int column) const;
    qint64 number(int row, int column) const;
    // The rows an INSERT, UPDATE or DELETE touched.
    qint64 affected() const;
    // The command tag, e.g. "COMMIT" (or "ROLLBACK" when a transaction was given up).
    QString command() const;
    const pg_result *handle() const { return m_res.get(); }

private:
    struct Clear {
        void operator()(pg_result *res) const;
    };
    std::unique_ptr<pg_result, Clear> m_res;
};

// One row of COPY ... TO STDOUT, its fields unescaped.
class CopyRow {
public:
    int size() const { return static_cast<int>(m_fields.size()); }
    bool isNull(int i) const { return m_null[static_cast<std::size_t>(i)]; }
    // UTF-8 bytes, valid during the call that was handed the row.
    std::string_view bytes(int i) const { return m_fields[static_cast<std::size_t>(i)]; }
    // A null QString for NULL.
    QString text(int i) const;

private:
    friend class Connection;
    // Splits one line of COPY's text format; false when it is not well formed.
    bool parse(std::string_view line);
    std::string m_buffer;
    std::vector<std::string_view> m_fields;
    std::vector<bool> m_null;
};

class Connection {
public:
    // Connects with a libpq connection string or URI, with client_encoding UTF8 and, unless
    // the string or PGCONNECT_TIMEOUT says otherwise, a connect_timeout of kConnectTimeout
    // seconds. password, when not null, wins over the string's and libpq's (a password box's
    // answer: never spliced into the string, where quotes would have to be escaped; kept in
    // memory only, for reconnecting). Throws Failure.
    // A connection lost between transactions (the server restarted, the session was ended) is
    // made again by the next statement; one lost inside a transaction fails that transaction
    // and every statement of it, and is made again only after it.
    explicit Connection(const QString &conninfo, const QString &password = {});
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    static constexpr int kConnectTimeout = 5;

    // Where this connection goes, for messages (see describeServer).
    const QString &server() const { return m_server; }
    // The server process serving this connection.
    int backendPid() const;
    // Runs this statement now and again on every new connection made after a loss (session
    // settings, LISTEN). Throws Failure.
    void keepForSession(const char *sql, const std::vector<QString> &params = {});
    // The socket the server's messages arrive on, for waiting on them; -1 without a connection.
    // Another one after a reconnection.
    int socket() const;
    // Reads what has arrived without waiting and takes the notifications (NOTIFY) from other
    // sessions; false when none came (or the connection is lost: the next statement reconnects).
    bool notified();
    // Where another connection like this one goes.
    Address address() const;
    // Makes a lost connection again without waiting, between transactions: each call takes the
    // attempt as far as it goes at once; true when this call made it (the session's statements
    // run again), false while it goes on or when nothing was lost. Throws Failure when the
    // attempt failed; the next call starts another.
    bool reconnect();

    // Runs one statement with its parameters bound ($1, $2, ...): the SQL text never holds data.
    // Throws Failure.
    Result exec(const char *sql, const std::vector<QString> &params = {});

    // Runs COPY ... TO STDOUT (text format) and hands every row to row, in order. The statement
    // takes no parameters: it must be fixed text. Throws Failure.
    void copyOut(const char *sql, const std::function<void(const CopyRow &)> &row);

    // Throws the failure for the connection's last error (res: the failed result, if any).
    [[noreturn]] void fail(const pg_result *res) const;

private:
    friend class CopyIn;
    friend class Transaction;
    struct Finish {
        void operator()(pg_conn *conn) const;
    };
    // Reads what the server still has to say about the last command, so the next can start.
    void drain();
    void checkText(const QString &text) const;
    // A connection begun (start) is made by advance(), which waits at most wait for the server
    // (and never past connect_timeout): true once made; throws Failure when it cannot be.
    void start();
    bool advance(std::chrono::milliseconds wait);
    void connect();
    // Before a statement: a connection lost outside a transaction is made again.
    void ready();
    struct SessionStatement {
        std::string sql;
        std::vector<QString> params;
    };
    std::unique_ptr<pg_conn, Finish> m_conn;
    QString m_server;
    QString m_conninfo, m_password;
    std::vector<SessionStatement> m_session;
    bool m_inTransaction = false;
    bool m_reconnecting = false; // reconnect() is making one
    int m_polling = 0;           // libpq's PostgresPollingStatusType while one is made
    std::optional<std::chrono::steady_clock::time_point> m_deadline;
};

// COPY ... FROM STDIN (text format): add each row's fields, end each row, then finish().
// Rows go to the server in large pieces as they are added. Destroyed without finish(), the
// copy is abandoned and nothing of it is stored.
class CopyIn {
public:
    CopyIn(Connection &connection, const char *sql);
    ~CopyIn();
    CopyIn(const CopyIn &) = delete;
    CopyIn &operator=(const CopyIn &) = delete;

    // A null QString is NULL. Throws Failure for a text with a NUL character.
    CopyIn &add(const QString &text);
    CopyIn &add(qint64 number);
    void endRow();
    // Sends the rest and ends the copy; returns the rows stored. Throws Failure.
    qint64 finish();

private:
    void separate();
    void flush();
    void append(const QString &text);
    Connection &m_connection;
    std::string m_buffer;
    bool m_rowStarted = false;
    bool m_open = true;
};

// BEGIN on construction; ROLLBACK on destruction unless commit() succeeded.
class Transaction {
public:
    explicit Transaction(Connection &connection);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    // Throws Failure, also when the server had already given the transaction up (an error
    // inside it that someone caught): then nothing of it is stored.
    void commit();

private:
    Connection &m_connection;
    bool m_done = false;
};

} // namespace ledger::pgdb
