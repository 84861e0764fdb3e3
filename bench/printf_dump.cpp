// The plain way to print a dump: one printf per word, in physmem's layout, of a file
// read from offset 0. The benchmark's baseline and its reference for the output bytes.
#include "printf_dump.h"

int main(int argc, char **argv) {
    FILE *in = argc == 2 ? fopen(argv[1], "rb") : nullptr;
    if (in == nullptr) {
        fputs("usage: printf_dump FILE\n", stderr);
        return 2;
    }
    static uint32_t words[1 << 14];
    uint32_t address = 0;
    size_t n;
    while ((n = fread(words, 4, sizeof words / 4, in)) > 0) {
        fputs(printf_dump(words, n, address, 4, address == 0).c_str(), stdout);
        address += static_cast<uint32_t>(4 * n);
    }
    printf("\n");
    fclose(in);
    return 0;
}
