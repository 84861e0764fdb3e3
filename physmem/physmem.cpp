// physmem: reads a range of 32-bit words (or bytes, or halfwords) of physical memory, or
// writes one, through "/dev/mem".
#include "access.h"
#include "hexdump.h"
#include "request.h"

#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr const char *kDevice = "/dev/mem";
constexpr int kRefused = 1;
constexpr int kStopped = 1; // a bus error or a failed write ended the job part-way
constexpr int kFailed = 255;

// The refusals whose message is the same whatever the request.
struct PlainRefusal {
    RequestKind kind;
    const char *text;
};
constexpr PlainRefusal kPlainRefusals[] = {
    {RequestKind::negative_size, "the size must not be negative!\n"},
    {RequestKind::past_end, "the range must not pass 4G!\n"},
    {RequestKind::two_widths, "only one of -b and -s!\n"},
    {RequestKind::misplaced, "the options must be the first words!\n"},
    {RequestKind::bad_address, "the address must be a hex number!\n"},
    {RequestKind::bad_value, "the value must be a hex number!\n"},
};

int mem_fd = -1;

// A bus error (or segmentation fault) during an access jumps back to where the access
// was armed. While armed only this program's own code runs (the accesses, and the
// formatting between loads), never a library call, so leaving the handler by a jump
// is safe.
sigjmp_buf fault_jump;
volatile sig_atomic_t access_armed = 0;

void on_fault(int /*signal*/) {
    if (access_armed != 0) {
        siglongjmp(fault_jump, 1);
    }
    // A fault anywhere else is a bug: the default action is back (SA_RESETHAND), so the
    // instruction faults again and the process dies of it as it would have.
}

void catch_faults() {
    struct sigaction action = {};
    action.sa_handler = on_fault;
    // Not blocked in the handler, so the jump need not restore the signal mask.
    action.sa_flags = SA_NODEFER | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, nullptr);
    sigaction(SIGSEGV, &action, nullptr);
}

// Stores value at item, width bytes, then loads it back into *stored; false when either
// faulted.
template <typename Item> bool store_item(void *at, uint32_t value, uint32_t *stored) {
    auto *item = static_cast<volatile Item *>(at);
    volatile bool done = false;
    if (sigsetjmp(fault_jump, 0) == 0) {
        access_armed = 1;
        mem_store(item, static_cast<Item>(value));
        *stored = mem_load(item);
        done = true;
    }
    access_armed = 0;
    return done;
}

int bus_error(uint32_t address) {
    fprintf(stderr, "bus error at 0x%08x\n", address);
    return kStopped;
}

int output_failed() {
    fprintf(stderr, "write to standard output failed: %s\n", strerror(errno));
    return kStopped;
}

void print_usage(const char *name) {
    printf("Usage: %s [OPTION]... PHYSICAL_ADDRESS [SIZE|VALUE]...\n", name);
    puts("[-r] physical_address [size] : read memory");
    puts("-w physical_address value : write memory");
    puts("-h : display this help and exit");
}

// Maps the pages covering length bytes from page_start; nullptr (reported) if refused.
// The offset is a 64-bit off_t, so pages at 2 GiB and above map on 32-bit hosts too.
void *map_pages(uint32_t page_start, uint32_t length, int protection) {
    void *base = mmap(nullptr, length, protection, MAP_SHARED, mem_fd, off_t{page_start});
    if (base == MAP_FAILED) {
        fprintf(stderr, "%s mmap failed:%d\n", kDevice, errno);
        return nullptr;
    }
    return base;
}

// Dumps the items of a checked range (see plan_read). After a fault the dump holds the
// items before it, which are printed as a dump of their own (nothing if none).
int mem_read(uint32_t address, uint32_t size, unsigned width) {
    const ReadPlan plan = plan_read(address, size, width);
    void *base = map_pages(plan.page_start, plan.length, PROT_READ);
    if (base == nullptr) {
        return kRefused;
    }
    const char *items = static_cast<char *>(base) + (plan.first_item - plan.page_start);
    static Dump dump; // 64 KiB: kept off the stack, and intact after a jump
    dump_start(&dump, stdout, plan.first_item, width);
    if (sigsetjmp(fault_jump, 0) != 0) {
        access_armed = 0;
        if (dump.item_count > 0 && dump_finish(&dump) != 0) {
            output_failed();
        }
        return bus_error(plan.first_item + width * dump.item_count);
    }
    while (dump.item_count < plan.item_count) {
        access_armed = 1;
        dump_add(&dump, items + size_t{width} * dump.item_count, plan.item_count - dump.item_count);
        access_armed = 0;
        if (dump.item_count < plan.item_count && dump_write(&dump) != 0) {
            return output_failed();
        }
    }
    return dump_finish(&dump) == 0 ? 0 : output_failed();
}

int mem_write(uint32_t address, uint32_t value, unsigned width) {
    const uint32_t page_start = address & ~(kPageSize - 1);
    void *base = map_pages(page_start, kPageSize, PROT_READ | PROT_WRITE);
    if (base == nullptr) {
        return kRefused;
    }
    char *item = static_cast<char *>(base) + (address - page_start);
    uint32_t stored = 0;
    const bool done = width == 1   ? store_item<uint8_t>(item, value, &stored)
                      : width == 2 ? store_item<uint16_t>(item, value, &stored)
                                   : store_item<uint32_t>(item, value, &stored);
    if (!done) {
        return bus_error(address);
    }
    printf("0x%08x:\t0x%*x\n", address, static_cast<int>(2 * width), stored);
    return 0;
}

// Opens descriptors 0 to 2 that are closed on /dev/null (else /), so that /dev/mem
// cannot take one and receive the output or the messages. Returns whether standard
// output was closed, or -1 when a descriptor could not be filled.
int fill_standard_descriptors() {
    int stdout_closed = 0;
    for (int fd = 0; fd <= 2;) {
        if (fcntl(fd, F_GETFD) != -1) {
            ++fd;
        } else if (open("/dev/null", O_RDWR | O_NOCTTY) != fd &&
                   open("/", O_RDONLY | O_DIRECTORY) != fd) {
            return -1;
        } else {
            stdout_closed |= fd == 1 ? 1 : 0;
        }
    }
    return stdout_closed;
}

} // namespace

int main(int argc, char **argv) {
    const int stdout_closed = fill_standard_descriptors();
    if (stdout_closed < 0) {
        return kFailed;
    }
    mem_fd = open(kDevice, O_RDWR | O_SYNC);
    if (mem_fd < 0) {
        fprintf(stderr, "open device %s failed, errno = %d\n", kDevice, errno);
        return kFailed;
    }
    const char *name = argc > 0 ? argv[0] : "physmem";

    const Request request = parse_request(argc, argv);
    // What would go to a closed standard output is lost: a run whose job is to show
    // something, or to write and show it, is refused before anything is touched.
    const bool shows = request.kind == RequestKind::usage || request.kind == RequestKind::read ||
                       request.kind == RequestKind::write;
    if (stdout_closed != 0 && shows) {
        errno = EBADF;
        return output_failed();
    }
    int status = kRefused;
    switch (request.kind) {
    case RequestKind::usage:
        print_usage(name);
        status = 0;
        break;
    case RequestKind::bad_option:
        fprintf(stderr, "no such option: '%c'\n", request.option);
        return kFailed;
    case RequestKind::too_few:
        fputs("too few arguments!\n", stderr);
        print_usage(name);
        return kRefused;
    case RequestKind::negative_size:
    case RequestKind::past_end:
    case RequestKind::two_widths:
    case RequestKind::misplaced:
    case RequestKind::bad_address:
    case RequestKind::bad_value:
        for (const PlainRefusal &refusal : kPlainRefusals) {
            if (refusal.kind == request.kind) {
                fputs(refusal.text, stderr);
            }
        }
        return kRefused;
    case RequestKind::misaligned:
        fprintf(stderr, "the address must be align to %u!\n", request.width);
        return kRefused;
    case RequestKind::too_wide:
        fprintf(stderr, "the value must fit in %u bits!\n", 8 * request.width);
        return kRefused;
    case RequestKind::read:
        catch_faults();
        status = mem_read(request.address, request.size, request.width);
        break;
    case RequestKind::write:
        catch_faults();
        status = mem_write(request.address, request.value, request.width);
        break;
    }
    close(mem_fd);
    // A job is done when its output arrived: the usage or a write's echo may still be
    // in the stream's buffer, or a line-buffered stream may have failed on its own.
    if (status == 0 && (fflush(stdout) != 0 || ferror(stdout) != 0)) {
        return output_failed();
    }
    return status;
}
