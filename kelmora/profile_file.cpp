#include "profile_file.h"

#include "bounded_read.h"
#include "save_routes.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kMaxLinks = 40; // symbolic links followed, as the kernel allows
constexpr long kHoldPollNanoseconds = 10'000'000;
constexpr int kOpenFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

void close_dir(int dir) {
    if (dir >= 0) {
        close(dir);
    }
}

// Read and write where allowed, else read only: a profile that cannot be written is
// still read, and its save then fails before anything is written.
int open_at(int dir, const char *name, int flags) {
    const int fd = openat(dir, name, O_RDWR | flags);
    if (fd >= 0 || (errno != EACCES && errno != EPERM && errno != EROFS && errno != EISDIR &&
                    errno != ETXTBSY)) {
        return fd;
    }
    return openat(dir, name, O_RDONLY | flags);
}

// Resolves path once, step by step from directories already open: each directory is
// opened, then the name in it without following a link; a link's target is resolved
// from the directory holding the link. On return *dir is the directory of the file
// opened and name its name there, or *dir is -1 where a directory could not be opened
// (no read permission): the kernel's own resolution of what remains opens the file then.
int resolve_and_open(const char *path, int *dir, char (&name)[NAME_MAX + 1]) {
    char rest[PATH_MAX];
    char link[PATH_MAX];
    const std::size_t length = std::strlen(path);
    if (length >= sizeof rest) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(rest, path, length + 1);
    int at = AT_FDCWD;
    for (int links = 0; links <= kMaxLinks; ++links) {
        char *slash = std::strrchr(rest, '/');
        const char *base = slash != nullptr ? slash + 1 : rest;
        int next = -1;
        if (*base != '\0' && std::strcmp(base, ".") != 0 && std::strcmp(base, "..") != 0 &&
            std::strlen(base) <= NAME_MAX) {
            if (slash == nullptr) {
                next = openat(at, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            } else {
                *slash = '\0';
                next = openat(at, slash == rest ? "/" : rest, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                *slash = '/';
            }
        }
        if (next < 0) {
            const int fd = open_at(at, rest, O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            close_dir(at);
            return fd;
        }
        close_dir(at);
        at = next;
        const int fd = open_at(at, base, kOpenFlags);
        if (fd >= 0 || errno != ELOOP) {
            if (fd >= 0) {
                *dir = at;
                std::memcpy(name, base, std::strlen(base) + 1);
            } else {
                close(at);
            }
            return fd;
        }
        const ssize_t size = readlinkat(at, base, link, sizeof link - 1);
        if (size <= 0) {
            close(at);
            return -1;
        }
        link[size] = '\0';
        std::memcpy(rest, link, static_cast<std::size_t>(size) + 1);
    }
    close_dir(at);
    errno = ELOOP;
    return -1;
}

bool same_file(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Milliseconds on a clock that no one can set.
long long now_ms() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1'000'000;
}

} // namespace

ProfileFile::~ProfileFile() {
    close_all();
}

void ProfileFile::close_all() {
    if (fd_ >= 0) {
        close(fd_);
    }
    close_dir(dir_);
    fd_ = -1;
    dir_ = -1;
}

bool ProfileFile::open_once() {
    fd_ = resolve_and_open(path_, &dir_, name_);
    struct stat st;
    if (fd_ < 0 || fstat(fd_, &st) != 0 || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
        close_all(); // a FIFO would block its reader for ever
        return false;
    }
    writable_ = (fcntl(fd_, F_GETFL) & O_ACCMODE) == O_RDWR;
    fcntl(fd_, F_SETFL, 0); // blocking again: only the open had to not wait
    return true;
}

// Whether the file held is still the one the name refers to: a run that held the
// profile while this one waited has replaced it.
bool ProfileFile::still_named() const {
    struct stat held;
    struct stat named;
    if (fstat(fd_, &held) != 0) {
        return true;
    }
    if (dir_ < 0) {
        return held.st_nlink > 0;
    }
    return fstatat(dir_, name_, &named, AT_SYMLINK_NOFOLLOW) != 0 || same_file(held, named);
}

// The hold is an flock on the profile file itself: it needs no write access to the
// directory and no lock file left behind, works on a device such as /dev/null, and flock
// is in the VFS of every kernel the device runs (JFFS2 on 2.6.35 included). Anyone who
// can read the profile can take it too, so the wait is bounded. A run that waited while
// another replaced the file starts over on the file the name now holds; nothing has
// been read yet.
int ProfileFile::open() {
    if (tried_) {
        return result_;
    }
    tried_ = true;
    const long long deadline = now_ms() + kHoldWaitSeconds * 1000LL;
    while (open_once()) {
        int error = 0;
        while (flock(fd_, LOCK_EX | LOCK_NB) != 0 && (error = errno) == EWOULDBLOCK &&
               now_ms() < deadline) {
            const timespec pause{0, kHoldPollNanoseconds};
            nanosleep(&pause, nullptr);
            error = 0;
        }
        // Without locks (ENOLCK) the run goes on unheld.
        if ((error != 0 && error != EWOULDBLOCK) || (error == 0 && still_named())) {
            return result_ = 0;
        }
        close_all();
        if (error == EWOULDBLOCK || now_ms() >= deadline) {
            std::printf("Profile busy - %s\n", path_);
            return result_ = -2;
        }
    }
    std::printf("Open file fail - %s\n", path_);
    return result_ = -1;
}

FILE *ProfileFile::read_stream() {
    lseek(fd_, 0, SEEK_SET); // a device cannot seek, and need not
    return open_bounded_stream(fd_);
}

bool ProfileFile::read_start(void *data, std::size_t size) {
    if (lseek(fd_, 0, SEEK_SET) != 0 && errno != ESPIPE) {
        return false;
    }
    return read_all(fd_, data, size);
}

int ProfileFile::replace(const void *data, std::size_t size) {
    if (fd_ < 0 || !writable_) {
        std::printf("Open file fail - %s\n", path_);
        return -1;
    }
    struct stat st;
    int result = fstat(fd_, &st) == 0 ? kNoTempFile : kRouteFailed;
    const bool regular = result == kNoTempFile && S_ISREG(st.st_mode);
    if (regular && dir_ >= 0) {
        int renamed = -1;
        result = replace_by_rename(dir_, name_, fd_, st, data, size, &renamed);
        if (renamed >= 0) {
            // The new file is the profile now, and holds the run's lock from its birth.
            close(fd_);
            fd_ = renamed;
        }
    }
    if (result == kNoTempFile) {
        result = write_in_place(fd_, regular, data, size);
    }
    if (result != 0) {
        std::printf("Write file fail - %s\n", path_);
        return -2;
    }
    return 0;
}
