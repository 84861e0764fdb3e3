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

// A dump fed in pieces as the words are loaded; the text does not depend on where the
// pieces end. It is written to the stream in big blocks.
struct Dump {
    FILE *out;
    uint32_t next_address; // of the next word; a multiple of 4
    uint32_t word_count;   // words added so far
    size_t used;           // bytes of text not yet written
    char text[1 << 16];
};

void dump_start(Dump *dump, FILE *out, uint32_t address);

// Adds the next count words. Returns 0, or -1 when the stream refused a write.
int dump_add(Dump *dump, const uint32_t *words, uint32_t count);

// Writes the rest of the text and the final line feed, and flushes the stream. Returns
// 0, or -1 when the stream refused a write.
int dump_finish(Dump *dump);
