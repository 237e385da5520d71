// Throughput of the shrink, reduce and implode decoders on a ~1 MB text, beside 7-Zip's "7z t".
// Usage: legacy_bench [work folder] [copies]   (7-Zip is skipped when "7z" is not on the path)
// The streams come from the small encoders of tests/support (flat implode trees, shrink without
// clears, reduce without follower sets); every archive is decoded whole by "unzip -t" and by
// "7z t".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/engine.h"
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

// An archive holding `copies` members with the same data and method.
Bytes make_zip(const Bytes &plain, const Bytes &packed, uint16_t method, uint16_t flags,
               int copies) {
    Archive a;
    for (int c = 0; c < copies; ++c) {
        char name[32];
        std::snprintf(name, sizeof name, "TEXT%02d.TXT", c);
        a.members.push_back(compressed_member(name, method, flags, plain, packed));
    }
    return build_zip(a);
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Best of a few runs of the engine's test mode over the archive.
double engine_seconds(const std::string &path) {
    double best = 1e9;
    for (int run = 0; run < 5; ++run) {
        std::string a0 = "unzip", a1 = "-qq", a2 = "-t", a3 = path;
        char *argv[] = {a0.data(), a1.data(), a2.data(), a3.data(), nullptr};
        auto t0 = std::chrono::steady_clock::now();
        int status = engine_main(4, argv);
        best = std::min(best, seconds_since(t0));
        if (status != 0) std::fprintf(stderr, "engine status %d on %s\n", status, path.c_str());
    }
    return best;
}

// Best of a few extractions of the whole archive into a folder (files replaced each time).
double extract_seconds(const std::string &path, const std::string &folder) {
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        std::string a0 = "unzip", a1 = "-qq", a2 = "-o", a3 = path, a4 = "-d", a5 = folder;
        char *argv[] = {a0.data(), a1.data(), a2.data(), a3.data(), a4.data(), a5.data(), nullptr};
        auto t0 = std::chrono::steady_clock::now();
        int status = engine_main(6, argv);
        best = std::min(best, seconds_since(t0));
        if (status != 0)
            std::fprintf(stderr, "engine status %d extracting %s\n", status, path.c_str());
    }
    return best;
}

double sevenzip_seconds(const std::string &path) {
    std::string cmd = "7z t -bd '" + path + "' > /dev/null 2>&1";
    double best = 1e9;
    for (int run = 0; run < 5; ++run) {
        auto t0 = std::chrono::steady_clock::now();
        int status = std::system(cmd.c_str());
        best = std::min(best, seconds_since(t0));
        if (status != 0) return -1;
    }
    return best;
}

} // namespace

int main(int argc, char **argv) {
    std::string folder = argc > 1 ? argv[1] : "/tmp/qel_legacy_bench";
    int copies = argc > 2 ? std::atoi(argv[2]) : 16;
    std::string mk = "mkdir -p '" + folder + "'";
    if (std::system(mk.c_str()) != 0) return 1;
    bool have_7z = std::system("command -v 7z > /dev/null 2>&1") == 0;

    Bytes text = make_text(1 << 20);
    struct Case {
        const char *label;
        uint16_t method, flags;
        bool compare;
    };
    const Case cases[] = {
        {"shrink", 1, 0, true},
        {"reduce-1", 2, 0, false},
        {"reduce-2", 3, 0, false},
        {"reduce-3", 4, 0, false},
        {"reduce-4", 5, 0, false},
        {"implode-4k-2trees", 6, 0, true},
        {"implode-4k-3trees", 6, 4, true},
        {"implode-8k-2trees", 6, 2, true},
        {"implode-8k-3trees", 6, 6, true},
    };
    std::printf("%d members of %zu bytes each per archive; best of 5 runs of test mode (-t)\n",
                copies, text.size());
    std::printf("%-18s %9s %10s %10s %10s %8s %12s\n", "method", "packed", "engine -t", "7z t",
                "MB/s -t", "7z/eng", "extract MB/s");
    for (const Case &c : cases) {
        Bytes packed = c.method == 1  ? shrink_encode(text).stream
                       : c.method < 6 ? reduce_encode(text, c.method - 1)
                                      : implode_encode(text, c.flags);
        std::string path = folder + "/" + c.label + ".zip";
        Bytes zip = make_zip(text, packed, c.method, c.flags, copies);
        std::FILE *f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(zip.data(), 1, zip.size(), f) != zip.size()) return 1;
        std::fclose(f);

        double engine = engine_seconds(path);
        double mb = static_cast<double>(text.size()) * copies / (1 << 20);
        double seven = (have_7z && c.compare) ? sevenzip_seconds(path) : -1;
        double extract = extract_seconds(path, folder + "/out");
        char ratio[16] = "-", seven_text[16] = "-";
        if (seven > 0) {
            std::snprintf(seven_text, sizeof seven_text, "%.3fs", seven);
            std::snprintf(ratio, sizeof ratio, "%.2f", seven / engine);
        }
        std::printf("%-18s %9zu %9.3fs %10s %10.1f %8s %12.1f\n", c.label, packed.size(), engine,
                    seven_text, mb / engine, ratio, mb / extract);
        std::fflush(stdout);
    }
    return 0;
}
