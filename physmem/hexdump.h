// The dump's text: "0x%08x:" before the first word, "\n0x%08x:" before each later word
// at a multiple of 16, "\t0x%8x" per word and a final line feed. Formatted by hand
// because printf per word is the slowest part of a large dump.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr size_t kAddressTextSize = 11; // "0x%08x:"
constexpr size_t kWordTextSize = 11;    // "\t0x%8x"

// Both write exactly the bytes printf would, without a terminating NUL, and return the
// position after them.
char *put_address(char *out, uint32_t address);
char *put_word(char *out, uint32_t value);

// A dump made in pieces. Each word is loaded once, as one volatile load, and after each
// the text and the count are stored before the next load: when a load faults and the
// fault handler jumps out of dump_add, the dump holds exactly the words before it.
struct Dump {
    FILE *out;
    uint32_t first_address; // a multiple of 4
    uint32_t word_count;    // words in so far
    size_t used;            // bytes of text not yet written
    char text[1 << 16];
};

void dump_start(Dump *dump, FILE *out, uint32_t address);

// Loads and formats the next words, at most count, until the text is full; returns how
// many it took (at least one when count is not 0 and the text was just written). Never
// calls the library, so a fault can be left by a jump.
uint32_t dump_add(Dump *dump, const volatile uint32_t *words, uint32_t count);

// Writes the text made so far. Returns 0, or -1 when the stream refused it.
int dump_write(Dump *dump);

// Writes the rest of the text and the final line feed, and flushes the stream. Returns
// 0, or -1 when the stream refused a write.
int dump_finish(Dump *dump);
