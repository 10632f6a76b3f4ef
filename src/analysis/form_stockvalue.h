// 库存金额: the value of the stock on hand per category and in total, and apart from it the
// products whose stock cannot be valued.
#pragma once

#include "analysis/analysis_model.h"
#include "analysis/form_analysis.h"
#include "ledger/stockvalue.h"

class CategoryValueModel;

class FormStockValue : public AnalysisWindow {
    Q_OBJECT

public:
    explicit FormStockValue(Form1 *main);

    QLabel *Label3;      // says when no product is left out
    QTableView *List2;   // the products left out

protected:
    void refresh() override;

private:
    FormStockValue(Form1 *main, CategoryValueModel *values);

    CategoryValueModel *m_values;                   // the rows of List1
    RowsModel<ledger::UnvaluedProduct> *m_apart;    // the rows of List2
};
