// Shared by the main-window tests: drives Form1 the way a user does and looks into the ledger.
#pragma once

#include "ledger/store.h"
#include "browse/ui_tx_list.h"
#include "mainwin/form1.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

#include <sqlite3.h>

// The lines a list shows, read through its model as a list widget or a list view shows them.
inline QStringList lines(const QAbstractItemView *list)
{
    QStringList out;
    for (int i = 0; i < list->model()->rowCount(); ++i)
        out << list->model()->index(i, 0).data().toString();
    return out;
}

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

inline std::vector<ledger::Record> stored(Form1 &w) { return w.store()->rows(); }

inline int countKind(Form1 &w, int kind)
{
    int n = 0;
    for (const ledger::Record &r : stored(w))
        n += r.kind == kind;
    return n;
}

// A second connection that holds the write lock, so the window's next write fails once the
// store's busy wait runs out.
class WriteLock {
public:
    explicit WriteLock(const QString &file)
    {
        sqlite3_open_v2(file.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_key(m_db, ledger::Store::kPassword, 6);
        sqlite3_exec(m_db, "PRAGMA cipher_compatibility = 3", nullptr, nullptr, nullptr);
        m_ok = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~WriteLock()
    {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(m_db);
    }
    bool ok() const { return m_ok; }

private:
    sqlite3 *m_db = nullptr;
    bool m_ok = false;
};
