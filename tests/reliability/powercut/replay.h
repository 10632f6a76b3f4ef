// Rebuilds a folder as a power cut would leave it, from the log of powercut_shim: what a sync
// had put on the disk stays, the rest may be lost. Data written to a file since its last fsync
// is dropped, kept, or kept only in some of its 512-byte sectors; names made, renamed or removed
// in a folder since the folder's last fsync are undone from the last one back (a file system
// journals the changes of a folder in order).
#pragma once

#include "../../tools/powercut_log.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <map>
#include <set>
#include <vector>

namespace powercut {

struct LogOp {
    Op op = Start;
    qint64 ino = 0;
    qint64 off = 0;
    QByteArray path, path2, data;
    int file = -1; // the file the op acts on (Write, Truncate, FileSync, Create, Link)
    quint32 pid = 0;
};

// Reads the shim's log; an unreadable record ends it with an Unsupported op naming the problem.
std::vector<LogOp> readLog(const QString &path);

// A folder's contents: paths relative to it, '/'-separated, as bytes.
struct Folder {
    std::map<QByteArray, QByteArray> files;
    std::set<QByteArray> dirs; // without the folder itself
    bool has(const QByteArray &path) const { return files.count(path) != 0; }
};

// Reads a folder from the disk (contents and inode numbers, for the log's references).
Folder readFolder(const QString &root, std::map<qint64, QByteArray> *inodes = nullptr);
// Writes it into root, which must be empty.
void writeFolder(const QString &root, const Folder &folder);

enum class Loss {
    All,    // everything not synced is lost
    None,   // nothing is lost (the state a killed program leaves)
    Random, // a random part of what was not synced is lost (torn sectors, undone names)
};

// One simulated cut: before ops[pos], losing what loss says (Random draws with seed).
struct Cut {
    int pos = 0;
    Loss loss = Loss::All;
    quint32 seed = 0;
};

class Replayer {
public:
    // initial: the folder when the log began; inodes: its files' inode numbers.
    Replayer(Folder initial, const std::map<qint64, QByteArray> &inodes, std::vector<LogOp> ops);

    const std::vector<LogOp> &ops() const { return m_ops; }
    // The folder as the disk holds it after the cut.
    Folder at(const Cut &cut) const;
    // Problems found while reading the log (inodes it never saw made, unsupported calls).
    const QStringList &problems() const { return m_problems; }

private:
    struct Checkpoint {
        int index;
        QByteArray content;
    };
    struct File {
        QByteArray initial;
        std::vector<int> dataOps;           // Write and Truncate, in order
        std::vector<Checkpoint> checkpoints; // the content at each sync, in order
    };

    void resolveFiles(const std::map<qint64, QByteArray> &inodes);
    void buildCheckpoints();
    int lastSync(const std::vector<int> &syncs, int pos) const;
    QByteArray content(int file, const Cut &cut, std::uint32_t &rng) const;
    std::vector<bool> keptNames(const Cut &cut, std::uint32_t &rng) const;

    Folder m_initial;
    std::map<QByteArray, int> m_initialFiles; // path -> file
    std::vector<LogOp> m_ops;
    std::vector<File> m_files;
    std::vector<int> m_nameOps;                          // indices of ops that change names
    std::map<QByteArray, std::vector<int>> m_folderSyncs; // folder -> FolderSync/SyncAll indices
    std::vector<int> m_syncAll;
    QStringList m_problems;
};

// The folder a path is in ("" for the top).
QByteArray parentOf(const QByteArray &path);

} // namespace powercut
