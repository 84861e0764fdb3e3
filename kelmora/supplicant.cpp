#include "supplicant.h"

#include "bounded_read.h"
#include "failure.h"
#include "line_reader.h"
#include "settings.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

NetworkSettings network_settings;

namespace {

constexpr int kLineSize = 256;
constexpr int kUnchanged = -1;

// A psk block's part in the supplicant's defaults for the lines it leaves out.
enum Implied {
    kNotImplied,
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
    {"auth_alg", "SHARED", 1, kUnchanged, false, Implied::kNotImplied},
    {"proto", "WPA", 2, kUnchanged, false, Implied::kNotImplied},
    {"proto", "WPA2", 3, kUnchanged, false, Implied::kNotImplied},
    {"proto", "RSN", 3, 3, false, Implied::kDefault},
    {"pairwise", "TKIP", kUnchanged, 2, false, Implied::kNotImplied},
    {"pairwise", "CCMP", kUnchanged, 3, false, Implied::kDefault},
}};

constexpr std::size_t rule_index(std::string_view name, std::string_view value) {
    std::size_t i = 0;
    while (kCodeRules[i].name != name || kCodeRules[i].value != value) {
        ++i;
    }
    return i;
}

constexpr std::size_t kKeyMgmtNone = rule_index("key_mgmt", "NONE");
constexpr std::size_t kAuthAlgShared = rule_index("auth_alg", "SHARED");
constexpr std::size_t kWepKeyCount = 4;

// The last line of one key name: order 0 when the block has none.
struct KeyLine {
    int order;
    char value[kKeyField];
};

// One block as read so far. It starts from the start values, never from an earlier block,
// so a file's last block that takes effect is restored alone; whether a block takes effect,
// its implied lines and its transmit key are known only at its end. The codes its own lines
// give are kept for each code the implied lines may leave it with.
struct Block {
    NetworkSettings settings; // ssid as its lines leave it
    std::array<int, kCodeCount> auth_mode;
    std::array<int, kCodeCount> encrypt_type;
    std::array<bool, kCodeRules.size()> matched; // rules the block's lines set
    std::array<KeyLine, 1 + kWepKeyCount> keys;  // psk, then wep_key0 to wep_key3
    std::size_t wep_tx_keyidx;
    int lines;
    bool psk;            // a psk line that is not a fault
    bool other_key_mgmt; // a key_mgmt naming neither WPA-PSK nor NONE
    bool not_only_none;  // a key_mgmt other than exactly NONE: no static WEP
    bool disabled;       // the supplicant never joins it
};

Block start_block() {
    return {{}, {0, 1, 2, 3}, {0, 1, 2, 3}, {}, {}, 0, 0, false, false, false, false};
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
    int mode = 0;
    int type = 0;
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
    // The key is the later of the psk and the transmit key, as lines take effect in order.
    const KeyLine &psk = block.keys[0];
    const KeyLine &wep = block.keys[1 + block.wep_tx_keyidx];
    const KeyLine &key = wep.order > psk.order ? wep : psk;
    std::memcpy(block.settings.key, key.value, sizeof key.value);
    // Static WEP, as the supplicant uses it: key_mgmt=NONE alone, no psk, a transmit key.
    if (block.matched[kKeyMgmtNone] && !block.not_only_none && !block.psk && wep.order != 0) {
        block.settings.auth_mode = block.matched[kAuthAlgShared] ? 1 : 0;
        block.settings.encrypt_type = 1;
    }
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

// Stores a new SSID; a fault (SSID unchanged) when it does not fit the field or would
// break the text profile's lines.
Fault set_ssid(NetworkSettings &settings, std::string_view value) {
    char ssid[kSsidField];
    std::size_t length;
    if (value.front() != '"' && is_hex_ssid(value)) {
        length = value.size() / 2;
        for (std::size_t i = 0; i < length; ++i) {
            const int byte = hex_digit(value[2 * i]) * 16 + hex_digit(value[2 * i + 1]);
            if (byte < 0x20 || byte == 0x7f) {
                return Fault::ssid_control_byte;
            }
            ssid[i] = static_cast<char>(byte);
        }
    } else {
        if (value.size() < 2) {
            return Fault::ssid_too_short;
        }
        if (value.size() - 2 >= sizeof ssid) {
            return Fault::ssid_too_long;
        }
        length = value.size() - 2;
        std::memcpy(ssid, value.data() + 1, length);
    }
    ssid[length] = '\0';
    std::memcpy(settings.ssid, ssid, length + 1);
    return Fault::none;
}

void set_key(KeyLine &key, int order, std::string_view value) {
    if (!value.empty() && value.front() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    // A line is at most 255 characters, so the key always fits its field.
    std::memcpy(key.value, value.data(), value.size());
    key.value[value.size()] = '\0';
    key.order = order;
}

// The key line a name is: 1 to 4 for wep_key0 to wep_key3, 0 for psk or any other name.
std::size_t key_line_index(std::string_view name) {
    constexpr std::string_view kWepKey = "wep_key";
    if (name.size() == kWepKey.size() + 1 && name.substr(0, kWepKey.size()) == kWepKey &&
        name.back() >= '0' && name.back() <= '3') {
        return 1 + static_cast<std::size_t>(name.back() - '0');
    }
    return 0;
}

// Applies one "name=value" setting; what is wrong with the line, if anything.
Fault apply_setting(Block &block, std::string_view name, std::string_view value) {
    ++block.lines;
    if (name == "ssid") {
        return value.empty() ? Fault::ssid_too_short : set_ssid(block.settings, value);
    }
    const std::size_t key_index = key_line_index(name);
    if (key_index != 0 || name == "psk") {
        block.psk = block.psk || key_index == 0;
        set_key(block.keys[key_index], block.lines, value);
        return Fault::none;
    }
    if (name == "wep_tx_keyidx" && value.size() == 1 && value[0] >= '0' && value[0] <= '3') {
        block.wep_tx_keyidx = static_cast<std::size_t>(value[0] - '0');
    }
    if (name == "key_mgmt" && !names_profile_key_mgmt(value)) {
        block.other_key_mgmt = true;
    }
    if (name == "key_mgmt" && value != "NONE") {
        block.not_only_none = true;
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
    return Fault::none;
}

// Judges one line inside a block: what is wrong with it, if anything.
Fault read_block_line(Block &block, const char *line) {
    const char *equals = std::strchr(line, '=');
    if (equals == nullptr) {
        return Fault::line_without_equals;
    }
    const std::string_view name(line, static_cast<std::size_t>(equals - line));
    const std::string_view value(equals + 1);
    if (!value.empty() && value.front() == '"' && value.find('"', 1) == std::string_view::npos) {
        return Fault::unclosed_quote;
    }
    return apply_setting(block, name, value);
}

} // namespace

Failure parse_supplicant_config(const char *path) {
    Failure failure{};
    FILE *stream = open_bounded_stream(path, &failure);
    if (stream == nullptr) {
        return failure;
    }
    char outer[kLineSize];
    char inner[kLineSize];
    char *line;
    LineCount count{};
    // The first fault in the file is the one reported.
    const auto fault = [&failure](Fault found, int at) {
        if (!failed(failure) && found != Fault::none) {
            failure = {found, 0, at};
        }
    };
    bool any_block = false;
    bool any_effect = false;
    while (read_config_line(outer, sizeof outer, stream, &line, &count) != nullptr) {
        if (std::strcmp(line, "network={") != 0) {
            continue;
        }
        any_block = true;
        const int opened = count.line;
        Block block = start_block();
        while (read_config_line(inner, sizeof inner, stream, &line, &count) != nullptr &&
               std::strcmp(line, "}") != 0) {
            fault(read_block_line(block, line), count.line);
        }
        if (line == nullptr) {
            fault(Fault::block_not_closed, opened);
        }
        any_effect = end_block(block) || any_effect;
    }
    // A read error is not an end of file: half a file must not become a profile.
    if (std::ferror(stream)) {
        const int error = errno;
        std::fclose(stream);
        return {error == EFBIG ? Fault::input_too_large : Fault::input_unread, error, 0};
    }
    std::printf("SSID: %s\nAuthMode: %d\nEncType: %d\nEncKey: %s\n", network_settings.ssid,
                network_settings.auth_mode, network_settings.encrypt_type, network_settings.key);
    std::fclose(stream);
    if (!failed(failure) && any_block && !any_effect) {
        failure = {Fault::no_network, 0, 0}; // nothing to restore
    }
    return failure;
}
