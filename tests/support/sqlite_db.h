// Looking underneath the store in the tests and their tools, over the program's own connection
// (ledger/sqlite_db.h).
#pragma once

#include "ledger/columns.h"
#include "ledger/sqlite_db.h"
#include "ledger/file_store.h"

#include <QFile>
#include <QString>
#include <future>
#include <utility>
#include <QStringList>
#include <sqlite3.h>

namespace sqldb {

using ledger::sql::Error;
using ledger::sql::Query;

// The text of column col of every row sql answers.
inline QStringList column(sqlite3 *db, const char *sql, int col = 0)
{
    QStringList out;
    Query q(db, sql);
    while (q.next())
        out << q.text(col);
    return out;
}

// "ok" for a sound file.
inline QString integrity(sqlite3 *db) { return column(db, "PRAGMA integrity_check").join(u'\n'); }

// A second connection of its own, created when the file is absent. key: the ledger's password
// by default; nullptr for a plain SQLite file.
class Connection : public ledger::sql::Connection {
public:
    explicit Connection(const QString &path, const char *key = ledger::FileStore::kPassword)
        : ledger::sql::Connection(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, key)
    {
    }
};

// Damages one page of the ledger at path that only a read of every row meets: the category rows
// (read through the index on 标号) and the file's first page stay readable. False when no page
// is like that.
inline bool damageAPageOfOtherRows(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const QByteArray good = file.readAll();
    const int pageSize = Connection(path).first("PRAGMA page_size").toInt();
    const int pages = pageSize > 0 ? static_cast<int>(good.size() / pageSize) : 0;
    for (int page = 1; page < pages; ++page) { // the first page is page 0 here
        QByteArray bad = good;
        for (int i = 100; i < 164; ++i)
            bad[page * pageSize + i] = static_cast<char>(bad[page * pageSize + i] ^ 0x5a);
        file.seek(0);
        file.write(bad);
        file.flush();
        Connection c(path);
        if (c.exec(ledger::selectCategoryCandidatesSql()) == SQLITE_OK && c.exec("SELECT * FROM \"库\"") != SQLITE_OK)
            return true;
    }
    file.seek(0);
    file.write(good);
    return false;
}

// Writes a new ledger at path whose categories 甲, 乙 and 丙 stand first, among 3000 transactions
// and last; the product 苹果 of 甲 comes early, 梨 of 乙 late. Returns its rows as stored.
inline std::vector<ledger::Record> writeSpreadLedger(const QString &path)
{
    const auto row = [](int kind, const char *name, const char *cat) {
        ledger::Record r;
        r.kind = kind;
        r.name = QString::fromUtf8(name);
        r.cat = cat ? QString::fromUtf8(cat) : QString();
        r.method = ledger::kStockIn;
        return r;
    };
    std::vector<ledger::Record> rows{row(ledger::kCategory, "甲", nullptr), row(ledger::kProduct, "苹果", "甲")};
    for (int i = 0; i < 3000; ++i) {
        ledger::Record t = row(ledger::kTransaction, "苹果", "甲");
        t.qty = QString::number(i % 7 + 1);
        rows.push_back(t);
        if (i == 1500)
            rows.push_back(row(ledger::kCategory, "乙", nullptr));
    }
    rows.push_back(row(ledger::kProduct, "梨", "乙"));
    rows.push_back(row(ledger::kCategory, "丙", nullptr));
    auto store = ledger::FileStore::open(path);
    store->addAll(rows);
    return store->rows();
}

// Holds the reading thread of every ledger opened in the background from now on (FileStore::
// Reading::InBackground) until release(), at the latest when it goes. The end of a store waits for
// its thread: declare what owns the store before the gate, so that the gate goes first.
class ReaderGate {
public:
    ReaderGate()
    {
        ledger::FileStore::setReaderGate([open = m_open] { open.wait(); });
    }
    ~ReaderGate()
    {
        release();
        ledger::FileStore::setReaderGate({});
    }
    ReaderGate(const ReaderGate &) = delete;
    ReaderGate &operator=(const ReaderGate &) = delete;
    void release()
    {
        if (!std::exchange(m_released, true))
            m_promise.set_value();
    }

private:
    std::promise<void> m_promise;
    std::shared_future<void> m_open = m_promise.get_future().share();
    bool m_released = false;
};

} // namespace sqldb
