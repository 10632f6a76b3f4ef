// Putting changes on the disk before they are reported done: a power cut loses whatever the
// operating system still held in memory, the names a folder was given as well as file data.
#pragma once

#include <QString>

namespace ledger {

// Flushes a file's data, or a folder's names, to the disk. False when it could not be done.
bool syncPath(const QString &path);

// Flushes the names of the folder that holds path (after a file there was made, renamed or
// removed).
bool syncFolderOf(const QString &path);

} // namespace ledger
