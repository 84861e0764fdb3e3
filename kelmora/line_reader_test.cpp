#include "line_reader.h"

#include "rows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct LineReader : testing::TestWithParam<NamedRow> {};

TEST_P(LineReader, HandsOutCleanedLines) {
    std::string text = row_text(GetParam().row, "text");
    FILE *stream = fmemopen(text.data(), text.size(), "r");
    ASSERT_NE(stream, nullptr);
    char buf[256];
    char *line = buf;
    std::vector<std::string> got;
    for (;;) {
        char *start = read_config_line(buf, sizeof buf, stream, &line);
        EXPECT_EQ(start, line); // returned and stored alike
        if (start == nullptr) {
            break;
        }
        got.emplace_back(start);
    }
    EXPECT_EQ(got, row_texts(GetParam().row, "line"));
    std::fclose(stream);
}

INSTANTIATE_TEST_SUITE_P(Cases, LineReader,
                         testing::ValuesIn(load_named_rows(TEST_ROWS_DIR "/line_reader_test.rows",
                                                           {"name", "text", "line"})),
                         row_name);

} // namespace
