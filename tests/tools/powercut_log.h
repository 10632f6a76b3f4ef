// The record of one file-system call, as the power-cut shim (powercut_shim.cpp) appends it to
// its log and the power-cut test reads it back: this header, then path, path2 and data.
#pragma once

#include <cstdint>

namespace powercut {

enum Op : std::uint32_t {
    Start = 1,   // a program started: path holds its command line
    Create,      // a new file ino at path (path empty: an unnamed O_TMPFILE file)
    Write,       // data written to ino at off
    Truncate,    // ino cut or extended to off bytes
    FileSync,    // fsync/fdatasync of ino: its data is on the disk
    FolderSync,  // fsync of the folder path: its names are on the disk
    SyncAll,     // sync/syncfs
    Rename,      // path renamed to path2
    Link,        // ino given the further name path2
    Unlink,      // the name path removed
    MakeFolder,  // the folder path made
    RemoveFolder,
    Mark,        // text the program printed (its acknowledgements): data
    Unsupported, // a call the test cannot model: path names it
};

struct Record {
    std::uint32_t magic = 0x50435554; // "PCUT"
    std::uint32_t op = 0;
    std::int64_t ino = 0;
    std::int64_t off = 0;
    std::int64_t len = 0; // bytes of data
    std::uint32_t pathLen = 0;
    std::uint32_t path2Len = 0;
    std::uint32_t pid = 0;
    std::uint32_t reserved = 0;
};

} // namespace powercut
