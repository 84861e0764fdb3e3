// The fallback route: the profile file itself is overwritten. Prints nothing.
#pragma once

#include <cstddef>

// Overwrites fd from its start; true when the new content is in place and stored. After
// any failure the old content is put back.
bool write_in_place(int fd, bool regular, const void *data, std::size_t size);
