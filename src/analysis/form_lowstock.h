// 库存预警: the goods that are running out, most urgent first.
#pragma once

#include "analysis/analysis_model.h"
#include "analysis/form_analysis.h"
#include "ledger/lowstock.h"

class QCheckBox;

class FormLowStock : public AnalysisWindow {
    Q_OBJECT

public:
    explicit FormLowStock(Form1 *main);

    QCheckBox *Check1; // "显示全部商品"

protected:
    void refresh() override;

private:
    FormLowStock(Form1 *main, RowsModel<ledger::LowStockRow> *rows);

    RowsModel<ledger::LowStockRow> *m_rows; // the rows of List1
};
