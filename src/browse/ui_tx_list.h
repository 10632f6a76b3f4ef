// The transaction list: a view over result rows of the ledger. A line refers to its stored
// row and is spelled only when it is drawn, so listing a million transactions costs a million
// references, not a million texts.
#pragma once

#include "ledger/store.h"

#include <QAbstractListModel>
#include <QHash>
#include <QListView>
#include <vector>

namespace ui {

class TxLines : public QAbstractListModel {
public:
    explicit TxLines(QObject *parent) : QAbstractListModel(parent) {}

    int rowCount(const QModelIndex &parent = {}) const override;
    // Without the virtual row and column counts: the view asks for every row's index when it
    // lays out a refilled list.
    QModelIndex index(int row, int column = 0, const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    // Replaces every line by the lines of these rows of store.
    void setRecords(ledger::Store *store, const ledger::RecordRefs &records);
    // Adds the lines of these rows of the store of setRecords after the others, as one fill.
    void appendRecords(const ledger::RecordRefs &records);
    // A line with its text only (its record may follow through setRecord).
    void appendText(const QString &text);
    void setRecord(int row, const ledger::Store &store, const ledger::Record &stored);
    // The stored row a line was made from: id 0 when it has none; only its id when the row
    // has gone from the ledger since.
    ledger::Record record(int row) const;
    // Only its id, without looking the row up.
    qint64 id(int row) const { return m_lines[static_cast<std::size_t>(row)].id; }
    // Counts the fills (setRecords, clear): the same count, the same listing with lines added.
    quint64 fills() const { return m_fills; }
    QString text(int row) const;
    // Keeps a row the store is deleting, for the lines that show it.
    void rowGone(const ledger::Record &r);
    // Removes these lines (ascending rows).
    void removeLines(const std::vector<int> &rows);
    void clear();

private:
    // 16 bytes a line, so a million lines cost 16 MB.
    struct Line {
        qint64 id = 0; // 0: a line of text only
        // A row's position in the store's rows, valid while the store is at generation
        // (kMissing: the row is not there); for a text line, its index into m_texts.
        mutable quint32 at = 0;
        mutable quint32 generation = 0; // low bits of the store's generation
    };
    static constexpr quint32 kMissing = 0xffffffffu;
    // The row behind a line, looked up again by id after the rows moved; null when none.
    const ledger::Record *resolve(const Line &line) const;
    // Lines for these rows, each known by its position while the store stays at its generation
    // of now and by its id after (the rows may have moved, or been copied when they grew).
    void addLines(const ledger::RecordRefs &records);

    const ledger::Store *m_store = nullptr;
    std::vector<Line> m_lines;
    std::vector<QString> m_texts;
    QHash<qint64, ledger::Record> m_gone; // rows deleted since they were listed, by id
    quint64 m_fills = 0;
};

// The view: a multiple-selection list of same-height lines, answering like a list widget
// which lines it shows and which are selected.
class TxList : public QListView {
public:
    explicit TxList(QWidget *parent);

    TxLines *lines() const { return m_lines; }
    int count() const { return m_lines->rowCount(); }
    void clear() { m_lines->clear(); }
    void addItem(const QString &text) { m_lines->appendText(text); }
    QString lineText(int row) const { return m_lines->text(row); }
    int currentRow() const { return currentIndex().row(); }
    bool isSelected(int row) const;
    std::vector<int> selectedRows() const; // ascending
    void setSelected(int row, bool on);

private:
    TxLines *m_lines;
};

} // namespace ui
