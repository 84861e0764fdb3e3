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
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

struct RowField {
    std::string key, value;
    int line;
};

struct Row {
    std::string file;
    int line; // where the row starts
    std::vector<RowField> fields;
};

[[noreturn]] inline void rows_fail(const std::string &file, int line, const std::string &what) {
    const std::string place = line > 0 ? file + ":" + std::to_string(line) : file;
    std::fprintf(stderr, "%s: %s\n", place.c_str(), what.c_str());
    std::exit(EXIT_FAILURE);
}

inline std::string rows_unescape(const std::string &raw, const std::string &file, int line) {
    static const std::string kNames = "ntrvf\"\\", kChars = "\n\t\r\v\f\"\\";
    std::string text;
    for (size_t i = 0; i < raw.size(); ++i) {
        const size_t simple = i + 1 < raw.size() ? kNames.find(raw[i + 1]) : std::string::npos;
        const auto hex = [&](size_t at) {
            return at < raw.size() && std::isxdigit(static_cast<unsigned char>(raw[at]));
        };
        int count = 0, used = 0;
        char ch = 0;
        if (raw[i] != '\\') {
            text += raw[i];
        } else if (simple != std::string::npos) {
            text += kChars[simple];
            i += 1;
        } else if (raw[i + 1] == 'x' && hex(i + 2) && hex(i + 3)) {
            text += static_cast<char>(std::strtol(raw.substr(i + 2, 2).c_str(), nullptr, 16));
            i += 3;
        } else if (std::sscanf(raw.c_str() + i, "\\{%4d*%c}%n", &count, &ch, &used) == 2 &&
                   used > 0 && count > 0) {
            text.append(static_cast<size_t>(count), ch);
            i += static_cast<size_t>(used) - 1;
        } else {
            rows_fail(file, line, "a bad escape");
        }
    }
    return text;
}

// `key: value`, or `key:` for an empty value, with the key one of keys.
inline bool rows_well_formed(const std::string &line, size_t colon,
                             std::initializer_list<std::string> keys) {
    const std::string value = colon < line.size() ? line.substr(colon + 1) : "";
    return colon != std::string::npos &&
           std::find(keys.begin(), keys.end(), line.substr(0, colon)) != keys.end() &&
           (value.empty() ||
            (value.size() > 1 && value[0] == ' ' && value[1] != ' ' && value.back() != ' ')) &&
           std::none_of(line.begin(), line.end(),
                        [](unsigned char ch) { return std::iscntrl(ch); });
}

// Every row of the file at path, whose keys are all among keys.
inline std::vector<Row> load_rows(const char *path, std::initializer_list<std::string> keys) {
    FILE *in = std::fopen(path, "r");
    if (in == nullptr) {
        rows_fail(path, 0, std::strerror(errno));
    }
    std::vector<Row> rows;
    char *buf = nullptr;
    size_t size = 0;
    bool in_row = false;
    errno = 0;
    ssize_t length = 0;
    for (int number = 1; (length = getline(&buf, &size, in)) > 0; ++number) {
        const std::string line(buf, static_cast<size_t>(length) - (buf[length - 1] == '\n'));
        const size_t colon = line.find(':');
        if (line.empty() || line[0] == '#') {
            in_row = in_row && !line.empty();
            continue;
        }
        if (!rows_well_formed(line, colon, keys)) {
            rows_fail(path, number,
                      "not a `key: value` line of a known key, with blanks at the "
                      "value's ends and control characters as escapes");
        }
        if (!in_row) {
            rows.push_back({path, number, {}});
        }
        in_row = true;
        const std::string raw = colon + 2 < line.size() ? line.substr(colon + 2) : "";
        rows.back().fields.push_back(
            {line.substr(0, colon), rows_unescape(raw, path, number), number});
    }
    const int error = errno;
    const bool failed = std::ferror(in) != 0;
    std::free(buf);
    std::fclose(in);
    if (failed || rows.empty()) {
        rows_fail(path, 0, failed ? std::strerror(error) : "no rows");
    }
    return rows;
}

// Every value of key, in order.
inline std::vector<std::string> row_texts(const Row &row, const std::string &key) {
    std::vector<std::string> values;
    for (const RowField &field : row.fields) {
        if (field.key == key) {
            values.push_back(field.value);
        }
    }
    return values;
}

// The one value of key.
inline std::string row_text(const Row &row, const std::string &key) {
    const std::vector<std::string> values = row_texts(row, key);
    if (values.size() != 1) {
        rows_fail(row.file, row.line, "the row needs one " + key);
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
        rows_fail(row.file, row.line, "bad number for " + key + ": " + text);
    }
    return value;
}

inline int row_int(const Row &row, const std::string &key) {
    return static_cast<int>(row_number(row, key, INT_MIN, INT_MAX));
}
