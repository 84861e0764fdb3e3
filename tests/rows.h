// Unit-test cases kept as data. A rows file holds rows, each a block of `key: value` lines,
// the blocks apart by blank lines; a line starting with '#' is a comment. A value is text
// with the escapes \n \t \r \v \f \" \\ and \xNN (two hex digits), and \{N*C} for the
// character C N times. Blanks at either end of a value, and control characters anywhere,
// are written as escapes, so that an editor cannot change a case unseen.
//
// A file that cannot be read, holds no rows or has a malformed line ends the test program
// with the file and line: a case that cannot be read must not pass by being left out.
#pragma once

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

struct Row {
    std::string place; // file:line where the row starts
    std::vector<std::pair<std::string, std::string>> fields;
};

[[noreturn]] inline void rows_fail(const std::string &place, const std::string &what) {
    std::fprintf(stderr, "%s: %s\n", place.c_str(), what.c_str());
    std::exit(EXIT_FAILURE);
}

inline std::string rows_unescape(const std::string &raw, const std::string &place) {
    static const std::string kNames = "ntrvf\"\\", kChars = "\n\t\r\v\f\"\\";
    const auto hex = [&](size_t at) {
        return at < raw.size() && std::isxdigit(static_cast<unsigned char>(raw[at]));
    };
    std::string text;
    for (size_t i = 0; i < raw.size(); ++i) {
        int count = 0, used = 0;
        char ch = 0;
        if (raw[i] != '\\') {
            text += raw[i];
        } else if (i + 1 < raw.size() && kNames.find(raw[i + 1]) != std::string::npos) {
            text += kChars[kNames.find(raw[++i])];
        } else if (i + 1 < raw.size() && raw[i + 1] == 'x' && hex(i + 2) && hex(i + 3)) {
            text += static_cast<char>(std::strtol(raw.substr(i + 2, 2).c_str(), nullptr, 16));
            i += 3;
        } else if (std::sscanf(raw.c_str() + i, "\\{%4d*%c}%n", &count, &ch, &used) == 2 &&
                   used > 0 && count > 0) {
            text.append(static_cast<size_t>(count), ch);
            i += static_cast<size_t>(used) - 1;
        } else {
            rows_fail(place, "a bad escape");
        }
    }
    return text;
}

// Every row of the file at path, whose keys are all among keys.
inline std::vector<Row> load_rows(const char *path, std::initializer_list<std::string> keys) {
    std::ifstream in(path);
    std::vector<Row> rows;
    bool in_row = false;
    std::string line;
    for (int number = 1; in.is_open() && std::getline(in, line); ++number) {
        const std::string place = std::string(path) + ":" + std::to_string(number);
        const size_t colon = line.find(':');
        const std::string value = colon + 1 < line.size() ? line.substr(colon + 1) : "";
        if (line.empty() || line[0] == '#') {
            in_row = in_row && !line.empty();
            continue;
        }
        // `key: value`, or `key:` for an empty value, with the key one of keys.
        if (colon == std::string::npos ||
            std::find(keys.begin(), keys.end(), line.substr(0, colon)) == keys.end() ||
            (!value.empty() &&
             (value.size() < 2 || value[0] != ' ' || value[1] == ' ' || value.back() == ' ')) ||
            std::any_of(line.begin(), line.end(),
                        [](unsigned char c) { return std::iscntrl(c); })) {
            rows_fail(place, "not a `key: value` line of a known key, with blanks at the "
                             "value's ends and control characters as escapes");
        }
        if (!in_row) {
            rows.push_back({place, {}});
        }
        in_row = true;
        rows.back().fields.emplace_back(line.substr(0, colon),
                                        rows_unescape(value.empty() ? "" : value.substr(1), place));
    }
    if (!in.is_open() || in.bad() || rows.empty()) {
        rows_fail(path, rows.empty() && !in.bad() && in.is_open() ? "no rows" : "cannot be read");
    }
    return rows;
}

// Every value of key, in order.
inline std::vector<std::string> row_texts(const Row &row, const std::string &key) {
    std::vector<std::string> values;
    for (const auto &[name, value] : row.fields) {
        if (name == key) {
            values.push_back(value);
        }
    }
    return values;
}

// The one value of key.
inline std::string row_text(const Row &row, const std::string &key) {
    const std::vector<std::string> values = row_texts(row, key);
    if (values.size() != 1) {
        rows_fail(row.place, "the row needs one " + key);
    }
    return values[0];
}

// The one value of key as a C integer (decimal, or hex after 0x) from min to max.
inline long long row_number(const Row &row, const std::string &key, long long min, long long max) {
    const std::string text = row_text(row, key);
    char *end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 0);
    if (text.find_first_of("-0123456789") != 0 || *end != '\0' || errno != 0 || value < min ||
        value > max) {
        rows_fail(row.place, "bad number for " + key + ": " + text);
    }
    return value;
}

inline int row_int(const Row &row, const std::string &key) {
    return static_cast<int>(row_number(row, key, INT_MIN, INT_MAX));
}

// Every row of the file at path with its one `name`, for a table of GoogleTest cases
// (INSTANTIATE_TEST_SUITE_P(..., testing::ValuesIn(rows), row_name)): the name with each
// character that is not a letter or digit made '_', as GoogleTest wants its names.
struct NamedRow {
    std::string name;
    Row row;
};

inline std::vector<NamedRow> load_named_rows(const char *path,
                                             std::initializer_list<std::string> keys) {
    std::vector<NamedRow> named;
    for (Row &row : load_rows(path, keys)) {
        std::string name = row_text(row, "name");
        std::replace_if(
            name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c); }, '_');
        named.push_back({name, std::move(row)});
    }
    return named;
}

inline std::string row_name(const testing::TestParamInfo<NamedRow> &info) {
    return info.param.name;
}
