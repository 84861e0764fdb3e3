// The profile of one run, from its one open to its replacement. The path is resolved
// once: the hold, the restore's read, every check and the save act on the file opened
// then and on the directory that resolution found, never on the path again, so a
// symbolic link re-pointed during the run cannot move content between files.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdio>

// How long a run waits for another run's hold on the profile before it gives up.
inline constexpr int kHoldWaitSeconds = 10;

struct ProfileFile {
    const char *path;
    int fd = -1;  // the open profile
    int dir = -1; // its directory, -1 where it could not be opened: in place only
    bool writable = false;
    bool tried = false;
    int result = -1;
    char name[NAME_MAX + 1] = {}; // the profile's name in dir
};

// Opens the profile and holds it until the run ends. 0 when open and held (or on a file
// system without locks); -1 when it cannot be opened or is a FIFO or socket ("Open file
// fail - PATH"); -2 when another run held it for kHoldWaitSeconds ("Profile busy - PATH").
// Only the first call opens; later ones repeat its result.
int profile_open(ProfileFile &profile);

// A stream over the profile's content from its start that fails (EFBIG) beyond
// kReadLimit bytes; nullptr when it cannot be made. The caller closes it.
FILE *profile_read_stream(ProfileFile &profile);

// Reads exactly size bytes from the profile's start.
bool profile_read_start(ProfileFile &profile, void *data, std::size_t size);

// Replaces the profile's content with size bytes of data, flushed and forced to storage.
// 0 when the new content is in place and stored; -1 when the profile cannot be written
// ("Open file fail - PATH" on standard output); -2 when the content could not be written
// and stored ("Write file fail - PATH"): the profile then holds its old content, except
// after a failing directory fsync, when the new content is in place but its rename may
// not survive a power cut. A replacement hands the hold over to the new file, so a later
// save acts on it. With whole, the content must be all the profile holds, so a block
// device, which cannot be cut short, is refused ("Write file fail - PATH", -2) before
// anything is written; without it the content is a record at the start and what a
// device holds beyond it stays. Content beyond kReadLimit, which no later run could
// read back, is refused the same way. Every signal that would end the run from outside
// is held off meanwhile: one that came ends it once the save is over.
int profile_replace(ProfileFile &profile, const void *data, std::size_t size, bool whole);

// Closes the profile and its directory, which ends the hold.
void profile_close(ProfileFile &profile);
