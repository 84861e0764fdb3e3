#include "hexdump.h"

#include "access.h"

#include <cstring>

namespace {

constexpr char kDigits[] = "0123456789abcdef";

// The room left in the text always fits one more item with a new line before it, and
// the final line feed.
constexpr size_t kLineMax = 1 + kAddressTextSize + 4 * size_t{11};

// digits lower-case hex digits, zero-padded.
void put_hex(char *out, uint32_t value, unsigned digits) {
    for (unsigned i = digits; i-- > 0;) {
        out[i] = kDigits[value & 0xf];
        value >>= 4;
    }
}

inline char *put_value(char *out, uint32_t value, unsigned width) {
    const unsigned digits = 2 * width;
    out[0] = '\t';
    out[1] = '0';
    out[2] = 'x';
    put_hex(out + 3, value, digits);
    // %*x pads with blanks: every leading zero but the last digit becomes a blank.
    const unsigned significant = value == 0 ? 1 : (35 - __builtin_clz(value)) / 4;
    memset(out + 3, ' ', digits - significant);
    return out + 3 + digits;
}

// The items of one width, each loaded by the access of that width.
template <typename Item>
uint32_t add_items(Dump *dump, const volatile Item *items, uint32_t count) {
    // Kept in locals: the text written through p could alias any member.
    char *const end = dump->text + sizeof dump->text;
    char *p = dump->text + dump->used;
    const uint32_t before = dump->item_count;
    uint32_t address = dump->first_address + sizeof(Item) * before;
    uint32_t i = 0;
    for (; i < count && static_cast<size_t>(end - p) >= kLineMax; ++i, address += sizeof(Item)) {
        const uint32_t value = mem_load(items + i);
        if (before + i == 0) {
            p = put_address(p, address);
        } else if (address % 16 == 0) {
            *p++ = '\n';
            p = put_address(p, address);
        }
        p = put_value(p, value, sizeof(Item));
        dump->used = static_cast<size_t>(p - dump->text);
        dump->item_count = before + i + 1;
        // Stored now, not after the next load, whatever the compiler would reorder.
        __atomic_signal_fence(__ATOMIC_SEQ_CST);
    }
    return i;
}

} // namespace

char *put_address(char *out, uint32_t address) {
    out[0] = '0';
    out[1] = 'x';
    put_hex(out + 2, address, 8);
    out[10] = ':';
    return out + kAddressTextSize;
}

char *put_item(char *out, uint32_t value, unsigned width) {
    return put_value(out, value, width);
}

void dump_start(Dump *dump, FILE *out, uint32_t address, unsigned width) {
    dump->out = out;
    dump->first_address = address;
    dump->width = width;
    dump->item_count = 0;
    dump->used = 0;
}

uint32_t dump_add(Dump *dump, const volatile void *items, uint32_t count) {
    switch (dump->width) {
    case 1:
        return add_items(dump, static_cast<const volatile uint8_t *>(items), count);
    case 2:
        return add_items(dump, static_cast<const volatile uint16_t *>(items), count);
    default:
        return add_items(dump, static_cast<const volatile uint32_t *>(items), count);
    }
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
