#include "analysis/form_lowstock.h"

#include "ledger/lowstock.h"
#include "mainwin/form1.h"
#include "mainwin/ui_app.h"

#include <QCheckBox>
#include <QDate>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

using namespace ledger;

FormLowStock::FormLowStock(Form1 *main) : AnalysisWindow(main, "FormLowStock", QStringLiteral("库存预警"))
{
    Check1 = ui::control<ui::CheckBox>(this, "Check1", QStringLiteral("显示全部商品"));
    column()->insertWidget(0, Check1);
    Label1->setText(lowStockHeader());
    resize(listWidth(76), 420);
    connect(Check1, &QCheckBox::toggled, this, [this] { refresh(); });
}

void FormLowStock::refresh()
{
    std::vector<LowStockRow> rows;
    if (!m_main->readRows([&](const std::vector<Record> &all) {
            rows = lowStock(all, QDate::currentDate(), Check1->isChecked());
        }))
        return;
    QStringList lines;
    int urgent = 0;
    for (const LowStockRow &row : rows) {
        lines << lowStockLine(row);
        if (row.group != LowStockRow::Enough)
            ++urgent;
    }
    setLines(List1, lines);
    Label2->setText(QStringLiteral("需要补货的商品：%1 种。日均出货按最近30天计算，带*的按最近90天"
                                   "（最近30天没有出货）；从未出货的商品不预警。")
                        .arg(urgent));
}
