// What the two halves of the power-cut shim share: the log, the watched folder and the lock
// that keeps the log in the calls' order.
#pragma once

#include "powercut_log.h"

#include <dlfcn.h>
#include <pthread.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace powercut::shim {

extern pthread_mutex_t g_lock;

class Guard {
public:
    Guard() { pthread_mutex_lock(&g_lock); }
    ~Guard() { pthread_mutex_unlock(&g_lock); }
    Guard(const Guard &) = delete;
    Guard &operator=(const Guard &) = delete;
};

template <class F> F real(const char *name) { return reinterpret_cast<F>(dlsym(RTLD_NEXT, name)); }
#define REAL(name) static const auto real_##name = powercut::shim::real<decltype(&::name)>(#name)

// True when the shim is logging ($POWERCUT_DIR and $POWERCUT_LOG set).
bool active();
void append(Op op, std::int64_t ino, std::int64_t off, const std::string &path, const std::string &path2,
            const void *data = nullptr, std::size_t len = 0);
// path as an absolute, normalised path (relative to dirfd or the current folder).
std::string absolute(int dirfd, const char *path);
// The path relative to the watched folder ("" for the folder itself); false when outside it.
bool relative(const std::string &abs, std::string &rel);
bool watchedFd(int fd);
std::int64_t inode(int fd);
// Where a plain write on fd lands.
off_t position(int fd);
// Bytes the kernel put into fd at [at, at + n), read back (copies that bypass write).
void logCopied(int fd, off_t at, std::size_t n);

} // namespace powercut::shim
