// 商品排行: the products of a period ranked by profit, or by any column whose heading is
// clicked.
#pragma once

#include "analysis/analysis_model.h"
#include "analysis/form_analysis.h"
#include "ledger/ranking.h"

class QComboBox;
class QDateEdit;
class QHBoxLayout;
class QHeaderView;

class FormRanking : public AnalysisWindow {
    Q_OBJECT

public:
    explicit FormRanking(Form1 *main);

    QComboBox *Combo1;                  // the period, as in the daily statistics
    QDateEdit *DateEdit1, *DateEdit2;   // the picked period
    QHeaderView *Header1;               // the column headings of List1; a click sorts

    // The days of the chosen period; empty for every record.
    std::optional<ledger::DaySpan> period() const;

protected:
    void refresh() override;

private:
    FormRanking(Form1 *main, RowsModel<ledger::RankingRow> *rows);
    QHBoxLayout *buildPeriodRow();

    RowsModel<ledger::RankingRow> *m_rows; // the rows of List1
};
