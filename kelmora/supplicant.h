// Reads the network blocks of a supplicant configuration file into network_settings.
#pragma once

#include "failure.h"

// Prints the four-line summary once the file is read whole. Fails when the file cannot
// be opened or read (no summary), at the first fault in a block (the line: a block is
// bad, though its other lines still take effect), or when there are blocks and none of
// them takes effect.
Failure parse_supplicant_config(const char *path);
