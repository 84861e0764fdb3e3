#include "line_reader.h"

#include "case_name.h"
#include "rows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Case {
    std::string name;
    std::string text;               // the file's content
    std::vector<std::string> lines; // every line handed out, in order
};

std::vector<Case> load_cases() {
    std::vector<Case> cases;
    for (const Row &row :
         load_rows(TEST_ROWS_DIR "/line_reader_test.rows", {"name", "text", "line"})) {
        cases.push_back({row_text(row, "name"), row_text(row, "text"), row_texts(row, "line")});
    }
    return cases;
}

struct LineReader : testing::TestWithParam<Case> {};

TEST_P(LineReader, HandsOutCleanedLines) {
    const Case &c = GetParam();
    FILE *stream = fmemopen(const_cast<char *>(c.text.data()), c.text.size(), "r");
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
    EXPECT_EQ(got, c.lines);
    std::fclose(stream);
}

INSTANTIATE_TEST_SUITE_P(Cases, LineReader, testing::ValuesIn(load_cases()), CaseName());

} // namespace
