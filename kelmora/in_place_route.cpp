#include "in_place_route.h"

#include "bounded_read.h"
#include "file_io.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Special files (a character device, say) cannot be synchronised; that is no failure.
bool sync_fd(int fd) {
    return fsync(fd) == 0 || errno == EINVAL;
}

// What the new content will cover: a regular file whole, a block device's first size
// bytes.
bool read_old(int fd, bool regular, std::size_t size, GrowBuffer &old) {
    if (lseek(fd, 0, SEEK_SET) != 0) {
        return false;
    }
    if (regular) {
        return read_to_end(fd, old, kReadLimit);
    }
    if (!grow_buffer(old, size, size, size) || !read_all(fd, old.bytes, size)) {
        return false;
    }
    old.size = size;
    return true;
}

} // namespace

// The old bytes are read first and put back after any failure (a file-size limit, with
// SIGXFSZ ignored, is one: EFBIG); only a crash or power cut in the middle of the write
// can leave a mixed profile, which is why this is the fallback route. A profile of the
// same size needs no new blocks, so even a full file system takes it.
// A device that cannot seek (a terminal) is written where it stands; a block device,
// which cannot be cut short, gets the new bytes at its start and keeps the rest.
bool write_in_place(int fd, mode_t mode, const void *data, std::size_t size) {
    const bool regular = S_ISREG(mode);
    if (!regular && !S_ISBLK(mode)) {
        return (lseek(fd, 0, SEEK_SET) == 0 || errno == ESPIPE) && write_all(fd, data, size) &&
               sync_fd(fd);
    }
    GrowBuffer old{};
    if (!read_old(fd, regular, size, old)) {
        const int error = errno;
        std::free(old.bytes);
        errno = error;
        return false; // nothing written yet
    }
    const auto put = [fd, regular](const void *bytes, std::size_t length) {
        return lseek(fd, 0, SEEK_SET) == 0 && write_all(fd, bytes, length) &&
               (!regular || ftruncate(fd, static_cast<off_t>(length)) == 0) && fsync(fd) == 0;
    };
    const bool ok = put(data, size);
    const int error = errno; // the failure reported, not that of putting the old bytes back
    if (!ok && !put(old.bytes, old.size)) {
        put(old.bytes, old.size); // once more: a write cut short by a full disk may pass now
    }
    std::free(old.bytes);
    errno = error;
    return ok;
}
