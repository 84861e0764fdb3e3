// physmem: reads a range of 32-bit words of physical memory, or writes one word,
// through "/dev/mem".
#include "hexdump.h"
#include "number.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <getopt.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr const char *device = "/dev/mem";
constexpr uint32_t page_size = 4096; // fixed: the device's page, not the host's
constexpr int refused = 1;
constexpr int failed = 255;

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
        fprintf(stderr, "%s mmap failed:%d\n", device, errno);
        return nullptr;
    }
    return base;
}

int mem_read(uint32_t address, int32_t size) {
    if (size < 0) {
        fputs("the size must not be negative!\n", stderr);
        return refused;
    }
    auto bytes = static_cast<uint32_t>(size);
    if (uint64_t{address} + bytes > uint64_t{1} << 32) {
        fputs("the range must not pass 4G!\n", stderr);
        return refused;
    }
    // Neither sum can wrap: the offset is below a page and bytes below 2^31.
    uint32_t page_start = address & ~(page_size - 1);
    uint32_t length = (address - page_start + bytes + page_size - 1) & ~(page_size - 1);
    void *base = map_pages(page_start, length, PROT_READ);
    if (base == nullptr)
        return refused;
    // The words end at the range's end rounded up to 4, which lies within the mapping.
    uint32_t first = address & ~3u;
    auto *words = reinterpret_cast<const volatile uint32_t *>(static_cast<char *>(base) +
                                                              (first - page_start));
    dump_words(stdout, words, first, bytes / 4 + (bytes % 4 != 0));
    return 0;
}

int mem_write(uint32_t address, uint32_t value) {
    uint32_t page_start = address & ~(page_size - 1);
    void *base = map_pages(page_start, page_size, PROT_READ | PROT_WRITE);
    if (base == nullptr)
        return refused;
    auto *word =
        reinterpret_cast<volatile uint32_t *>(static_cast<char *>(base) + (address - page_start));
    *word = value;
    uint32_t stored = *word;
    printf("0x%08x:\t0x%8x\n", address, stored);
    return 0;
}

int too_few(const char *name) {
    fputs("too few arguments!\n", stderr);
    print_usage(name);
    return refused;
}

} // namespace

int main(int argc, char **argv) {
    mem_fd = open(device, O_RDWR | O_SYNC);
    if (mem_fd < 0) {
        fprintf(stderr, "open device %s failed, errno = %d\n", device, errno);
        return failed;
    }
    const char *name = argc > 0 ? argv[0] : "physmem";

    // getopt_long permutes the words the GNU way on every C library; the options'
    // arguments are ignored and the words re-read by position afterwards.
    static const option no_long_options[] = {{nullptr, 0, nullptr, 0}};
    bool writing = false;
    int shift = 0;
    for (int c; (c = getopt_long(argc, argv, "r:w:h", no_long_options, nullptr)) != -1;) {
        switch (c) {
        case 'w':
            writing = true;
            shift = 1;
            break;
        case 'r':
            shift = 1;
            break;
        case 'h':
            print_usage(name);
            return 0;
        default:
            // A long option leaves no letter behind; '-' is the one a plain getopt names.
            fprintf(stderr, "no such option: '%c'\n", optopt != 0 ? optopt : '-');
            return failed;
        }
    }

    int status;
    if (!writing) {
        if (argc < shift + 2)
            return too_few(name);
        uint32_t address = read_hex32(argv[shift + 1]);
        int32_t size = argc > shift + 2 ? read_size(argv[shift + 2]) : 4;
        status = mem_read(address, size);
    } else {
        if (argc < shift + 3)
            return too_few(name);
        uint32_t address = read_hex32(argv[shift + 1]);
        uint32_t value = read_hex32(argv[shift + 2]);
        if (address % 4 != 0) {
            fputs("the address must be align to 4!\n", stderr);
            return refused;
        }
        status = mem_write(address, value);
    }
    close(mem_fd);
    return status;
}
