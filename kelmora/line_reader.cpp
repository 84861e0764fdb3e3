#include "line_reader.h"

#include <cstring>

namespace {

bool is_leading_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

bool is_trailing_blank(char c) {
    return c == ' ' || c == '\n' || c == '\t' || c == '\r';
}

} // namespace

char *read_config_line(char *buf, int size, FILE *stream, char **line, LineCount *count) {
    for (;;) {
        if (std::fgets(buf, size, stream) == nullptr) {
            *line = nullptr;
            return nullptr;
        }
        buf[size - 1] = '\0';
        if (count != nullptr) {
            // A piece of a longer line belongs to the line it is cut from.
            count->line = count->ended + 1;
            count->ended += std::strchr(buf, '\n') != nullptr ? 1 : 0;
        }

        char *start = buf;
        while (is_leading_blank(*start)) {
            ++start;
        }
        if (*start == '\n' || *start == '#' || *start == '\0') {
            continue;
        }

        // A "#" before the closing quote of a quoted value is part of the value.
        const char *first_quote = std::strchr(start, '"');
        char *last_quote = std::strrchr(start, '"');
        char *hash = (first_quote != nullptr && last_quote != first_quote)
                         ? std::strchr(last_quote, '#')
                         : std::strchr(start, '#');

        char *pos;
        if (hash != nullptr) {
            *hash = '\0';
            pos = hash - 1;
        } else {
            pos = start + std::strlen(start) - 1;
        }
        while (pos > start && is_trailing_blank(*pos)) {
            *pos-- = '\0';
        }
        *line = start;
        return start;
    }
}
