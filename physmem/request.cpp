#include "request.h"

#include "number.h"

#include <algorithm>
#include <cstring>
#include <getopt.h>

ReadPlan plan_read(uint32_t address, uint32_t bytes, unsigned width) {
    ReadPlan plan{};
    plan.page_start = address & ~(kPageSize - 1);
    // Cannot wrap: the offset is below a page and the range ends at 4 GiB at the most.
    const uint64_t end = uint64_t{address} - plan.page_start + bytes;
    plan.length = static_cast<uint32_t>((end + kPageSize - 1) & ~uint64_t{kPageSize - 1});
    // One item per started width bytes from the item holding address: the last one ends
    // at most width - 1 bytes past the range, and being aligned, inside the last page.
    plan.first_item = address & ~(width - 1);
    plan.item_count = bytes / width + (bytes % width != 0 ? 1 : 0);
    return plan;
}

Request parse_request(int argc, char **argv) {
    static const option kNoLongOptions[] = {{nullptr, 0, nullptr, 0}};
    Request request{};
    bool writing = false;
    int shift = 0;
    // The words as typed, before getopt moves options to the front, and the options seen.
    const char *typed[3] = {};
    for (int i = 1; i < argc && i <= 3; ++i) {
        typed[i - 1] = argv[i];
    }
    char letters[3] = {};
    int options = 0;
    bool two_widths = false;
    request.width = 4;
    for (int c; (c = getopt_long(argc, argv, "r:w:hbs", kNoLongOptions, nullptr)) != -1;) {
        letters[std::min(options++, 2)] = static_cast<char>(c);
        switch (c) {
        case 'w':
            writing = true;
            shift = 1;
            break;
        case 'r':
            shift = 1;
            break;
        case 'b':
        case 's': {
            const unsigned width = c == 'b' ? 1 : 2;
            two_widths = two_widths || (request.width != 4 && request.width != width);
            request.width = width;
            break;
        }
        case 'h':
            request.kind = RequestKind::usage;
            return request;
        default:
            request.kind = RequestKind::bad_option;
            // A long option leaves no letter behind; '-' is the one a plain getopt names.
            request.option = optopt != 0 ? optopt : '-';
            return request;
        }
    }

    if (two_widths) {
        request.kind = RequestKind::two_widths;
        return request;
    }
    shift += request.width != 4 ? 1 : 0;
    // A write's options are the first words, each a word of its own: the positions
    // cannot then have moved, and nothing else can be taken for the address.
    bool plain = options == shift;
    for (int i = 0; i < options && plain; ++i) {
        const char word[] = {'-', letters[i], '\0'};
        plain = typed[i] != nullptr && std::strcmp(typed[i], word) == 0;
    }
    if (writing && !plain) {
        request.kind = RequestKind::misplaced;
        return request;
    }
    if (argc < shift + (writing ? 3 : 2)) {
        request.kind = RequestKind::too_few;
        return request;
    }
    bool whole_address = false;
    bool whole_value = false;
    request.address = read_hex32(argv[shift + 1], &whole_address);
    if (writing) {
        request.value = read_hex32(argv[shift + 2], &whole_value);
        // A word that begins with '-' is an option (here one that -w took for its own).
        whole_address = whole_address && argv[shift + 1][0] != '-';
        const bool too_wide = request.width < 4 && request.value >> (8 * request.width) != 0;
        request.kind = !whole_address                         ? RequestKind::bad_address
                       : !whole_value                         ? RequestKind::bad_value
                       : too_wide                             ? RequestKind::too_wide
                       : request.address % request.width != 0 ? RequestKind::misaligned
                                                              : RequestKind::write;
        return request;
    }
    const int32_t size = argc > shift + 2 ? read_size(argv[shift + 2]) : 4;
    if (size < 0) {
        request.kind = RequestKind::negative_size;
    } else if (uint64_t{request.address} + static_cast<uint32_t>(size) > uint64_t{1} << 32) {
        request.kind = RequestKind::past_end;
    } else {
        request.kind = RequestKind::read;
        request.size = static_cast<uint32_t>(size);
    }
    return request;
}
