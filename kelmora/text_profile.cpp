#include "text_profile.h"

#include "bounded_read.h"
#include "line_reader.h"
#include "profile_file.h"
#include "settings.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

TextProfileBuffer text_profile_buffer;

namespace {

constexpr int kLineSize = 256;
constexpr std::size_t kFirstCapacity = 1024;

constexpr std::array<const char *, kCodeCount> kAuthModeNames{"OPEN", "SHARED", "WPAPSK",
                                                              "WPA2PSK"};
constexpr std::array<const char *, kCodeCount> kEncryptTypeNames{"NONE", "WEP", "TKIP", "AES"};

const char *dhcp() {
    return "DHCP";
}
const char *ssid() {
    return network_settings.ssid;
}
const char *auth_mode() {
    return kAuthModeNames[static_cast<std::size_t>(network_settings.auth_mode)];
}
const char *encrypt_type() {
    return kEncryptTypeNames[static_cast<std::size_t>(network_settings.encrypt_type)];
}
const char *auth_key() {
    return network_settings.key;
}

// The keys whose value the restore writes anew.
struct RewrittenKey {
    std::string_view key;
    const char *(*value)();
    bool quoted;
};

constexpr std::array<RewrittenKey, 5> kRewrittenKeys{{
    {"BOOTPROTO", dhcp, false},
    {"SSID", ssid, true},
    {"AUTH_MODE", auth_mode, false},
    {"ENCRYPT_TYPE", encrypt_type, false},
    {"AUTH_KEY", auth_key, false},
}};

bool append(std::string_view piece) {
    TextProfileBuffer &buf = text_profile_buffer;
    if (!grow_buffer(buf, piece.size() + 1, kFirstCapacity, SIZE_MAX)) {
        return false;
    }
    std::memcpy(buf.bytes + buf.size, piece.data(), piece.size());
    buf.size += piece.size();
    buf.bytes[buf.size] = '\0';
    return true;
}

// Appends the rebuilt entry for one cleaned line.
bool append_entry(const char *line) {
    const char *space = std::strchr(line, ' ');
    const std::string_view key =
        space != nullptr ? std::string_view(line, static_cast<std::size_t>(space - line)) : line;
    std::string_view value = space != nullptr ? space + 1 : "";
    bool quoted = false;
    for (const RewrittenKey &rewritten : kRewrittenKeys) {
        if (rewritten.key == key) {
            value = rewritten.value();
            quoted = rewritten.quoted;
            break;
        }
    }
    return append(key) && append(" ") && (!quoted || append("\"")) && append(value) &&
           (!quoted || append("\"")) && append("\n");
}

} // namespace

Failure text_profile_load(ProfileFile &profile) {
    const Failure opened = profile_open(profile);
    if (failed(opened)) {
        return opened;
    }
    FILE *stream = profile_read_stream(profile);
    if (stream == nullptr) {
        return {Fault::profile_no_memory, ENOMEM, 0};
    }
    text_profile_buffer.size = 0;
    bool appended = append("");
    char buf[kLineSize];
    char *line;
    while (appended && read_config_line(buf, sizeof buf, stream, &line) != nullptr) {
        appended = append_entry(line);
    }
    Failure failure{};
    if (!appended) {
        failure = {Fault::profile_no_memory, ENOMEM, 0};
    } else if (std::ferror(stream)) {
        // A failing read is no end of file: half a profile must not be saved.
        const int error = errno;
        failure = {Fault::profile_unread, error, 0};
        if (error == EFBIG || error == EILSEQ) {
            failure.fault = error == EFBIG ? Fault::profile_too_large : Fault::profile_nul;
        }
    }
    std::fclose(stream);
    return failure;
}

Failure text_profile_restore(ProfileFile &profile) {
    return text_profile_load(profile);
}

Failure text_profile_save(ProfileFile &profile) {
    return profile_replace(profile, text_profile_buffer.bytes, text_profile_buffer.size, true);
}
