#include "file_replace.h"

#include "bounded_read.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

constexpr int kNoTempFile = 1; // not an outcome: write in place instead

// The lock on the file now holding the profile; -1 while none is held.
int held_profile = -1;

bool same_file(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool write_all(int fd, const void *data, std::size_t size) {
    const char *p = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Special files (a character device, say) cannot be synchronised; that is no failure.
bool sync_fd(int fd) {
    return fsync(fd) == 0 || errno == EINVAL;
}

int write_failed(const char *path) {
    std::printf("Write file fail - %s\n", path);
    return -2;
}

// A file's whole content, read from its start, at most kReadLimit bytes.
struct Content {
    char *bytes;
    std::size_t size;
    bool ok;
};

Content read_content(int fd) {
    Content content{nullptr, 0, false};
    std::size_t capacity = 0;
    if (lseek(fd, 0, SEEK_SET) != 0) {
        return content;
    }
    for (;;) {
        if (content.size == capacity) {
            if (content.size > kReadLimit) {
                return content;
            }
            capacity = capacity != 0 ? std::min(capacity * 2, kReadLimit + 1) : 4096;
            char *bytes = static_cast<char *>(std::realloc(content.bytes, capacity));
            if (bytes == nullptr) {
                return content;
            }
            content.bytes = bytes;
        }
        const ssize_t n = read(fd, content.bytes + content.size, capacity - content.size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            content.ok = n == 0;
            return content;
        }
        content.size += static_cast<std::size_t>(n);
    }
}

// Overwrites the file from its start and cuts it to the new length. The old bytes are
// read first and put back after any failure; only a crash or power cut in the middle
// of the write can leave a mixed profile, which is why this is the fallback route.
// A profile of the same size needs no new blocks, so even a full file system takes it.
int write_in_place(int fd, const char *path, bool regular, const void *data, std::size_t size) {
    if (!regular) {
        return write_all(fd, data, size) && sync_fd(fd) ? 0 : write_failed(path);
    }
    const Content old = read_content(fd);
    if (!old.ok) {
        std::free(old.bytes);
        return write_failed(path); // nothing written yet
    }
    const auto put = [fd](const void *bytes, std::size_t length) {
        return lseek(fd, 0, SEEK_SET) == 0 && write_all(fd, bytes, length) &&
               ftruncate(fd, static_cast<off_t>(length)) == 0 && fsync(fd) == 0;
    };
    const bool ok = put(data, size);
    if (!ok && !put(old.bytes, old.size)) {
        put(old.bytes, old.size); // once more: a write cut short by a full disk may pass now
    }
    std::free(old.bytes);
    return ok ? 0 : write_failed(path);
}

// Temporary files of the profile NAME are ".NAME.PID.tmp", so no two runs share one
// and no file of another name is ever taken for one.
bool is_temp_of(const char *entry, const char *name) {
    const std::size_t length = std::strlen(name);
    if (entry[0] != '.' || std::strncmp(entry + 1, name, length) != 0 || entry[length + 1] != '.') {
        return false;
    }
    const char *digits = entry + length + 2;
    const char *end = digits;
    while (*end >= '0' && *end <= '9') {
        ++end;
    }
    return end != digits && std::strcmp(end, ".tmp") == 0;
}

// A run holds its temporary file locked from its creation to its exit, so one that can
// be locked now was left by a run that died (killed, or a power cut). One that is the
// profile itself is the old name of a rename that a power cut tore in half (JFFS2 writes
// the new name before it deletes the old): this run holds its lock, and the profile
// keeps its content when the extra name goes.
void remove_stale_temps(DIR *dir, const char *name, const struct stat &profile) {
    while (const struct dirent *entry = readdir(dir)) {
        if (!is_temp_of(entry->d_name, name)) {
            continue;
        }
        const int fd =
            openat(dirfd(dir), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat st;
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            (same_file(st, profile) || flock(fd, LOCK_EX | LOCK_NB) == 0)) {
            unlinkat(dirfd(dir), entry->d_name, 0);
        }
        close(fd);
    }
}

// Gives to every extended attribute of the profile (POSIX ACLs are system.posix_acl_*)
// and takes away any the new file inherited that the profile lacks (a directory's
// default ACL). False when that cannot be done.
bool copy_attributes(int from, int to) {
    const auto list = [](int fd, char **names) -> ssize_t {
        *names = nullptr;
        const ssize_t size = flistxattr(fd, nullptr, 0);
        if (size <= 0) {
            return size < 0 && errno == ENOTSUP ? 0 : size; // no attributes on this file system
        }
        *names = static_cast<char *>(std::malloc(static_cast<std::size_t>(size)));
        return *names != nullptr ? flistxattr(fd, *names, static_cast<std::size_t>(size)) : -1;
    };
    char *names = nullptr;
    char *inherited = nullptr;
    const ssize_t size = list(from, &names);
    const ssize_t inherited_size = list(to, &inherited);
    bool ok = size >= 0 && inherited_size >= 0;
    for (ssize_t i = 0; ok && i < inherited_size;
         i += static_cast<ssize_t>(std::strlen(inherited + i)) + 1) {
        ok = fgetxattr(from, inherited + i, nullptr, 0) >= 0 ||
             (errno == ENODATA && fremovexattr(to, inherited + i) == 0);
    }
    for (ssize_t i = 0; ok && i < size; i += static_cast<ssize_t>(std::strlen(names + i)) + 1) {
        const ssize_t length = fgetxattr(from, names + i, nullptr, 0);
        char *value = length >= 0
                          ? static_cast<char *>(std::malloc(static_cast<std::size_t>(length) + 1))
                          : nullptr;
        ok = value != nullptr &&
             fgetxattr(from, names + i, value, static_cast<std::size_t>(length)) == length &&
             fsetxattr(to, names + i, value, static_cast<std::size_t>(length), 0) == 0;
        std::free(value);
    }
    std::free(names);
    std::free(inherited);
    return ok;
}

void discard(DIR *dir, const char *temp, int fd) {
    close(fd);
    unlinkat(dirfd(dir), temp, 0);
}

// Writes a temporary file beside the profile and renames it over it, so the profile
// holds either its old or its new content whatever fails. Everything happens relative
// to the directory opened once, so the file whose owner, mode and attributes are
// copied is the file that is replaced.
int replace_by_rename(DIR *dir, const char *name, int fd, const struct stat &old, const char *path,
                      const void *data, std::size_t size) {
    remove_stale_temps(dir, name, old);
    char temp[NAME_MAX + 1];
    const int n =
        std::snprintf(temp, sizeof temp, ".%s.%ld.tmp", name, static_cast<long>(getpid()));
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof temp) {
        return kNoTempFile; // the name is too long for a temporary name
    }
    // Mode 0600 until the content is complete and stored: the profile holds the key in clear.
    const int tfd =
        openat(dirfd(dir), temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (tfd < 0) {
        return kNoTempFile;
    }
    // Locked from birth: other runs can tell it is alive, and after the rename the lock
    // holds the profile for the rest of this run.
    flock(tfd, LOCK_EX | LOCK_NB);
    if (!write_all(tfd, data, size) || fsync(tfd) != 0) {
        discard(dir, temp, tfd);
        return write_failed(path);
    }
    // Owner first (it clears set-id bits), then mode, then attributes (an ACL sets the
    // group bits of the mode). Where owner or attributes cannot be kept, write in place.
    if (fchown(tfd, old.st_uid, old.st_gid) != 0) {
        discard(dir, temp, tfd);
        return kNoTempFile;
    }
    if (fchmod(tfd, old.st_mode & 07777) != 0) {
        discard(dir, temp, tfd);
        return write_failed(path);
    }
    if (!copy_attributes(fd, tfd)) {
        discard(dir, temp, tfd);
        return kNoTempFile;
    }
    struct stat now;
    if (fsync(tfd) != 0 || fstatat(dirfd(dir), name, &now, AT_SYMLINK_NOFOLLOW) != 0 ||
        !same_file(now, old)) {
        // The name no longer refers to the file opened: what it holds now is not ours to
        // replace with another file's owner and mode.
        discard(dir, temp, tfd);
        return write_failed(path);
    }
    if (renameat(dirfd(dir), temp, dirfd(dir), name) != 0) {
        const int error = errno;
        discard(dir, temp, tfd);
        // A bind-mounted file (EBUSY) or a mount point name (EXDEV) cannot be renamed over.
        return error == EBUSY || error == EXDEV ? kNoTempFile : write_failed(path);
    }
    if (held_profile >= 0) {
        close(held_profile);
    }
    held_profile = tfd;
    // The rename itself must reach storage too.
    return sync_fd(dirfd(dir)) ? 0 : write_failed(path);
}

} // namespace

// The lock is an flock on the profile file itself: it follows a symbolic link to the
// file, needs no write access to the directory and no lock file left behind, works on a
// device such as /dev/null, and flock is in the VFS of every kernel the device runs
// (JFFS2 on 2.6.35 included). A save replaces the file, so a run that waited on the old
// one looks again and waits on the new one, which the saving run holds.
void hold_profile(const char *path) {
    for (;;) {
        const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            return;
        }
        int locked;
        do {
            locked = flock(fd, LOCK_EX);
        } while (locked != 0 && errno == EINTR);
        if (locked != 0) {
            close(fd); // a file system without locks: the run goes on unheld
            return;
        }
        struct stat held;
        struct stat now;
        if (fstat(fd, &held) != 0 || stat(path, &now) != 0 || same_file(held, now)) {
            held_profile = fd;
            return;
        }
        close(fd);
    }
}

int replace_file(const char *path, const void *data, std::size_t size) {
    // Resolved once: the directory is opened and everything after works relative to it.
    char target[PATH_MAX];
    DIR *dir = nullptr;
    const char *name = nullptr;
    if (realpath(path, target) != nullptr) {
        char *slash = std::strrchr(target, '/');
        name = slash + 1;
        *slash = '\0';
        // A directory that cannot be opened (no read permission) leaves only the in-place route.
        dir = *name != '\0' ? opendir(slash == target ? "/" : target) : nullptr;
    }
    // Opening for writing, without truncating, proves the profile may be written; reading
    // keeps its old bytes for the in-place route.
    const int fd = dir != nullptr ? openat(dirfd(dir), name, O_RDWR | O_NOFOLLOW | O_CLOEXEC)
                                  : open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        if (dir != nullptr) {
            closedir(dir);
        }
        std::printf("Open file fail - %s\n", path);
        return -1;
    }
    struct stat st;
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    int result = kNoTempFile;
    if (regular && dir != nullptr) {
        result = replace_by_rename(dir, name, fd, st, path, data, size);
    }
    if (result == kNoTempFile) {
        result = write_in_place(fd, path, regular, data, size);
    }
    // Everything written was forced to storage already; a close cannot take it back.
    close(fd);
    if (dir != nullptr) {
        closedir(dir);
    }
    return result;
}
