#include "bounded_read.h"

#include "file_io.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct BoundedFile {
    int fd;
    std::size_t left; // bytes still allowed, one more than the limit at the start
    bool owned;       // closed with the stream; else a text profile: a NUL fails the read
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
        if (!file->owned && std::memchr(buf, '\0', static_cast<std::size_t>(n)) != nullptr) {
            errno = EILSEQ; // the stream's error flag is what the reader checks
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

// Opened without waiting (a FIFO without a writer, a lease another user holds) and read
// without waiting: a FIFO or socket is refused, and a device whose read would wait
// fails as a read error.
FILE *open_bounded_stream(const char *path, Failure *failure) {
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st;
    const bool opened = fd >= 0 && fstat(fd, &st) == 0;
    const bool fifo = opened && S_ISFIFO(st.st_mode);
    FILE *stream = opened && !fifo ? bounded_stream(fd, true) : nullptr;
    if (stream == nullptr) {
        *failure = {fifo ? Fault::input_fifo : Fault::input_unread, errno, 0};
        if (fd >= 0) {
            close(fd);
        }
    }
    return stream;
}

FILE *open_bounded_stream(int fd) {
    return bounded_stream(fd, false);
}
