// physmem: reads a range of 32-bit words of physical memory, or writes one word,
// through "/dev/mem".
#include "hexdump.h"
#include "request.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr const char *kDevice = "/dev/mem";
constexpr int kRefused = 1;
constexpr int kFailed = 255;

int mem_fd = -1;

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

// Dumps the words of a checked range (see plan_read).
int mem_read(uint32_t address, uint32_t size) {
    const ReadPlan plan = plan_read(address, size);
    void *base = map_pages(plan.page_start, plan.length, PROT_READ);
    if (base == nullptr) {
        return kRefused;
    }
    auto *words = reinterpret_cast<const volatile uint32_t *>(static_cast<char *>(base) +
                                                              (plan.first_word - plan.page_start));
    dump_words(stdout, words, plan.first_word, plan.word_count);
    return 0;
}

int mem_write(uint32_t address, uint32_t value) {
    uint32_t page_start = address & ~(kPageSize - 1);
    void *base = map_pages(page_start, kPageSize, PROT_READ | PROT_WRITE);
    if (base == nullptr) {
        return kRefused;
    }
    auto *word =
        reinterpret_cast<volatile uint32_t *>(static_cast<char *>(base) + (address - page_start));
    *word = value;
    uint32_t stored = *word;
    printf("0x%08x:\t0x%8x\n", address, stored);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    mem_fd = open(kDevice, O_RDWR | O_SYNC);
    if (mem_fd < 0) {
        fprintf(stderr, "open device %s failed, errno = %d\n", kDevice, errno);
        return kFailed;
    }
    const char *name = argc > 0 ? argv[0] : "physmem";

    const Request request = parse_request(argc, argv);
    int status = kRefused;
    switch (request.kind) {
    case RequestKind::usage:
        print_usage(name);
        return 0;
    case RequestKind::bad_option:
        fprintf(stderr, "no such option: '%c'\n", request.option);
        return kFailed;
    case RequestKind::too_few:
        fputs("too few arguments!\n", stderr);
        print_usage(name);
        return kRefused;
    case RequestKind::negative_size:
        fputs("the size must not be negative!\n", stderr);
        return kRefused;
    case RequestKind::past_end:
        fputs("the range must not pass 4G!\n", stderr);
        return kRefused;
    case RequestKind::misaligned:
        fputs("the address must be align to 4!\n", stderr);
        return kRefused;
    case RequestKind::read:
        status = mem_read(request.address, request.size);
        break;
    case RequestKind::write:
        status = mem_write(request.address, request.value);
        break;
    }
    close(mem_fd);
    return status;
}
