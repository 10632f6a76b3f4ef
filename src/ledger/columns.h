// The nine columns of the table 库 in stored order, described once: the store's SQL, the fast
// loader, the CSV export, the check of a file's table and the Jet carry-over all read them here.
#pragma once

#include "ledger/store.h"

#include <QString>
#include <span>
#include <string>

namespace ledger {

struct Column {
    const char *name;       // UTF-8
    int width;              // the most characters its text may hold; 0 for 标号, a small integer
    QString Record::*field; // where a record keeps it; null for 标号 (Record::hasKind, kind)
    bool repeats;           // its texts recur across a ledger, so the loader shares them
};

inline constexpr Column kColumns[] = {
    {"标号", 0, nullptr, false},          {"名称", 20, &Record::name, true},
    {"类", 20, &Record::cat, true},       {"价格", 20, &Record::price, true},
    {"数量", 20, &Record::qty, true},     {"总额", 20, &Record::total, false}, // mostly unique
    {"日期", 20, &Record::date, true},    {"方法", 4, &Record::method, true},
    {"交易号码", 20, &Record::txno, false},
};
// The eight text columns, 名称 … 交易号码: every column but the first.
inline constexpr std::span<const Column> kTextColumns{kColumns + 1, std::size(kColumns) - 1};

inline QString columnName(const Column &c) { return QString::fromUtf8(c.name); }

// The nine columns quoted and separated by ", ", in stored order.
const std::string &columnListSql();
// Their definitions for a CREATE TABLE, separated by commas: 标号 a small integer, the texts
// VARCHARs with a check of their length (which SQLite would not enforce without it). sqlite:
// with SQLite's check that 标号 holds an integer; otherwise PostgreSQL's types.
std::string columnDefinitionsSql(bool sqlite);

// The statements over the table, built once from the columns.
const char *createTableSql();
// rowid, then the nine columns, in stored order.
const char *selectAllSql();
// The index on 标号, which finds the category rows without reading every row.
inline constexpr const char *kKindIndex = "库_标号";
const char *createKindIndexSql();
// Like selectAllSql(), through that index, of the rows whose 标号 may read as 1: every number in
// [1, 2) and every text or blob (Record::isKind takes the number at a text's start). The caller
// keeps those that are categories.
const char *selectCategoryCandidatesSql();
// Nine parameters, one per column.
const char *insertSql();
// The same with the rowid as a tenth parameter.
const char *insertWithIdSql();

} // namespace ledger
