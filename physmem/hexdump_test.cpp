#include "hexdump.h"

#include "printf_dump.h"
#include "rows.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

// Random words, with each digit count equally likely, and the boundaries.
std::vector<uint32_t> sample_words() {
    std::vector<uint32_t> words;
    for (const Row &row : load_rows(TEST_ROWS_DIR "/hexdump_test.words.rows", {"word"})) {
        words.push_back(static_cast<uint32_t>(row_number(row, "word", 0, UINT32_MAX)));
    }
    std::mt19937 random(20261207);
    for (int i = 0; i < 200000; ++i) {
        words.push_back(static_cast<uint32_t>(random()) >> (random() % 32));
    }
    return words;
}

TEST(HexDump, ItemAndAddressMatchPrintf) {
    for (uint32_t v : sample_words()) {
        char want[32];
        char got[32] = {};
        for (unsigned width : {1u, 2u, 4u}) {
            const uint32_t item = v & static_cast<uint32_t>((uint64_t{1} << (8 * width)) - 1);
            snprintf(want, sizeof want, "\t0x%*x", static_cast<int>(2 * width), item);
            ASSERT_EQ(put_item(got, item, width), got + 3 + 2 * width);
            ASSERT_STREQ(got, want);
        }
        memset(got, 0, sizeof got);
        snprintf(want, sizeof want, "0x%08x:", v);
        ASSERT_EQ(put_address(got, v), got + kAddressTextSize);
        ASSERT_STREQ(got, want);
    }
}

// The dump of count items of width bytes, made from pieces of at most piece items,
// written whenever the text is full.
std::string dump_text(const char *items, uint32_t address, uint32_t count, uint32_t piece,
                      unsigned width) {
    char *text = nullptr;
    size_t length = 0;
    FILE *out = open_memstream(&text, &length);
    static Dump dump;
    dump_start(&dump, out, address, width);
    for (uint32_t done = 0; done < count;) {
        const uint32_t taken = dump_add(&dump, items + width * done, std::min(piece, count - done));
        EXPECT_EQ(dump.item_count, done + taken);
        done += taken;
        if (taken == 0) {
            EXPECT_EQ(dump_write(&dump), 0);
        }
    }
    EXPECT_EQ(dump_finish(&dump), 0);
    fclose(out);
    std::string result(text, length);
    free(text);
    return result;
}

TEST(HexDump, LayoutMatchesPrintf) {
    std::vector<uint32_t> words = sample_words();
    const auto *bytes = reinterpret_cast<const char *>(words.data());
    const std::vector<Row> ranges =
        load_rows(TEST_ROWS_DIR "/hexdump_test.ranges.rows", {"address", "count"});
    // Each width, the narrower ones starting off the range's word; pieces of one item,
    // of a page, and not cut at all.
    for (unsigned width : {1u, 2u, 4u}) {
        for (const Row &row : ranges) {
            const auto count = static_cast<uint32_t>(row_number(row, "count", 0, words.size()));
            const auto address =
                static_cast<uint32_t>(row_number(row, "address", 0, UINT32_MAX) + 4 - width);
            std::vector<uint32_t> values(count);
            for (uint32_t i = 0; i < count; ++i) {
                memcpy(&values[i], bytes + width * i, width); // little-endian hosts
            }
            for (uint32_t piece : {1u, 1024u, UINT32_MAX}) {
                EXPECT_EQ(dump_text(bytes, address, count, piece, width),
                          printf_dump(values.data(), count, address, width) + "\n")
                    << std::hex << address << " count " << std::dec << count << " piece " << piece
                    << " width " << width;
            }
        }
    }
}

} // namespace
