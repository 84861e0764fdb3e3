// The plain way to print a dump: one printf per word, in physmem's layout, of a file
// read from offset 0. The benchmark's baseline and its reference for the output bytes.
#include <stdint.h>
#include <stdio.h>

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
        for (size_t i = 0; i < n; ++i, address += 4) {
            if (address == 0)
                printf("0x%08x:", address);
            else if (address % 16 == 0)
                printf("\n0x%08x:", address);
            printf("\t0x%8x", words[i]);
        }
    }
    printf("\n");
    fclose(in);
    return 0;
}
