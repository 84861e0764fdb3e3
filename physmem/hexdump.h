// The dump's text: "0x%08x:" before the first item, "\n0x%08x:" before each later item
// at a multiple of 16, "\t0x%8x" per word ("\t0x%2x" per byte, "\t0x%4x" per halfword)
// and a final line feed. Formatted by hand because printf per item is the slowest part
// of a large dump.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr size_t kAddressTextSize = 11; // "0x%08x:"

// Both write exactly the bytes printf would, without a terminating NUL, and return the
// position after them. put_item prints value with width 1, 2 or 4 bytes, as "\t0x%*x"
// with twice width as the field width.
char *put_address(char *out, uint32_t address);
char *put_item(char *out, uint32_t value, unsigned width);

// A dump made in pieces. Each item is loaded once, as one volatile load of its width,
// and after each the text and the count are stored before the next load: when a load
// faults and the fault handler jumps out of dump_add, the dump holds exactly the items
// before it.
struct Dump {
    FILE *out;
    uint32_t first_address; // a multiple of width
    unsigned width;         // bytes per item: 1, 2 or 4
    uint32_t item_count;    // items in so far
    size_t used;            // bytes of text not yet written
    char text[1 << 16];
};

void dump_start(Dump *dump, FILE *out, uint32_t address, unsigned width);

// Loads and formats the next items of the dump's width, at most count, from memory at
// items, until the text is full; returns how many it took (at least one when count is
// not 0 and the text was just written). Never calls the library, so a fault can be left
// by a jump.
uint32_t dump_add(Dump *dump, const volatile void *items, uint32_t count);

// Writes the text made so far. Returns 0, or -1 when the stream refused it.
int dump_write(Dump *dump);

// Writes the rest of the text and the final line feed, and flushes the stream. Returns
// 0, or -1 when the stream refused a write.
int dump_finish(Dump *dump);
