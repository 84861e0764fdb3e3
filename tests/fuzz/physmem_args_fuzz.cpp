// physmem's command-line numbers read as the C library's strtoul/strtol would on the
// 32-bit device, and its dump, however it is fed and of whatever width, is byte for byte
// what printf would print. (The command line as a whole has a target of its own.)
#include "hexdump.h"
#include "number.h"
#include "printf_dump.h"
#include "scratch.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool is_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The magnitude after blanks and one sign, read by the host's 64-bit strtoull; a second
// blank or sign ends the number before it starts. *whole: digits up to the end of text,
// of a 32-bit number.
uint64_t magnitude(const char *text, int base, bool *negative, bool *overflow, bool *whole) {
    while (is_space(*text)) {
        ++text;
    }
    *negative = *text == '-';
    if (*text == '-' || *text == '+') {
        ++text;
    }
    char *end = const_cast<char *>(text);
    errno = 0;
    const bool digits_next = !is_space(*text) && *text != '-' && *text != '+';
    const unsigned long long value = digits_next ? std::strtoull(text, &end, base) : 0;
    *overflow = errno == ERANGE;
    *whole = end != text && *end == '\0' && !*overflow && value <= UINT32_MAX;
    return value;
}

uint32_t strtoul32(const char *text, bool *whole) {
    bool negative, overflow;
    const uint64_t value = magnitude(text, 16, &negative, &overflow, whole);
    if (overflow || value > UINT32_MAX) {
        return UINT32_MAX;
    }
    return negative ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
}

int32_t strtol32(const char *text) {
    bool negative, overflow, whole;
    const uint64_t value = magnitude(text, 10, &negative, &overflow, &whole);
    if (negative) {
        return overflow || value >= uint64_t{1} << 31 ? INT32_MIN : -static_cast<int32_t>(value);
    }
    return overflow || value > INT32_MAX ? INT32_MAX : static_cast<int32_t>(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const std::string word(reinterpret_cast<const char *>(data), size); // up to a NUL
    bool whole = false, whole_too = false;
    FUZZ_CHECK(read_hex32(word.c_str(), &whole) == strtoul32(word.c_str(), &whole_too));
    FUZZ_CHECK(whole == whole_too);
    FUZZ_CHECK(read_size(word.c_str()) == strtol32(word.c_str()));
    if (size < 4) {
        return 0;
    }

    // The input's bytes as up to 64 items, at an address from its first four, whose two
    // lowest bits choose the width.
    const uint32_t raw = data[0] | data[1] << 8 | data[2] << 16 | uint32_t{data[3]} << 24;
    const unsigned width = raw % 4 == 1 ? 1 : raw % 4 == 2 ? 2 : 4;
    const uint32_t address = raw & ~(width - 1);
    const uint64_t room = ((uint64_t{1} << 32) - address) / width; // items below 4 GiB
    const auto count =
        static_cast<std::size_t>(std::min<uint64_t>(std::min<std::size_t>(size / width, 64), room));
    std::vector<char> items(width * count);
    std::vector<uint32_t> values(count); // little-endian hosts
    for (std::size_t i = 0; i < count; ++i) {
        std::memcpy(&items[width * i], data + (width * i) % (size - size % width), width);
        std::memcpy(&values[i], &items[width * i], width);
    }
    char *text = nullptr;
    std::size_t length = 0;
    FILE *out = open_memstream(&text, &length);
    FUZZ_CHECK(out != nullptr);
    // Made from two pieces, cut where the input's fifth byte says.
    static Dump dump;
    const auto cut = static_cast<uint32_t>(size > 4 ? data[4] % (count + 1) : 0);
    dump_start(&dump, out, address, width);
    FUZZ_CHECK(dump_add(&dump, items.data(), cut) == cut);
    FUZZ_CHECK(dump_add(&dump, items.data() + width * cut, static_cast<uint32_t>(count) - cut) ==
               count - cut);
    FUZZ_CHECK(dump_finish(&dump) == 0);
    std::fclose(out);
    FUZZ_CHECK(std::string(text, length) ==
               printf_dump(values.data(), count, address, width) + "\n");
    std::free(text);
    return 0;
}
