#include "analysis/products.h"

#include "ledger/dates.h"
#include "ledger/text.h"

#include <cmath>
#include <cstdint>

namespace ledger {

ProductIndex::ProductIndex(const std::vector<Record> &rows)
{
    for (const Record &r : rows) {
        if (!r.hasKind || r.kind != kProduct)
            continue;
        QHash<QString, int> &names = m_byCategory[r.cat];
        if (names.contains(r.name))
            continue;
        names.insert(r.name, static_cast<int>(m_products.size()));
        m_products.push_back({r.cat, r.name});
    }
}

int ProductIndex::find(const Record &r)
{
    const auto a = reinterpret_cast<std::uintptr_t>(r.cat.constData());
    const auto b = reinterpret_cast<std::uintptr_t>(r.name.constData());
    Slot &slot = m_slots[((a >> 4) * 31 + (b >> 4)) % m_slots.size()];
    if (slot.cat == r.cat.constData() && slot.name == r.name.constData() &&
        slot.catSize == r.cat.size() && slot.nameSize == r.name.size() && slot.cat)
        return slot.product;
    int product = -1;
    const auto names = m_byCategory.constFind(r.cat);
    if (names != m_byCategory.cend())
        product = names->value(r.name, -1);
    slot = {r.cat.constData(), r.name.constData(), r.cat.size(), r.name.size(), product};
    return product;
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

QString columnsLine(const QStringList &cells, const std::vector<int> &widths)
{
    QString line;
    for (qsizetype i = 0; i < cells.size(); ++i) {
        const int width = i < static_cast<qsizetype>(widths.size()) ? widths[static_cast<std::size_t>(i)] : 0;
        const QString &cell = cells[i];
        const int pad = std::abs(width) - displayWidth(cell);
        if (i > 0)
            line += u' ';
        if (width < 0 && pad > 0)
            line += QString(pad, u' ');
        line += cell;
        if (width > 0 && pad > 0 && i + 1 < cells.size())
            line += QString(pad, u' ');
    }
    return line;
}

QString shortNumber(double value)
{
    const double rounded = std::round(value * 100.0) / 100.0;
    return formatNumber(rounded == 0 ? 0.0 : rounded);
}

} // namespace ledger
