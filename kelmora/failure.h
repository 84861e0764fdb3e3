// What stopped a run. The supplicant reader and the targets' load, restore and save
// return one of these instead of printing; main alone turns it into the messages and the
// exit status, from the one table in failure.cpp.
#pragma once

enum class Fault {
    none,
    // The supplicant file.
    input_unread, // error: the open or a read failed
    input_fifo,
    input_too_large,
    line_without_equals, // number: the line, as for every fault in the content
    unclosed_quote,
    block_not_closed, // number: the line of its "network={"
    ssid_too_long,
    ssid_too_short,
    ssid_control_byte,
    no_network, // blocks, but none takes effect
    // The profile, read by the restore.
    profile_unopened, // error
    foreign_link,     // another user's link in a sticky, world-writable directory
    profile_fifo,
    profile_busy,
    profile_unread, // error
    profile_short,  // number: its size
    profile_too_large,
    profile_nul, // a NUL byte in a text profile
    profile_no_memory,
    key_too_long, // refused before the profile is opened
    // The profile, written by a save.
    profile_unwritable, // error: the open for writing
    profile_unwritten,  // error: a write, sync or rename
    profile_replaced,   // its name was given another file during the run
    block_device_text,
    save_too_large, // beyond what a later run would read
};

struct Failure {
    Fault fault;
    int error;   // the failed call's errno; 0 for a fault in the content
    long number; // see Fault
};

inline bool failed(const Failure &failure) {
    return failure.fault != Fault::none;
}

// Which file a fault is about, and which target line goes with it in a restore.
enum class Stage {
    input,  // the supplicant file: the path as given, with ":LINE" where there is one
    read,   // the profile, by the restore's load: the target's read failure line
    refuse, // the profile, refused before it is opened: no target line
    write,  // the profile, by a save: the target's write failure line in its restore
};

struct FaultText {
    const char *line; // "LINE - PATH" on standard output; nullptr: none
    Stage stage;
    const char *why; // the reason; nullptr: the failed call's error text
    bool sized;      // the reason ends in " (NUMBER bytes)"
};

const FaultText &fault_text(Fault fault);
