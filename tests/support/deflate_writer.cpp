// A small deflate encoder for tests: stored and fixed blocks, and dynamic blocks from given
// lengths.
#include "tests/support/deflate_writer.h"

#include <cstddef>

using std::size_t;

namespace qeltest {

namespace {
constexpr unsigned LENGTH_BASE[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr unsigned LENGTH_EXTRA[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr unsigned DISTANCE_BASE[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr unsigned DISTANCE_EXTRA[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr unsigned CODE_LENGTH_ORDER[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                            11, 4,  12, 3, 13, 2, 14, 1, 15};
} // namespace

void DeflateWriter::stored(const Bytes &data, bool last) {
    bits(last ? 1 : 0, 1);
    bits(0, 2);
    align();
    bits(static_cast<uint32_t>(data.size()), 16);
    bits(~static_cast<uint32_t>(data.size()) & 0xFFFF, 16);
    w.bytes.insert(w.bytes.end(), data.begin(), data.end());
}

void DeflateWriter::fixed_header(bool last) {
    bits(last ? 1 : 0, 1);
    bits(1, 2);
}

void DeflateWriter::fixed_symbol(unsigned s) {
    if (s < 144)
        code(0x30 + s, 8);
    else if (s < 256)
        code(0x190 + (s - 144), 9);
    else if (s < 280)
        code(s - 256, 7);
    else
        code(0xC0 + (s - 280), 8);
}

void length_symbol(unsigned length, unsigned *symbol, unsigned *extra_value, unsigned *extra_bits) {
    unsigned i = 28;
    while (LENGTH_BASE[i] > length) --i;
    if (length == 258)
        i = 28;
    else if (i == 28)
        i = 27;
    *symbol = 257 + i;
    *extra_value = length - LENGTH_BASE[i];
    *extra_bits = LENGTH_EXTRA[i];
}

void distance_code(unsigned distance, unsigned *c, unsigned *extra_value, unsigned *extra_bits) {
    unsigned i = 29;
    while (DISTANCE_BASE[i] > distance) --i;
    *c = i;
    *extra_value = distance - DISTANCE_BASE[i];
    *extra_bits = DISTANCE_EXTRA[i];
}

void DeflateWriter::fixed_match(unsigned length, unsigned distance) {
    unsigned s, v, n;
    length_symbol(length, &s, &v, &n);
    fixed_symbol(s);
    bits(v, n);
    distance_code(distance, &s, &v, &n);
    code(s, 5);
    bits(v, n);
}

Bytes DeflateWriter::finish() {
    return w.finish();
}

Bytes stored_stream(const Bytes &data) {
    DeflateWriter w;
    size_t at = 0;
    do {
        size_t n = data.size() - at < 65535 ? data.size() - at : 65535;
        w.stored(
            Bytes(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + n)),
            at + n == data.size());
        at += n;
    } while (at < data.size());
    return w.finish();
}

std::vector<uint32_t> canonical_codes(const std::vector<unsigned> &lengths) {
    unsigned count[17] = {};
    for (unsigned l : lengths) ++count[l];
    count[0] = 0;
    uint32_t next[17] = {};
    uint32_t c = 0;
    for (int len = 1; len <= 16; ++len) {
        c = (c + count[len - 1]) << 1;
        next[len] = c;
    }
    std::vector<uint32_t> codes(lengths.size());
    for (size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s]) codes[s] = next[lengths[s]]++;
    return codes;
}

std::vector<unsigned> default_code_length_lengths() {
    std::vector<unsigned> l(19, 4);
    for (unsigned s = 13; s < 19; ++s) l[s] = 5; // 13/16 + 6/32 = 1
    return l;
}

Bytes DynamicBlock::encode(const std::vector<std::vector<unsigned>> &symbols, bool raw_lengths,
                           bool no_data, bool no_distance) const {
    DeflateWriter w;
    w.bits(1, 1);
    w.bits(2, 2);
    w.bits(static_cast<uint32_t>(literal_lengths.size() - 257), 5);
    w.bits(static_cast<uint32_t>(distance_lengths.size() - 1), 5);
    w.bits(15, 4);
    for (unsigned i = 0; i < 19; ++i) w.bits(code_length_lengths[CODE_LENGTH_ORDER[i]], 3);
    if (raw_lengths) return w.finish();
    if (!force_code_length_bits.empty()) {
        for (unsigned b : force_code_length_bits) w.bits(b, 1);
        return w.finish();
    }
    auto cl_codes = canonical_codes(code_length_lengths);
    auto put_cl = [&](unsigned s) {
        if (code_length_lengths[s]) w.code(cl_codes[s], code_length_lengths[s]);
    };
    std::vector<unsigned> all = literal_lengths;
    all.insert(all.end(), distance_lengths.begin(), distance_lengths.end());
    size_t i = 0;
    if (leading_repeat16) {
        put_cl(16);
        w.bits(0, 2);
        i = 3;
    }
    for (; i < all.size(); ++i) {
        if (tail_repeat && i + 1 == all.size()) {
            put_cl(16);
            w.bits(0, 2);
        } else {
            put_cl(all[i]);
        }
    }
    if (no_data) return w.finish();

    auto lit_codes = canonical_codes(literal_lengths);
    auto dist_codes = canonical_codes(distance_lengths);
    for (const auto &sym : symbols) {
        unsigned s = sym[0];
        if (s < literal_lengths.size() && literal_lengths[s])
            w.code(lit_codes[s], literal_lengths[s]);
        if (s < 257 || s > 285 || sym.size() < 2) continue;
        w.bits(sym[1], LENGTH_EXTRA[s - 257]);
        if (sym.size() < 4 || no_distance) continue;
        unsigned d = sym[2];
        if (distance_raw_bit >= 0) {
            w.bits(static_cast<uint32_t>(distance_raw_bit), 1);
        } else if (d < distance_lengths.size() && distance_lengths[d]) {
            w.code(dist_codes[d], distance_lengths[d]);
        }
        if (d < 30) w.bits(sym[3], DISTANCE_EXTRA[d]);
    }
    return w.finish();
}

} // namespace qeltest
