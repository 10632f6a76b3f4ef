#include "analysis/form_ranking.h"

#include "ledger/dates.h"
#include "ledger/facts.h"
#include "mainwin/form1.h"
#include "mainwin/ui_app.h"
#include "mainwin/ui_export.h"

#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QStandardItemModel>

using namespace ledger;

namespace {
enum Choice { AllRecords, ThisYear, ThisMonth, Picked };
}

FormRanking::FormRanking(Form1 *main) : AnalysisWindow(main, "FormRanking", QStringLiteral("商品排行"))
{
    column()->insertLayout(0, buildPeriodRow());
    column()->insertWidget(2, buildHeadings());
    Header1->setSortIndicator(m_column, Qt::DescendingOrder);
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
    connect(Header1, &QHeaderView::sectionClicked, this, &FormRanking::Header1_Click);
    ui::addExportMenu(List1, {windowTitle(), rankingColumns(), [this](int row) {
                                  return rankingCells(m_rows[static_cast<std::size_t>(row)]);
                              }});
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

QHeaderView *FormRanking::buildHeadings()
{
    // A section per column, as wide as its characters.
    const QFont mono(ui::monoFontFamily(), 9);
    auto *headings = new QStandardItemModel(0, kRankColumns, this);
    headings->setHorizontalHeaderLabels(rankingHeaders());
    Header1 = new QHeaderView(Qt::Horizontal, this);
    Header1->setObjectName(QStringLiteral("Header1")); // made by hand: it needs its orientation
    Header1->setModel(headings);
    Header1->setFont(mono);
    Header1->setSectionsClickable(true);
    Header1->setSortIndicatorShown(true);
    Header1->setSectionResizeMode(QHeaderView::Fixed);
    const QFontMetrics fm(mono);
    const int charWidth = fm.horizontalAdvance(u'0');
    for (int i = 0; i < kRankColumns; ++i) {
        const int width = rankingWidths()[static_cast<std::size_t>(i)];
        Header1->resizeSection(i, (std::abs(width) + 1) * charWidth);
        // Names start where their column starts, numbers end where theirs ends, as in the lines.
        const Qt::Alignment align = (width < 0 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
        headings->setHeaderData(i, Qt::Horizontal, QVariant::fromValue(align), Qt::TextAlignmentRole);
    }
    Header1->setFixedHeight(fm.height() + 8);
    return Header1;
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
    if (!m_main->readFacts([&](const LedgerFacts &all) { m_rows = ranking(all, span); }))
        return;
    showRows();
}

void FormRanking::Header1_Click(int column)
{
    // A new column starts with the best line on top; the same column again turns it round.
    m_reversed = column == m_column ? !m_reversed : false;
    m_column = column;
    showRows();
}

void FormRanking::showRows()
{
    sortRanking(m_rows, static_cast<RankColumn>(m_column), m_reversed);
    const bool numeric = m_column >= static_cast<int>(RankColumn::Quantity);
    Header1->setSortIndicator(m_column, numeric != m_reversed ? Qt::DescendingOrder : Qt::AscendingOrder);
    setLines(List1, static_cast<int>(m_rows.size()),
             [this](int row) { return rankingLine(m_rows[static_cast<std::size_t>(row)]); });
    Label1->setText(m_rows.empty() ? QStringLiteral("所选期间没有出货记录。")
                                   : QStringLiteral("所选期间有出货的商品：%1 种").arg(m_rows.size()));
}
