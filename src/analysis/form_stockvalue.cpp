#include "analysis/form_stockvalue.h"

#include "ledger/stockvalue.h"
#include "ledger/facts.h"
#include "mainwin/form1.h"
#include "mainwin/ui_app.h"
#include "mainwin/ui_export.h"

#include <QLabel>
#include <QListView>
#include <QVBoxLayout>

using namespace ledger;

FormStockValue::FormStockValue(Form1 *main)
    : AnalysisWindow(main, "FormStockValue", QStringLiteral("库存金额"))
{
    const QFont mono(ui::monoFontFamily(), 9);
    Label3 = ui::control<QLabel>(this, "Label3");
    Label3->setFont(mono);
    List2 = makeList("List2");
    // Under the note on the values: the heading and list of the products left out.
    column()->insertWidget(3, Label3);
    column()->insertWidget(4, List2, 1);
    Label1->setText(stockValueHeader());
    Label2->setText(QStringLiteral("每种商品按“库存积压总货款”的算法计价：平均进货价 × 库存。"
                                   "下列商品未计入上面的金额：库存为负说明出货多于进货，"
                                   "请核对更正记录，否则金额没有意义。"));
    resize(listWidth(70), 460);
    ui::addExportMenu(List1, {windowTitle(), stockValueColumns(), [this](int row) {
                                  return stockValueCells(m_value, static_cast<std::size_t>(row));
                              }});
    ui::addExportMenu(List2, {QStringLiteral("未计入库存金额的商品"), unvaluedColumns(), [this](int row) {
                                  return unvaluedCells(m_value.apart[static_cast<std::size_t>(row)]);
                              }});
}

void FormStockValue::refresh()
{
    if (!m_main->readFacts([&](const LedgerFacts &all) { m_value = stockValue(all); }))
        return;
    // The categories, then the total.
    setLines(List1, static_cast<int>(m_value.categories.size()) + 1, [this](int row) {
        const auto i = static_cast<std::size_t>(row);
        return i < m_value.categories.size() ? stockValueLine(m_value.categories[i]) : stockValueTotalLine(m_value);
    });
    setLines(List2, static_cast<int>(m_value.apart.size()),
             [this](int row) { return unvaluedLine(m_value.apart[static_cast<std::size_t>(row)]); });
    Label3->setText(m_value.apart.empty() ? QStringLiteral("没有库存为负或无进货价的商品。") : unvaluedHeader());
}
