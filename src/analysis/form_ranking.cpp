#include "analysis/form_ranking.h"

#include "ledger/dates.h"
#include "mainwin/form1.h"
#include "mainwin/ui_app.h"

#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QStandardItemModel>

using namespace ledger;

namespace {
enum Choice { AllRecords, ThisYear, ThisMonth, Picked };
}

FormRanking::FormRanking(Form1 *main) : AnalysisWindow(main, "FormRanking", QStringLiteral("商品排行"))
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
    auto *periodRow = new QHBoxLayout;
    periodRow->addWidget(Combo1);
    periodRow->addWidget(DateEdit1);
    periodRow->addWidget(new QLabel(QStringLiteral("至"), this));
    periodRow->addWidget(DateEdit2);
    periodRow->addStretch(1);
    column()->insertLayout(0, periodRow);

    // Headings over the columns of the lines: a section per column, as wide as its characters.
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
    for (int i = 0; i < kRankColumns; ++i)
        Header1->resizeSection(i, (std::abs(rankingWidths()[static_cast<std::size_t>(i)]) + 1) * charWidth);
    // Names start where their column starts, numbers end where theirs ends, as in the lines.
    for (int i = 0; i < kRankColumns; ++i) {
        const bool number = rankingWidths()[static_cast<std::size_t>(i)] < 0;
        headings->setHeaderData(i, Qt::Horizontal,
                                QVariant::fromValue(Qt::Alignment((number ? Qt::AlignRight : Qt::AlignLeft) |
                                                                  Qt::AlignVCenter)),
                                Qt::TextAlignmentRole);
    }
    Header1->setFixedHeight(fm.height() + 8);
    column()->insertWidget(2, Header1);
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
    if (!m_main->readRows([&](const std::vector<Record> &all) { m_rows = ranking(all, span); }))
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
    QStringList lines;
    for (const RankingRow &row : m_rows)
        lines << rankingLine(row);
    setLines(List1, lines);
    Label1->setText(lines.isEmpty() ? QStringLiteral("所选期间没有出货记录。")
                                    : QStringLiteral("所选期间有出货的商品：%1 种").arg(lines.size()));
}
