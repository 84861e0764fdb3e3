#include "binary_profile.h"

#include "profile_file.h"
#include "settings.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

BinaryProfileRecord binary_profile_record;

namespace {

void store_le32(std::size_t offset, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (std::size_t i = 0; i < 4; ++i) {
        binary_profile_record.bytes[offset + i] = static_cast<unsigned char>(bits >> (8 * i));
    }
}

// Characters and one terminator; the rest of the field keeps what the file held.
void store_text(std::size_t offset, const char *text) {
    std::memcpy(binary_profile_record.bytes + offset, text, std::strlen(text) + 1);
}

} // namespace

int binary_profile_load(ProfileFile &profile) {
    if (profile_open(profile) < 0) {
        return -1;
    }
    if (!profile_read_start(profile, binary_profile_record.bytes, kRecordSize)) {
        std::printf("Read file fail - %s\n", profile.path);
        return -2;
    }
    return 0;
}

int binary_profile_save(ProfileFile &profile) {
    return profile_replace(profile, binary_profile_record.bytes, kRecordSize, false);
}

int binary_profile_restore(ProfileFile &profile) {
    const char *path = profile.path;
    // A key that would run past the record is refused before the profile is touched.
    if (std::strlen(network_settings.key) >= kKeyRoom) {
        std::printf("Key longer than %zu characters - %s\n", kKeyRoom - 1, path);
        return -2;
    }
    int result = binary_profile_load(profile);
    if (result < 0) {
        std::puts("TL_NetProfRFF failure");
        return result;
    }
    store_le32(kEncryptTypeOffset, network_settings.encrypt_type);
    store_le32(kAuthModeOffset, network_settings.auth_mode);
    store_text(kSsidOffset, network_settings.ssid);
    store_text(kKeyOffset, network_settings.key);
    result = binary_profile_save(profile);
    if (result < 0) {
        std::puts("TL_NetProfW2F failure");
    }
    return result;
}
