// Writes a profile back so that a failure never leaves it truncated or half-written,
// and so that runs on the same profile never mix their work.
#pragma once

#include <cstddef>

// Waits until no other run holds the profile at path, then holds it until the program
// ends (a save that replaces the file carries the hold over to the new one). Call it
// before the profile is first read. A profile that cannot be opened is not held; the
// read that follows reports it.
void hold_profile(const char *path);

// Replaces the content of the file at path with size bytes of data, flushed and forced
// to storage. Returns 0 when the new content is in place and stored; -1 when the file
// cannot be opened for writing ("Open file fail - %s\n" on standard output); -2 when
// the content could not be written and stored ("Write file fail - %s\n"): the file
// then holds its old content, except after a failing directory fsync, when the new
// content is in place but its rename may not survive a power cut.
int replace_file(const char *path, const void *data, std::size_t size);
