// Reads the network blocks of a supplicant configuration file into network_settings.
#pragma once

// Returns -1 if the file cannot be opened or read (nothing printed), otherwise prints
// the four-line summary and returns 0 minus the number of bad blocks; -1 too when no block
// is bad but there are blocks and none of them takes effect.
int parse_supplicant_config(const char *path);
