#include "number.h"

#include "rows.h"

#include <gtest/gtest.h>

namespace {

TEST(ReadHex32, MatchesThirtyTwoBitStrtoul) {
    for (const Row &row :
         load_rows(TEST_ROWS_DIR "/number_test.hex32.rows", {"text", "value", "whole"})) {
        const std::string text = row_text(row, "text");
        const auto value = static_cast<uint32_t>(row_number(row, "value", 0, UINT32_MAX));
        bool whole = false;
        EXPECT_EQ(read_hex32(text.c_str(), &whole), value) << '"' << text << '"';
        EXPECT_EQ(whole, !row_texts(row, "whole").empty()) << '"' << text << '"';
    }
}

TEST(ReadSize, SaturatingSignedDecimal) {
    for (const Row &row : load_rows(TEST_ROWS_DIR "/number_test.size.rows", {"text", "value"})) {
        const std::string text = row_text(row, "text");
        const auto value = static_cast<int32_t>(row_number(row, "value", INT32_MIN, INT32_MAX));
        EXPECT_EQ(read_size(text.c_str()), value) << '"' << text << '"';
    }
}

} // namespace
