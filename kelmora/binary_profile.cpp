#include "binary_profile.h"

#include "profile_file.h"
#include "settings.h"

#include <cstdint>
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

Failure binary_profile_load(ProfileFile &profile) {
    const Failure failure = profile_open(profile);
    if (failed(failure)) {
        return failure;
    }
    return profile_read_start(profile, binary_profile_record.bytes, kRecordSize);
}

Failure binary_profile_save(ProfileFile &profile) {
    return profile_replace(profile, binary_profile_record.bytes, kRecordSize, false);
}

Failure binary_profile_restore(ProfileFile &profile) {
    // A key that would run past the record is refused before the profile is touched.
    static_assert(kKeyRoom - 1 == 135, "the reason for a key too long names 135");
    if (std::strlen(network_settings.key) >= kKeyRoom) {
        return {Fault::key_too_long, 0, 0};
    }
    const Failure failure = binary_profile_load(profile);
    if (failed(failure)) {
        return failure;
    }
    store_le32(kEncryptTypeOffset, network_settings.encrypt_type);
    store_le32(kAuthModeOffset, network_settings.auth_mode);
    store_text(kSsidOffset, network_settings.ssid);
    store_text(kKeyOffset, network_settings.key);
    return binary_profile_save(profile);
}
