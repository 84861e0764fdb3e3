// The fallback route: the profile file itself is overwritten. Prints nothing.
#pragma once

#include <cstddef>
#include <sys/types.h>

// Overwrites fd (a file of the given mode) from its start; true when the new content is
// in place and stored. After any failure a regular file or block device gets its old
// content back. A block device keeps what lies beyond size.
bool write_in_place(int fd, mode_t mode, const void *data, std::size_t size);
