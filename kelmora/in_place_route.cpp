#include "in_place_route.h"

#include "bounded_read.h"
#include "file_io.h"

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

namespace {

// Special files (a character device, say) cannot be synchronised; that is no failure.
bool sync_fd(int fd) {
    return fsync(fd) == 0 || errno == EINVAL;
}

} // namespace

// The old bytes are read first and put back after any failure (a file-size limit, with
// SIGXFSZ ignored, is one: EFBIG); only a crash or power cut in the middle of the write
// can leave a mixed profile, which is why this is the fallback route. A profile of the
// same size needs no new blocks, so even a full file system takes it.
bool write_in_place(int fd, bool regular, const void *data, std::size_t size) {
    if (!regular) {
        return write_all(fd, data, size) && sync_fd(fd);
    }
    GrowBuffer old{};
    if (lseek(fd, 0, SEEK_SET) != 0 || !read_to_end(fd, old, kReadLimit)) {
        std::free(old.bytes);
        return false; // nothing written yet
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
    return ok;
}
