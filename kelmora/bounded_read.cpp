#include "bounded_read.h"

#include "file_io.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

struct BoundedFile {
    int fd;
    std::size_t left; // bytes still allowed, one more than the limit at the start
    bool owned;       // closed with the stream
};

ssize_t bounded_read(void *cookie, char *buf, std::size_t size) {
    auto *file = static_cast<BoundedFile *>(cookie);
    if (size > file->left) {
        size = file->left;
    }
    const ssize_t n = read_some(file->fd, buf, size);
    if (n > 0) {
        file->left -= static_cast<std::size_t>(n);
        if (file->left == 0) {
            errno = EFBIG;
            return -1;
        }
    }
    return n;
}

int bounded_close(void *cookie) {
    auto *file = static_cast<BoundedFile *>(cookie);
    const int result = file->owned ? close(file->fd) : 0;
    std::free(file);
    return result;
}

FILE *bounded_stream(int fd, bool owned) {
    auto *file = static_cast<BoundedFile *>(std::malloc(sizeof(BoundedFile)));
    if (file != nullptr) {
        *file = BoundedFile{fd, kReadLimit + 1, owned};
        const cookie_io_functions_t functions{bounded_read, nullptr, nullptr, bounded_close};
        if (FILE *stream = fopencookie(file, "r", functions)) {
            return stream;
        }
    }
    std::free(file);
    return nullptr;
}

} // namespace

FILE *open_bounded_stream(const char *path) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    FILE *stream = fd >= 0 ? bounded_stream(fd, true) : nullptr;
    if (stream == nullptr && fd >= 0) {
        close(fd);
    }
    return stream;
}

FILE *open_bounded_stream(int fd) {
    return bounded_stream(fd, false);
}
