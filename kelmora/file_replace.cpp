#include "file_replace.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kNoTempFile = 1; // not an outcome: write in place instead

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

// Overwrites from the start, then cuts to size: a profile of the same size needs no new
// blocks, so even a full file system takes it.
int write_in_place(int fd, const char *path, bool regular, const void *data, std::size_t size) {
    bool ok = write_all(fd, data, size);
    ok = ok && (!regular || ftruncate(fd, static_cast<off_t>(size)) == 0);
    ok = ok && sync_fd(fd);
    if (!ok) {
        close(fd);
        return write_failed(path);
    }
    return close(fd) == 0 ? 0 : write_failed(path);
}

// Writes a sibling temporary file and renames it over the target, so the profile holds
// either its old or its new content whatever fails. The target of a symbolic link is
// replaced, the link stays.
int replace_by_rename(const char *path, const struct stat &old, const void *data,
                      std::size_t size) {
    char target[PATH_MAX];
    if (realpath(path, target) == nullptr) {
        return kNoTempFile;
    }
    char *slash = std::strrchr(target, '/');
    char temp[PATH_MAX];
    const int n = std::snprintf(temp, sizeof temp, "%.*s/.%s.tmp", static_cast<int>(slash - target),
                                target, slash + 1);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof temp) {
        return kNoTempFile;
    }
    unlink(temp); // a stale one from an interrupted run
    // Mode 0600 until the content is complete: the profile holds the key in clear.
    const int fd = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return kNoTempFile;
    }
    // Owner first (it clears set-id bits); where it cannot be kept, write in place.
    if (fchown(fd, old.st_uid, old.st_gid) != 0) {
        close(fd);
        unlink(temp);
        return kNoTempFile;
    }
    bool ok = fchmod(fd, old.st_mode & 07777) == 0;
    ok = ok && write_all(fd, data, size);
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temp, target) == 0;
    if (!ok) {
        unlink(temp);
        return write_failed(path);
    }
    // The rename itself must reach storage too.
    *slash = '\0';
    const int dir = open(slash == target ? "/" : target, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        return write_failed(path);
    }
    ok = sync_fd(dir);
    close(dir);
    return ok ? 0 : write_failed(path);
}

} // namespace

int replace_file(const char *path, const void *data, std::size_t size) {
    // Opening for writing, without truncating, proves the profile may be written.
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        std::printf("Open file fail - %s\n", path);
        return -1;
    }
    struct stat st;
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (regular) {
        const int result = replace_by_rename(path, st, data, size);
        if (result != kNoTempFile) {
            close(fd);
            return result;
        }
    }
    return write_in_place(fd, path, regular, data, size);
}
