// Whatever the supplicant file holds, the settings stay within their fields and codes,
// and a fault reported in a block lies on a line of a file that has a block.
#include "scratch.h"
#include "settings.h"
#include "supplicant.h"

#include <algorithm>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const std::string path = scratch::put("wpa.conf", text);
    network_settings = {};
    const Failure result = parse_supplicant_config(path.c_str());

    std::size_t headers = 0;
    for (std::size_t at = 0; (at = text.find("network={", at)) != std::string_view::npos; ++at) {
        ++headers;
    }
    const auto lines = static_cast<long>(std::count(text.begin(), text.end(), '\n') + 1);
    FUZZ_CHECK(result.fault != Fault::input_unread);
    FUZZ_CHECK(!failed(result) || (headers > 0 && result.number <= lines));
    FUZZ_CHECK((result.number > 0) == (failed(result) && result.fault != Fault::no_network));
    if (headers == 0) {
        const NetworkSettings start{};
        FUZZ_CHECK(std::memcmp(&network_settings, &start, sizeof start) == 0);
    }
    FUZZ_CHECK(std::memchr(network_settings.ssid, '\0', kSsidField) != nullptr);
    FUZZ_CHECK(std::strlen(network_settings.ssid) <= 35);
    FUZZ_CHECK(std::memchr(network_settings.key, '\0', kKeyField) != nullptr);
    FUZZ_CHECK(std::strchr(network_settings.ssid, '\n') == nullptr);
    FUZZ_CHECK(std::strchr(network_settings.key, '\n') == nullptr);
    FUZZ_CHECK(network_settings.auth_mode >= 0 && network_settings.auth_mode < kCodeCount);
    FUZZ_CHECK(network_settings.encrypt_type >= 0 && network_settings.encrypt_type < kCodeCount);
    return 0;
}
