// Reads the members of a real archive straight from its bytes, and the corpus manifest's digests.
#include "tests/support/corpus_walk.h"

#include <cstdio>

#include "tests/support/zip_builder.h"

namespace qeltest {

namespace {

uint32_t le16(const Bytes &b, size_t at) { return at + 2 <= b.size() ? b[at] | (b[at + 1] << 8) : 0; }
uint32_t le32(const Bytes &b, size_t at) { return le16(b, at) | (le16(b, at + 2) << 16); }

} // namespace

std::vector<RawMember> raw_members(const std::string &path) {
    std::vector<RawMember> out;
    Bytes zip = read_file(path);
    if (zip.size() < 22) return out;
    size_t end = zip.size() - 22;
    while (end > 0 && le32(zip, end) != 0x06054b50) --end;
    if (le32(zip, end) != 0x06054b50) return out;
    unsigned entries = le16(zip, end + 10);
    size_t at = le32(zip, end + 16);
    for (unsigned i = 0; i < entries && le32(zip, at) == 0x02014b50; ++i) {
        RawMember m;
        m.method = static_cast<uint16_t>(le16(zip, at + 10));
        m.crc32 = le32(zip, at + 16);
        m.compressed_size = le32(zip, at + 20);
        m.uncompressed_size = le32(zip, at + 24);
        unsigned name_length = le16(zip, at + 28), extra = le16(zip, at + 30), comment = le16(zip, at + 32);
        size_t local = le32(zip, at + 42);
        m.name.assign(zip.begin() + at + 46, zip.begin() + at + 46 + name_length);
        at += 46 + name_length + extra + comment;
        if (le32(zip, local) != 0x04034b50) continue;
        m.flags = static_cast<uint16_t>(le16(zip, local + 6));
        size_t data = local + 30 + le16(zip, local + 26) + le16(zip, local + 28);
        if (data + m.compressed_size > zip.size()) continue;
        m.compressed.assign(zip.begin() + data, zip.begin() + data + m.compressed_size);
        out.push_back(std::move(m));
    }
    return out;
}

std::string manifest_sha256(const std::string &archive, const std::string &member) {
    static Bytes manifest = read_file(corpus_path("manifest.json"));
    std::string text(manifest.begin(), manifest.end());
    size_t at = text.find("\"" + archive + "\": {");
    if (at == std::string::npos) return "";
    size_t stop = text.find(']', at);
    size_t name = text.find("\"name\": \"" + member + "\"", at);
    if (name == std::string::npos || name > stop) return "";
    size_t sha = text.find("\"sha256\": \"", name);
    if (sha == std::string::npos) return "";
    return text.substr(sha + 11, 64);
}

// SHA-256, plain and small: only for checking test results.
std::string sha256_hex(const std::vector<unsigned char> &data) {
    static const uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
        0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
        0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
        0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
        0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
        0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
        0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
    uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::vector<unsigned char> msg(data);
    uint64_t bits = static_cast<uint64_t>(data.size()) * 8;
    msg.push_back(0x80);
    while (msg.size() % 64 != 56) msg.push_back(0);
    for (int i = 7; i >= 0; --i) msg.push_back(static_cast<unsigned char>(bits >> (8 * i)));
    auto rotr = [](uint32_t x, int n) { return (x >> n) | (x << (32 - n)); };
    for (size_t block = 0; block < msg.size(); block += 64) {
        uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = (uint32_t(msg[block + 4 * i]) << 24) | (uint32_t(msg[block + 4 * i + 1]) << 16) |
                   (uint32_t(msg[block + 4 * i + 2]) << 8) | msg[block + 4 * i + 3];
        for (int i = 16; i < 64; ++i) {
            uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
        for (int i = 0; i < 64; ++i) {
            uint32_t t1 = hh + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
            uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            hh = g; g = f; f = e; e = d + t1; d = c; c = b; b = a; a = t1 + t2;
        }
        h[0] += a; h[1] += b; h[2] += c; h[3] += d; h[4] += e; h[5] += f; h[6] += g; h[7] += hh;
    }
    std::string hex;
    char piece[9];
    for (uint32_t v : h) {
        std::snprintf(piece, sizeof piece, "%08x", v);
        hex += piece;
    }
    return hex;
}

} // namespace qeltest
