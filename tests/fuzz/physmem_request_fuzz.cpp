// physmem's command line: whatever the words, the parse keeps every word, names an
// option by a byte the user typed, writes only aligned words it was plainly given, and
// plans reads that stay inside the pages they map and below 4 GiB.
#include "number.h"
#include "request.h"
#include "scratch.h"

#include <algorithm>
#include <getopt.h>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    // The input's first seven NUL-separated pieces are the words after the program's name.
    std::vector<std::string> words{"physmem", ""};
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != '\0') {
            words.back() += static_cast<char>(data[i]);
        } else if (words.size() < 8) {
            words.emplace_back();
        } else {
            break;
        }
    }
    std::vector<char *> argv;
    for (std::string &w : words) {
        argv.push_back(w.data());
    }
    std::vector<char *> before = argv;
    std::sort(before.begin(), before.end());
    argv.push_back(nullptr);

    optind = 0; // a fresh parse each time
    opterr = 0;
    const Request request = parse_request(static_cast<int>(words.size()), argv.data());

    argv.pop_back();
    std::sort(argv.begin(), argv.end());
    FUZZ_CHECK(argv == before); // permuted, never lost or invented

    switch (request.kind) {
    case RequestKind::bad_option: {
        // Named by a byte the user typed ('-' for a long option), never a NUL.
        const char letter = static_cast<char>(request.option);
        FUZZ_CHECK(letter != '\0');
        FUZZ_CHECK(std::any_of(words.begin() + 1, words.end(), [&](const std::string &w) {
            return w.find(letter) != std::string::npos;
        }));
        break;
    }
    case RequestKind::write: {
        // Only "[-b|-s] -w ADDRESS VALUE" as typed, both words whole numbers that fit.
        const std::size_t at = request.width == 4 ? 2 : 3; // the address's word
        bool whole_address = false, whole_value = false;
        FUZZ_CHECK(words.size() > at + 1 && words[at - 1] == "-w");
        FUZZ_CHECK(at == 2 || words[1] == (request.width == 1 ? "-b" : "-s"));
        FUZZ_CHECK(read_hex32(words[at].c_str(), &whole_address) == request.address);
        FUZZ_CHECK(read_hex32(words[at + 1].c_str(), &whole_value) == request.value);
        FUZZ_CHECK(whole_address && whole_value && words[at][0] != '-');
        FUZZ_CHECK(request.address % request.width == 0);
        FUZZ_CHECK(request.width == 4 || request.value >> (8 * request.width) == 0);
        break;
    }
    case RequestKind::read: {
        FUZZ_CHECK(uint64_t{request.address} + request.size <= uint64_t{1} << 32);
        const ReadPlan plan = plan_read(request.address, request.size, request.width);
        const uint64_t map_end = uint64_t{plan.page_start} + plan.length;
        FUZZ_CHECK(plan.page_start % kPageSize == 0 && plan.length % kPageSize == 0);
        FUZZ_CHECK(map_end <= uint64_t{1} << 32);
        FUZZ_CHECK(plan.first_item >= plan.page_start && plan.first_item <= request.address);
        const uint64_t bytes = uint64_t{plan.item_count} * request.width;
        FUZZ_CHECK(plan.first_item % request.width == 0);
        FUZZ_CHECK(plan.first_item + bytes <= map_end || plan.item_count == 0);
        FUZZ_CHECK(bytes >= request.size && bytes < uint64_t{request.size} + request.width);
        break;
    }
    default:
        break;
    }
    return 0;
}
