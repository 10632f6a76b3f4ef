#include "ledger/facts.h"

#include "ledger/text.h"

namespace ledger {

LedgerFacts::LedgerFacts(const std::vector<Record> &rows) : m_index(rows)
{
    m_facts.reserve(rows.capacity());
    for (const Record &r : rows) {
        if (r.isKind(kCategory))
            m_categories << r.name;
        // find() may go by the texts' addresses here, while the rows stand still; later rows
        // are looked up by their texts.
        m_facts.push_back(factOf(r, r.isKind(kTransaction) ? m_index.find(r) : -1));
    }
}

RowFact LedgerFacts::factOf(const Record &r, int product)
{
    RowFact f;
    if (!r.isKind(kTransaction))
        return f;
    f.transaction = true;
    f.product = product;
    f.stockIn = r.method == kStockIn;
    f.qty = parseNumber(r.qty);
    f.total = parseNumber(r.total);
    f.day = m_days.day(r.date);
    if (product < 0)
        ++m_orphans;
    return f;
}

void LedgerFacts::appended(const std::vector<Record> &rows, std::size_t position)
{
    const Record &r = rows[position];
    if (r.isKind(kCategory))
        m_categories << r.name;
    if (r.isKind(kProduct) && m_index.add(r) && m_orphans > 0) {
        // Transactions typed before their product row now belong to it.
        for (std::size_t i = 0; i < m_facts.size(); ++i) {
            RowFact &f = m_facts[i];
            if (f.transaction && f.product < 0 && (f.product = m_index.lookup(rows[i].cat, rows[i].name)) >= 0)
                --m_orphans;
        }
    }
    if (m_facts.size() == m_facts.capacity()) // grow as the rows do, by a sixteenth
        m_facts.reserve(m_facts.size() + m_facts.size() / 16 + 256);
    m_facts.push_back(factOf(r, r.isKind(kTransaction) ? m_index.lookup(r.cat, r.name) : -1));
}

bool LedgerFacts::removing(const std::vector<Record> &rows, const std::vector<std::size_t> &positions)
{
    for (const std::size_t p : positions)
        if (rows[p].isKind(kCategory) || rows[p].isKind(kProduct))
            return false;
    for (const std::size_t p : positions)
        if (m_facts[p].transaction && m_facts[p].product < 0)
            --m_orphans;
    eraseAt(m_facts, positions);
    return true;
}

} // namespace ledger
