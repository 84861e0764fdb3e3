// Shared by the fuzz targets: the code under test reads and writes paths, so each input
// goes to a file of a private directory, on tmpfs where there is one (fsync is cheap).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <unistd.h>

namespace scratch {

// Made once, removed at exit; a plain array outlives every exit handler. The targets
// that use it run programs that print on standard output, where the fuzzer does not
// report: that goes to /dev/null.
inline const char *dir() {
    static char path[64];
    if (path[0] == '\0') {
        if (std::freopen("/dev/null", "w", stdout) == nullptr) {
            std::abort();
        }
        std::snprintf(path, sizeof path, "%s/fuzz-XXXXXX",
                      access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
        if (mkdtemp(path) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        std::atexit([] {
            char command[96];
            std::snprintf(command, sizeof command, "rm -rf '%s'", path);
            std::system(command);
        });
    }
    return path;
}

// Replaces the file `name` of the scratch directory with the bytes given; returns its path.
inline std::string put(const char *name, std::string_view bytes) {
    std::string path = std::string(dir()) + "/" + name;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        std::perror(path.c_str());
        std::abort();
    }
    close(fd);
    return path;
}

inline std::string get(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Inputs holding a supplicant file and a profile: a 16-bit little-endian length, that
// many bytes of supplicant file (or what there is), then the profile.
struct Split {
    std::string_view supplicant;
    std::string_view profile;
};

inline Split split(const uint8_t *data, std::size_t size) {
    if (size < 2) {
        return {};
    }
    const std::string_view rest(reinterpret_cast<const char *>(data) + 2, size - 2);
    const std::size_t length = std::min<std::size_t>(data[0] | data[1] << 8, rest.size());
    return {rest.substr(0, length), rest.substr(length)};
}

} // namespace scratch

// A failed property: says which and aborts, so libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "property failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);      \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
