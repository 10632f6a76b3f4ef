#include "ledger/columns.h"

#include <string>

namespace ledger {

namespace {

std::string quoted(const Column &c) { return '"' + std::string(c.name) + '"'; }

// The columns quoted and separated by ", ".
std::string columnList()
{
    std::string out;
    for (const Column &c : kColumns)
        out += (out.empty() ? "" : ", ") + quoted(c);
    return out;
}

} // namespace

const char *createTableSql()
{
    // The types and checks of the files already written: 标号 a SMALLINT, the texts VARCHARs
    // whose length SQLite would not enforce without the check.
    static const std::string sql = [] {
        std::string s = "CREATE TABLE \"库\" (";
        for (const Column &c : kColumns) {
            const std::string q = quoted(c);
            if (!c.field) {
                s += q + " SMALLINT CHECK (" + q + " IS NULL OR (typeof(" + q + ") = 'integer' AND " + q +
                     " BETWEEN -32768 AND 32767)),";
                continue;
            }
            const std::string w = std::to_string(c.width);
            s += q + " VARCHAR(" + w + ") CHECK (length(" + q + ") <= " + w + "),";
        }
        s.back() = ')';
        return s;
    }();
    return sql.c_str();
}

const char *selectAllSql()
{
    static const std::string sql = "SELECT rowid, " + columnList() + " FROM \"库\" ORDER BY rowid";
    return sql.c_str();
}

const char *createKindIndexSql()
{
    static const std::string sql =
        "CREATE INDEX IF NOT EXISTS \"" + std::string(kKindIndex) + "\" ON \"库\" (" + quoted(kColumns[0]) + ")";
    return sql.c_str();
}

const char *selectCategoryCandidatesSql()
{
    static const std::string sql = [] {
        const std::string from = "SELECT rowid, " + columnList() + " FROM \"库\" INDEXED BY \"" + kKindIndex + "\" WHERE ";
        const std::string kind = quoted(kColumns[0]);
        return from + kind + " >= 1 AND " + kind + " < 2 UNION ALL " + from + kind + " >= '' ORDER BY 1";
    }();
    return sql.c_str();
}

const char *insertSql()
{
    static const std::string sql = [] {
        std::string marks;
        for (std::size_t i = 0; i < std::size(kColumns); ++i)
            marks += i == 0 ? "?" : ", ?";
        return "INSERT INTO \"库\" (" + columnList() + ") VALUES (" + marks + ")";
    }();
    return sql.c_str();
}

const char *insertWithIdSql()
{
    static const std::string sql = [] {
        std::string marks;
        for (std::size_t i = 0; i < std::size(kColumns); ++i)
            marks += i == 0 ? "?" : ", ?";
        return "INSERT INTO \"库\" (" + columnList() + ", rowid) VALUES (" + marks + ", ?)";
    }();
    return sql.c_str();
}

} // namespace ledger
