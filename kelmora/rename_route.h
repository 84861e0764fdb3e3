// The atomic route: a temporary file beside the profile, renamed over it, so the profile
// holds either its old or its new content whatever fails. Prints nothing.
#pragma once

#include <cstddef>
#include <sys/stat.h>

enum RenameOutcome {
    kRenamed,      // the new file is the profile, written and stored
    kRenameFailed, // see replace_by_rename; errno tells why
    kNameTaken,    // the name no longer refers to the file opened: nothing written
    kWriteInPlace, // this route cannot keep what the profile is
};

// Writes a temporary file in dir and renames it over name, which must still be the file
// fd (of status old) at that moment. kRenameFailed leaves the profile with its old content,
// unless the rename was done and only the directory could not be forced to storage.
// *renamed gets the new file, open and locked, once it is the profile.
RenameOutcome replace_by_rename(int dir, const char *name, int fd, const struct stat &old,
                                const void *data, std::size_t size, int *renamed);
