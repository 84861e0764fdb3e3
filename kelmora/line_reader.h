// Hands out the meaningful lines of a text configuration file.
#pragma once

#include <cstdio>

// Where a reader stands in its file, in physical lines.
struct LineCount {
    int line;  // of the line returned last, from 1
    int ended; // line ends read so far
};

// Reads the next line that is neither blank nor a comment into buf (at most size-1
// characters of a physical line at a time), cuts a trailing comment and trailing white
// space in place, and returns its start, also stored in *line. Returns nullptr (and
// stores it) at end of file or on a read error; the caller tells them apart by ferror.
// With count, the line's place is counted there.
char *read_config_line(char *buf, int size, FILE *stream, char **line, LineCount *count = nullptr);
