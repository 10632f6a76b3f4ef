#include "analysis/form_lowstock.h"

#include "ledger/facts.h"
#include "ledger/text.h"
#include "mainwin/form1.h"
#include "mainwin/ui_app.h"

#include <QCheckBox>
#include <QDate>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

using namespace ledger;

namespace {

enum Column { Category, Name, Stock, DailyOut, DaysLeft, Status };

class LowStockModel : public RowsModel<LowStockRow> {
public:
    LowStockModel()
        : RowsModel({{QStringLiteral("类"), false, false},
                     {QStringLiteral("商品名"), false, true},
                     {QStringLiteral("库存"), true, false},
                     {QStringLiteral("日均出货"), true, false},
                     {QStringLiteral("可售天数"), true, false},
                     {QStringLiteral("状态"), false, false}},
                    nullptr)
    {
    }

protected:
    QString text(int row, int column) const override
    {
        const LowStockRow &r = at(row);
        switch (column) {
        case Category: return r.product.category;
        case Name: return r.product.name;
        case Stock: return QString::number(r.stock);
        // A star: taken over 90 days.
        case DailyOut: return (r.rateDays == 90 ? QStringLiteral("*") : QString()) + shortNumber(r.dailyOut);
        case DaysLeft: return r.daysLeft ? shortNumber(*r.daysLeft) : QStringLiteral("-");
        default: return lowStockStatus(r.group);
        }
    }
    QVariant figure(int row, int column) const override
    {
        const LowStockRow &r = at(row);
        switch (column) {
        case Category: return r.product.category;
        case Name: return r.product.name;
        case Stock: return r.stock;
        case DailyOut: return r.dailyOut;
        case DaysLeft: return r.daysLeft ? QVariant(*r.daysLeft) : QVariant();
        default: return row; // the rows come most urgent first
        }
    }
};

} // namespace

FormLowStock::FormLowStock(Form1 *main) : FormLowStock(main, new LowStockModel) {}

FormLowStock::FormLowStock(Form1 *main, RowsModel<LowStockRow> *rows)
    : AnalysisWindow(main, "FormLowStock", QStringLiteral("库存预警"), rows), m_rows(rows)
{
    Check1 = ui::control<ui::CheckBox>(this, "Check1", QStringLiteral("显示全部商品"));
    column()->insertWidget(0, Check1);
    Label1->hide(); // the headings are the table's
    List1->sortByColumn(Status, Qt::AscendingOrder);
    resize(listWidth(76), 420);
    connect(Check1, &QCheckBox::toggled, this, [this] { refresh(); });
    addExport(List1, windowTitle(), lowStockColumns(), [this](int row) { return lowStockCells(m_rows->at(row)); });
}

void FormLowStock::refresh()
{
    std::vector<LowStockRow> rows;
    if (!m_main->readFacts([&](const LedgerFacts &all) { rows = lowStock(all, QDate::currentDate(), Check1->isChecked()); }))
        return;
    const auto urgent = std::count_if(rows.begin(), rows.end(),
                                      [](const LowStockRow &row) { return row.group != LowStockRow::Enough; });
    m_rows->setRows(std::move(rows));
    Label2->setText(QStringLiteral("需要补货的商品：%1 种。日均出货按最近30天计算，带*的按最近90天"
                                   "（最近30天没有出货）；从未出货的商品不预警。")
                        .arg(urgent));
}
