// What makes an SQLite file's table 库 the ledger's: its nine columns. The start, the restore
// and the check of a backup ask the same question here.
#pragma once

#include <QString>
#include <QStringList>

struct sqlite3;

namespace ledger {

// The nine columns of the table 库 in stored order: 标号 … 交易号码.
const QStringList &ledgerColumns();

// Why the table 库 of db is not a ledger's (absent, or not exactly the nine columns in order),
// as a Chinese phrase; empty when it is. rc is SQLite's result: not SQLITE_OK when the file
// could not be read at all (a wrong key, damage), and then the phrase is empty.
QString ledgerTableProblem(sqlite3 *db, int &rc);

} // namespace ledger
