// The text profile target: lines of a key, one space and a value.
#pragma once

#include <cstddef>

// The rebuilt profile between restore and save: terminated text that grows as needed.
struct TextProfileBuffer {
    char *text;
    std::size_t length;
    std::size_t capacity;
};

extern TextProfileBuffer text_profile_buffer;

int text_profile_load(const char *path);
int text_profile_restore(const char *path);
int text_profile_save(const char *path);
