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

// Loads count words once each, in increasing order, and writes their dump; address is
// that of words[0], a multiple of 4. Returns 0, or -1 when the stream refused a write.
int dump_words(FILE *out, const volatile uint32_t *words, uint32_t address, uint32_t count);
