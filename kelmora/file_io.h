// Whole reads and writes, file identity and a growing buffer: the I/O every part of a
// save shares. Nothing here prints.
#pragma once

#include <cstddef>
#include <sys/stat.h>
#include <sys/types.h>

// One read, repeated while a signal interrupts it.
ssize_t read_some(int fd, void *data, std::size_t size);

// Exactly size bytes from where fd stands; false on an error or an early end of file.
bool read_all(int fd, void *data, std::size_t size);
bool write_all(int fd, const void *data, std::size_t size);

// Whether two status records describe one file.
bool same_file(const struct stat &a, const struct stat &b);

// Bytes that grow as needed; zero is an empty buffer.
struct GrowBuffer {
    char *bytes;
    std::size_t size;
    std::size_t capacity;
};

// Room for at least size + more bytes, doubling from first; false when memory or limit
// (the largest capacity allowed) runs out.
bool grow_buffer(GrowBuffer &buffer, std::size_t more, std::size_t first, std::size_t limit);

// The whole content of fd from where it stands, at most limit bytes; false on a read
// error or beyond the limit. The caller frees buffer.bytes either way.
bool read_to_end(int fd, GrowBuffer &buffer, std::size_t limit);
