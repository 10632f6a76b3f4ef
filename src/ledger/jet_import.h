// Carrying a ledger kept in the Microsoft Jet / ACE format (Access 97 to 2016) over into the
// program's own encrypted ledger. Reading goes through libmdb; text fields are decoded from
// their raw bytes, since libmdb's own conversion loses NULL against empty text and characters
// outside the Basic Multilingual Plane.
#pragma once

#include "ledger/store.h"

#include <QString>
#include <functional>
#include <vector>

namespace ledger::jet {

// 0..100 while a conversion runs.
using Progress = std::function<void(int percent)>;

// True when the file's header says Jet or ACE ("Standard Jet DB" / "Standard ACE DB" at 4).
bool isJetFile(const QString &path);

// Where the original of path is kept: "1.jet.mdb" beside "1.mdb" (still an .mdb that Access
// opens), or "1.jet2.mdb", "1.jet3.mdb"... when that name holds some other file. A copy left by
// an interrupted conversion is the same file and is reused.
QString keptPath(const QString &path);

// Every row of the table 库 in stored order. Throws StoreError with a complete sentence naming
// the reason (no table 库, other columns, a text too long for the new ledger, unreadable file).
std::vector<Record> readLedger(const QString &path, const Progress &progress = {});

// A checksum over every field of the rows, telling NULL from empty text.
QByteArray checksum(const std::vector<Record> &rows);

// Converts path into an encrypted ledger at the same path, keeping the original byte for byte
// at kept. The new ledger is built and checked in a temporary file beside path and put in place
// with a rename only after the original is safe, so a crash at any moment leaves either the
// untouched original or the complete new ledger. Returns the number of records carried over.
// Throws StoreError; then path is unchanged.
qint64 convert(const QString &path, const QString &kept, const Progress &progress = {});

} // namespace ledger::jet
