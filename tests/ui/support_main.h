// Shared by the main-window tests: drives Form1 the way a user does and looks into the ledger.
#pragma once

#include "browse/ui_tx_list.h"
#include "ledger/sqlite_db.h"
#include "ledger/file_store.h"
#include "ledger/server_store.h"
#include "mainwin/form1.h"
#include "pg_test_server.h"
#include "support.h"
#include "underneath.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <sqlite3.h>

#include <QAbstractItemModelTester>
#include <chrono>
#include <map>

// WAREHOUSE_TEST_LEDGER=server: the windows' tests run on a ledger on the test server instead
// of a file (CTest runs them both ways).
inline bool onServerLedger() { return qgetenv("WAREHOUSE_TEST_LEDGER") == "server"; }

// The ledger of a folder past its store: its 1.mdb, or on the server a database of the
// folder's own, made on first use and kept until the server is removed.
inline Underneath underneath(const FreshFolder &folder)
{
    if (!onServerLedger())
        return {false, folder.file(QStringLiteral("1.mdb"))};
    static std::map<QString, QString> databases; // folder -> connection string
    auto [at, isNew] = databases.try_emplace(folder.path());
    if (isNew) {
        at->second = testpg::conninfo() + QStringLiteral(" dbname=") + testpg::createDatabase();
        ledger::ServerStore::createTables(at->second);
    }
    return {true, at->second};
}

// That ledger opened as the program's start opens it.
inline std::unique_ptr<ledger::Store> ledgerIn(const FreshFolder &folder)
{
    const Underneath ledger = underneath(folder);
    if (!ledger.onServer)
        return ledger::FileStore::open(ledger.where);
    return ledger::ServerStore::open(ledger.where);
}

// One main window, shown, on a fresh ledger of its own, with its message boxes answered.
// A test takes it apart: Session s; auto &[folder, boxes, w] = s;
// The model of List3 is checked against Qt's rules through every step of every such test.
struct CheckedForm1 : Form1 {
    using Form1::Form1;
    QAbstractItemModelTester lines{List3->model(), QAbstractItemModelTester::FailureReportingMode::QtTest};
};
struct Session {
    FreshFolder folder;
    Boxes boxes;
    CheckedForm1 w{ledgerIn(folder)};
    Session() { w.show(); }
};

// A mouse click on one line, as the user makes it.
inline void clickLine(QAbstractItemView *list, int row)
{
    const QModelIndex index = list->model()->index(row, 0);
    QVERIFY(index.isValid());
    list->scrollTo(index);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
}

inline int rowOf(const QAbstractItemView *list, const QString &text) { return static_cast<int>(lines(list).indexOf(text)); }

inline void addCategory(Form1 &w, const QString &name)
{
    w.Text1->setText(name);
    w.Command1_Click();
}

inline void addProduct(Form1 &w, const QString &name)
{
    w.Text2->setText(name);
    w.Command3_Click();
}

inline void addTx(Form1 &w, const QString &price, const QString &qty)
{
    w.Text4->setText(price);
    w.Text5->setText(qty);
    w.Command8_Click();
}

// Clicks the category, then the product, by name.
inline void choose(Form1 &w, const QString &category, const QString &product = QString())
{
    clickLine(w.List1, rowOf(w.List1, category));
    if (!product.isNull())
        clickLine(w.List2, rowOf(w.List2, product));
}

// A new category with a new product, both added and chosen as a user would.
inline void addChosenProduct(Form1 &w, const QString &category, const QString &product)
{
    addCategory(w, category);
    choose(w, category);
    addProduct(w, product);
    choose(w, category, product);
}

inline std::vector<ledger::Record> stored(Form1 &w) { return w.store()->rows(); }

inline int countKind(Form1 &w, int kind)
{
    int n = 0;
    for (const ledger::Record &r : stored(w))
        n += r.kind == kind;
    return n;
}

// A second connection that holds the write lock, so the window's next write fails once the
// store's lock wait (shortened here) runs out.
class WriteLock {
public:
    explicit WriteLock(Form1 &w) : m_db(w.store()->path(), SQLITE_OPEN_READWRITE), m_store(w.store())
    {
        m_store->setLockWait(std::chrono::milliseconds(200));
        m_ok = m_db.exec("BEGIN IMMEDIATE") == SQLITE_OK;
    }
    ~WriteLock()
    {
        m_db.exec("ROLLBACK");
        m_store->setLockWait(ledger::Store::kLockWait);
    }
    bool ok() const { return m_ok; }

private:
    ledger::sql::Connection m_db;
    ledger::Store *m_store;
    bool m_ok = false;
};
