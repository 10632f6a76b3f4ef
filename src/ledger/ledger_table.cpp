#include "ledger/ledger_table.h"

#include "ledger/columns.h"

#include <sqlite3.h>

namespace ledger {

const QStringList &ledgerColumns()
{
    static const QStringList names = [] {
        QStringList out;
        for (const Column &c : kColumns)
            out << columnName(c);
        return out;
    }();
    return names;
}

QString ledgerTableProblem(sqlite3 *db, int &rc)
{
    sqlite3_stmt *st = nullptr;
    QStringList names;
    rc = sqlite3_prepare_v2(db, "PRAGMA table_info(\"库\")", -1, &st, nullptr);
    while (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) {
        names << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 1)));
        rc = SQLITE_OK;
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        return QString();
    rc = SQLITE_OK;
    if (names.isEmpty())
        return QStringLiteral("文件中没有账本表“库”");
    if (names != ledgerColumns())
        return QStringLiteral("账本表“库”的字段与本软件的不同（应为 %1）").arg(ledgerColumns().join(u'、'));
    return QString();
}

} // namespace ledger
