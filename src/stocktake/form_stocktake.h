// 盘点: the shelves counted against the book, by scanner or by hand, and the differences posted
// as ordinary transactions.
#pragma once

#include "ledger/stocktake.h"
#include "stocktake/count_sheet.h"

#include <QPointer>
#include <QWidget>

class Form1;
class FormStockTakeRecords;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class StockTakeModel;
class StockTakeSort;

class FormStockTake : public QWidget {
    Q_OBJECT

public:
    explicit FormStockTake(Form1 *main);

    QComboBox *Combo1; // "全部类" or one category
    QLineEdit *Text1;  // the scan box: a code and Enter counts one piece, "12*" and a code 12
    QTableView *Table1;
    QLabel *Label1;    // what the last scan counted
    QPushButton *Command1, *Command2, *Command3, *Command4, *Command5, *Command6;

    const ledger::StockTake &take() const { return m_take; }
    StockTakeModel *model() const { return m_model; }
    // The products listed, in the list's order, for the count sheet.
    CountSheet countSheet() const;
    FormStockTakeRecords *records();

public slots:
    void Form_Activate();
    void Combo1_Click();
    void Text1_Enter();
    void Command1_Click(); // "过账"
    void Command2_Click(); // "打印盘点表…"
    void Command3_Click(); // "保存为PDF…"
    void Command4_Click(); // "盘点记录"
    void Command5_Click(); // "重新盘点"
    void Command6_Click(); // "关闭"

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *buildTable();
    // Takes every book figure afresh and forgets the counts.
    void start();
    void count(std::size_t line, qint64 pieces);
    void refuse(const QString &text);
    void keepFocus();
    void post();
    std::optional<std::size_t> askProduct(const QString &code);
    // Asks what to do about goods moved since the count began; true: post anyway.
    bool postDespite(const std::vector<std::size_t> &moved);
    void editCount(int row);
    QString names(const std::vector<std::size_t> &lines) const;

    Form1 *m_main;
    ledger::StockTake m_take;
    StockTakeModel *m_model;
    StockTakeSort *m_sort;
    QPointer<FormStockTakeRecords> m_records;
};
