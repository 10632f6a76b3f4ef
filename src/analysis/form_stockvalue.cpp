#include "analysis/form_stockvalue.h"

#include "ledger/stockvalue.h"
#include "mainwin/form1.h"
#include "mainwin/ui_app.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

using namespace ledger;

FormStockValue::FormStockValue(Form1 *main)
    : AnalysisWindow(main, "FormStockValue", QStringLiteral("库存金额"))
{
    const QFont mono(ui::monoFontFamily(), 9);
    Label3 = ui::control<QLabel>(this, "Label3");
    Label3->setFont(mono);
    List2 = ui::control<QListWidget>(this, "List2");
    List2->setFont(mono);
    // Under the note on the values: the heading and list of the products left out.
    column()->insertWidget(3, Label3);
    column()->insertWidget(4, List2, 1);
    Label1->setText(stockValueHeader());
    Label2->setText(QStringLiteral("每种商品按“库存积压总货款”的算法计价：平均进货价 × 库存。"
                                   "下列商品未计入上面的金额：库存为负说明出货多于进货，"
                                   "请核对更正记录，否则金额没有意义。"));
    resize(listWidth(70), 460);
}

void FormStockValue::refresh()
{
    StockValue v;
    if (!m_main->readRows([&](const std::vector<Record> &all) { v = stockValue(all); }))
        return;
    QStringList lines;
    for (const CategoryValue &c : v.categories)
        lines << stockValueLine(c);
    lines << stockValueTotalLine(v);
    setLines(List1, lines);
    QStringList apart;
    for (const UnvaluedProduct &p : v.apart)
        apart << unvaluedLine(p);
    setLines(List2, apart);
    Label3->setText(apart.isEmpty() ? QStringLiteral("没有库存为负或无进货价的商品。") : unvaluedHeader());
}
