// The lines of a stock-take as a table: every product of the chosen category with its book
// figure, count, difference and the difference's value, and a total line that stays last
// whatever the sorting.
#pragma once

#include "ledger/stocktake.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>

class StockTakeModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Category, Name, Book, Count, Difference, Value, Columns };
    // The number a column sorts by; uncounted cells sort below every count.
    static constexpr int SortRole = Qt::UserRole;

    explicit StockTakeModel(ledger::StockTake &take, QObject *parent = nullptr);

    // Shows the products of this category (every product for a null text) afresh.
    void showCategory(const QString &category);
    // A line's count changed.
    void lineChanged(std::size_t line);
    // The row of a line, or -1 when its product is not shown; the line of a row, or none for
    // the total line.
    int rowOf(std::size_t line) const;
    std::optional<std::size_t> lineAt(int row) const;
    const std::vector<std::size_t> &shown() const { return m_shown; }
    ledger::CountTotals totals() const { return ledger::countTotals(m_take.lines(), m_shown); }

    // The cells of a row for spreadsheets: plain numbers, empty where nothing was counted.
    static QStringList headers();
    QStringList cells(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // A count typed into its cell: a whole number from 0 up, or nothing to forget the count.
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

private:
    QVariant sortKey(int row, int column) const;

    ledger::StockTake &m_take;
    std::vector<std::size_t> m_shown;
    std::vector<int> m_rowOfLine; // -1 for lines not shown
};

// Sorts by the column clicked; the total line stays at the bottom.
class StockTakeSort : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;
};

// The editor of a count takes digits only.
class CountDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
