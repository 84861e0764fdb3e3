#include "failure.h"

#include <array>
#include <cstddef>

namespace {

// In the order of Fault.
constexpr std::array<FaultText, 26> kFaultTexts{{
    {nullptr, Stage::input, nullptr, false},
    {nullptr, Stage::input, nullptr, false},
    {nullptr, Stage::input, "a FIFO or socket", false},
    {nullptr, Stage::input, "larger than 16 MiB", false},
    {nullptr, Stage::input, "a line without \"=\"", false},
    {nullptr, Stage::input, "an unclosed quote", false},
    {nullptr, Stage::input, "a block not closed at the end of the file", false},
    {nullptr, Stage::input, "an SSID longer than 35 characters", false},
    {nullptr, Stage::input, "an unquoted SSID shorter than 2 characters", false},
    {nullptr, Stage::input, "an SSID with a control character", false},
    {nullptr, Stage::input, "no network that takes effect", false},
    {"Open file fail", Stage::read, nullptr, false},
    {"Open file fail", Stage::read, "another user's link in a sticky directory", false},
    {"Open file fail", Stage::read, "a FIFO or socket", false},
    {"Profile busy", Stage::read, "held by another run for 10 s", false},
    {"Read file fail", Stage::read, nullptr, false},
    {"Read file fail", Stage::read, "shorter than a record", true},
    {"Read file fail", Stage::read, "larger than 16 MiB", false},
    {"Read file fail", Stage::read, "a NUL byte in a text profile", false},
    {"Out of memory", Stage::read, nullptr, false},
    {"Key longer than 135 characters", Stage::refuse, "a key longer than 135 characters", false},
    {"Open file fail", Stage::write, nullptr, false},
    {"Write file fail", Stage::write, nullptr, false},
    {"Write file fail", Stage::write, "replaced or removed during the run", false},
    {"Write file fail", Stage::write, "a block device cannot be cut short to the text", false},
    {"Write file fail", Stage::write, "larger than 16 MiB", false},
}};

static_assert(static_cast<std::size_t>(Fault::save_too_large) + 1 == kFaultTexts.size());

} // namespace

const FaultText &fault_text(Fault fault) {
    return kFaultTexts[static_cast<std::size_t>(fault)];
}
