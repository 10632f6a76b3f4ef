#include "browse/ui_tx_list.h"

#include "ledger/browse.h"

#include <algorithm>

using namespace ledger;

namespace ui {

int TxLines::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
}

QModelIndex TxLines::index(int row, int column, const QModelIndex &parent) const
{
    const bool valid = row >= 0 && static_cast<std::size_t>(row) < m_lines.size() && column == 0 && !parent.isValid();
    return valid ? createIndex(row, 0) : QModelIndex();
}

QVariant TxLines::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return {};
    return text(index.row());
}

const Record *TxLines::resolve(const Line &line) const
{
    if (line.id == 0 || !m_store)
        return nullptr;
    const std::vector<Record> &rows = m_store->loadedRows();
    const auto now = static_cast<quint32>(m_store->generation());
    if (line.generation != now) {
        // Rows are in rowid order.
        const auto it = std::lower_bound(rows.cbegin(), rows.cend(), line.id,
                                         [](const Record &r, qint64 id) { return r.id < id; });
        line.at = it != rows.cend() && it->id == line.id ? static_cast<quint32>(it - rows.cbegin()) : kMissing;
        line.generation = now;
    }
    if (line.at != kMissing)
        return &rows[line.at];
    const auto gone = m_gone.constFind(line.id);
    return gone != m_gone.cend() ? &*gone : nullptr;
}

QString TxLines::text(int row) const
{
    const Line &line = m_lines[static_cast<std::size_t>(row)];
    if (line.id == 0)
        return m_texts[line.at];
    const Record *r = resolve(line);
    return r ? transactionLine(*r) : QString();
}

Record TxLines::record(int row) const
{
    if (row < 0 || row >= rowCount())
        return {};
    const Line &line = m_lines[static_cast<std::size_t>(row)];
    if (const Record *r = resolve(line))
        return *r;
    // A row gone meanwhile keeps its id, so that deleting its line deletes nothing else.
    Record gone;
    gone.id = line.id;
    gone.hasKind = false;
    return gone;
}

void TxLines::setRecords(Store *store, const RecordRefs &records)
{
    ++m_fills;
    beginResetModel();
    m_store = store;
    m_texts.clear();
    m_gone.clear();
    m_lines.clear();
    m_lines.shrink_to_fit();
    m_lines.reserve(records.size());
    addLines(records);
    endResetModel();
}

void TxLines::appendRecords(const RecordRefs &records)
{
    if (records.empty())
        return;
    const int row = rowCount();
    beginInsertRows({}, row, row + static_cast<int>(records.size()) - 1);
    addLines(records);
    endInsertRows();
}

void TxLines::addLines(const RecordRefs &records)
{
    const std::vector<Record> *rows = m_store ? &m_store->loadedRows() : nullptr;
    const auto now = static_cast<quint32>(m_store ? m_store->generation() : 0);
    for (const Record &r : records) {
        // A row of the store's table is known by its position; any other by its id alone.
        const bool inRows = rows && !rows->empty() && &r >= rows->data() && &r < rows->data() + rows->size();
        m_lines.push_back({r.id, inRows ? static_cast<quint32>(&r - rows->data()) : 0, inRows ? now : now + 1});
    }
}

void TxLines::appendText(const QString &text)
{
    const int row = rowCount();
    beginInsertRows({}, row, row);
    m_texts.push_back(text);
    m_lines.push_back({0, static_cast<quint32>(m_texts.size() - 1), 0});
    endInsertRows();
}

void TxLines::setRecord(int row, const Store &store, const Record &stored)
{
    if (row < 0 || row >= rowCount() || (m_store && m_store != &store))
        return;
    m_store = &store;
    Line &line = m_lines[static_cast<std::size_t>(row)];
    const quint32 text = line.at;
    line.id = stored.id;
    line.generation = static_cast<quint32>(store.generation()) + 1; // look it up now
    if (!resolve(line)) { // the line keeps the text it was given
        line.id = 0;
        line.at = text;
    }
    emit dataChanged(index(row), index(row));
}

void TxLines::rowGone(const Record &r)
{
    if (!m_lines.empty())
        m_gone.insert(r.id, r);
}

void TxLines::removeLines(const std::vector<int> &rows)
{
    if (rows.size() > 64) {
        // Many lines at once (全选/反选 on a long list): one pass instead of a shift of the
        // rest per range; the view starts afresh, with no line selected.
        beginResetModel();
        ledger::eraseAt(m_lines, rows);
        if (m_lines.empty())
            m_gone.clear();
        endResetModel();
        return;
    }
    // From the end, one range at a time, so the selection of the other lines stays as it is.
    for (auto it = rows.crbegin(); it != rows.crend();) {
        int first = *it, last = *it;
        for (++it; it != rows.crend() && *it == first - 1; ++it)
            first = *it;
        beginRemoveRows({}, first, last);
        m_lines.erase(m_lines.begin() + first, m_lines.begin() + last + 1);
        endRemoveRows();
    }
}

void TxLines::clear()
{
    ++m_fills;
    if (m_lines.empty())
        return;
    beginResetModel();
    m_lines.clear();
    m_lines.shrink_to_fit();
    m_texts.clear();
    m_gone.clear();
    endResetModel();
}

TxList::TxList(QWidget *parent) : QListView(parent), m_lines(new TxLines(this))
{
    setModel(m_lines);
    setSelectionMode(MultiSelection);
    setUniformItemSizes(true);
    setEditTriggers(NoEditTriggers);
}

bool TxList::isSelected(int row) const { return selectionModel()->isRowSelected(row, {}); }

std::vector<int> TxList::selectedRows() const
{
    std::vector<int> rows;
    for (const QItemSelectionRange &range : selectionModel()->selection())
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void TxList::setSelected(int row, bool on)
{
    selectionModel()->select(m_lines->index(row), on ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
}

} // namespace ui
