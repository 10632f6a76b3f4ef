// The lists of the analysis windows as tables: a model owns its columns (the headings, the text
// of each cell and the figure it sorts by), the view draws the headings over the rows and a
// proxy sorts the rows by their figures.
#pragma once

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

#include <vector>

class AnalysisModel : public QAbstractTableModel {
public:
    // A cell's figure: a number, or the text of a name. A row without one in the column sorted
    // by (a product without a profit, the total) stays last whichever way it is sorted.
    static constexpr int FigureRole = Qt::UserRole;

    struct Column {
        QString heading;
        bool number; // right-aligned; the largest first when its heading is first clicked
        bool wide;   // takes the room the others leave (the names)
    };

    AnalysisModel(QList<Column> columns, QObject *parent);

    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool isWide(int column) const { return m_columns[column].wide; }

protected:
    // Called with a row and column inside the table only.
    virtual QString text(int row, int column) const = 0;
    virtual QVariant figure(int row, int column) const = 0;

private:
    QList<Column> m_columns;
};

// The model of a list of result rows, refilled at each refresh.
template <class Row> class RowsModel : public AnalysisModel {
public:
    using AnalysisModel::AnalysisModel;

    void setRows(std::vector<Row> rows)
    {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
    }
    const std::vector<Row> &rows() const { return m_rows; }
    const Row &at(int row) const { return m_rows[static_cast<std::size_t>(row)]; }
    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }

private:
    std::vector<Row> m_rows;
};

// Sorts the rows of an analysis model by the figures of the clicked column.
class FigureSortModel : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;
};
