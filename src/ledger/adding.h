// The computed parts of a new transaction: its total and its transaction number.
#pragma once

#include <QString>
#include <array>

namespace ledger {

// Unit price times quantity, both read as leading numbers, as the ledger stores it.
QString totalText(const QString &price, const QString &quantity);

// The number of a new transaction from six draws and the number of rows already stored:
// five draws are taken before the rows are counted, the sixth after.
// d holds the draws in the order taken.
qint64 transactionNumber(const std::array<float, 6> &d, qint64 rowCount);

} // namespace ledger
