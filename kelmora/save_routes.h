// The two ways a save puts new content into the profile, and what they share. Both act
// on the profile file that ProfileFile opened; neither prints anything.
#pragma once

#include <cstddef>
#include <sys/stat.h>

inline constexpr int kRouteFailed = -2; // not written and stored; see each route
inline constexpr int kNoTempFile = 1;   // not an outcome: write in place instead

bool write_all(int fd, const void *data, std::size_t size);

// Exactly size bytes from where fd stands.
bool read_all(int fd, void *data, std::size_t size);

// Writes a temporary file in dir and renames it over name, which must still be the
// file fd (of status old) at that moment. 0 when done and stored; kRouteFailed when it
// failed: the profile then holds its old content, unless the rename was done and only
// the directory could not be forced to storage; kNoTempFile where this route cannot
// keep what the profile is. *renamed gets the new file, open and locked, once it is
// the profile.
int replace_by_rename(int dir, const char *name, int fd, const struct stat &old, const void *data,
                      std::size_t size, int *renamed);

// Overwrites fd from its start; the old content is put back after any failure.
int write_in_place(int fd, bool regular, const void *data, std::size_t size);

// Copies every extended attribute of the file from to the file to (POSIX ACLs are
// system.posix_acl_*) and removes any that to inherited and from lacks (a directory's
// default ACL). False when that cannot be done.
bool copy_attributes(int from, int to);

// Copies the inode flags of from (chattr's d, A, S, u, s, c and the like) to to.
// False when they cannot be set there.
bool copy_inode_flags(int from, int to);
