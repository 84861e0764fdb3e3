// The line reader hands out only cleaned, meaningful lines taken from the input.
#include "line_reader.h"
#include "scratch.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    FILE *stream = fmemopen(const_cast<uint8_t *>(data), size, "r");
    FUZZ_CHECK(stream != nullptr);
    char buf[256];
    char *line = buf;
    while (read_config_line(buf, sizeof buf, stream, &line) != nullptr) {
        FUZZ_CHECK(line >= buf && line < buf + sizeof buf);
        const std::size_t length = std::strlen(line);
        FUZZ_CHECK(length >= 1 && line + length < buf + sizeof buf);
        FUZZ_CHECK(std::strchr(" \t\r\n#", line[0]) == nullptr);
        FUZZ_CHECK(std::strchr(" \t\r\n", line[length - 1]) == nullptr);
        FUZZ_CHECK(std::strchr(line, '\n') == nullptr);
        // A "#" stays only inside a quoted value.
        const char *hash = std::strchr(line, '#');
        FUZZ_CHECK(hash == nullptr || std::strchr(hash, '"') != nullptr);
        FUZZ_CHECK(memmem(data, size, line, length) != nullptr);
    }
    FUZZ_CHECK(line == nullptr);
    std::fclose(stream);
    return 0;
}
