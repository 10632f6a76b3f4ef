#include "ledger/adding.h"

#include "ledger/text.h"

#include <cmath>

namespace ledger {

QString totalText(const QString &price, const QString &quantity)
{
    return formatNumber(parseNumber(price) * parseNumber(quantity));
}

qint64 transactionNumber(const std::array<float, 6> &d, qint64 rowCount)
{
    auto part = [](float draw, double scale) { return std::floor(static_cast<double>(draw) * scale); };
    const double number = part(d[5], 100000) + part(d[0], 10000) + part(d[1], 1000) + part(d[2], 100) +
                          part(d[3], 10) + part(d[4], 1000) * static_cast<double>(rowCount);
    return roundEven(number);
}

} // namespace ledger
