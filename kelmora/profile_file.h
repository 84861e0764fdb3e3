// The profile of one run, from its one open to its replacement.
//
// Calling sequence
// ----------------
// A target's restore and the driver's save go through these steps, in this order, on one
// ProfileFile made from the output path:
//
// - profile_open resolves the path once and opens the profile, read and write where
//   allowed, else read only, and holds it (an flock) until profile_close. Only the first
//   call opens; later ones return its result. It fails with profile_unopened (the
//   error), foreign_link (another user's link in a sticky, world-writable directory),
//   profile_fifo or profile_busy (another run held it for kHoldWaitSeconds).
//   The hold, the read, every check and the save act on the file opened then and on the
//   directory that resolution found, never on the path again, so a symbolic link
//   re-pointed during the run cannot move content between files.
//
// - profile_read_stream (text target) or profile_read_start (binary target) reads the
//   content from the start: the restore acts only on what it read whole.
//
// - profile_replace writes the new content. The binary target calls it twice: once in
//   its restore, then as the driver's save; the text target once, as the save. It is
//   done when the content is in place and forced to storage; it fails with
//   profile_unwritable (the error of the open for writing: nothing was written),
//   profile_unwritten (the error of the write, sync or rename), profile_replaced,
//   block_device_text or save_too_large (nothing written). After a failure the profile holds its
//   old content, except after a failing directory fsync, when the new content is in place but its
//   rename may not survive a power cut.
//
// - profile_close ends the hold; the driver calls it once, whatever failed.
//
// Nothing here prints: failures are returned for the driver to report.
#pragma once

#include "failure.h"

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
    int write_error = 0;       // why it could not be opened for writing
    bool foreign_link = false; // refused: another user's link in a sticky directory
    bool tried = false;
    Failure result{};
    char name[NAME_MAX + 1] = {}; // the profile's name in dir
};

// Succeeds on a file system without locks too, unheld.
Failure profile_open(ProfileFile &profile);

// A stream over the profile's content from its start that fails (EFBIG) beyond
// kReadLimit bytes; nullptr when it cannot be made. The caller closes it.
FILE *profile_read_stream(ProfileFile &profile);

// Reads exactly size bytes from the profile's start; profile_unread or, at an early end
// of file, profile_short with the profile's size.
Failure profile_read_start(ProfileFile &profile, void *data, std::size_t size);

// Replaces the profile's content with size bytes of data, flushed and forced to storage.
// A replacement hands the hold over to the new file, so a later save acts on it. With
// whole, the content must be all the profile holds, so a block device, which cannot be
// cut short, is refused before anything is written; without it the content is a record
// at the start and what a device holds beyond it stays. Content beyond kReadLimit, which
// no later run could read back, is refused the same way. Every signal that would end the
// run from outside is held off meanwhile: one that came ends it once the save is over.
Failure profile_replace(ProfileFile &profile, const void *data, std::size_t size, bool whole);

void profile_close(ProfileFile &profile);
