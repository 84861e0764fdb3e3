// kelmora: restores the stored network profile from a supplicant configuration file.
#include "binary_profile.h"
#include "profile_file.h"
#include "supplicant.h"
#include "text_profile.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <getopt.h>

namespace {

// One profile format, its operations and the lines its restore's failures print; the
// driver never asks which one it holds.
struct ProfileTarget {
    int version; // 1 in both entries; nothing reads it
    char name[16];
    Failure (*save)(ProfileFile &profile);
    Failure (*load)(ProfileFile &profile);
    Failure (*restore)(ProfileFile &profile);
    const char *read_failure;  // the restore could not read the profile
    const char *write_failure; // the restore's own save failed; nullptr: it makes none
    int reserved;              // nothing reads it
};

constexpr std::array<ProfileTarget, 2> kTargets{{
    {1, "Talmeth", binary_profile_save, binary_profile_load, binary_profile_restore,
     "TL_NetProfRFF failure", "TL_NetProfW2F failure", 0},
    {1, "Orvane", text_profile_save, text_profile_load, text_profile_restore,
     "Orvane_NetProfRFF failure", nullptr, 0},
}};

// The -t value of each entry above.
constexpr std::array<long, 2> kTargetNumbers{1, 0};

constexpr char kUsage[] = "Usage: kelmora [<arguments> ...]\n\n"
                          "Following options are available:\n"
                          "\t-f\t\tInput file path\n"
                          "\t-o\t\tOutput file path\n"
                          "\t-t\t\t<Orvane:0, Talmeth:1>\n"
                          "Example: kelmora -f /tmp/wpa.conf -o /mnt/conf/tlnp.bin -t 0\n\n";

constexpr int kRefused = 1;
constexpr int kRunFailed = -3;  // exit status 253
constexpr int kSaveFailed = -4; // exit status 252

// The three steps of a run, and how each ends when it fails.
enum Step { kReadInput, kRestore, kSave };

struct StepEnd {
    int status;
    const char *message;
};

constexpr std::array<StepEnd, 3> kStepEnds{{
    {kRunFailed, "Read WPA file failure! \n"},
    {kRunFailed, "Can't restore file! \n"},
    {kSaveFailed, "Can't write to file! \n"},
}};

[[noreturn]] void usage() {
    std::fputs(kUsage, stderr);
    std::exit(kRefused);
}

// Signed decimal with leading white space and one sign; no digits reads as 0, and a
// number outside 32 bits reads as the nearest bound.
long read_target_number(const char *text) {
    while (std::isspace(static_cast<unsigned char>(*text))) {
        ++text;
    }
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') {
        ++text;
    }
    const long long limit = negative ? -static_cast<long long>(INT32_MIN) : INT32_MAX;
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > limit) {
            value = limit;
        }
    }
    return static_cast<long>(negative ? -value : value);
}

// Reports what stopped the run, from the table of fault_text: the profile's own line and
// the target's on standard output, then "kelmora: WHAT: WHY" and the step's message on
// standard error. Returns the status.
int report(Step step, const Failure &failure, const char *input, const char *output,
           const ProfileTarget *target) {
    const FaultText &text = fault_text(failure.fault);
    const char *path = text.stage == Stage::input ? input : output;
    if (text.line != nullptr) {
        std::printf("%s - %s\n", text.line, path);
    }
    const char *target_line = nullptr;
    if (step == kRestore && text.stage == Stage::read) {
        target_line = target->read_failure;
    } else if (step == kRestore && text.stage == Stage::write) {
        target_line = target->write_failure;
    }
    if (target_line != nullptr) {
        std::puts(target_line);
    }
    char place[24] = "";
    if (text.stage == Stage::input && failure.number > 0) {
        std::snprintf(place, sizeof place, ":%ld", failure.number);
    }
    char size[32] = "";
    if (text.sized) {
        std::snprintf(size, sizeof size, " (%ld bytes)", failure.number);
    }
    const char *why = text.why;
    if (why == nullptr) {
        // A non-blocking open or read tells a wait it refused only by this error.
        why = failure.error == EAGAIN ? "a read or open that would wait"
                                      : std::strerror(failure.error);
    }
    std::fprintf(stderr, "kelmora: %s%s: %s%s\n", path, place, why, size);
    std::fputs(kStepEnds[step].message, stderr);
    return kStepEnds[step].status;
}

} // namespace

int main(int argc, char **argv) {
    const char *input = nullptr;
    const char *output = nullptr;
    const ProfileTarget *target = nullptr;

    // getopt_long permutes arguments the GNU way on every C library.
    static const struct option kNoLongOptions[] = {{nullptr, 0, nullptr, 0}};
    int opt;
    while ((opt = getopt_long(argc, argv, "f:o:t:", kNoLongOptions, nullptr)) != -1) {
        switch (opt) {
        case 'f':
            input = optarg;
            break;
        case 'o':
            output = optarg;
            break;
        case 't': {
            const long number = read_target_number(optarg);
            for (std::size_t i = 0; i < kTargets.size(); ++i) {
                if (kTargetNumbers[i] == number) {
                    target = &kTargets[i];
                }
            }
            break;
        }
        default:
            usage();
        }
    }
    if (output == nullptr || input == nullptr || target == nullptr) {
        usage();
    }

    // A reader that went away must not turn a finished save into a death by SIGPIPE: the
    // exit status tells what happened to the profile, the summary is only a courtesy. A
    // file-size limit must not kill a save halfway either: the write fails with EFBIG,
    // and the save reports it after putting the old content back.
    std::signal(SIGPIPE, SIG_IGN);
    // A closed descriptor 0 to 2 would be taken by the profile, and the messages meant
    // for the caller would be written into it.
    for (int fd = 0; fd <= 2;) {
        if (fcntl(fd, F_GETFD) != -1) {
            ++fd;
        } else if (open("/dev/null", O_RDWR | O_NOCTTY) != fd &&
                   open("/", O_RDONLY | O_DIRECTORY) != fd) {
            return kRunFailed;
        }
    }
    std::signal(SIGXFSZ, SIG_IGN);
    Failure failure = parse_supplicant_config(input);
    if (failed(failure)) {
        return report(kReadInput, failure, input, output, target);
    }
    // Opened and held by the restore's read, until the last save is done.
    ProfileFile profile{output};
    int status = 0;
    if (failed(failure = target->restore(profile))) {
        status = report(kRestore, failure, input, output, target);
    } else if (failed(failure = target->save(profile))) {
        status = report(kSave, failure, input, output, target);
    }
    profile_close(profile);
    return status;
}
