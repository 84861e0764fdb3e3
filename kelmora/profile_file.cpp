#include "profile_file.h"

#include "bounded_read.h"
#include "file_io.h"
#include "in_place_route.h"
#include "rename_route.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int kMaxLinks = 40; // symbolic links followed, as the kernel allows
constexpr long kHoldPollNanoseconds = 10'000'000;
// The signals held during a save, bit N - 1 for signal N: all but the faults the program
// raises itself and those whose default action does not end the process. The C
// library's own (32 to 34 on musl) are held too: in a program that starts no threads
// or timers they keep their default action, which ends it, and the C library's
// sigprocmask would leave them out, hence the system call.
constexpr uint64_t kHeldSignals =
    ~(uint64_t{1} << (SIGSEGV - 1) | uint64_t{1} << (SIGBUS - 1) | uint64_t{1} << (SIGFPE - 1) |
      uint64_t{1} << (SIGILL - 1) | uint64_t{1} << (SIGTRAP - 1) | uint64_t{1} << (SIGSYS - 1) |
      uint64_t{1} << (SIGCHLD - 1) | uint64_t{1} << (SIGCONT - 1) | uint64_t{1} << (SIGURG - 1) |
      uint64_t{1} << (SIGWINCH - 1) | uint64_t{1} << (SIGTSTP - 1) | uint64_t{1} << (SIGTTIN - 1) |
      uint64_t{1} << (SIGTTOU - 1));
constexpr int kOpenFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

void close_dir(int dir) {
    if (dir >= 0) {
        close(dir);
    }
}

// Read and write where allowed, else read only: a profile that cannot be written is
// still read, and its save then fails (with *write_error) before anything is written.
int open_at(int dir, const char *name, int flags, int *write_error) {
    const int fd = openat(dir, name, O_RDWR | flags);
    if (fd >= 0 || (errno != EACCES && errno != EPERM && errno != EROFS && errno != EISDIR &&
                    errno != ETXTBSY)) {
        return fd;
    }
    *write_error = errno;
    return openat(dir, name, O_RDONLY | flags);
}

// The kernel's rule for links in a sticky, world-writable directory (/tmp), which its
// own resolution would apply: only the follower's links or the directory owner's are
// followed, so no other user can aim a planted link at a file this run may write.
bool may_follow(int dir, const char *name) {
    struct stat d;
    struct stat l;
    if (fstat(dir, &d) != 0 || fstatat(dir, name, &l, AT_SYMLINK_NOFOLLOW) != 0) {
        return false;
    }
    return (d.st_mode & (S_ISVTX | S_IWOTH)) != (S_ISVTX | S_IWOTH) || l.st_uid == geteuid() ||
           l.st_uid == d.st_uid;
}

// Resolves path once, step by step from directories already open: each directory is
// opened, then the name in it without following a link; a link's target is resolved
// from the directory holding the link. On return *dir is the directory of the file
// opened and name its name there, or *dir is -1 where a directory could not be opened
// (no read permission): the kernel's own resolution of what remains opens the file then.
// The profile's path is resolved, and its dir, name, write_error and foreign_link set.
int resolve_and_open(ProfileFile &profile) {
    const char *path = profile.path;
    int *write_error = &profile.write_error;
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
        const bool named = *base != '\0' && std::strcmp(base, ".") != 0 &&
                           std::strcmp(base, "..") != 0 && std::strlen(base) <= NAME_MAX;
        if (named) {
            if (slash == nullptr) {
                next = openat(at, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            } else {
                *slash = '\0';
                next = openat(at, slash == rest ? "/" : rest, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                *slash = '/';
            }
        }
        if (next < 0 && named && errno != EACCES) {
            close_dir(at); // out of descriptors or memory, say: no directory to do without
            return -1;
        }
        if (next < 0) {
            const int fd = open_at(at, rest, O_NOCTTY | O_NONBLOCK | O_CLOEXEC, write_error);
            close_dir(at);
            return fd;
        }
        close_dir(at);
        at = next;
        const int fd = open_at(at, base, kOpenFlags, write_error);
        if (fd >= 0 || errno != ELOOP) {
            if (fd >= 0) {
                profile.dir = at;
                std::memcpy(profile.name, base, std::strlen(base) + 1);
            } else {
                close(at);
            }
            return fd;
        }
        const ssize_t size = readlinkat(at, base, link, sizeof link - 1);
        profile.foreign_link = size > 0 && !may_follow(at, base);
        if (size <= 0 || profile.foreign_link) {
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

// Milliseconds on a clock that no one can set.
long long now_ms() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1'000'000;
}

Failure open_once(ProfileFile &profile) {
    profile.fd = resolve_and_open(profile);
    struct stat st;
    if (profile.foreign_link) {
        return {Fault::foreign_link, 0, 0};
    }
    if (profile.fd < 0 || fstat(profile.fd, &st) != 0) {
        const int error = errno;
        profile_close(profile);
        return {Fault::profile_unopened, error, 0};
    }
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
        profile_close(profile); // a FIFO would block its reader for ever
        return {Fault::profile_fifo, 0, 0};
    }
    // Left non-blocking: a device whose read would wait fails at once instead.
    profile.writable = (fcntl(profile.fd, F_GETFL) & O_ACCMODE) == O_RDWR;
    return {};
}

// Whether the file held is still the one the name refers to: a run that held the
// profile while this one waited has replaced it.
bool still_named(const ProfileFile &profile) {
    struct stat held;
    struct stat named;
    if (fstat(profile.fd, &held) != 0) {
        return true;
    }
    if (profile.dir < 0) {
        return held.st_nlink > 0;
    }
    return fstatat(profile.dir, profile.name, &named, AT_SYMLINK_NOFOLLOW) != 0 ||
           same_file(held, named);
}

} // namespace

void profile_close(ProfileFile &profile) {
    if (profile.fd >= 0) {
        close(profile.fd);
    }
    close_dir(profile.dir);
    profile.fd = -1;
    profile.dir = -1;
}

// The hold is an flock on the profile file itself: it needs no write access to the
// directory and no lock file left behind, works on a device such as /dev/null, and flock
// is in the VFS of every kernel the device runs (JFFS2 on 2.6.35 included). Anyone who
// can read the profile can take it too, so the wait is bounded. A run that waited while
// another replaced the file starts over on the file the name now holds; nothing has
// been read yet.
Failure profile_open(ProfileFile &profile) {
    if (profile.tried) {
        return profile.result;
    }
    profile.tried = true;
    const long long deadline = now_ms() + kHoldWaitSeconds * 1000LL;
    while (!failed(profile.result = open_once(profile))) {
        int error = 0;
        while (flock(profile.fd, LOCK_EX | LOCK_NB) != 0 && (error = errno) == EWOULDBLOCK &&
               now_ms() < deadline) {
            const timespec pause{0, kHoldPollNanoseconds};
            nanosleep(&pause, nullptr);
            error = 0;
        }
        // Without locks (ENOLCK) the run goes on unheld.
        if ((error != 0 && error != EWOULDBLOCK) || (error == 0 && still_named(profile))) {
            return profile.result;
        }
        profile_close(profile);
        if (error == EWOULDBLOCK || now_ms() >= deadline) {
            return profile.result = {Fault::profile_busy, 0, 0};
        }
    }
    return profile.result;
}

FILE *profile_read_stream(ProfileFile &profile) {
    lseek(profile.fd, 0, SEEK_SET); // a device cannot seek, and need not
    return open_bounded_stream(profile.fd);
}

Failure profile_read_start(ProfileFile &profile, void *data, std::size_t size) {
    if (lseek(profile.fd, 0, SEEK_SET) != 0 && errno != ESPIPE) {
        return {Fault::profile_unread, errno, 0};
    }
    errno = 0; // stays 0 at an early end of file
    if (read_all(profile.fd, data, size)) {
        return {};
    }
    struct stat st;
    if (errno != 0 || fstat(profile.fd, &st) != 0) {
        return {Fault::profile_unread, errno, 0};
    }
    return {Fault::profile_short, 0, static_cast<long>(st.st_size)};
}

// Every signal that would end the run from outside (shutdown, Ctrl-C, a dropped session,
// a timer or CPU limit armed before exec) waits until the save is over: a profile cut
// off halfway would hold new content before old.
Failure profile_replace(ProfileFile &profile, const void *data, std::size_t size, bool whole) {
    if (profile.fd < 0 || !profile.writable) {
        return {Fault::profile_unwritable, profile.fd < 0 ? EBADF : profile.write_error, 0};
    }
    uint64_t before = 0;
    syscall(SYS_rt_sigprocmask, SIG_BLOCK, &kHeldSignals, &before, sizeof before);
    struct stat st;
    Failure failure{Fault::profile_unwritten, 0, 0};
    // A block device cannot be cut short: old lines after new text would be read back. A
    // profile beyond the read limit could never be restored from again.
    if (size > kReadLimit) {
        failure.fault = Fault::save_too_large;
    } else if (fstat(profile.fd, &st) != 0) {
        failure.error = errno;
    } else if (whole && S_ISBLK(st.st_mode)) {
        failure.fault = Fault::block_device_text;
    } else {
        RenameOutcome outcome = kWriteInPlace;
        if (S_ISREG(st.st_mode) && profile.dir >= 0) {
            int renamed = -1;
            outcome =
                replace_by_rename(profile.dir, profile.name, profile.fd, st, data, size, &renamed);
            if (renamed >= 0) {
                // The new file is the profile now, and holds the run's lock from its birth.
                close(profile.fd);
                profile.fd = renamed;
            }
        }
        if (outcome == kRenamed ||
            (outcome == kWriteInPlace && write_in_place(profile.fd, st.st_mode, data, size))) {
            failure.fault = Fault::none;
        } else if (outcome == kNameTaken) {
            failure.fault = Fault::profile_replaced;
        } else {
            failure.error = errno;
        }
    }
    // A signal held off ends the run here.
    syscall(SYS_rt_sigprocmask, SIG_SETMASK, &before, nullptr, sizeof before);
    return failure;
}
