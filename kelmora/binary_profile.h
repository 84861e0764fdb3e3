// The binary profile target: one 216-byte record, little-endian.
#pragma once

#include "failure.h"

#include <cstddef>

struct ProfileFile;

inline constexpr std::size_t kRecordSize = 216;
inline constexpr std::size_t kSsidOffset = 36;
inline constexpr std::size_t kAuthModeOffset = 72;
inline constexpr std::size_t kEncryptTypeOffset = 76;
inline constexpr std::size_t kKeyOffset = 80;
inline constexpr std::size_t kKeyRoom = kRecordSize - kKeyOffset; // with its terminator

struct BinaryProfileRecord {
    unsigned char bytes[kRecordSize];
};

extern BinaryProfileRecord binary_profile_record;

Failure binary_profile_load(ProfileFile &profile);
Failure binary_profile_restore(ProfileFile &profile);
Failure binary_profile_save(ProfileFile &profile);
