// A supplicant file and a text profile: the rebuilt profile is whole lines, each with a
// key and one space, the rewritten keys holding the new settings; a profile holding a
// NUL byte is refused.
#include "profile_file.h"
#include "restore_input.h"
#include "scratch.h"
#include "settings.h"
#include "text_profile.h"

#include <array>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr std::array<const char *, 4> kAuthModes{"OPEN", "SHARED", "WPAPSK", "WPA2PSK"};
constexpr std::array<const char *, 4> kEncryptTypes{"NONE", "WEP", "TKIP", "AES"};

// The value a rewritten key must carry, or nullptr for a key carried over.
std::string rewritten(std::string_view key, bool *known) {
    const NetworkSettings &s = network_settings;
    *known = true;
    if (key == "BOOTPROTO") {
        return "DHCP";
    }
    if (key == "SSID") {
        return std::string("\"") + s.ssid + "\"";
    }
    if (key == "AUTH_MODE") {
        return kAuthModes.at(static_cast<std::size_t>(s.auth_mode));
    }
    if (key == "ENCRYPT_TYPE") {
        return kEncryptTypes.at(static_cast<std::size_t>(s.encrypt_type));
    }
    if (key == "AUTH_KEY") {
        return s.key;
    }
    *known = false;
    return {};
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    scratch::quiet();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const scratch::Split input = scratch::split(data, size);
    if (!read_supplicant_half(input)) {
        return 0;
    }
    const std::string path = scratch::put("p.txt", input.profile);
    ProfileFile profile{path.c_str()};
    // A NUL byte makes the file a binary record, which the text target refuses whole.
    const bool binary = input.profile.find('\0') != std::string_view::npos;
    FUZZ_CHECK(failed(text_profile_load(profile)) == binary);
    profile_close(profile);
    if (binary) {
        return 0;
    }

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
        bool known = false;
        const std::string value = rewritten(line.substr(0, space), &known);
        FUZZ_CHECK(!known || line.substr(space + 1) == value);
        start = end + 1;
    }
    return 0;
}
