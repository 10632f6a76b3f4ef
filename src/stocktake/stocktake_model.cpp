#include "stocktake/stocktake_model.h"

#include "ledger/text.h"

#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <limits>

using namespace ledger;

namespace {
const QString kTotal = QStringLiteral("合计");
constexpr double kNothing = -std::numeric_limits<double>::infinity();
} // namespace

StockTakeModel::StockTakeModel(StockTake &take, QObject *parent) : QAbstractTableModel(parent), m_take(take) {}

void StockTakeModel::showCategory(const QString &category)
{
    beginResetModel();
    m_shown.clear();
    m_rowOfLine.assign(m_take.lines().size(), -1);
    for (std::size_t i = 0; i < m_take.lines().size(); ++i) {
        if (category.isNull() || m_take.lines()[i].product.category == category) {
            m_rowOfLine[i] = static_cast<int>(m_shown.size());
            m_shown.push_back(i);
        }
    }
    endResetModel();
}

void StockTakeModel::lineChanged(std::size_t line)
{
    const int row = rowOf(line);
    if (row < 0)
        return;
    emit dataChanged(index(row, Count), index(row, Value));
    const int total = static_cast<int>(m_shown.size());
    emit dataChanged(index(total, Book), index(total, Value));
}

int StockTakeModel::rowOf(std::size_t line) const
{
    return line < m_rowOfLine.size() ? m_rowOfLine[line] : -1;
}

std::optional<std::size_t> StockTakeModel::lineAt(int row) const
{
    if (row < 0 || row >= static_cast<int>(m_shown.size()))
        return std::nullopt;
    return m_shown[static_cast<std::size_t>(row)];
}

QStringList StockTakeModel::headers()
{
    return {QStringLiteral("类"),       QStringLiteral("商品名"), QStringLiteral("账面库存"),
            QStringLiteral("实盘数量"), QStringLiteral("差异"),   QStringLiteral("差异金额(元)")};
}

QStringList StockTakeModel::cells(int row) const
{
    const std::optional<std::size_t> line = lineAt(row);
    if (!line) {
        const CountTotals t = totals();
        return {kTotal, QStringLiteral("已盘 %1 种").arg(t.counted), QString::number(t.book), QString::number(t.count),
                QString::number(t.difference), formatNumber(t.value)};
    }
    const CountLine &l = m_take.lines()[*line];
    if (!l.count)
        return {l.product.category, l.product.name, QString::number(l.book), QString(), QString(), QString()};
    return {l.product.category, l.product.name, QString::number(l.book), QString::number(*l.count),
            QString::number(l.difference()), l.price ? formatNumber(l.value()) : QStringLiteral("-")};
}

int StockTakeModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_shown.size()) + 1;
}

int StockTakeModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : Columns; }

QVariant StockTakeModel::sortKey(int row, int column) const
{
    const std::optional<std::size_t> line = lineAt(row);
    const CountLine &l = m_take.lines()[*line];
    switch (column) {
    case Category: return l.product.category;
    case Name: return l.product.name;
    case Book: return static_cast<double>(l.book);
    case Count: return l.count ? static_cast<double>(*l.count) : kNothing;
    case Difference: return l.count ? static_cast<double>(l.difference()) : kNothing;
    default: return l.count ? l.value() : kNothing;
    }
}

QVariant StockTakeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    switch (role) {
    case Qt::DisplayRole: return cells(index.row()).value(index.column());
    case Qt::EditRole: return cells(index.row()).value(index.column());
    case SortRole: return lineAt(index.row()) ? sortKey(index.row(), index.column()) : QVariant();
    case Qt::TextAlignmentRole:
        return QVariant::fromValue((index.column() >= Book ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    default: return {};
    }
}

QVariant StockTakeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return headers().value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags StockTakeModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.column() == Count && lineAt(index.row()))
        f |= Qt::ItemIsEditable;
    return f;
}

bool StockTakeModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    const std::optional<std::size_t> line = lineAt(index.row());
    if (role != Qt::EditRole || index.column() != Count || !line)
        return false;
    const QString text = value.toString().trimmed();
    bool ok = true;
    const qint64 count = text.toLongLong(&ok);
    if (!text.isEmpty() && (!ok || count < 0 || count > 999999999))
        return false;
    m_take.setCount(*line, text.isEmpty() ? std::nullopt : std::optional<qint64>(count));
    lineChanged(*line);
    return true;
}

bool StockTakeSort::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    // The total line has no sort key; it goes last in either order.
    const bool leftTotal = !left.data(StockTakeModel::SortRole).isValid();
    const bool rightTotal = !right.data(StockTakeModel::SortRole).isValid();
    if (leftTotal || rightTotal)
        return sortOrder() == Qt::AscendingOrder ? rightTotal && !leftTotal : leftTotal && !rightTotal;
    return QSortFilterProxyModel::lessThan(left, right);
}

QWidget *CountDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const
{
    auto *editor = new QLineEdit(parent);
    editor->setObjectName(QStringLiteral("CountEditor"));
    editor->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,9}")), editor));
    return editor;
}
