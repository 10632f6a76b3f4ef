#include "replay.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

namespace powercut {

namespace {

constexpr qint64 kSector = 512;

std::uint32_t next(std::uint32_t &state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

bool coin(std::uint32_t &rng) { return next(rng) & 0x100; }

void applyWrite(QByteArray &c, qint64 off, const char *data, qint64 len)
{
    if (off + len > c.size())
        c.resize(off + len, '\0');
    std::memcpy(c.data() + off, data, static_cast<std::size_t>(len));
}

void apply(QByteArray &c, const LogOp &op)
{
    if (op.op == Write)
        applyWrite(c, op.off, op.data.constData(), op.data.size());
    else
        c.resize(op.off, '\0');
}

// A write whose sectors reached the disk or not, each on its own.
void applyTorn(QByteArray &c, const LogOp &op, std::uint32_t &rng)
{
    qint64 at = op.off;
    const qint64 end = op.off + op.data.size();
    while (at < end) {
        const qint64 stop = std::min(end, (at / kSector + 1) * kSector);
        if (coin(rng))
            applyWrite(c, at, op.data.constData() + (at - op.off), stop - at);
        at = stop;
    }
}

bool changesNames(const LogOp &op)
{
    switch (op.op) {
    case Create:
        return !op.path.isEmpty();
    case Rename:
    case Link:
    case Unlink:
    case MakeFolder:
    case RemoveFolder:
        return true;
    default:
        return false;
    }
}

// The folders whose names an op changes: the first is where its path is, the second (for a
// rename or link) where its new name is.
std::pair<QByteArray, QByteArray> foldersOf(const LogOp &op)
{
    if (op.op == Link)
        return {parentOf(op.path2), parentOf(op.path2)};
    if (op.op == Rename)
        return {parentOf(op.path), parentOf(op.path2)};
    return {parentOf(op.path), parentOf(op.path)};
}

bool reachable(const QByteArray &path, const std::set<QByteArray> &dirs)
{
    for (QByteArray p = parentOf(path); !p.isEmpty(); p = parentOf(p))
        if (!dirs.count(p))
            return false;
    return true;
}

} // namespace

QByteArray parentOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray() : path.left(slash);
}

std::vector<LogOp> readLog(const QString &path)
{
    QFile f(path);
    std::vector<LogOp> out;
    if (!f.open(QIODevice::ReadOnly))
        return out;
    const QByteArray all = f.readAll();
    qsizetype at = 0;
    while (at < all.size()) {
        Record r;
        if (all.size() - at < static_cast<qsizetype>(sizeof r)) {
            out.push_back({Unsupported, 0, 0, "truncated log", {}, {}, -1, 0});
            break;
        }
        std::memcpy(&r, all.constData() + at, sizeof r);
        const qsizetype need = static_cast<qsizetype>(sizeof r) + r.pathLen + r.path2Len + r.len;
        if (r.magic != Record().magic || r.len < 0 || all.size() - at < need) {
            out.push_back({Unsupported, 0, 0, "damaged log", {}, {}, -1, 0});
            break;
        }
        LogOp op;
        op.op = static_cast<Op>(r.op);
        op.ino = r.ino;
        op.off = r.off;
        op.pid = r.pid;
        qsizetype p = at + static_cast<qsizetype>(sizeof r);
        op.path = all.mid(p, r.pathLen);
        op.path2 = all.mid(p + r.pathLen, r.path2Len);
        op.data = all.mid(p + r.pathLen + r.path2Len, r.len);
        out.push_back(std::move(op));
        at += need;
    }
    return out;
}

Folder readFolder(const QString &root, std::map<qint64, QByteArray> *inodes)
{
    Folder out;
    const QDir top(root);
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString full = it.next();
        const QByteArray rel = top.relativeFilePath(full).toUtf8();
        if (it.fileInfo().isDir()) {
            out.dirs.insert(rel);
            continue;
        }
        QFile f(full);
        f.open(QIODevice::ReadOnly);
        out.files[rel] = f.readAll();
        struct stat st {};
        if (inodes && ::stat(QFile::encodeName(full).constData(), &st) == 0)
            (*inodes)[static_cast<qint64>(st.st_ino)] = rel;
    }
    return out;
}

void writeFolder(const QString &root, const Folder &folder)
{
    const QDir top(root);
    for (const QByteArray &d : folder.dirs) // parents sort before their children
        top.mkpath(QString::fromUtf8(d));
    for (const auto &[path, bytes] : folder.files) {
        QFile f(top.filePath(QString::fromUtf8(path)));
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    }
}

Replayer::Replayer(Folder initial, const std::map<qint64, QByteArray> &inodes, std::vector<LogOp> ops)
    : m_initial(std::move(initial)), m_ops(std::move(ops))
{
    resolveFiles(inodes);
    buildCheckpoints();
}

void Replayer::resolveFiles(const std::map<qint64, QByteArray> &inodes)
{
    std::map<qint64, int> byInode;
    for (const auto &[ino, path] : inodes) {
        byInode[ino] = static_cast<int>(m_files.size());
        m_initialFiles[path] = static_cast<int>(m_files.size());
        m_files.push_back({m_initial.files.at(path), {}, {}});
    }
    for (int i = 0; i < static_cast<int>(m_ops.size()); ++i) {
        LogOp &op = m_ops[static_cast<std::size_t>(i)];
        if (op.op == Create) {
            byInode[op.ino] = static_cast<int>(m_files.size());
            m_files.push_back({});
        }
        if (op.op == Create || op.op == Write || op.op == Truncate || op.op == FileSync || op.op == Link) {
            const auto it = byInode.find(op.ino);
            if (it == byInode.end()) {
                m_problems << QStringLiteral("op %1 (%2) on a file never seen made").arg(i).arg(op.op);
                continue;
            }
            op.file = it->second;
            if (op.op == Write || op.op == Truncate)
                m_files[static_cast<std::size_t>(op.file)].dataOps.push_back(i);
        }
        if (op.op == Unsupported)
            m_problems << QStringLiteral("unsupported call at op %1: %2 %3")
                              .arg(i)
                              .arg(QString::fromUtf8(op.path), QString::fromUtf8(op.path2));
        if (changesNames(op))
            m_nameOps.push_back(i);
        if (op.op == FolderSync)
            m_folderSyncs[op.path].push_back(i);
        if (op.op == SyncAll)
            m_syncAll.push_back(i);
    }
}

void Replayer::buildCheckpoints()
{
    for (File &f : m_files) {
        QByteArray c = f.initial;
        auto data = f.dataOps.cbegin();
        auto all = m_syncAll.cbegin();
        // The file's own syncs and the whole-disk ones, in order.
        std::vector<int> syncs(all, m_syncAll.cend());
        for (int i = 0; i < static_cast<int>(m_ops.size()); ++i)
            if (m_ops[static_cast<std::size_t>(i)].op == FileSync &&
                m_ops[static_cast<std::size_t>(i)].file == static_cast<int>(&f - m_files.data()))
                syncs.push_back(i);
        std::sort(syncs.begin(), syncs.end());
        for (int s : syncs) {
            for (; data != f.dataOps.cend() && *data < s; ++data)
                apply(c, m_ops[static_cast<std::size_t>(*data)]);
            f.checkpoints.push_back({s, c});
        }
    }
}

int Replayer::lastSync(const std::vector<int> &syncs, int pos) const
{
    const auto it = std::lower_bound(syncs.cbegin(), syncs.cend(), pos);
    return it == syncs.cbegin() ? -1 : *std::prev(it);
}

QByteArray Replayer::content(int file, const Cut &cut, std::uint32_t &rng) const
{
    const File &f = m_files[static_cast<std::size_t>(file)];
    const auto cp = std::lower_bound(f.checkpoints.cbegin(), f.checkpoints.cend(), cut.pos,
                                     [](const Checkpoint &c, int pos) { return c.index < pos; });
    const bool synced = cp != f.checkpoints.cbegin();
    QByteArray c = synced ? std::prev(cp)->content : f.initial;
    const int from = synced ? std::prev(cp)->index : -1;
    for (int i : f.dataOps) {
        if (i <= from || i >= cut.pos)
            continue;
        const LogOp &op = m_ops[static_cast<std::size_t>(i)];
        if (cut.loss == Loss::None)
            apply(c, op);
        else if (cut.loss == Loss::Random && op.op == Write)
            applyTorn(c, op, rng);
        else if (cut.loss == Loss::Random && coin(rng))
            apply(c, op);
    }
    return c;
}

// For each op of m_nameOps: bit 1 when it stands in its first folder, bit 2 in its second.
std::vector<bool> Replayer::keptNames(const Cut &cut, std::uint32_t &rng) const
{
    std::map<QByteArray, std::vector<std::size_t>> pending; // folder -> bits not yet synced
    std::vector<bool> kept(m_nameOps.size() * 2, true);
    for (std::size_t k = 0; k < m_nameOps.size() && m_nameOps[k] < cut.pos; ++k) {
        const auto [a, b] = foldersOf(m_ops[static_cast<std::size_t>(m_nameOps[k])]);
        const QByteArray folders[2] = {a, b};
        for (std::size_t side = 0; side < 2; ++side) {
            const auto syncs = m_folderSyncs.find(folders[side]);
            const int synced = std::max(lastSync(m_syncAll, cut.pos),
                                        syncs == m_folderSyncs.end() ? -1 : lastSync(syncs->second, cut.pos));
            if (synced < m_nameOps[k])
                pending[folders[side]].push_back(k * 2 + side);
        }
    }
    for (const auto &[folder, bits] : pending) {
        std::size_t keep = bits.size();
        if (cut.loss == Loss::All)
            keep = 0;
        else if (cut.loss == Loss::Random)
            keep = next(rng) % (bits.size() + 1);
        for (std::size_t i = keep; i < bits.size(); ++i)
            kept[bits[i]] = false;
    }
    return kept;
}

Folder Replayer::at(const Cut &cut) const
{
    std::uint32_t rng = cut.seed * 2654435761u + 1;
    const std::vector<bool> kept = keptNames(cut, rng);
    std::map<QByteArray, int> names = m_initialFiles;
    std::set<QByteArray> dirs = m_initial.dirs;
    for (std::size_t k = 0; k < m_nameOps.size() && m_nameOps[k] < cut.pos; ++k) {
        const LogOp &op = m_ops[static_cast<std::size_t>(m_nameOps[k])];
        const bool first = kept[k * 2], second = kept[k * 2 + 1];
        if (op.op == Create && first && op.file >= 0)
            names[op.path] = op.file;
        else if (op.op == Link && first && op.file >= 0)
            names[op.path2] = op.file;
        else if ((op.op == Unlink && first) || (op.op == RemoveFolder && first))
            names.erase(op.path), dirs.erase(op.path);
        else if (op.op == MakeFolder && first)
            dirs.insert(op.path);
        else if (op.op == Rename) {
            const auto it = names.find(op.path);
            if (it != names.end()) {
                const int file = it->second;
                if (second)
                    names[op.path2] = file;
                if (first)
                    names.erase(op.path);
            }
        }
    }
    Folder out;
    for (const QByteArray &d : dirs)
        if (reachable(d, dirs))
            out.dirs.insert(d);
    for (const auto &[path, file] : names)
        if (reachable(path, dirs))
            out.files[path] = content(file, cut, rng);
    return out;
}

} // namespace powercut
