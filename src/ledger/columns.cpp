#include "ledger/columns.h"

#include <string>

namespace ledger {

namespace {

std::string quoted(const Column &c) { return '"' + std::string(c.name) + '"'; }

} // namespace

const std::string &columnListSql()
{
    static const std::string out = [] {
        std::string list;
        for (const Column &c : kColumns)
            list += (list.empty() ? "" : ", ") + quoted(c);
        return list;
    }();
    return out;
}

std::string columnDefinitionsSql(bool sqlite)
{
    std::string s;
    for (const Column &c : kColumns) {
        const std::string q = quoted(c);
        s += s.empty() ? "" : sqlite ? "," : ", "; // the files already written have no spaces
        if (!c.field) {
            s += q + " SMALLINT";
            if (sqlite)
                s += " CHECK (" + q + " IS NULL OR (typeof(" + q + ") = 'integer' AND " + q + " BETWEEN -32768 AND 32767))";
            continue;
        }
        const std::string w = std::to_string(c.width);
        s += q + " VARCHAR(" + w + ") CHECK (length(" + q + ") <= " + w + ")";
    }
    return s;
}

const char *createTableSql()
{
    // The types and checks of the files already written.
    static const std::string sql = "CREATE TABLE \"库\" (" + columnDefinitionsSql(true) + ")";
    return sql.c_str();
}

const char *selectAllSql()
{
    static const std::string sql = "SELECT rowid, " + columnListSql() + " FROM \"库\" ORDER BY rowid";
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
        const std::string from = "SELECT rowid, " + columnListSql() + " FROM \"库\" INDEXED BY \"" + kKindIndex + "\" WHERE ";
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
        return "INSERT INTO \"库\" (" + columnListSql() + ") VALUES (" + marks + ")";
    }();
    return sql.c_str();
}

const char *insertWithIdSql()
{
    static const std::string sql = [] {
        std::string marks;
        for (std::size_t i = 0; i < std::size(kColumns); ++i)
            marks += i == 0 ? "?" : ", ?";
        return "INSERT INTO \"库\" (" + columnListSql() + ", rowid) VALUES (" + marks + ", ?)";
    }();
    return sql.c_str();
}

} // namespace ledger
