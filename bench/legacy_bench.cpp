// Throughput of the shrink, reduce and implode decoders on a ~1 MB text, beside 7-Zip's "7z t".
// Usage: legacy_bench [work folder] [copies]   (7-Zip is skipped when "7z" is not on the path)
// The streams come from the small encoders below (flat implode trees, shrink without clears,
// reduce without follower sets); every archive is decoded whole by "unzip -t" and by "7z t".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/crc32.h"
#include "engine/engine.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct BitSink {
    Bytes bytes;
    uint32_t buffer = 0;
    int count = 0;
    void put(uint32_t value, int bits) {
        buffer |= (value & ((1u << bits) - 1u)) << count;
        count += bits;
        while (count >= 8) {
            bytes.push_back(static_cast<unsigned char>(buffer));
            buffer >>= 8;
            count -= 8;
        }
    }
    Bytes finish() {
        if (count > 0) bytes.push_back(static_cast<unsigned char>(buffer));
        count = 0;
        buffer = 0;
        return bytes;
    }
};

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

// Greedy longest match through hash chains over the last `window` bytes.
struct Matcher {
    const Bytes &data;
    unsigned window;
    std::vector<int> head, chain;
    explicit Matcher(const Bytes &d, unsigned w)
        : data(d), window(w), head(1 << 15, -1), chain(d.size(), -1) {}
    unsigned hash(size_t i) const {
        return ((data[i] << 10) ^ (data[i + 1] << 5) ^ data[i + 2]) & 0x7FFF;
    }
    void insert(size_t i) {
        if (i + 2 >= data.size()) return;
        unsigned h = hash(i);
        chain[i] = head[h];
        head[h] = static_cast<int>(i);
    }
    // Best (length, distance) at i, lengths up to max_len.
    std::pair<unsigned, unsigned> find(size_t i, unsigned max_len) const {
        unsigned best = 0, dist = 0;
        if (i + 2 >= data.size()) return {0, 0};
        int tries = 64;
        for (int j = head[hash(i)]; j >= 0 && tries-- > 0; j = chain[j]) {
            size_t d = i - static_cast<size_t>(j);
            if (d > window) break;
            unsigned l = 0;
            while (l < max_len && i + l < data.size() && data[j + l] == data[i + l]) ++l;
            if (l > best) {
                best = l;
                dist = static_cast<unsigned>(d);
            }
        }
        return {best, dist};
    }
};

Bytes shrink_encode(const Bytes &data) {
    BitSink s;
    int width = 9;
    std::vector<int16_t> dict(8192 * 256, -1);
    int next_free = 257;
    auto emit = [&](int c) {
        while (c >= (1 << width)) {
            s.put(256, width);
            s.put(1, width);
            ++width;
        }
        s.put(static_cast<uint32_t>(c), width);
    };
    int cur = data[0];
    for (size_t i = 1; i < data.size(); ++i) {
        int16_t &slot = dict[static_cast<size_t>(cur) * 256 + data[i]];
        if (slot >= 0) {
            cur = slot;
            continue;
        }
        emit(cur);
        if (next_free < 8192) slot = static_cast<int16_t>(next_free++);
        cur = data[i];
    }
    emit(cur);
    return s.finish();
}

// Reduce with empty follower sets: every byte is 8 plain bits; matches are escape sequences.
Bytes reduce_encode(const Bytes &data, int factor) {
    const unsigned lmask = 127u >> (factor - 1), shift = 8 - factor;
    Matcher m(data, 256u << factor);
    BitSink s;
    for (int b = 0; b < 256; ++b) s.put(0, 6);
    for (size_t i = 0; i < data.size();) {
        auto [len, dist] = m.find(i, lmask + 255 + 3);
        if (len >= 4 || (len == 3 && dist > 256)) {
            unsigned part = std::min(len - 3, lmask);
            unsigned v = part | (((dist - 1) >> 8) << shift);
            s.put(144, 8);
            s.put(v, 8);
            if (part == lmask) s.put(len - 3 - lmask, 8);
            s.put((dist - 1) & 255, 8);
            for (unsigned k = 0; k < len; ++k) m.insert(i + k);
            i += len;
        } else {
            s.put(data[i], 8);
            if (data[i] == 144) s.put(0, 8);
            m.insert(i);
            ++i;
        }
    }
    return s.finish();
}

// Implode with flat trees (literal 8 bits, lengths and distances 6 bits each).
Bytes implode_encode(const Bytes &data, uint16_t flags) {
    const bool literal_tree = flags & 4;
    const unsigned low_bits = (flags & 2) ? 7 : 6, minimum = literal_tree ? 3 : 2;
    Matcher m(data, (flags & 2) ? 8192 : 4096);
    BitSink s;
    auto flat = [&](unsigned groups, unsigned len) {
        s.put(groups - 1, 8);
        for (unsigned g = 0; g < groups; ++g) s.put(0xF0 | (len - 1), 8);
    };
    if (literal_tree) flat(16, 8);
    flat(4, 6);
    flat(4, 6);
    auto code = [&](unsigned symbol, int len) {
        for (int i = len - 1; i >= 0; --i) s.put(~(symbol >> i) & 1u, 1);
    };
    for (size_t i = 0; i < data.size();) {
        auto [len, dist] = m.find(i, minimum + 63 + 255);
        if (len >= minimum + 1) {
            s.put(0, 1);
            s.put((dist - 1) & ((1u << low_bits) - 1), static_cast<int>(low_bits));
            code((dist - 1) >> low_bits, 6);
            unsigned l = len - minimum;
            if (l < 63) {
                code(l, 6);
            } else {
                code(63, 6);
                s.put(l - 63, 8);
            }
            for (unsigned k = 0; k < len; ++k) m.insert(i + k);
            i += len;
        } else {
            s.put(1, 1);
            if (literal_tree)
                code(data[i], 8);
            else
                s.put(data[i], 8);
            m.insert(i);
            ++i;
        }
    }
    return s.finish();
}

void put16(Bytes &b, unsigned v) {
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}
void put32(Bytes &b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// An archive holding `copies` members with the same data and method.
Bytes make_zip(const Bytes &plain, const Bytes &packed, uint16_t method, uint16_t flags,
               int copies) {
    uint32_t crc = ~crc32_update(0xFFFFFFFFu, plain.data(), plain.size());
    Bytes zip, central;
    for (int c = 0; c < copies; ++c) {
        char name[32];
        int n = std::snprintf(name, sizeof name, "TEXT%02d.TXT", c);
        uint32_t offset = static_cast<uint32_t>(zip.size());
        for (Bytes *b : {&zip, &central}) {
            bool is_central = b == &central;
            put32(*b, is_central ? 0x02014b50 : 0x04034b50);
            if (is_central) put16(*b, 20);
            put16(*b, 20);
            put16(*b, flags);
            put16(*b, method);
            put16(*b, 0x6000);
            put16(*b, 0x2C21);
            put32(*b, crc);
            put32(*b, static_cast<uint32_t>(packed.size()));
            put32(*b, static_cast<uint32_t>(plain.size()));
            put16(*b, static_cast<unsigned>(n));
            put16(*b, 0);
            if (is_central) {
                put16(*b, 0);
                put16(*b, 0);
                put16(*b, 0);
                put32(*b, 0x20);
                put32(*b, offset);
            }
            b->insert(b->end(), name, name + n);
        }
        zip.insert(zip.end(), packed.begin(), packed.end());
    }
    uint32_t central_offset = static_cast<uint32_t>(zip.size());
    zip.insert(zip.end(), central.begin(), central.end());
    put32(zip, 0x06054b50);
    put16(zip, 0);
    put16(zip, 0);
    put16(zip, static_cast<unsigned>(copies));
    put16(zip, static_cast<unsigned>(copies));
    put32(zip, static_cast<uint32_t>(central.size()));
    put32(zip, central_offset);
    put16(zip, 0);
    return zip;
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
        Bytes packed = c.method == 1  ? shrink_encode(text)
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
