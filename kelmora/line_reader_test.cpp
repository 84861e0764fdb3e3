#include "line_reader.h"

#include "case_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Case {
    const char *name;
    std::string text;               // the file's content
    std::vector<std::string> lines; // every line handed out, in order
};

const std::vector<Case> kCases = {
    {"blank and comment lines skipped", "   # note\n\n\t\r\nkey=1\n", {"key=1"}},
    {"hash inside quotes stays", "psk=\"a#b\" # comment\n", {"psk=\"a#b\""}},
    {"unquoted hash cuts", "psk=ab#cd\n", {"psk=ab"}},
    {"single quote: first hash cuts", "ssid=\"ab#cd\n", {"ssid=\"ab"}},
    {"quoted word in comment stays", "a=1 # say \"hi\" now\n", {"a=1 # say \"hi\" now"}},
    {"hash after last quote cuts", "a=\"x\" # \"y\" # z\n", {"a=\"x\" # \"y\""}},
    {"trailing blanks and CRLF trimmed", "key=v  \t \r\n", {"key=v"}},
    {"only comments yields nothing", "# a\n  # b\n\n", {}},
    {"inner white space kept", "name   two words\n", {"name   two words"}},
    {"leading blanks dropped", " \t\rkey=v\n", {"key=v"}},
    {"no final line feed", "last", {"last"}},
    {"one character line", "x\n", {"x"}},
    {"comment right after one char", "x#y\n", {"x"}},
    {"vertical tab and form feed are ordinary", "\vk=\fv\n", {"\vk=\fv"}},
    {"long line in pieces of 255",
     std::string(300, 'a') + "\n",
     {std::string(255, 'a'), std::string(45, 'a')}},
    {"piece boundary leaves blanks to trim",
     std::string(254, 'b') + "  c\n",
     {std::string(254, 'b'), "c"}},
    {"closing brace with comment", "}  # end\n", {"}"}},
    {"closing brace with semicolon", "};\n", {"};"}},
};

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

INSTANTIATE_TEST_SUITE_P(Cases, LineReader, testing::ValuesIn(kCases), CaseName());

} // namespace
