// physmem's dump layout printed item by item with printf's own formats: the reference
// that its hand-made text is checked against, and the benchmark's baseline.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// count items of width bytes (1, 2 or 4) at address, each given by its value, without
// the dump's final line feed; first: values[0] starts the dump.
inline std::string printf_dump(const uint32_t *values, size_t count, uint32_t address,
                               unsigned width = 4, bool first = true) {
    std::string text;
    char piece[32];
    for (size_t i = 0; i < count; ++i, address += width) {
        if ((first && i == 0) || address % 16 == 0) {
            snprintf(piece, sizeof piece, first && i == 0 ? "0x%08x:" : "\n0x%08x:", address);
            text += piece;
        }
        snprintf(piece, sizeof piece, "\t0x%*x", static_cast<int>(2 * width), values[i]);
        text += piece;
    }
    return text;
}
