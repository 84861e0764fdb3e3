#include "hexdump.h"

#include <cstring>

namespace {

constexpr char kDigits[] = "0123456789abcdef";

// Eight lower-case hex kDigits, zero-padded.
void put_hex8(char *out, uint32_t value) {
    for (int i = 7; i >= 0; --i) {
        out[i] = kDigits[value & 0xf];
        value >>= 4;
    }
}

} // namespace

char *put_address(char *out, uint32_t address) {
    out[0] = '0';
    out[1] = 'x';
    put_hex8(out + 2, address);
    out[10] = ':';
    return out + kAddressTextSize;
}

char *put_word(char *out, uint32_t value) {
    out[0] = '\t';
    out[1] = '0';
    out[2] = 'x';
    put_hex8(out + 3, value);
    // %8x pads with blanks: every leading zero but the last digit becomes a blank.
    int blanks = value == 0 ? 7 : __builtin_clz(value) / 4;
    memset(out + 3, ' ', static_cast<size_t>(blanks));
    return out + kWordTextSize;
}

int dump_words(FILE *out, const volatile uint32_t *words, uint32_t address, uint32_t count) {
    // Filled and written in big pieces; the room left always fits one more line.
    char buffer[1 << 16];
    constexpr size_t kLineMax = 1 + kAddressTextSize + 4 * kWordTextSize;
    char *p = buffer;
    for (uint32_t i = 0; i < count; ++i, address += 4) {
        if (i == 0) {
            p = put_address(p, address);
        } else if (address % 16 == 0) {
            *p++ = '\n';
            p = put_address(p, address);
        }
        p = put_word(p, words[i]);
        if (static_cast<size_t>(buffer + sizeof buffer - p) < kLineMax) {
            size_t n = static_cast<size_t>(p - buffer);
            if (fwrite(buffer, 1, n, out) != n) {
                return -1;
            }
            p = buffer;
        }
    }
    *p++ = '\n';
    size_t n = static_cast<size_t>(p - buffer);
    return fwrite(buffer, 1, n, out) == n ? 0 : -1;
}
