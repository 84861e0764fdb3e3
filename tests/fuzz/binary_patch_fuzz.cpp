// A supplicant file and a binary profile: the restored record is 216 bytes, the network
// fields hold the new settings and every other byte is the one read.
#include "binary_profile.h"
#include "profile_file.h"
#include "restore_input.h"
#include "scratch.h"
#include "settings.h"

#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const scratch::Split input = scratch::split(data, size);
    if (!read_supplicant_half(input)) {
        return 0;
    }
    const std::string path = scratch::put("p.bin", input.profile);
    Failure result;
    {
        ProfileFile profile{path.c_str()};
        result = binary_profile_restore(profile);
        profile_close(profile);
    }
    const std::string after = scratch::get(path);

    const std::size_t ssid = std::strlen(network_settings.ssid);
    const std::size_t key = std::strlen(network_settings.key);
    FUZZ_CHECK(ssid <= 35);
    if (key > 135 || input.profile.size() < kRecordSize) {
        FUZZ_CHECK(failed(result) && after == input.profile); // refused, file untouched
        return 0;
    }
    FUZZ_CHECK(!failed(result) && after.size() == kRecordSize);
    std::string want(input.profile.substr(0, kRecordSize));
    want.replace(36, ssid + 1, network_settings.ssid, ssid + 1);
    std::memcpy(&want[72], &network_settings.auth_mode, 4); // little-endian hosts
    std::memcpy(&want[76], &network_settings.encrypt_type, 4);
    want.replace(80, key + 1, network_settings.key, key + 1);
    FUZZ_CHECK(want.size() == kRecordSize && after == want);
    return 0;
}
