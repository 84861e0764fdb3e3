// Unit-test cases kept as data. A rows file holds rows, each a block of `key: value` lines,
// the blocks apart by blank lines; a line starting with '#' is a comment. A value is text
// with the escapes \n \t \r \v \f \" \\ and \xNN (two hex digits), and \{N*C} for the
// character C N times. Blanks at either end of a value, and control characters anywhere,
// are written as escapes, so that an editor cannot change a case unseen.
//
// A file that cannot be read, holds no rows or has a malformed line ends the test program
// with the file and line: a case that cannot be read must not pass by being left out.
#pragma once

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
    std::string key;
    std::string value;
    int line;
};

struct Row {
    std::string file;
    int line; // where the row starts
    std::vector<RowField> fields;
};

[[noreturn]] inline void rows_fail(const std::string &file, int line, const std::string &what) {
    if (line > 0) {
        std::fprintf(stderr, "%s:%d: %s\n", file.c_str(), line, what.c_str());
    } else {
        std::fprintf(stderr, "%s: %s\n", file.c_str(), what.c_str());
    }
    std::exit(EXIT_FAILURE);
}

inline int rows_hex_digit(char ch) {
    if (ch >= '0' && ch <= '9') {
        return ch - '0';
    }
    if (ch >= 'a' && ch <= 'f') {
        return ch - 'a' + 10;
    }
    if (ch >= 'A' && ch <= 'F') {
        return ch - 'A' + 10;
    }
    return -1;
}

// The text a value's escapes stand for.
inline std::string rows_unescape(const char *raw, const std::string &file, int line) {
    std::string text;
    for (const char *p = raw; *p != '\0'; ++p) {
        if (*p != '\\') {
            text += *p;
            continue;
        }
        ++p;
        switch (*p) {
        case 'n':
            text += '\n';
            break;
        case 't':
            text += '\t';
            break;
        case 'r':
            text += '\r';
            break;
        case 'v':
            text += '\v';
            break;
        case 'f':
            text += '\f';
            break;
        case '"':
        case '\\':
            text += *p;
            break;
        case 'x': {
            const int high = rows_hex_digit(p[1]);
            const int low = high < 0 ? -1 : rows_hex_digit(p[2]);
            if (low < 0) {
                rows_fail(file, line, "\\x needs two hex digits");
            }
            text += static_cast<char>(high * 16 + low);
            p += 2;
            break;
        }
        case '{': {
            char *end = nullptr;
            errno = 0;
            const long count = std::strtol(p + 1, &end, 10);
            if (end == p + 1 || errno != 0 || count < 1 || count > 100000 || end[0] != '*' ||
                end[1] == '\0' || end[2] != '}') {
                rows_fail(file, line, "a repeat is written \\{N*C}");
            }
            text.append(static_cast<size_t>(count), end[1]);
            p = end + 2;
            break;
        }
        default:
            rows_fail(file, line, "unknown escape");
        }
    }
    return text;
}

// Every row of the file at path.
inline std::vector<Row> load_rows(const char *path) {
    FILE *in = std::fopen(path, "r");
    if (in == nullptr) {
        rows_fail(path, 0, std::strerror(errno));
    }
    std::vector<Row> rows;
    bool in_row = false;
    char *buf = nullptr;
    size_t size = 0;
    int number = 0;
    errno = 0;
    for (ssize_t length; (length = getline(&buf, &size, in)) >= 0;) {
        ++number;
        std::string line(buf, static_cast<size_t>(length));
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
        }
        if (line.empty()) {
            in_row = false;
            continue;
        }
        if (line[0] == '#') {
            continue;
        }
        for (const char ch : line) {
            if (static_cast<unsigned char>(ch) < ' ' || ch == '\x7f') {
                rows_fail(path, number, "a control character, write it as an escape");
            }
        }
        const size_t colon = line.find(':');
        const size_t key_end = line.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_");
        if (colon == 0 || colon == std::string::npos || key_end != colon) {
            rows_fail(path, number, "not a `key: value` line");
        }
        std::string raw = line.substr(colon + 1);
        if (!raw.empty()) {
            if (raw[0] != ' ') {
                rows_fail(path, number, "a key ends the line or is followed by ': ' and the value");
            }
            raw.erase(0, 1);
            if (raw.empty() || raw.front() == ' ' || raw.back() == ' ') {
                rows_fail(path, number, "a blank at either end of a value, write it as \\x20");
            }
        }
        if (!in_row) {
            rows.push_back({path, number, {}});
            in_row = true;
        }
        rows.back().fields.push_back(
            {line.substr(0, colon), rows_unescape(raw.c_str(), path, number), number});
    }
    const int error = std::ferror(in) != 0 ? errno : 0;
    std::free(buf);
    std::fclose(in);
    if (error != 0) {
        rows_fail(path, 0, std::strerror(error));
    }
    if (rows.empty()) {
        rows_fail(path, 0, "no rows");
    }
    return rows;
}

// Fails unless every key of the row is one of keys, so a misspelt key is not left unread.
inline void row_keys(const Row &row, std::initializer_list<const char *> keys) {
    for (const RowField &field : row.fields) {
        bool known = false;
        for (const char *key : keys) {
            known = known || field.key == key;
        }
        if (!known) {
            rows_fail(row.file, field.line, "unknown key " + field.key);
        }
    }
}

// Every value of key, in order.
inline std::vector<std::string> row_texts(const Row &row, const char *key) {
    std::vector<std::string> values;
    for (const RowField &field : row.fields) {
        if (field.key == key) {
            values.push_back(field.value);
        }
    }
    return values;
}

// The one value of key.
inline std::string row_text(const Row &row, const char *key) {
    std::vector<std::string> values = row_texts(row, key);
    if (values.size() != 1) {
        rows_fail(row.file, row.line, std::string("the row needs one ") + key);
    }
    return values[0];
}

// The one value of key as a C integer (decimal, or hex after 0x) from min to max.
inline long long row_number(const Row &row, const char *key, long long min, long long max) {
    const std::string text = row_text(row, key);
    char *end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 0);
    const bool starts_well =
        !text.empty() && (text[0] == '-' || std::isdigit(static_cast<unsigned char>(text[0])) != 0);
    if (!starts_well || *end != '\0' || errno != 0 || value < min || value > max) {
        rows_fail(row.file, row.line, std::string("bad number for ") + key + ": " + text);
    }
    return value;
}

inline int row_int(const Row &row, const char *key) {
    return static_cast<int>(row_number(row, key, INT_MIN, INT_MAX));
}
