// The shim's calls that change names in the watched folder, the copies done by the kernel, and
// stdout's acknowledgements (see powercut_shim.cpp).
#include "powercut_shim.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <string>

using namespace powercut;
using namespace powercut::shim;

namespace {

template <class Call> int renameCommon(int olddir, const char *from, int newdir, const char *to, unsigned flags,
                                       Call call)
{
    std::string relFrom, relTo;
    const bool a = relative(absolute(olddir, from), relFrom);
    const bool b = relative(absolute(newdir, to), relTo);
    if (!a && !b)
        return call();
    Guard guard;
    const int rc = call();
    if (rc != 0)
        return rc;
    if (flags & RENAME_EXCHANGE)
        append(Unsupported, 0, 0, "rename exchange", {});
    else if (a && b)
        append(Rename, 0, 0, relFrom, relTo);
    else if (a)
        append(Unlink, 0, 0, relFrom, {});
    else
        append(Unsupported, 0, 0, "rename into the folder", relTo);
    return rc;
}

template <class Call> int pathCall(Op op, int dirfd, const char *path, Call call)
{
    std::string rel;
    if (!relative(absolute(dirfd, path), rel))
        return call();
    Guard guard;
    const int rc = call();
    if (rc == 0)
        append(op, 0, 0, rel, {});
    return rc;
}
} // namespace

extern "C" {

int rename(const char *from, const char *to)
{
    REAL(rename);
    return renameCommon(AT_FDCWD, from, AT_FDCWD, to, 0, [&] { return real_rename(from, to); });
}

int renameat(int olddir, const char *from, int newdir, const char *to)
{
    REAL(renameat);
    return renameCommon(olddir, from, newdir, to, 0, [&] { return real_renameat(olddir, from, newdir, to); });
}

int renameat2(int olddir, const char *from, int newdir, const char *to, unsigned flags)
{
    REAL(renameat2);
    return renameCommon(olddir, from, newdir, to, flags,
                        [&] { return real_renameat2(olddir, from, newdir, to, flags); });
}

int linkat(int olddir, const char *from, int newdir, const char *to, int flags)
{
    REAL(linkat);
    std::string rel;
    if (!relative(absolute(newdir, to), rel))
        return real_linkat(olddir, from, newdir, to, flags);
    Guard guard;
    struct stat st {};
    const int statFlags = (flags & AT_EMPTY_PATH) | ((flags & AT_SYMLINK_FOLLOW) ? 0 : AT_SYMLINK_NOFOLLOW);
    const bool known = ::fstatat(olddir, from, &st, statFlags) == 0;
    const int rc = real_linkat(olddir, from, newdir, to, flags);
    if (rc == 0)
        append(known ? Link : Unsupported, static_cast<std::int64_t>(st.st_ino), 0, {}, rel);
    return rc;
}

int link(const char *from, const char *to) { return linkat(AT_FDCWD, from, AT_FDCWD, to, 0); }

int unlink(const char *path)
{
    REAL(unlink);
    return pathCall(Unlink, AT_FDCWD, path, [&] { return real_unlink(path); });
}

int unlinkat(int dirfd, const char *path, int flags)
{
    REAL(unlinkat);
    return pathCall((flags & AT_REMOVEDIR) ? RemoveFolder : Unlink, dirfd, path,
                    [&] { return real_unlinkat(dirfd, path, flags); });
}

int rmdir(const char *path)
{
    REAL(rmdir);
    return pathCall(RemoveFolder, AT_FDCWD, path, [&] { return real_rmdir(path); });
}

int mkdir(const char *path, mode_t mode)
{
    REAL(mkdir);
    return pathCall(MakeFolder, AT_FDCWD, path, [&] { return real_mkdir(path, mode); });
}

int mkdirat(int dirfd, const char *path, mode_t mode)
{
    REAL(mkdirat);
    return pathCall(MakeFolder, dirfd, path, [&] { return real_mkdirat(dirfd, path, mode); });
}

ssize_t copy_file_range(int in, off64_t *inOff, int out, off64_t *outOff, size_t len, unsigned flags)
{
    REAL(copy_file_range);
    if (!watchedFd(out))
        return real_copy_file_range(in, inOff, out, outOff, len, flags);
    Guard guard;
    const off_t at = outOff ? *outOff : position(out);
    const ssize_t n = real_copy_file_range(in, inOff, out, outOff, len, flags);
    if (n > 0)
        logCopied(out, at, static_cast<std::size_t>(n));
    return n;
}

ssize_t sendfile(int out, int in, off_t *offset, size_t count)
{
    REAL(sendfile);
    if (!watchedFd(out))
        return real_sendfile(out, in, offset, count);
    Guard guard;
    const off_t at = position(out);
    const ssize_t n = real_sendfile(out, in, offset, count);
    if (n > 0)
        logCopied(out, at, static_cast<std::size_t>(n));
    return n;
}

ssize_t sendfile64(int out, int in, off64_t *offset, size_t count)
{
    REAL(sendfile64);
    if (!watchedFd(out))
        return real_sendfile64(out, in, offset, count);
    Guard guard;
    const off_t at = position(out);
    const ssize_t n = real_sendfile64(out, in, offset, count);
    if (n > 0)
        logCopied(out, at, static_cast<std::size_t>(n));
    return n;
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    REAL(ioctl);
    if ((request != FICLONE && request != FICLONERANGE) || !watchedFd(fd))
        return real_ioctl(fd, request, arg);
    Guard guard;
    const int rc = real_ioctl(fd, request, arg);
    struct stat st {};
    if (rc == 0 && request == FICLONERANGE) {
        append(Unsupported, inode(fd), 0, "FICLONERANGE", {});
    } else if (rc == 0 && ::fstat(fd, &st) == 0) { // the whole file is now the source's
        append(Truncate, static_cast<std::int64_t>(st.st_ino), 0, {}, {});
        logCopied(fd, 0, static_cast<std::size_t>(st.st_size));
    }
    return rc;
}

void *mmap(void *addr, size_t len, int prot, int flags, int fd, off_t off)
{
    REAL(mmap);
    if ((prot & PROT_WRITE) && (flags & MAP_SHARED) && watchedFd(fd)) {
        Guard guard;
        append(Unsupported, inode(fd), 0, "shared writable mapping", {});
    }
    return real_mmap(addr, len, prot, flags, fd, off);
}

// stdout's buffered text goes out now: log it in order with the writes before it.
int fflush(FILE *stream)
{
    REAL(fflush);
    if (stream && active() && ::fileno(stream) == STDOUT_FILENO && stream->_IO_write_ptr > stream->_IO_write_base) {
        Guard guard;
        append(Mark, 0, 0, {}, {}, stream->_IO_write_base,
               static_cast<std::size_t>(stream->_IO_write_ptr - stream->_IO_write_base));
    }
    return real_fflush(stream);
}

} // extern "C"
