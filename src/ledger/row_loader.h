// Reading every row of the ledger table into records, fast enough for a million rows.
#pragma once

#include "ledger/store.h"

#include <memory>
#include <vector>

struct sqlite3_stmt;

namespace ledger {

// Steps st (rowid, kind and the eight text columns, in stored order) to its end, appending a
// record per row to rows. Returns the last result of sqlite3_step (SQLITE_DONE when all went
// well). Reserve rows beforehand: a large ledger is then filled in large pages.
int loadRows(sqlite3_stmt *st, std::vector<Record> &rows);

class RowBuilder;

// The same for rows read some other way (a server's COPY): each row is handed over as raw
// bytes, and a second thread turns them into records in order, sharing equal texts of a column.
// rows must not be touched until finish() has returned.
class RowLoader {
public:
    static constexpr int kNoKind = -2147483647 - 1; // a null kind column
    // One text column's UTF-8 bytes; size < 0 for NULL.
    struct Field {
        const char *data = nullptr;
        int size = -1;
    };
    explicit RowLoader(std::vector<Record> &rows);
    ~RowLoader();
    RowLoader(const RowLoader &) = delete;
    RowLoader &operator=(const RowLoader &) = delete;
    // fields: the eight text columns in their order.
    void add(qint64 id, int kind, const Field *fields);
    // Waits until every row added is in rows.
    void finish();

private:
    struct Batch;
    std::unique_ptr<RowBuilder> m_builder;
    std::unique_ptr<Batch> m_batch;
};

} // namespace ledger
