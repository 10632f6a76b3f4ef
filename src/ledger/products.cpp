#include "ledger/products.h"

#include "ledger/dates.h"
#include "ledger/text.h"

#include <cmath>
#include <cstdint>

namespace ledger {

ProductIndex::ProductIndex(const std::vector<Record> &rows)
{
    for (const Record &r : rows)
        if (r.isKind(kProduct))
            add(r);
}

bool ProductIndex::add(const Record &r)
{
    if (lookup(r.cat, r.name) >= 0)
        return false;
    const auto same = m_byName.constFind(r.name);
    m_sameName.push_back(same == m_byName.cend() ? -1 : *same);
    m_byName.insert(r.name, static_cast<int>(m_products.size()));
    m_products.push_back({r.cat, r.name});
    return true;
}

int ProductIndex::lookup(const QString &category, const QString &name) const
{
    const auto last = m_byName.constFind(name);
    if (last == m_byName.cend())
        return -1;
    for (int p = *last; p >= 0; p = m_sameName[static_cast<std::size_t>(p)])
        if (m_products[static_cast<std::size_t>(p)].category == category)
            return p;
    return -1;
}

std::size_t ProductIndex::slotOf(const QChar *cat, const QChar *name, std::size_t mask)
{
    const auto a = reinterpret_cast<std::uintptr_t>(cat);
    const auto b = reinterpret_cast<std::uintptr_t>(name);
    return static_cast<std::size_t>(((a >> 4) * 0x9E3779B97F4A7C15ull) ^ (b >> 4) * 0xC2B2AE3D27D4EB4Full) & mask;
}

int ProductIndex::find(const Record &r)
{
    const QChar *cat = r.cat.constData();
    const QChar *name = r.name.constData();
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = slotOf(cat, name, mask);; i = (i + 1) & mask) {
        Slot &slot = m_slots[i];
        if (!slot.used) {
            const int product = lookup(r.cat, r.name);
            slot = {cat, name, r.cat.size(), r.name.size(), product, true};
            if (++m_used * 2 > m_slots.size())
                grow();
            return product;
        }
        if (slot.cat == cat && slot.name == name && slot.catSize == r.cat.size() && slot.nameSize == r.name.size())
            return slot.product;
    }
}

void ProductIndex::grow()
{
    std::vector<Slot> old(m_slots.size() * 2);
    old.swap(m_slots);
    const std::size_t mask = m_slots.size() - 1;
    for (const Slot &s : old) {
        if (!s.used)
            continue;
        std::size_t i = slotOf(s.cat, s.name, mask);
        while (m_slots[i].used)
            i = (i + 1) & mask;
        m_slots[i] = s;
    }
}

DaySpan DaySpan::between(const QDate &first, const QDate &last)
{
    return {dayNumber(first), dayNumber(last)};
}

DaySpan DaySpan::lastDays(const QDate &today, int n) { return between(today.addDays(1 - n), today); }

bool DaySpan::contains(int day) const
{
    if (day == kNoDay)
        return false;
    if (from <= to)
        return day >= from && day <= to;
    return day >= from || day <= to;
}

QString shortNumber(double value)
{
    const double rounded = std::round(value * 100.0) / 100.0;
    return formatNumber(rounded == 0 ? 0.0 : rounded);
}

} // namespace ledger
