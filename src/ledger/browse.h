// What the main window's lists show and what its delete buttons remove, as plain functions over
// the ledger rows, so they can be checked without any window.
#pragma once

#include "ledger/store.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <vector>

namespace ledger {

// Names of the category rows among rows, in stored order, duplicates kept.
QStringList categoryNames(const RecordRefs &rows);

// Names of the product rows among rows filed under exactly this category (case- and
// space-sensitive).
QStringList productNames(const RecordRefs &rows, const QString &category);

// True when the record's date lies in the month of today. An unreadable or missing date never
// does.
bool inMonthOf(const Record &r, const QDate &today);

// Adds one listed quantity to the running sum and rounds to the nearest integer, a tie going to
// the even one, exactly and without overflow (saturates at the 64-bit range).
qint64 addQuantity(qint64 sum, double quantity);

// The transaction line of a record: makeTxLine(recordText(r)), without the text in between.
QString transactionLine(const Record &r);

struct TxListing {
    RecordRefs records; // in stored order, into the rows listed
    qint64 quantitySum = 0;
    double amountSum = 0;
};

// The transactions of one product of one category in one direction; with monthOnly, only those
// dated in today's month.
TxListing listTransactions(const std::vector<Record> &rows, const QString &category,
                           const QString &product, const QString &direction, bool monthOnly,
                           const QDate &today);
// The same listing carried on over rows [from, end), as rows that were appended after a listing
// of rows [0, from) would be listed: records holds only the new ones, the sums go on from those
// of listing (added in the same order, so they come out exactly as a fresh listing's).
void extendListing(TxListing &listing, const std::vector<Record> &rows, std::size_t from, const QString &category,
                   const QString &product, const QString &direction, bool monthOnly, const QDate &today);

// Whether a delete request (fields as split from the request) removes this record.
// category is the category selected in the main window, direction the selected direction.
// Kind 1 removes the categories named f1 and the products of the selected category; kind 2 the
// product f1 of category f2 with its transactions; kind 3 the transactions that carry the
// product name, date or price, direction or quantity, and number of a transaction line.
bool deleteMatches(const Record &r, const QStringList &f, const QString &category,
                   const QString &direction);

// What a delete request removes: deleteMatches, and with a category request while a category is
// selected, everything filed under that category too. A transaction left behind would still
// count in find and statistics, unreachable from the lists.
bool deleteRemoves(const Record &r, const QStringList &f, const QString &category,
                   const QString &direction);

// A selected transaction line: the stored row it was made from (id 0 when it has none) and,
// for a line without one, its delete request.
struct SelectedLine {
    Record record;
    QStringList request;
};

// Deletes the selected lines in one write, all or nothing: each line's stored row exactly
// (gone or changed since: nothing for that line), and for a line without one the rows its
// delete request matches. Returns the number of rows deleted; throws StoreError.
int removeLines(Store &store, const std::vector<SelectedLine> &lines, const QString &category,
                const QString &direction);

} // namespace ledger
