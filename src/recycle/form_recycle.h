// 回收站: the deletions the ledger keeps, newest first, with the rows of the chosen one, and
// every entry of the record of changes (操作记录). "恢复" puts a deletion back, "清空" forgets
// them all.
#pragma once

#include "ledger/history.h"

#include <QWidget>
#include <vector>

class Form1;
class QLabel;
class QListView;
class QListWidget;
class QPushButton;
class QTableWidget;

class FormRecycle : public QWidget {
    Q_OBJECT

public:
    explicit FormRecycle(Form1 *main);

    QListWidget *List1;   // the deletions, newest first
    QTableWidget *Table1; // the rows of the chosen one, in their old order
    QListView *List2;     // 操作记录: every entry, newest first
    QLabel *Label1, *Label2, *Label3;
    QPushButton *Command1, *Command2, *Command3; // "恢复", "清空", "关闭"

    // The deletion List1 lists at this line.
    const ledger::ChangeEntry &deletion(int row) const { return m_deletions.at(static_cast<std::size_t>(row)); }

public slots:
    void Form_Activate();
    void List1_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

private:
    // Asks before a restore that would bring back names the ledger has again; true to go on.
    bool restoreDespite(const QStringList &clashes);

    Form1 *m_main;
    std::vector<ledger::ChangeEntry> m_deletions;
    std::vector<ledger::DeletedRow> m_rows; // of the chosen deletion
};

// "回收站…" in the context menus of the main window's three lists, after what they offer.
void addRecycleMenus(Form1 *main);
