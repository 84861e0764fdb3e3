// The fallback route: the profile file itself is overwritten.
#include "bounded_read.h"
#include "save_routes.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <unistd.h>

namespace {

// Special files (a character device, say) cannot be synchronised; that is no failure.
bool sync_fd(int fd) {
    return fsync(fd) == 0 || errno == EINVAL;
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

// Repeats CALL (read or write) until SIZE bytes have moved; false on an error or end of file.
template <typename Byte, typename Call>
bool transfer_all(int fd, Byte *p, std::size_t size, Call call) {
    while (size > 0) {
        const ssize_t n = call(fd, p, size);
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

} // namespace

bool write_all(int fd, const void *data, std::size_t size) {
    return transfer_all(fd, static_cast<const char *>(data), size, ::write);
}

bool read_all(int fd, void *data, std::size_t size) {
    return transfer_all(fd, static_cast<char *>(data), size, ::read);
}

// The old bytes are read first and put back after any failure (a file-size limit, with
// SIGXFSZ ignored, is one: EFBIG); only a crash or power cut in the middle of the write
// can leave a mixed profile, which is why this is the fallback route. A profile of the
// same size needs no new blocks, so even a full file system takes it.
int write_in_place(int fd, bool regular, const void *data, std::size_t size) {
    if (!regular) {
        return write_all(fd, data, size) && sync_fd(fd) ? 0 : kRouteFailed;
    }
    const Content old = read_content(fd);
    if (!old.ok) {
        std::free(old.bytes);
        return kRouteFailed; // nothing written yet
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
    return ok ? 0 : kRouteFailed;
}
