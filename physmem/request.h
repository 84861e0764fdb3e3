// What a physmem command line asks for, checked before anything is mapped.
#pragma once

#include <cstdint>

enum class RequestKind {
    usage,         // -h
    bad_option,    // unknown option or missing option argument
    too_few,       // not enough words
    negative_size, // SIZE reads as negative
    past_end,      // the range runs past 4 GiB
    misaligned,    // write address not a multiple of the width
    misplaced,     // a write whose options are not the first words, each alone
    bad_address,   // a write's ADDRESS not one whole 32-bit hex number
    bad_value,     // a write's VALUE not one whole 32-bit hex number
    too_wide,      // a write's VALUE wider than the width
    two_widths,    // both -b and -s
    read,
    write,
};

// The pages mem_read maps and the items it shows; the items lie inside the pages.
struct ReadPlan {
    uint32_t page_start;
    uint32_t length; // a multiple of the page size; 0 when nothing is covered
    uint32_t first_item;
    uint32_t item_count;
};

struct Request {
    RequestKind kind;
    int option;       // bad_option: the letter to name
    unsigned width;   // bytes per access: 1 (-b), 2 (-s) or 4
    uint32_t address; // read and write
    uint32_t value;   // write
    uint32_t size;    // read: the byte count, checked against the end of 4 GiB
};

inline constexpr uint32_t kPageSize = 4096; // fixed: the device's page, not the host's

// Parses with getopt_long (GNU argument permutation on every C library), then re-reads
// the words by position from the permuted argv, as the tool always has. A write is
// stricter: it must be asked for plainly, "[-b|-s] -w ADDRESS VALUE" with whole numbers.
Request parse_request(int argc, char **argv);

// Byte count from address, which must not run past 4 GiB, in items of width bytes.
ReadPlan plan_read(uint32_t address, uint32_t bytes, unsigned width);
