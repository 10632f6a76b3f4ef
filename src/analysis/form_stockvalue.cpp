#include "analysis/form_stockvalue.h"

#include "ledger/facts.h"
#include "ledger/text.h"
#include "mainwin/form1.h"
#include "mainwin/ui_app.h"

#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

using namespace ledger;

namespace {

enum ApartColumn { ApartCategory, ApartName, ApartStock, ApartValue, ApartReason };

class UnvaluedModel : public RowsModel<UnvaluedProduct> {
public:
    UnvaluedModel() : RowsModel(columns(), nullptr) {}

protected:
    QString text(int row, int column) const override
    {
        const UnvaluedProduct &p = at(row);
        if (column == ApartValue && !p.hasValue)
            return QStringLiteral("-");
        return unvaluedCells(p)[column];
    }
    QVariant figure(int row, int column) const override
    {
        const UnvaluedProduct &p = at(row);
        switch (column) {
        case ApartStock: return p.stock;
        case ApartValue: return p.hasValue ? QVariant(p.value) : QVariant();
        default: return text(row, column);
        }
    }

private:
    static QList<Column> columns()
    {
        const QStringList h = unvaluedColumns();
        return {{h[0], false, false}, {h[1], false, true}, {h[2], true, false}, {h[3], true, false}, {h[4], false, false}};
    }
};

} // namespace

// The categories, then the total, which stays last however the categories are sorted.
class CategoryValueModel : public AnalysisModel {
public:
    CategoryValueModel() : AnalysisModel(columns(), nullptr) {}

    void setValue(StockValue value)
    {
        beginResetModel();
        m_value = std::move(value);
        endResetModel();
    }
    const StockValue &value() const { return m_value; }
    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_value.categories.size()) + 1;
    }

protected:
    QString text(int row, int column) const override
    {
        return stockValueCells(m_value, static_cast<std::size_t>(row))[column];
    }
    QVariant figure(int row, int column) const override
    {
        if (static_cast<std::size_t>(row) >= m_value.categories.size())
            return {}; // the total
        const CategoryValue &c = m_value.categories[static_cast<std::size_t>(row)];
        switch (column) {
        case 0: return c.category;
        case 1: return c.products;
        case 2: return c.stock;
        default: return c.value;
        }
    }

private:
    static QList<Column> columns()
    {
        const QStringList h = stockValueColumns();
        return {{h[0], false, true}, {h[1], true, false}, {h[2], true, false}, {h[3], true, false}};
    }

    StockValue m_value;
};

FormStockValue::FormStockValue(Form1 *main) : FormStockValue(main, new CategoryValueModel) {}

FormStockValue::FormStockValue(Form1 *main, CategoryValueModel *values)
    : AnalysisWindow(main, "FormStockValue", QStringLiteral("库存金额"), values), m_values(values)
{
    Label3 = ui::control<QLabel>(this, "Label3");
    m_apart = new UnvaluedModel;
    List2 = makeTable("List2", m_apart);
    // Under the note on the values: the products left out.
    column()->insertWidget(3, Label3);
    column()->insertWidget(4, List2, 1);
    Label1->hide(); // the headings are the table's
    Label2->setText(QStringLiteral("每种商品按“库存积压总货款”的算法计价：平均进货价 × 库存。"
                                   "下列商品未计入上面的金额：库存为负说明出货多于进货，"
                                   "请核对更正记录，否则金额没有意义。"));
    resize(listWidth(70), 460);
    addExport(List1, windowTitle(), stockValueColumns(),
              [this](int row) { return stockValueCells(m_values->value(), static_cast<std::size_t>(row)); });
    addExport(List2, QStringLiteral("未计入库存金额的商品"), unvaluedColumns(),
              [this](int row) { return unvaluedCells(m_apart->at(row)); });
}

void FormStockValue::refresh()
{
    StockValue value;
    if (!m_main->readFacts([&](const LedgerFacts &all) { value = stockValue(all); }))
        return;
    const bool noneApart = value.apart.empty();
    m_apart->setRows(value.apart);
    m_values->setValue(std::move(value));
    Label3->setText(noneApart ? QStringLiteral("没有库存为负或无进货价的商品。") : QString());
    Label3->setVisible(noneApart);
}
