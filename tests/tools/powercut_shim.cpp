// LD_PRELOAD library for the power-cut test: appends every call that changes the folder
// $POWERCUT_DIR (writes, truncations, syncs, renames, links, deletions, new files and folders,
// copies done by the kernel) to the log $POWERCUT_LOG, in the order the calls happened, with the
// written bytes. What the program prints on stdout is logged too, when it is flushed: that is
// what the program told its user, in order with its writes. Calls made in parallel by several
// threads are serialised, so the log's order is the calls' order.
#include "powercut_shim.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace powercut;
using namespace powercut::shim;

namespace powercut::shim {

pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
pthread_once_t g_once = PTHREAD_ONCE_INIT;
std::string *g_root = nullptr; // made on first use: other libraries' constructors open files too
int g_log = -1;

// What is known of each descriptor; zero (not looked at yet) until the first call on it.
enum : signed char { Unknown = 0, Watched = 1, Ignored = 2 };
struct Fd {
    signed char state;
    bool dir;
    bool sync; // opened with O_SYNC / O_DSYNC
};
constexpr int kFds = 1 << 16;
Fd g_fds[kFds];


void init()
{
    const char *root = std::getenv("POWERCUT_DIR");
    const char *log = std::getenv("POWERCUT_LOG");
    if (!root || !log)
        return;
    REAL(open);
    g_log = real_open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    g_root = new std::string(root);
    std::string cmd;
    const int fd = real_open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
    char buf[4096];
    const ssize_t n = fd >= 0 ? ::read(fd, buf, sizeof buf) : 0;
    if (fd >= 0)
        ::close(fd);
    for (ssize_t i = 0; i < n; ++i)
        cmd += buf[i] ? buf[i] : ' ';
    append(Start, 0, 0, cmd, {});
}

bool active()
{
    pthread_once(&g_once, init);
    return g_log >= 0;
}

void append(Op op, std::int64_t ino, std::int64_t off, const std::string &path, const std::string &path2,
            const void *data, std::size_t len)
{
    Record r;
    r.op = op;
    r.ino = ino;
    r.off = off;
    r.len = static_cast<std::int64_t>(len);
    r.pathLen = static_cast<std::uint32_t>(path.size());
    r.path2Len = static_cast<std::uint32_t>(path2.size());
    r.pid = static_cast<std::uint32_t>(::getpid());
    std::string out(reinterpret_cast<const char *>(&r), sizeof r);
    out += path;
    out += path2;
    if (len)
        out.append(static_cast<const char *>(data), len);
    REAL(write);
    for (std::size_t done = 0; done < out.size();) {
        const ssize_t n = real_write(g_log, out.data() + done, out.size() - done);
        if (n <= 0)
            std::abort(); // a log with a hole would make the test check the wrong thing
        done += static_cast<std::size_t>(n);
    }
}

std::string normalise(const std::string &abs)
{
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i <= abs.size()) {
        const std::size_t j = abs.find('/', i);
        const std::string part = abs.substr(i, j == std::string::npos ? std::string::npos : j - i);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        if (j == std::string::npos)
            break;
        i = j + 1;
    }
    std::string out;
    for (const std::string &p : parts)
        out += '/' + p;
    return out.empty() ? "/" : out;
}

std::string fdPath(int fd)
{
    char link[64], buf[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(link, buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

std::string absolute(int dirfd, const char *path)
{
    if (!path)
        return {};
    if (path[0] == '/')
        return normalise(path);
    std::string base;
    if (dirfd == AT_FDCWD) {
        char buf[4096];
        base = ::getcwd(buf, sizeof buf) ? buf : "";
    } else {
        base = fdPath(dirfd);
    }
    return normalise(base + '/' + path);
}

// The path relative to the watched folder ("" for the folder itself); false when outside it.
bool relative(const std::string &abs, std::string &rel)
{
    if (!active() || abs.empty())
        return false;
    const std::string &root = *g_root;
    if (abs == root) {
        rel.clear();
        return true;
    }
    if (abs.size() > root.size() && abs.compare(0, root.size(), root) == 0 && abs[root.size()] == '/') {
        rel = abs.substr(root.size() + 1);
        return true;
    }
    return false;
}

bool watchedFd(int fd)
{
    if (fd < 0 || fd >= kFds || !active())
        return false;
    Fd &f = g_fds[fd];
    if (f.state == Unknown) { // opened before us or behind our back (dup, a library's own open)
        std::string rel;
        struct stat st {};
        f.state = relative(fdPath(fd), rel) && ::fstat(fd, &st) == 0 ? Watched : Ignored;
        f.dir = f.state == Watched && S_ISDIR(st.st_mode);
    }
    return f.state == Watched;
}

std::int64_t inode(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? static_cast<std::int64_t>(st.st_ino) : -1;
}

// Where a plain write on fd lands.
off_t position(int fd)
{
    if (::fcntl(fd, F_GETFL) & O_APPEND) {
        struct stat st {};
        return ::fstat(fd, &st) == 0 ? st.st_size : 0;
    }
    return ::lseek(fd, 0, SEEK_CUR);
}

void logWrite(int fd, off_t at, const void *data, std::size_t n)
{
    const std::int64_t ino = inode(fd);
    append(Write, ino, at, {}, {}, data, n);
    if (g_fds[fd].sync)
        append(FileSync, ino, 0, {}, {});
}

// Bytes the kernel put into fd at [at, at + n), read back (copies that bypass write).
void logCopied(int fd, off_t at, std::size_t n)
{
    std::vector<char> buf(n);
    ssize_t got = ::pread(fd, buf.data(), n, at);
    if (got < 0 && errno == EBADF) { // opened for writing only
        REAL(open);
        const int reader = real_open(fdPath(fd).c_str(), O_RDONLY | O_CLOEXEC);
        got = reader >= 0 ? ::pread(reader, buf.data(), n, at) : -1;
        if (reader >= 0)
            ::close(reader);
    }
    if (got != static_cast<ssize_t>(n))
        append(Unsupported, inode(fd), at, "unreadable copy", {});
    else
        logWrite(fd, at, buf.data(), n);
}

template <class Call> int openCommon(int dirfd, const char *path, int flags, mode_t mode, Call call)
{
    std::string rel;
    if (!relative(absolute(dirfd, path), rel)) {
        const int fd = call(mode);
        if (fd >= 0 && fd < kFds)
            g_fds[fd] = {Ignored, false, false};
        return fd;
    }
    Guard guard;
    struct stat before {};
    const bool existed = ::fstatat(dirfd, path, &before, AT_SYMLINK_NOFOLLOW) == 0;
    const int fd = call(mode);
    if (fd < 0 || fd >= kFds)
        return fd;
    struct stat st {};
    ::fstat(fd, &st);
    g_fds[fd] = {Watched, S_ISDIR(st.st_mode), (flags & (O_SYNC | O_DSYNC)) != 0};
    const auto ino = static_cast<std::int64_t>(st.st_ino);
    if ((flags & O_TMPFILE) == O_TMPFILE)
        append(Create, ino, 0, {}, {});
    else if (!existed && (flags & O_CREAT))
        append(Create, ino, 0, rel, {});
    else if (existed && (flags & O_TRUNC) && before.st_size > 0 && (flags & O_ACCMODE) != O_RDONLY)
        append(Truncate, ino, 0, {}, {});
    return fd;
}

mode_t modeOf(int flags, va_list ap)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? static_cast<mode_t>(va_arg(ap, int)) : 0;
}

template <class Call> int syncCall(int fd, Call call)
{
    if (!watchedFd(fd))
        return call();
    Guard guard;
    const int rc = call();
    if (rc == 0) {
        if (g_fds[fd].dir) {
            std::string rel;
            relative(fdPath(fd), rel);
            append(FolderSync, 0, 0, rel, {});
        } else {
            append(FileSync, inode(fd), 0, {}, {});
        }
    }
    return rc;
}

template <class Call> int sizeCall(int fd, Call call)
{
    if (!watchedFd(fd))
        return call();
    Guard guard;
    struct stat before {};
    ::fstat(fd, &before);
    const int rc = call();
    struct stat after {};
    if (rc == 0 && ::fstat(fd, &after) == 0 && after.st_size != before.st_size)
        append(Truncate, static_cast<std::int64_t>(after.st_ino), after.st_size, {}, {});
    return rc;
}

ssize_t writeVector(int fd, const iovec *iov, int count, off_t at, ssize_t n)
{
    std::string bytes;
    for (int i = 0; i < count && static_cast<ssize_t>(bytes.size()) < n; ++i)
        bytes.append(static_cast<const char *>(iov[i].iov_base),
                     std::min<std::size_t>(iov[i].iov_len, static_cast<std::size_t>(n) - bytes.size()));
    if (n > 0)
        logWrite(fd, at, bytes.data(), static_cast<std::size_t>(n));
    return n;
}

} // namespace powercut::shim

extern "C" {

int open(const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = modeOf(flags, ap);
    va_end(ap);
    REAL(open);
    return openCommon(AT_FDCWD, path, flags, mode, [&](mode_t m) { return real_open(path, flags, m); });
}

int open64(const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = modeOf(flags, ap);
    va_end(ap);
    REAL(open64);
    return openCommon(AT_FDCWD, path, flags, mode, [&](mode_t m) { return real_open64(path, flags, m); });
}

int openat(int dirfd, const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = modeOf(flags, ap);
    va_end(ap);
    REAL(openat);
    return openCommon(dirfd, path, flags, mode, [&](mode_t m) { return real_openat(dirfd, path, flags, m); });
}

int openat64(int dirfd, const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = modeOf(flags, ap);
    va_end(ap);
    REAL(openat64);
    return openCommon(dirfd, path, flags, mode, [&](mode_t m) { return real_openat64(dirfd, path, flags, m); });
}

int creat(const char *path, mode_t mode) { return open(path, O_CREAT | O_WRONLY | O_TRUNC, mode); }
int creat64(const char *path, mode_t mode) { return open64(path, O_CREAT | O_WRONLY | O_TRUNC, mode); }

int close(int fd)
{
    REAL(close);
    if (fd >= 0 && fd < kFds)
        g_fds[fd] = {Unknown, false, false};
    return real_close(fd);
}

int dup2(int fd, int to)
{
    REAL(dup2);
    if (to >= 0 && to < kFds)
        g_fds[to] = {Unknown, false, false};
    return real_dup2(fd, to);
}

int dup3(int fd, int to, int flags)
{
    REAL(dup3);
    if (to >= 0 && to < kFds)
        g_fds[to] = {Unknown, false, false};
    return real_dup3(fd, to, flags);
}

ssize_t write(int fd, const void *buf, size_t n)
{
    REAL(write);
    if (!watchedFd(fd))
        return real_write(fd, buf, n);
    Guard guard;
    const off_t at = position(fd);
    const ssize_t done = real_write(fd, buf, n);
    if (done > 0)
        logWrite(fd, at, buf, static_cast<std::size_t>(done));
    return done;
}

ssize_t pwrite(int fd, const void *buf, size_t n, off_t at)
{
    REAL(pwrite);
    if (!watchedFd(fd))
        return real_pwrite(fd, buf, n, at);
    Guard guard;
    const ssize_t done = real_pwrite(fd, buf, n, at);
    if (done > 0)
        logWrite(fd, at, buf, static_cast<std::size_t>(done));
    return done;
}

ssize_t pwrite64(int fd, const void *buf, size_t n, off64_t at)
{
    REAL(pwrite64);
    if (!watchedFd(fd))
        return real_pwrite64(fd, buf, n, at);
    Guard guard;
    const ssize_t done = real_pwrite64(fd, buf, n, at);
    if (done > 0)
        logWrite(fd, at, buf, static_cast<std::size_t>(done));
    return done;
}

ssize_t writev(int fd, const iovec *iov, int count)
{
    REAL(writev);
    if (!watchedFd(fd))
        return real_writev(fd, iov, count);
    Guard guard;
    const off_t at = position(fd);
    return writeVector(fd, iov, count, at, real_writev(fd, iov, count));
}

ssize_t pwritev(int fd, const iovec *iov, int count, off_t at)
{
    REAL(pwritev);
    if (!watchedFd(fd))
        return real_pwritev(fd, iov, count, at);
    Guard guard;
    return writeVector(fd, iov, count, at, real_pwritev(fd, iov, count, at));
}

ssize_t pwritev64(int fd, const iovec *iov, int count, off64_t at)
{
    REAL(pwritev64);
    if (!watchedFd(fd))
        return real_pwritev64(fd, iov, count, at);
    Guard guard;
    return writeVector(fd, iov, count, at, real_pwritev64(fd, iov, count, at));
}

int ftruncate(int fd, off_t len)
{
    REAL(ftruncate);
    if (!watchedFd(fd))
        return real_ftruncate(fd, len);
    Guard guard;
    const int rc = real_ftruncate(fd, len);
    if (rc == 0)
        append(Truncate, inode(fd), len, {}, {});
    return rc;
}

int ftruncate64(int fd, off64_t len)
{
    REAL(ftruncate64);
    if (!watchedFd(fd))
        return real_ftruncate64(fd, len);
    Guard guard;
    const int rc = real_ftruncate64(fd, len);
    if (rc == 0)
        append(Truncate, inode(fd), len, {}, {});
    return rc;
}

int truncate(const char *path, off_t len)
{
    REAL(truncate);
    std::string rel;
    if (!relative(absolute(AT_FDCWD, path), rel))
        return real_truncate(path, len);
    Guard guard;
    struct stat st {};
    const int rc = real_truncate(path, len);
    if (rc == 0 && ::stat(path, &st) == 0)
        append(Truncate, static_cast<std::int64_t>(st.st_ino), len, {}, {});
    return rc;
}

int fallocate(int fd, int mode, off_t at, off_t len)
{
    REAL(fallocate);
    if (mode & ~FALLOC_FL_KEEP_SIZE && watchedFd(fd))
        append(Unsupported, inode(fd), mode, "fallocate mode", {});
    return sizeCall(fd, [&] { return real_fallocate(fd, mode, at, len); });
}

int posix_fallocate(int fd, off_t at, off_t len)
{
    REAL(posix_fallocate);
    return sizeCall(fd, [&] { return real_posix_fallocate(fd, at, len); });
}

int fsync(int fd)
{
    REAL(fsync);
    return syncCall(fd, [&] { return real_fsync(fd); });
}

int fdatasync(int fd)
{
    REAL(fdatasync);
    return syncCall(fd, [&] { return real_fdatasync(fd); });
}

void sync()
{
    REAL(sync);
    real_sync();
    if (active()) {
        Guard guard;
        append(SyncAll, 0, 0, {}, {});
    }
}

int syncfs(int fd)
{
    REAL(syncfs);
    const int rc = real_syncfs(fd);
    if (rc == 0 && active()) {
        Guard guard;
        append(SyncAll, 0, 0, {}, {});
    }
    return rc;
}

} // extern "C"
