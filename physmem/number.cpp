#include "number.h"

#include <algorithm>

namespace {

bool is_blank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Skips blanks and one sign; tells whether the sign was a minus.
const char *skip_sign(const char *p, bool *negative) {
    while (is_blank(*p)) {
        ++p;
    }
    *negative = *p == '-';
    if (*p == '-' || *p == '+') {
        ++p;
    }
    return p;
}

} // namespace

uint32_t read_hex32(const char *text, bool *whole) {
    bool negative = false;
    const char *p = skip_sign(text, &negative);
    // "0x" counts as a prefix only when a digit follows; otherwise the "0" is the number.
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && hex_digit(p[2]) >= 0) {
        p += 2;
    }
    const char *const digits = p;
    uint64_t value = 0;
    for (int d; (d = hex_digit(*p)) >= 0; ++p) {
        // Past 32 bits the digits are still walked, to find where the number ends.
        value = std::min<uint64_t>(value * 16 + static_cast<uint64_t>(d), uint64_t{UINT32_MAX} + 1);
    }
    if (whole != nullptr) {
        *whole = p != digits && *p == '\0' && value <= UINT32_MAX;
    }
    if (value > UINT32_MAX) {
        return UINT32_MAX; // strtoul's overflow result ignores the sign
    }
    auto result = static_cast<uint32_t>(value);
    return negative ? 0u - result : result;
}

int32_t read_size(const char *text) {
    bool negative = false;
    const char *p = skip_sign(text, &negative);
    // Accumulate the magnitude; past INT32_MAX + 1 the result is a bound either way.
    constexpr uint64_t kLimit = uint64_t{INT32_MAX} + 1;
    uint64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + static_cast<uint64_t>(*p - '0');
        if (magnitude > kLimit) {
            magnitude = kLimit;
        }
    }
    if (negative) {
        return magnitude >= kLimit ? INT32_MIN : -static_cast<int32_t>(magnitude);
    }
    return magnitude >= kLimit ? INT32_MAX : static_cast<int32_t>(magnitude);
}
