// The network settings distilled from the supplicant file, shared by both targets.
#pragma once

#include <cstdint>

// AuthMode codes: OPEN, SHARED, WPAPSK, WPA2PSK.
// EncryptType codes: NONE, WEP, TKIP, AES.
inline constexpr int kCodeCount = 4;

inline constexpr int kSsidField = 36; // 35 characters and the terminator
inline constexpr int kKeyField = 256;

struct NetworkSettings {
    int32_t encrypt_type;
    int32_t auth_mode;
    char ssid[kSsidField];
    char key[kKeyField];
};

// One per process, zero at start; written only by the supplicant reader.
extern NetworkSettings network_settings;
