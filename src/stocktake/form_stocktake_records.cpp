#include "stocktake/form_stocktake_records.h"

#include "ledger/stocktake.h"
#include "mainwin/form1.h"
#include "mainwin/ui_app.h"
#include "mainwin/ui_export.h"

#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace ledger;

FormStockTakeRecords::FormStockTakeRecords(Form1 *main) : QWidget(main, Qt::Window), m_main(main)
{
    setObjectName(QStringLiteral("FormStockTakeRecords"));
    setWindowTitle(QStringLiteral("盘点记录"));
    List1 = ui::control<QListWidget>(this, "List1");
    Table1 = ui::control<QTableWidget>(this, "Table1");
    Table1->setColumnCount(static_cast<int>(stockTakeColumns().size()));
    Table1->setHorizontalHeaderLabels(stockTakeColumns());
    Table1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table1->verticalHeader()->hide();
    auto *column = new QVBoxLayout(this);
    column->addWidget(List1, 1);
    column->addWidget(new QLabel(QStringLiteral("所选盘点的商品（右键可导出）："), this));
    column->addWidget(Table1, 3);
    resize(620, 520);
    connect(List1, &QListWidget::currentRowChanged, this, &FormStockTakeRecords::List1_Click);
    ui::addExportMenu(Table1, {windowTitle(), stockTakeColumns(), [this](int row) {
                                   QStringList cells;
                                   for (int c = 0; c < Table1->columnCount(); ++c)
                                       cells << Table1->item(row, c)->text();
                                   return cells;
                               }});
}

void FormStockTakeRecords::Form_Activate()
{
    try {
        m_takes = m_main->store()->stockTakes();
    } catch (const StoreError &e) {
        ui::message(this, e.message());
        return;
    }
    std::reverse(m_takes.begin(), m_takes.end());
    List1->clear();
    for (const StockTakeRecord &t : m_takes) {
        const auto differing = std::count_if(t.lines.cbegin(), t.lines.cend(),
                                             [](const StockTakeLine &l) { return l.difference() != 0; });
        List1->addItem(QStringLiteral("%1  %2  盘点 %3 种商品，有差异 %4 种")
                           .arg(t.when, t.computer).arg(t.lines.size()).arg(differing));
    }
    List1->setCurrentRow(m_takes.empty() ? -1 : 0);
    List1_Click();
}

void FormStockTakeRecords::List1_Click()
{
    const int chosen = List1->currentRow();
    Table1->setRowCount(0);
    if (chosen < 0 || chosen >= static_cast<int>(m_takes.size()))
        return;
    const std::vector<StockTakeLine> &lines = m_takes[static_cast<std::size_t>(chosen)].lines;
    Table1->setRowCount(static_cast<int>(lines.size()));
    for (int row = 0; row < Table1->rowCount(); ++row) {
        const QStringList cells = stockTakeCells(lines[static_cast<std::size_t>(row)]);
        for (int c = 0; c < cells.size(); ++c)
            Table1->setItem(row, c, new QTableWidgetItem(cells[c]));
    }
}
