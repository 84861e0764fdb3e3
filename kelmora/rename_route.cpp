#include "rename_route.h"

#include "attribute_copy.h"
#include "file_io.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr int kNameTries = 16;     // fresh names tried when one is taken
constexpr int kRandomLetters = 12; // 60 bits
constexpr char kLetters[] = "0123456789abcdefghijklmnopqrstuv";
// Room for the temporary name of any profile name: one too long for the directory fails
// its creation with ENAMETOOLONG.
using TempName = char[NAME_MAX + kRandomLetters + sizeof "...tmp"];

// Temporary files of the profile NAME are ".NAME.RANDOM.tmp", RANDOM exactly
// kRandomLetters of kLetters: only a name this program makes is ever taken for one.
bool is_temp_of(const char *entry, const char *name) {
    const std::size_t length = std::strlen(name);
    if (entry[0] != '.' || std::strncmp(entry + 1, name, length) != 0 || entry[length + 1] != '.') {
        return false;
    }
    const char *letters = entry + length + 2;
    for (int i = 0; i < kRandomLetters; ++i) {
        if (letters[i] == '\0' || std::strchr(kLetters, letters[i]) == nullptr) {
            return false;
        }
    }
    return std::strcmp(letters + kRandomLetters, ".tmp") == 0;
}

// Whether another process holds a record lock (fcntl or lockf) on the file.
bool record_locked(int fd) {
    struct flock lock {}; // from offset 0 (SEEK_SET) to the end
    lock.l_type = F_WRLCK;
    return fcntl(fd, F_GETLK, &lock) != 0 || lock.l_type != F_UNLCK;
}

// A run holds its temporary file locked from its creation to its exit, so one that can
// be locked now was left by a run that died (killed, or a power cut). Only a regular
// file of this run's user or of the profile's owner with no other name is one; a link
// or anyone else's file planted under such a name stays. One that is the profile itself
// is the old name of a rename that a power cut tore in half (JFFS2 writes the new name
// before it deletes the old): the profile keeps its content when the extra name goes.
// A name locked by anyone else stays, whatever its links: the lock is tried on the
// profile's own open file there, which this run may hold already.
void remove_stale_temps(int dir, const char *name, int profile_fd, const struct stat &profile) {
    const int copy = dup(dir);
    DIR *entries = copy >= 0 ? fdopendir(copy) : nullptr;
    if (entries == nullptr) {
        if (copy >= 0) {
            close(copy);
        }
        return;
    }
    rewinddir(entries); // the copy shares its position with dir: an earlier save read it
    while (const struct dirent *entry = readdir(entries)) {
        if (!is_temp_of(entry->d_name, name)) {
            continue;
        }
        const int fd = openat(dir, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat st;
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
            const bool own = same_file(st, profile);
            if ((own ||
                 (st.st_nlink == 1 && (st.st_uid == geteuid() || st.st_uid == profile.st_uid))) &&
                flock(own ? profile_fd : fd, LOCK_EX | LOCK_NB) == 0 && !record_locked(fd)) {
                unlinkat(dir, entry->d_name, 0);
            }
        }
        close(fd);
    }
    closedir(entries);
}

// The state of the temporary names a run draws.
struct TempNames {
    uint64_t state;
};

// Names no one can foresee, so none can be planted in the run's way: from the kernel's
// random source, mixed with the clock and the process where that cannot be read.
TempNames temp_names() {
    TempNames names{0};
    const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        read_all(fd, &names.state, sizeof names.state);
        close(fd);
    }
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    names.state ^= static_cast<uint64_t>(t.tv_nsec) << 20 ^ static_cast<uint64_t>(t.tv_sec) ^
                   static_cast<uint64_t>(getpid()) << 40;
    return names;
}

// splitmix64: every draw differs, and each is well spread from the seed.
uint64_t next_bits(TempNames &names) {
    uint64_t z = names.state += 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

// The next temporary name of the profile name; false when it does not fit.
bool next_temp_name(TempNames &names, const char *name, TempName &temp) {
    char letters[kRandomLetters + 1];
    uint64_t bits = next_bits(names);
    for (char &letter : letters) {
        letter = kLetters[bits & 31];
        bits >>= 5;
    }
    letters[kRandomLetters] = '\0';
    const int n = std::snprintf(temp, sizeof temp, ".%s.%s.tmp", name, letters);
    return n > 0 && static_cast<std::size_t>(n) < sizeof temp;
}

// Created exclusively and without following a link, under a fresh name while one is
// taken. Mode 0600 until the content is complete and stored: the profile holds the key
// in clear.
int create_temp(int dir, const char *name, TempName &temp) {
    TempNames names = temp_names();
    for (int i = 0; i < kNameTries && next_temp_name(names, name, temp); ++i) {
        const int fd = openat(dir, temp, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// The errors that say this directory or file system cannot have the temporary file,
// or cannot give it what the profile has: the profile is then written in place. Any
// other (no descriptor, memory or room left, an I/O error) fails the save.
RenameOutcome route_after(int error) {
    constexpr unsigned long long kNoRoom =
        1ULL << EACCES | 1ULL << EPERM | 1ULL << EROFS | 1ULL << ENAMETOOLONG;
    return (error < 64 && (kNoRoom >> error & 1U) != 0) || error == EOPNOTSUPP ? kWriteInPlace
                                                                               : kRenameFailed;
}

// Keeps the errno of the failure that led here.
RenameOutcome discard(int dir, const char *temp, int fd, RenameOutcome result) {
    const int error = errno;
    close(fd);
    unlinkat(dir, temp, 0);
    errno = error;
    return result;
}

} // namespace

// At no moment may the new file grant anyone what the profile does not: it is written at
// 0600, gets the owner (which clears set-id bits), then the attributes (an ACL, or the
// removal of an inherited one, decides the group bits) and inode flags, and only then
// the mode, which the ACL set agrees with. Where owner, attributes or flags cannot be
// kept, or the directory would keep the temporary name, the profile is written in place.
RenameOutcome replace_by_rename(int dir, const char *name, int fd, const struct stat &old,
                                const void *data, std::size_t size, int *renamed) {
    if (names_fixed(dir)) {
        return kWriteInPlace;
    }
    remove_stale_temps(dir, name, fd, old);
    TempName temp;
    const int tfd = create_temp(dir, name, temp);
    if (tfd < 0) {
        return route_after(errno);
    }
    // Locked from birth: other runs can tell it is alive, and after the rename the lock
    // holds the profile for the rest of this run.
    flock(tfd, LOCK_EX | LOCK_NB);
    if (!write_all(tfd, data, size) || fsync(tfd) != 0) {
        return discard(dir, temp, tfd, kRenameFailed);
    }
    if (fchown(tfd, old.st_uid, old.st_gid) != 0 || !copy_attributes(fd, tfd) ||
        !copy_inode_flags(fd, tfd)) {
        return discard(dir, temp, tfd, route_after(errno));
    }
    if (fchmod(tfd, old.st_mode & 07777) != 0) {
        return discard(dir, temp, tfd, kRenameFailed);
    }
    struct stat now;
    if (fsync(tfd) != 0) {
        return discard(dir, temp, tfd, kRenameFailed);
    }
    if (fstatat(dir, name, &now, AT_SYMLINK_NOFOLLOW) != 0 || !same_file(now, old)) {
        // The name no longer refers to the file opened: what it holds now is not ours to
        // replace with another file's content, owner and mode.
        return discard(dir, temp, tfd, kNameTaken);
    }
    if (renameat(dir, temp, dir, name) != 0) {
        // A bind-mounted file (EBUSY) or a mount point name (EXDEV) cannot be renamed over.
        const int error = errno;
        return discard(dir, temp, tfd,
                       error == EBUSY || error == EXDEV ? kWriteInPlace : kRenameFailed);
    }
    *renamed = tfd;
    // The rename itself must reach storage too.
    return fsync(dir) == 0 || errno == EINVAL ? kRenamed : kRenameFailed;
}
