// Shared by the targets that restore a profile: the input's supplicant half, read into
// fresh settings as a run reads it.
#pragma once

#include "scratch.h"
#include "settings.h"
#include "supplicant.h"

// False when a run would stop there, before the profile is touched.
inline bool read_supplicant_half(const scratch::Split &input) {
    network_settings = {};
    return parse_supplicant_config(scratch::put("wpa.conf", input.supplicant).c_str()).fault ==
           Fault::none;
}
