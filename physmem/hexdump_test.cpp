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

TEST(HexDump, WordAndAddressMatchPrintf) {
    for (uint32_t v : sample_words()) {
        char want[32];
        char got[32] = {};
        snprintf(want, sizeof want, "\t0x%8x", v);
        ASSERT_EQ(put_word(got, v), got + kWordTextSize);
        ASSERT_STREQ(got, want);
        memset(got, 0, sizeof got);
        snprintf(want, sizeof want, "0x%08x:", v);
        ASSERT_EQ(put_address(got, v), got + kAddressTextSize);
        ASSERT_STREQ(got, want);
    }
}

// The dump made from pieces of at most piece words, written whenever the text is full.
std::string dump_text(const uint32_t *words, uint32_t address, uint32_t count, uint32_t piece) {
    char *text = nullptr;
    size_t length = 0;
    FILE *out = open_memstream(&text, &length);
    static Dump dump;
    dump_start(&dump, out, address);
    for (uint32_t done = 0; done < count;) {
        const uint32_t taken = dump_add(&dump, words + done, std::min(piece, count - done));
        EXPECT_EQ(dump.word_count, done + taken);
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
    struct Range {
        uint32_t address, count;
    };
    std::vector<Range> ranges;
    for (const Row &row :
         load_rows(TEST_ROWS_DIR "/hexdump_test.ranges.rows", {"address", "count"})) {
        ranges.push_back({static_cast<uint32_t>(row_number(row, "address", 0, UINT32_MAX)),
                          static_cast<uint32_t>(row_number(row, "count", 0, words.size()))});
    }
    // Pieces of one word, of a page, and not cut at all.
    for (const auto &r : ranges) {
        for (uint32_t piece : {1u, 1024u, UINT32_MAX}) {
            EXPECT_EQ(dump_text(words.data(), r.address, r.count, piece),
                      printf_dump(words.data(), r.count, r.address))
                << std::hex << r.address << " count " << std::dec << r.count << " piece " << piece;
        }
    }
}

} // namespace
