// Debian's libstdc++ headers are configured for glibc; these are the only two
// glibc names they use that musl lacks.
#pragma once
#ifndef __GLIBC_PREREQ
#define __GLIBC_PREREQ(major, minor) 0
#endif
#define __locale_t locale_t
