// Writes the legacy bench's archive: shrunk, reduced and imploded members made by the small
// encoders of tests/support, a folder per method family (shrink/, reduce/, implode/), for
// bench/extract_bench.py to time against 7-Zip.
// Usage: legacy_bench ARCHIVE [copies]   (copies of each stream per family, default 48)
// Every member holds the same ~1 MB text of English-like lines; the streams come from flat
// implode trees (all four variants), shrink without clears and reduce without follower sets (all
// four factors). With the default the archive is over 40 MB.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/legacy_encoders.h"
#include "tests/support/zip_builder.h"

using namespace qeltest;

namespace {

// A text of English-like words in lines, about `size` bytes.
Bytes make_text(size_t size) {
    static const char *words[] = {
        "the",      "terminal", "modem", "connection", "of",     "and",   "script", "upload",
        "download", "phone",    "book",  "options",    "a",      "to",    "is",     "transfer",
        "protocol", "baud",     "line",  "settings",   "QEL",    "in",    "file",   "with",
        "session",  "log",      "dial",  "host",       "zmodem", "kermit"};
    Bytes t;
    uint32_t seed = 2024;
    size_t column = 0;
    while (t.size() < size) {
        seed = seed * 1664525u + 1013904223u;
        const char *w = words[(seed >> 8) % 30];
        size_t n = std::strlen(w);
        if (column + n > 72) {
            t.push_back('\r');
            t.push_back('\n');
            column = 0;
        } else if (column > 0) {
            t.push_back(' ');
            ++column;
        }
        t.insert(t.end(), w, w + n);
        column += n;
        if ((seed >> 20) % 97 == 0) {
            char num[16];
            int k = std::snprintf(num, sizeof num, " %u", (seed >> 4) % 100000);
            t.insert(t.end(), num, num + k);
            column += static_cast<size_t>(k);
        }
    }
    t.resize(size);
    return t;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: legacy_bench ARCHIVE [copies]\n");
        return 2;
    }
    const int copies = argc > 2 ? std::atoi(argv[2]) : 48;
    const Bytes text = make_text(1 << 20);
    struct Variant {
        const char *name;
        uint16_t method, flags;
    };
    // Each family's variants share its copies.
    const std::vector<std::vector<Variant>> families = {
        {{"shrink/text", 1, 0}},
        {{"reduce/factor1-", 2, 0},
         {"reduce/factor2-", 3, 0},
         {"reduce/factor3-", 4, 0},
         {"reduce/factor4-", 5, 0}},
        {{"implode/4k-2trees-", 6, 0},
         {"implode/4k-3trees-", 6, 4},
         {"implode/8k-2trees-", 6, 2},
         {"implode/8k-3trees-", 6, 6}},
    };
    Archive archive;
    for (const auto &variants : families) {
        const int each = copies / static_cast<int>(variants.size());
        for (const Variant &v : variants) {
            Bytes packed = v.method == 1  ? shrink_encode(text).stream
                           : v.method < 6 ? reduce_encode(text, v.method - 1)
                                          : implode_encode(text, v.flags);
            for (int c = 0; c < each; ++c) {
                char name[64];
                std::snprintf(name, sizeof name, "%s%02d.txt", v.name, c);
                archive.members.push_back(compressed_member(name, v.method, v.flags, text, packed));
            }
        }
    }
    write_zip(argv[1], archive);
    return 0;
}
