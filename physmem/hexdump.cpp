#include "hexdump.h"

#include <cstring>

namespace {

constexpr char kDigits[] = "0123456789abcdef";

// The room left in the text always fits one more line.
constexpr size_t kLineMax = 1 + kAddressTextSize + 4 * kWordTextSize;

// Eight lower-case hex digits, zero-padded.
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

void dump_start(Dump *dump, FILE *out, uint32_t address) {
    dump->out = out;
    dump->first_address = address;
    dump->word_count = 0;
    dump->used = 0;
}

uint32_t dump_add(Dump *dump, const volatile uint32_t *words, uint32_t count) {
    // Kept in locals: the text written through p could alias any member.
    char *const end = dump->text + sizeof dump->text;
    char *p = dump->text + dump->used;
    const uint32_t before = dump->word_count;
    uint32_t address = dump->first_address + 4 * before;
    uint32_t i = 0;
    for (; i < count && static_cast<size_t>(end - p) >= kLineMax; ++i, address += 4) {
        const uint32_t value = words[i];
        if (before + i == 0) {
            p = put_address(p, address);
        } else if (address % 16 == 0) {
            *p++ = '\n';
            p = put_address(p, address);
        }
        p = put_word(p, value);
        dump->used = static_cast<size_t>(p - dump->text);
        dump->word_count = before + i + 1;
        // Stored now, not after the next load, whatever the compiler would reorder.
        __atomic_signal_fence(__ATOMIC_SEQ_CST);
    }
    return i;
}

int dump_write(Dump *dump) {
    const size_t n = dump->used;
    dump->used = 0;
    return fwrite(dump->text, 1, n, dump->out) == n ? 0 : -1;
}

int dump_finish(Dump *dump) {
    dump->text[dump->used++] = '\n';
    if (dump_write(dump) != 0) {
        return -1;
    }
    return fflush(dump->out) == 0 ? 0 : -1;
}
