// The text profile target: lines of a key, one space and a value.
#pragma once

#include <cstddef>

class ProfileFile;

// The rebuilt profile between restore and save: terminated text that grows as needed.
struct TextProfileBuffer {
    char *text;
    std::size_t length;
    std::size_t capacity;
};

extern TextProfileBuffer text_profile_buffer;

int text_profile_load(ProfileFile &profile);
int text_profile_restore(ProfileFile &profile);
int text_profile_save(ProfileFile &profile);
