// Carrying a ledger kept in the Microsoft Jet / ACE format (Access 97 to 2016) over into the
// program's own encrypted ledger. Reading goes through libmdb; text fields are decoded from
// their raw bytes, since libmdb's own conversion loses NULL against empty text and characters
// outside the Basic Multilingual Plane.
#pragma once

#include "ledger/store.h"

#include <QString>
#include <chrono>
#include <functional>
#include <optional>
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

// Hands every row of the table 库 to sink, in stored order, and returns their number. Throws
// StoreError with a complete sentence naming the reason (no table 库, other columns, a text too
// long for the new ledger, a damaged file: a page or row that cannot be read, or not as many
// rows as the table declares). Reads in this process: see readApart for files of strangers.
using RowSink = std::function<void(const Record &)>;
qint64 readRows(const QString &path, const RowSink &sink, const Progress &progress = {});
std::vector<Record> readLedger(const QString &path, const Progress &progress = {});

// The reader library cannot be trusted with damaged input (it may crash, loop or eat memory),
// so the program reads a Jet file in a child: itself, started with kReaderOption. The parent
// ends it when it runs out of time or memory; anything that goes wrong there is a refusal.
inline constexpr const char *kReaderOption = "--read-jet-ledger";
struct ReaderLimits {
    std::chrono::milliseconds time{0};  // 0: two minutes plus two seconds a megabyte
    qint64 memoryBytes = 0;             // resident memory; 0: 1 GB plus four times the file
};
// Where the child is started from: this program (QCoreApplication::applicationFilePath()) unless
// set; a program set here must answer kReaderOption (tests run their tools).
void setReaderProgram(const QString &program);
// readLedger in a child process. Throws StoreError; never anything else.
std::vector<Record> readApart(const QString &path, const Progress &progress = {}, const ReaderLimits &limits = {});
// What main calls first: with kReaderOption FILE as the arguments, reads FILE for the parent
// and returns the exit code; nothing otherwise.
std::optional<int> runReader(int argc, char *argv[]);

// The refusal (NotConverted) of a damaged file, what naming the damage; it suggests Access's repair.
StoreError damagedFile(const QString &path, const QString &what);

// A checksum over every field of the rows, telling NULL from empty text.
QByteArray checksum(const std::vector<Record> &rows);

// Converts path (read with readApart) into an encrypted ledger at the same path, keeping the original byte for byte
// at kept. The new ledger is built and checked in a temporary file beside path and put in place
// with a rename only after the original is safe, so a crash at any moment leaves either the
// untouched original or the complete new ledger. Returns the number of records carried over.
// Throws StoreError; then path is unchanged.
qint64 convert(const QString &path, const QString &kept, const Progress &progress = {},
               const ReaderLimits &limits = {});

} // namespace ledger::jet
