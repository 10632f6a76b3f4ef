// 盘点记录: every posted stock-take, and the products of the one chosen, for export.
#pragma once

#include "ledger/stocktake_records.h"

#include <QWidget>

class Form1;
class QListWidget;
class QTableWidget;

class FormStockTakeRecords : public QWidget {
    Q_OBJECT

public:
    explicit FormStockTakeRecords(Form1 *main);

    QListWidget *List1;   // the stock-takes, latest first
    QTableWidget *Table1; // the lines of the chosen one

public slots:
    void Form_Activate();
    void List1_Click();

private:
    Form1 *m_main;
    std::vector<ledger::StockTakeRecord> m_takes;
};
