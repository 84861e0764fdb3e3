// A supplicant file and a text profile: the rebuilt profile is whole lines, each with a
// key and one space, the rewritten keys holding the new settings.
#include "profile_file.h"
#include "restore_input.h"
#include "scratch.h"
#include "settings.h"
#include "text_profile.h"

#include <array>
#include <cstring>
#include <map>
#include <string>
#include <string_view>

namespace {

constexpr std::array<const char *, 4> kAuthModes{"OPEN", "SHARED", "WPAPSK", "WPA2PSK"};
constexpr std::array<const char *, 4> kEncryptTypes{"NONE", "WEP", "TKIP", "AES"};

// The value each rewritten key must carry; the other keys are carried over.
std::map<std::string_view, std::string> rewritten() {
    const NetworkSettings &s = network_settings;
    return {{"BOOTPROTO", "DHCP"},
            {"SSID", std::string("\"") + s.ssid + "\""},
            {"AUTH_MODE", kAuthModes.at(static_cast<std::size_t>(s.auth_mode))},
            {"ENCRYPT_TYPE", kEncryptTypes.at(static_cast<std::size_t>(s.encrypt_type))},
            {"AUTH_KEY", s.key}};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const scratch::Split input = scratch::split(data, size);
    if (!read_supplicant_half(input)) {
        return 0;
    }
    const std::string path = scratch::put("p.txt", input.profile);
    ProfileFile profile{path.c_str()};
    const Failure loaded = text_profile_load(profile);
    profile_close(profile);
    // Text holds no NUL byte: a profile with one is refused.
    const bool nul = input.profile.find('\0') != std::string_view::npos;
    FUZZ_CHECK(failed(loaded) == nul && (!nul || loaded.fault == Fault::profile_nul));
    if (nul) {
        return 0;
    }

    const std::map<std::string_view, std::string> values = rewritten();
    const TextProfileBuffer &buf = text_profile_buffer;
    FUZZ_CHECK(buf.bytes != nullptr && buf.size < buf.capacity);
    const std::string_view text(buf.bytes, buf.size);
    FUZZ_CHECK(std::strlen(buf.bytes) == buf.size);
    FUZZ_CHECK(text.empty() || text.back() == '\n');
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        const std::string_view line = text.substr(start, end - start);
        const std::size_t space = line.find(' ');
        FUZZ_CHECK(space != std::string_view::npos && space > 0);
        const auto value = values.find(line.substr(0, space));
        FUZZ_CHECK(value == values.end() || line.substr(space + 1) == value->second);
        start = end + 1;
    }
    return 0;
}
