// The text profile target: lines of a key, one space and a value.
#pragma once

#include "failure.h"
#include "file_io.h"

struct ProfileFile;

// The rebuilt profile between restore and save: terminated text that grows as needed.
using TextProfileBuffer = GrowBuffer;

extern TextProfileBuffer text_profile_buffer;

Failure text_profile_load(ProfileFile &profile);
Failure text_profile_restore(ProfileFile &profile);
Failure text_profile_save(ProfileFile &profile);
