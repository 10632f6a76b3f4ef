// The record of changes kept beside the rows: one entry per action the user took, and the rows
// a deletion removed, so that it can be put back.
#pragma once

#include "ledger/store.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

namespace ledger {

enum class ChangeKind {
    Add,       // one row added; rowId names it
    Delete,    // rows deleted; they are kept until restored, cleared or 90 days old
    CarryOver, // many rows added at once (the Jet carry-over); count and checksum
    Restore,   // a deletion put back; count and checksum
    StockTake, // a stock-take posted; count of its transactions
    Outside,   // rows changed by another program, found at an open
};

struct ChangeEntry {
    qint64 number = 0; // in commit order
    QDateTime time;
    QString computer;
    ChangeKind kind = ChangeKind::Add;
    QString summary;   // the Chinese line shown for it
    qint64 count = 0;  // rows it changed
    QString checksum;  // of those rows (carry-over, restore, deletion)
    qint64 rowId = 0;  // the row an add stored
    qint64 restoredBy = 0; // a deletion: the entry that put it back; 0 while it is not
};

// A row a deletion removed, with its id and its place in stored order at the time.
struct DeletedRow {
    Record row;
    qint64 position = 0;
};
// Their rows, in their order.
RecordRefs rowsOf(const std::vector<DeletedRow> &deleted);

// What restoreDeletion() did.
struct RestoredDeletion {
    qint64 entry = 0;  // the restore's own entry
    qint64 rows = 0;   // rows put back
    std::vector<qint64> movedToEnd; // old ids that were taken meanwhile: those rows went to the end
};

// What a ledger keeps beside its rows, as its backups carry it: the record of changes (newest
// first, as history() gives it), the rows of each deletion that can still be put back (with the
// deletion's entry), the scanner codes and the posted stock-takes.
struct LedgerRecords {
    std::vector<ChangeEntry> entries;
    std::vector<std::pair<qint64, DeletedRow>> deleted;
    std::vector<ProductCode> codes;
    std::vector<StockTakeRecord> stockTakes;
    std::vector<std::pair<qint64, ProductCode>> deletedCodes; // the codes those deletions took
};
// Read through the store's own interface.
LedgerRecords recordsOf(Store &store);

// How long deleted rows are kept for a restore.
inline constexpr int kDeletionDays = 90;

// What both kinds of ledger keep in an entry, worded once.
// The kind as stored ("添加", "删除", ...), and back.
QString changeKindName(ChangeKind kind);
ChangeKind changeKindOf(const QString &name);
// The computer an entry names.
QString thisComputer();

// "12-07 18:43  删除类“零食”：3 个商品、25 条交易记录"
QString changeLine(const ChangeEntry &entry);
// The line of an add: what was added, by its kind.
QString addSummary(const Record &r);
QString carryOverSummary(qint64 rows);
QString stockTakeSummary(qint64 rows);
// The line of rows no entry explains: the ledger holds rows, the record knows of known.
QString outsideSummary(qint64 rows, qint64 known);
QString restoreSummary(qint64 deletion, qint64 rows);
// The line of a restore of the whole ledger from the backup named backup.
QString backupRestoreSummary(const QString &backup, qint64 rows);
// Why a deletion cannot be put back: no such deletion, put back already (by that entry), its
// rows no longer kept.
QString noSuchDeletion(qint64 deletion);
QString restoredAlready(qint64 by);
QString deletionNotKept();
// The wording of a deletion of these rows, from their kinds.
QString deletionSummary(const RecordRefs &rows);
// A checksum of rows in their order: the first 16 hex digits of SHA-1 over their texts.
QString rowsChecksum(const RecordRefs &rows);
// What a restore of these deleted rows would bring back a second time: each category whose name
// is in rows again (by its name alone: a category row also holds the direction it was added
// with) and each product whose name and category are, as "类“零食”" and "商品“薯片”（零食）",
// in the deleted rows' order.
QStringList restoreClashes(const std::vector<DeletedRow> &deleted, const std::vector<Record> &rows);

} // namespace ledger
