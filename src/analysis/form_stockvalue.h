// 库存金额: the value of the stock on hand per category and in total, and apart from it the
// products whose stock cannot be valued.
#pragma once

#include "analysis/form_analysis.h"

class FormStockValue : public AnalysisWindow {
    Q_OBJECT

public:
    explicit FormStockValue(Form1 *main);

    QLabel *Label3;      // heading of the products left out
    QListWidget *List2;  // the products left out

protected:
    void refresh() override;
};
