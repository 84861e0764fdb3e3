// physmem's dump layout printed item by item with printf's own formats: the reference
// that its hand-made text is checked against, and the benchmark's baseline.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// Prints count items of width bytes (1, 2 or 4) at address, each given by its value;
// first: values[0] starts the dump. The caller ends the dump with a line feed.
inline void printf_items(FILE *out, const uint32_t *values, size_t count, uint32_t address,
                         unsigned width, bool first) {
    for (size_t i = 0; i < count; ++i, address += width) {
        if (first && i == 0) {
            std::fprintf(out, "0x%08x:", address);
        } else if (address % 16 == 0) {
            std::fprintf(out, "\n0x%08x:", address);
        }
        std::fprintf(out, "\t0x%*x", static_cast<int>(2 * width), values[i]);
    }
}

// A whole dump as text.
inline std::string printf_dump(const uint32_t *values, size_t count, uint32_t address,
                               unsigned width = 4) {
    char *text = nullptr;
    size_t length = 0;
    FILE *out = open_memstream(&text, &length);
    if (out == nullptr) {
        std::abort();
    }
    printf_items(out, values, count, address, width, true);
    std::fputc('\n', out);
    std::fclose(out);
    std::string result(text, length);
    std::free(text);
    return result;
}
