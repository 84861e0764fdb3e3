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
    // The input's NUL-separated pieces are the words after the program's name.
    std::vector<std::string> words{"physmem"};
    std::string word;
    for (std::size_t i = 0; i < size && words.size() < 8; ++i) {
        if (data[i] == '\0') {
            words.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(data[i]);
        }
    }
    if (words.size() < 8) {
        words.push_back(word);
    }
    std::vector<char *> argv;
    for (std::string &w : words) {
        argv.push_back(w.data());
    }
    const std::vector<char *> before = argv;
    argv.push_back(nullptr);

    optind = 0; // a fresh parse each time
    opterr = 0;
    const Request request = parse_request(static_cast<int>(before.size()), argv.data());

    std::vector<char *> after(argv.begin(), argv.end() - 1);
    std::vector<char *> sorted_before = before;
    std::sort(sorted_before.begin(), sorted_before.end());
    std::sort(after.begin(), after.end());
    FUZZ_CHECK(after == sorted_before); // permuted, never lost or invented

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
        // Only "-w ADDRESS VALUE" as typed, both words whole numbers.
        bool whole_address = false, whole_value = false;
        FUZZ_CHECK(words.size() >= 4 && words[1] == "-w");
        FUZZ_CHECK(read_hex32(words[2].c_str(), &whole_address) == request.address);
        FUZZ_CHECK(read_hex32(words[3].c_str(), &whole_value) == request.value);
        FUZZ_CHECK(whole_address && whole_value && request.address % 4 == 0);
        break;
    }
    case RequestKind::read: {
        FUZZ_CHECK(uint64_t{request.address} + request.size <= uint64_t{1} << 32);
        const ReadPlan plan = plan_read(request.address, request.size);
        const uint64_t map_end = uint64_t{plan.page_start} + plan.length;
        FUZZ_CHECK(plan.page_start % kPageSize == 0 && plan.length % kPageSize == 0);
        FUZZ_CHECK(map_end <= uint64_t{1} << 32);
        FUZZ_CHECK(plan.first_word >= plan.page_start && plan.first_word <= request.address);
        FUZZ_CHECK(uint64_t{plan.first_word} + 4 * uint64_t{plan.word_count} <= map_end ||
                   plan.word_count == 0);
        FUZZ_CHECK(uint64_t{plan.word_count} * 4 >= request.size &&
                   uint64_t{plan.word_count} * 4 < uint64_t{request.size} + 4);
        break;
    }
    default:
        break;
    }
    return 0;
}
