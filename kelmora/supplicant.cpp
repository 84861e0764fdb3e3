#include "supplicant.h"

#include "bounded_read.h"
#include "line_reader.h"
#include "settings.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

NetworkSettings network_settings;

namespace {

constexpr int kLineSize = 256;
constexpr int kUnchanged = -1;

// A psk block's part in the supplicant's defaults for the lines it leaves out.
enum class Implied {
    kNo,
    kDefault, // its name's default, at the strongest the profile holds
    kNever,   // an open or WEP network: nothing is implied
};

// Settings that map a fixed value to codes; kUnchanged leaves a code alone.
struct CodeRule {
    std::string_view name;
    std::string_view value;
    int auth_mode;
    int encrypt_type;
    bool keeps_wpa2; // never lowers WPA2PSK to WPAPSK
    Implied implied;
};

constexpr std::array<CodeRule, 8> kCodeRules{{
    {"key_mgmt", "NONE", 0, kUnchanged, false, Implied::kNever},
    {"key_mgmt", "WPA-PSK", 2, kUnchanged, true, Implied::kDefault},
    {"auth_alg", "SHARED", 1, kUnchanged, false, Implied::kNo},
    {"proto", "WPA", 2, kUnchanged, false, Implied::kNo},
    {"proto", "WPA2", 3, kUnchanged, false, Implied::kNo},
    {"proto", "RSN", 3, 3, false, Implied::kDefault},
    {"pairwise", "TKIP", kUnchanged, 2, false, Implied::kNo},
    {"pairwise", "CCMP", kUnchanged, 3, false, Implied::kDefault},
}};

// One block as read so far. Its lines change only its own copy of the settings, which
// replaces the process's settings at its end if the block takes effect: whether it does is
// known only then. The codes a block's own lines give are kept for each code the block may
// start with, since its implied lines come first but are also known only at its end.
struct Block {
    NetworkSettings settings; // ssid and key as its lines leave them
    std::array<int, kCodeCount> auth_mode;
    std::array<int, kCodeCount> encrypt_type;
    std::array<bool, kCodeRules.size()> matched; // rules the block's lines set
    bool psk;                                    // a psk line that is not a fault
    bool other_key_mgmt;                         // a key_mgmt naming neither WPA-PSK nor NONE
    bool disabled;                               // the supplicant never joins it
};

Block start_block() {
    return {network_settings, {0, 1, 2, 3}, {0, 1, 2, 3}, {}, false, false, false};
}

int apply_auth_mode(const CodeRule &rule, int mode) {
    if (rule.auth_mode == kUnchanged || (rule.keeps_wpa2 && mode == 3)) {
        return mode;
    }
    return rule.auth_mode;
}

int apply_encrypt_type(const CodeRule &rule, int type) {
    return rule.encrypt_type == kUnchanged ? type : rule.encrypt_type;
}

bool sets_name(const Block &block, std::string_view name) {
    for (std::size_t i = 0; i < kCodeRules.size(); ++i) {
        if (block.matched[i] && kCodeRules[i].name == name) {
            return true;
        }
    }
    return false;
}

// A network the profile cannot hold (SAE, EAP and the like, with no key of the
// profile's kind) or one the supplicant never joins must not become the profile: restoring
// it would at best pick the wrong network, at worst join an open one of the same name.
bool takes_effect(const Block &block) {
    return !block.disabled && (block.psk || !block.other_key_mgmt);
}

// A psk block without key_mgmt=NONE reads each of key_mgmt, proto and pairwise that it
// does not set to a known value as the supplicant's default; then its own lines follow.
// Returns whether the block took effect.
bool end_block(Block &block) {
    if (!takes_effect(block)) {
        return false;
    }
    int mode = network_settings.auth_mode;
    int type = network_settings.encrypt_type;
    bool implies = block.psk;
    for (std::size_t i = 0; i < kCodeRules.size(); ++i) {
        if (block.matched[i] && kCodeRules[i].implied == Implied::kNever) {
            implies = false;
        }
    }
    for (const CodeRule &rule : kCodeRules) {
        if (implies && rule.implied == Implied::kDefault && !sets_name(block, rule.name)) {
            mode = apply_auth_mode(rule, mode);
            type = apply_encrypt_type(rule, type);
        }
    }
    block.settings.auth_mode = block.auth_mode[static_cast<std::size_t>(mode)];
    block.settings.encrypt_type = block.encrypt_type[static_cast<std::size_t>(type)];
    network_settings = block.settings;
    return true;
}

// Whether a key_mgmt value, a list of words split at blanks, names a kind of network the
// profile holds.
bool names_profile_key_mgmt(std::string_view value) {
    while (!value.empty()) {
        const std::size_t end = value.find_first_of(" \t");
        const std::string_view word = value.substr(0, end);
        if (word == "WPA-PSK" || word == "NONE") {
            return true;
        }
        value.remove_prefix(end == std::string_view::npos ? value.size() : end + 1);
    }
    return false;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The supplicant's unquoted hex form of an SSID: an even number of hex digits, 2 to 64.
bool is_hex_ssid(std::string_view value) {
    if (value.size() < 2 || value.size() > 64 || value.size() % 2 != 0) {
        return false;
    }
    for (char c : value) {
        if (hex_digit(c) < 0) {
            return false;
        }
    }
    return true;
}

// Stores a new SSID; false (SSID unchanged) when it does not fit the field or would
// break the text profile's lines.
bool set_ssid(NetworkSettings &settings, std::string_view value) {
    char ssid[kSsidField];
    std::size_t length;
    if (value.front() != '"' && is_hex_ssid(value)) {
        length = value.size() / 2;
        for (std::size_t i = 0; i < length; ++i) {
            const int byte = hex_digit(value[2 * i]) * 16 + hex_digit(value[2 * i + 1]);
            if (byte < 0x20 || byte == 0x7f) {
                return false;
            }
            ssid[i] = static_cast<char>(byte);
        }
    } else {
        if (value.size() < 2 || value.size() - 2 >= sizeof ssid) {
            return false;
        }
        length = value.size() - 2;
        std::memcpy(ssid, value.data() + 1, length);
    }
    ssid[length] = '\0';
    std::memcpy(settings.ssid, ssid, length + 1);
    return true;
}

void set_key(NetworkSettings &settings, std::string_view value) {
    if (!value.empty() && value.front() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    // A line is at most 255 characters, so the key always fits its field.
    std::memcpy(settings.key, value.data(), value.size());
    settings.key[value.size()] = '\0';
}

// Applies one "name=value" setting; false when the line is a fault in its block.
bool apply_setting(Block &block, std::string_view name, std::string_view value) {
    if (name == "ssid") {
        return value.empty() ? false : set_ssid(block.settings, value);
    }
    if (name == "psk" || name == "wep_key0") {
        block.psk = block.psk || name == "psk";
        set_key(block.settings, value);
        return true;
    }
    if (name == "key_mgmt" && !names_profile_key_mgmt(value)) {
        block.other_key_mgmt = true;
    }
    if (name == "disabled" && value == "1") {
        block.disabled = true;
    }
    for (std::size_t i = 0; i < kCodeRules.size(); ++i) {
        const CodeRule &rule = kCodeRules[i];
        if (rule.name != name || rule.value != value) {
            continue;
        }
        block.matched[i] = true;
        for (int &mode : block.auth_mode) {
            mode = apply_auth_mode(rule, mode);
        }
        for (int &type : block.encrypt_type) {
            type = apply_encrypt_type(rule, type);
        }
        break;
    }
    return true;
}

// Judges one line inside a block; false when it is a fault.
bool read_block_line(Block &block, const char *line) {
    const char *equals = std::strchr(line, '=');
    if (equals == nullptr) {
        return false;
    }
    const std::string_view name(line, static_cast<std::size_t>(equals - line));
    const std::string_view value(equals + 1);
    if (!value.empty() && value.front() == '"' && value.find('"', 1) == std::string_view::npos) {
        return false;
    }
    return apply_setting(block, name, value);
}

} // namespace

int parse_supplicant_config(const char *path) {
    FILE *stream = open_bounded_stream(path);
    if (stream == nullptr) {
        return -1;
    }
    char outer[kLineSize];
    char inner[kLineSize];
    char *line;
    int bad_blocks = 0;
    bool any_block = false;
    bool any_effect = false;
    while (read_config_line(outer, sizeof outer, stream, &line) != nullptr) {
        if (std::strcmp(line, "network={") != 0) {
            continue;
        }
        any_block = true;
        int faults = 0;
        Block block = start_block();
        for (;;) {
            if (read_config_line(inner, sizeof inner, stream, &line) == nullptr) {
                ++bad_blocks; // never closed
                break;
            }
            if (std::strcmp(line, "}") == 0) {
                bad_blocks += faults != 0 ? 1 : 0;
                break;
            }
            faults += read_block_line(block, line) ? 0 : 1;
        }
        any_effect = end_block(block) || any_effect;
    }
    // A read error is not an end of file: half a file must not become a profile.
    if (std::ferror(stream)) {
        std::fclose(stream);
        return -1;
    }
    std::printf("SSID: %s\nAuthMode: %d\nEncType: %d\nEncKey: %s\n", network_settings.ssid,
                network_settings.auth_mode, network_settings.encrypt_type, network_settings.key);
    std::fclose(stream);
    if (bad_blocks == 0 && any_block && !any_effect) {
        return -1; // blocks that all take no effect leave nothing to restore
    }
    return -bad_blocks;
}
