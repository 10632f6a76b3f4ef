#include "analysis/form_ranking.h"

#include "ledger/dates.h"
#include "ledger/facts.h"
#include "ledger/text.h"
#include "mainwin/form1.h"
#include "mainwin/ui_app.h"

#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>

using namespace ledger;

namespace {

enum Choice { AllRecords, ThisYear, ThisMonth, Picked };

class RankingModel : public RowsModel<RankingRow> {
public:
    RankingModel() : RowsModel(columns(), nullptr) {}

protected:
    QString text(int row, int column) const override
    {
        const RankingRow &r = at(row);
        switch (static_cast<RankColumn>(column)) {
        case RankColumn::Category: return r.product.category;
        case RankColumn::Product: return r.product.name;
        case RankColumn::Quantity: return formatNumber(r.outQty);
        case RankColumn::Turnover: return formatNumber(r.turnover);
        case RankColumn::Profit: return r.hasProfit ? formatNumber(r.profit) : QStringLiteral("-");
        default: return r.hasProfit ? shortNumber(r.share) + u'%' : QStringLiteral("-");
        }
    }
    QVariant figure(int row, int column) const override
    {
        const RankingRow &r = at(row);
        switch (static_cast<RankColumn>(column)) {
        case RankColumn::Category: return r.product.category;
        case RankColumn::Product: return r.product.name;
        case RankColumn::Quantity: return r.outQty;
        case RankColumn::Turnover: return r.turnover;
        case RankColumn::Profit: return r.hasProfit ? QVariant(r.profit) : QVariant();
        default: return r.hasProfit ? QVariant(r.share) : QVariant();
        }
    }

private:
    static QList<Column> columns()
    {
        const QStringList h = rankingHeaders();
        return {{h[0], false, false}, {h[1], false, true}, {h[2], true, false},
                {h[3], true, false},  {h[4], true, false},  {h[5], true, false}};
    }
};

} // namespace

FormRanking::FormRanking(Form1 *main) : FormRanking(main, new RankingModel) {}

FormRanking::FormRanking(Form1 *main, RowsModel<RankingRow> *rows)
    : AnalysisWindow(main, "FormRanking", QStringLiteral("商品排行"), rows), m_rows(rows)
{
    column()->insertLayout(0, buildPeriodRow());
    Header1 = List1->horizontalHeader();
    Header1->setObjectName(QStringLiteral("Header1"));
    List1->sortByColumn(static_cast<int>(RankColumn::Profit), Qt::DescendingOrder);
    Label2->setText(QStringLiteral("营业利润按“营业利润”的算法：（平均出货价 − 平均进货价）× 出货数量，"
                                   "平均价取该商品的全部记录，数量取所选期间。单击列标题排序，再单击倒序。"));
    resize(listWidth(82), 460);

    connect(Combo1, &QComboBox::currentIndexChanged, this, [this](int index) {
        DateEdit1->setEnabled(index == Picked);
        DateEdit2->setEnabled(index == Picked);
        refresh();
    });
    connect(DateEdit1, &QDateEdit::dateChanged, this, [this] { refresh(); });
    connect(DateEdit2, &QDateEdit::dateChanged, this, [this] { refresh(); });
    addExport(List1, windowTitle(), rankingColumns(), [this](int row) { return rankingCells(m_rows->at(row)); });
}

QHBoxLayout *FormRanking::buildPeriodRow()
{
    Combo1 = ui::control<QComboBox>(this, "Combo1");
    Combo1->addItems({QStringLiteral("全部记录统计"), QStringLiteral("本年的全部记录统计"),
                      QStringLiteral("本月的全部记录统计"), QStringLiteral("按照用户选范围统计")});
    const QDate today = QDate::currentDate();
    auto dateEdit = [this](const char *name, const QDate &date) {
        auto *e = ui::control<QDateEdit>(this, name);
        e->setDate(date);
        e->setCalendarPopup(true);
        e->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        // Two-digit years of the ledger are read as 1930-2029.
        e->setDateRange(QDate(1930, 1, 1), QDate(2029, 12, 31));
        e->setEnabled(false);
        e->setMinimumWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("2026-12-310")) + 28);
        return e;
    };
    DateEdit1 = dateEdit("DateEdit1", QDate(today.year(), today.month(), 1));
    DateEdit2 = dateEdit("DateEdit2", today);
    auto *row = new QHBoxLayout;
    row->addWidget(Combo1);
    row->addWidget(DateEdit1);
    row->addWidget(new QLabel(QStringLiteral("至"), this));
    row->addWidget(DateEdit2);
    row->addStretch(1);
    return row;
}

std::optional<DaySpan> FormRanking::period() const
{
    const QDate today = QDate::currentDate();
    switch (Combo1->currentIndex()) {
    case ThisYear: return DaySpan::between(QDate(today.year(), 1, 1), QDate(today.year(), 12, 31));
    case ThisMonth:
        return DaySpan::between(QDate(today.year(), today.month(), 1),
                                QDate(today.year(), today.month(), today.daysInMonth()));
    case Picked: {
        const QDate a = DateEdit1->date(), b = DateEdit2->date();
        return a <= b ? DaySpan::between(a, b) : DaySpan::between(b, a);
    }
    default: return std::nullopt;
    }
}

void FormRanking::refresh()
{
    const std::optional<DaySpan> span = period();
    std::vector<RankingRow> rows;
    if (!m_main->readFacts([&](const LedgerFacts &all) { rows = ranking(all, span); }))
        return;
    Label1->setText(rows.empty() ? QStringLiteral("所选期间没有出货记录。")
                                 : QStringLiteral("所选期间有出货的商品：%1 种").arg(rows.size()));
    m_rows->setRows(std::move(rows));
}
