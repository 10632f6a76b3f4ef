// Reading every row of the ledger table into records, fast enough for a million rows.
#pragma once

#include "ledger/store.h"

#include <vector>

struct sqlite3_stmt;

namespace ledger {

// Steps st (rowid, kind and the eight text columns, in stored order) to its end, appending a
// record per row to rows. Returns the last result of sqlite3_step (SQLITE_DONE when all went
// well). Reserve rows beforehand: a large ledger is then filled in large pages.
int loadRows(sqlite3_stmt *st, std::vector<Record> &rows);

} // namespace ledger
