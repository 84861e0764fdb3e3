// What a new file must carry to stand in for the profile besides owner and mode.
#pragma once

// Copies every extended attribute of the file from to the file to (POSIX ACLs are
// system.posix_acl_*) and removes any that to inherited and from lacks (a directory's
// default ACL). False when that cannot be done.
bool copy_attributes(int from, int to);

// Copies the inode flags of from (chattr's d, A, S, u, s, c and the like) to to.
// False when they cannot be set there.
bool copy_inode_flags(int from, int to);

// Whether dir keeps every name it holds (chattr's a or i): a file created there could be
// neither renamed nor removed.
bool names_fixed(int dir);
