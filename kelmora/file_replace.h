// Writes a profile back so that a failure never leaves it truncated or half-written.
#pragma once

#include <cstddef>

// Replaces the content of the file at path with size bytes of data, flushed and forced
// to storage. Returns 0; -1 when the file cannot be opened for writing ("Open file
// fail - %s\n" on standard output); -2 when the content could not be written and
// stored ("Write file fail - %s\n").
int replace_file(const char *path, const void *data, std::size_t size);
