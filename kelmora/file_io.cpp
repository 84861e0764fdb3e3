#include "file_io.h"

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

ssize_t read_some(int fd, void *data, std::size_t size) {
    ssize_t n;
    do {
        n = read(fd, data, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

bool read_all(int fd, void *data, std::size_t size) {
    auto *p = static_cast<char *>(data);
    while (size > 0) {
        const ssize_t n = read_some(fd, p, size);
        if (n <= 0) {
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool write_all(int fd, const void *data, std::size_t size) {
    const auto *p = static_cast<const char *>(data);
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

bool same_file(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool grow_buffer(GrowBuffer &buffer, std::size_t more, std::size_t first, std::size_t limit) {
    if (buffer.capacity - buffer.size >= more) {
        return true;
    }
    if (more > limit - buffer.size) {
        return false;
    }
    std::size_t capacity = buffer.capacity != 0 ? buffer.capacity : first;
    while (capacity - buffer.size < more) {
        capacity = capacity <= limit / 2 ? capacity * 2 : limit;
    }
    char *bytes = static_cast<char *>(std::realloc(buffer.bytes, capacity));
    if (bytes == nullptr) {
        return false;
    }
    buffer.bytes = bytes;
    buffer.capacity = capacity;
    return true;
}

bool read_to_end(int fd, GrowBuffer &buffer, std::size_t limit) {
    for (;;) {
        // One byte beyond the limit tells a file of exactly limit bytes from a longer one.
        if (!grow_buffer(buffer, 1, 4096, limit + 1)) {
            errno = buffer.size > limit ? EFBIG : ENOMEM;
            return false;
        }
        const ssize_t n = read_some(fd, buffer.bytes + buffer.size, buffer.capacity - buffer.size);
        if (n <= 0) {
            return n == 0;
        }
        buffer.size += static_cast<std::size_t>(n);
        if (buffer.size > limit) {
            errno = EFBIG;
            return false;
        }
    }
}
