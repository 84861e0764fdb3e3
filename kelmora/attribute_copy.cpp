#include "attribute_copy.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <sys/xattr.h>

namespace {

// FS_IOC_GETFLAGS and FS_IOC_SETFLAGS of <linux/fs.h>, which the device's C library
// does not ship; the kernel reads and writes an int whatever the size named here.
const unsigned long kGetFlags = _IOR('f', 1, long);
const unsigned long kSetFlags = _IOW('f', 2, long);

// The flags a profile's owner sets with chattr and a new file does not get by itself:
// s, u, c, S, d, A, m, j, t, C. Immutable and append-only files are never written.
constexpr int kKeptFlags = 0x1 | 0x2 | 0x4 | 0x8 | 0x40 | 0x80 | 0x400 | 0x4000 | 0x8000 | 0x800000;

constexpr int kImmutable = 0x10;
constexpr int kAppendOnly = 0x20;

ssize_t list(int fd, char **names) {
    *names = nullptr;
    const ssize_t size = flistxattr(fd, nullptr, 0);
    if (size <= 0) {
        return size < 0 && errno == ENOTSUP ? 0 : size; // no attributes on this file system
    }
    *names = static_cast<char *>(std::malloc(static_cast<std::size_t>(size)));
    return *names != nullptr ? flistxattr(fd, *names, static_cast<std::size_t>(size)) : -1;
}

} // namespace

// Inherited attributes go first: until then a default ACL's entries are held back only
// by the mask of the mode 0600 the file was made with.
bool copy_attributes(int from, int to) {
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

bool copy_inode_flags(int from, int to) {
    int want = 0;
    int have = 0;
    if (ioctl(from, kGetFlags, &want) != 0) {
        // A file system without inode flags (JFFS2, or an old tmpfs) has none to keep.
        return errno == ENOTTY || errno == ENOTSUP || errno == EINVAL || errno == ENOSYS;
    }
    if (ioctl(to, kGetFlags, &have) != 0) {
        return false;
    }
    if (((want ^ have) & kKeptFlags) == 0) {
        return true;
    }
    int flags = (have & ~kKeptFlags) | (want & kKeptFlags);
    return ioctl(to, kSetFlags, &flags) == 0;
}

bool names_fixed(int dir) {
    int flags = 0;
    return ioctl(dir, kGetFlags, &flags) == 0 && (flags & (kImmutable | kAppendOnly)) != 0;
}
