// Reads that end at a limit, so that an endless input (a character device such as
// /dev/zero) fails as a read error instead of running on and filling memory.
#pragma once

#include "failure.h"

#include <cstddef>
#include <cstdio>

// Far beyond any real profile or supplicant file.
inline constexpr std::size_t kReadLimit = std::size_t{16} << 20;

// Opens the supplicant file at path for reading as a text stream whose reads fail
// (EFBIG, so ferror is set) once more than kReadLimit bytes have come in. nullptr, and
// *failure says why, when it cannot be opened.
FILE *open_bounded_stream(const char *path, Failure *failure);

// The same over an open text file, read from where it stands, whose reads fail (EILSEQ)
// at a NUL byte too: a binary record is no text profile. The stream leaves fd open.
FILE *open_bounded_stream(int fd);
