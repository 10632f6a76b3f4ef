#include "analysis/analysis_model.h"

AnalysisModel::AnalysisModel(QList<Column> columns, QObject *parent)
    : QAbstractTableModel(parent), m_columns(std::move(columns))
{
}

int AnalysisModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

namespace {
QVariant alignment(bool number)
{
    return QVariant::fromValue((number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
}
} // namespace

QVariant AnalysisModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    const Column &c = m_columns[section];
    switch (role) {
    case Qt::DisplayRole: return c.heading;
    case Qt::TextAlignmentRole: return alignment(c.number);
    // A first click on a heading puts the best on top: the largest number, the first name.
    case Qt::InitialSortOrderRole: return c.number ? Qt::DescendingOrder : Qt::AscendingOrder;
    default: return {};
    }
}

QVariant AnalysisModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    switch (role) {
    case Qt::DisplayRole: return text(index.row(), index.column());
    case FigureRole: return figure(index.row(), index.column());
    case Qt::TextAlignmentRole: return alignment(m_columns[index.column()].number);
    default: return {};
    }
}

bool FigureSortModel::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const QVariant a = left.data(AnalysisModel::FigureRole);
    const QVariant b = right.data(AnalysisModel::FigureRole);
    // A row without a figure counts as the greatest when ascending and as the least when
    // descending: it stays last either way.
    if (a.isValid() != b.isValid())
        return sortOrder() == Qt::AscendingOrder ? a.isValid() : b.isValid();
    return a.isValid() && QVariant::compare(a, b) == QPartialOrdering::Less;
}
