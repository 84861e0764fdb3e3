// Readers for the command-line numbers. They behave the same on every host, as the C
// library does on the 32-bit device; reading never fails, and a caller that must not
// act on a malformed word asks whether it was whole.
#pragma once

#include <cstdint>

// ADDRESS and VALUE: like a 32-bit strtoul with base 16. Leading blanks, one sign and
// "0x" are accepted; no digits reads as 0; beyond 32 bits reads as 0xffffffff; a
// negative number wraps modulo 2^32. *whole, when asked, tells whether the word is one
// such number and nothing else: at least one digit, nothing after it, at most 32 bits.
uint32_t read_hex32(const char *text, bool *whole = nullptr);

// SIZE: a signed decimal like a 32-bit strtol with base 10, saturating at the bounds.
int32_t read_size(const char *text);
