#include "browse/ui_tx_list.h"

#include "ledger/browse.h"

#include <algorithm>

using namespace ledger;

namespace ui {

int TxLines::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
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
    if (line.generation != m_store->generation()) {
        const std::vector<Record> &rows = m_store->loadedRows(); // rows are in rowid order
        const auto it = std::lower_bound(rows.cbegin(), rows.cend(), line.id,
                                         [](const Record &r, qint64 id) { return r.id < id; });
        line.rec = it != rows.cend() && it->id == line.id ? &*it : nullptr;
        if (!line.rec) {
            const auto gone = m_gone.constFind(line.id);
            line.rec = gone != m_gone.cend() ? &*gone : nullptr;
        }
        line.generation = m_store->generation();
    }
    return line.rec;
}

QString TxLines::text(int row) const
{
    const Line &line = m_lines[static_cast<std::size_t>(row)];
    if (line.text >= 0)
        return m_texts[static_cast<std::size_t>(line.text)];
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
    beginResetModel();
    m_store = store;
    m_texts.clear();
    m_gone.clear();
    m_lines.clear();
    m_lines.shrink_to_fit();
    m_lines.reserve(records.size());
    const quint64 generation = store ? store->generation() : 0;
    for (const Record &r : records)
        m_lines.push_back({r.id, &r, generation, -1});
    endResetModel();
}

void TxLines::appendText(const QString &text)
{
    const int row = rowCount();
    beginInsertRows({}, row, row);
    m_texts.push_back(text);
    m_lines.push_back({0, nullptr, 0, static_cast<int>(m_texts.size() - 1)});
    endInsertRows();
}

void TxLines::setRecord(int row, const Store &store, const Record &stored)
{
    if (row < 0 || row >= rowCount() || (m_store && m_store != &store))
        return;
    m_store = &store;
    Line &line = m_lines[static_cast<std::size_t>(row)];
    line.id = stored.id;
    line.generation = store.generation() + 1; // look it up on first use
    if (resolve(line)) // the line now shows its row; the text it was given goes
        line.text = -1;
    else
        line.id = 0;
    emit dataChanged(index(row), index(row));
}

void TxLines::rowGone(const Record &r)
{
    if (!m_lines.empty())
        m_gone.insert(r.id, r);
}

void TxLines::removeLines(const std::vector<int> &rows)
{
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
