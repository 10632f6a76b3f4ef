// At start: offers to carry a ledger kept in the Access (Jet/ACE) format over into the
// program's own encrypted ledger, showing progress and the outcome.
#pragma once

#include <QString>

namespace ui {

// Does nothing and returns true when path is not a Jet/ACE file. Otherwise asks; on "确定"
// converts (keeping the original beside it) and reports how many records came over. Returns
// false when the program cannot go on: the user declined, or the conversion was refused (the
// user has been told why; nothing on disk was changed).
bool offerJetCarryOver(const QString &path);

} // namespace ui
