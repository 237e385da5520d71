// Streams of the shrink, reduce and implode methods: writers and small greedy encoders.
#include "tests/support/legacy_encoders.h"

#include <algorithm>
#include <utility>

#include "tests/support/deflate_writer.h"

namespace qeltest {

namespace {

// Greedy longest match through hash chains over the last `window` bytes.
struct Matcher {
    const Bytes &data;
    unsigned window;
    std::vector<int> head, chain;
    Matcher(const Bytes &d, unsigned w)
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
    // The longest (length, distance) at i, lengths up to max_length.
    std::pair<unsigned, unsigned> find(size_t i, unsigned max_length) const {
        unsigned best = 0, best_distance = 0;
        if (i + 2 >= data.size()) return {0, 0};
        int tries = 64;
        for (int j = head[hash(i)]; j >= 0 && tries-- > 0; j = chain[j]) {
            size_t d = i - static_cast<size_t>(j);
            if (d > window) break;
            unsigned l = 0;
            while (l < max_length && i + l < data.size() && data[j + l] == data[i + l]) ++l;
            if (l > best) {
                best = l;
                best_distance = static_cast<unsigned>(d);
            }
        }
        return {best, best_distance};
    }
};

} // namespace

ShrinkEncoded shrink_encode(const Bytes &data) {
    ShrinkEncoded out;
    if (data.empty()) return out;
    ShrinkWriter s;
    // The table: for each code and next byte, the code of the longer string (-1: none).
    std::vector<int16_t> table(8192 * 256, -1);
    int next_free = 257;
    auto emit = [&](int c) {
        while (c >= (1 << s.width)) s.widen();
        s.code(static_cast<unsigned>(c));
    };
    int current = data[0];
    for (size_t i = 1; i < data.size(); ++i) {
        int16_t &longer = table[static_cast<size_t>(current) * 256 + data[i]];
        if (longer >= 0) {
            current = longer;
            continue;
        }
        emit(current);
        if (next_free < 8192) longer = static_cast<int16_t>(next_free++);
        current = data[i];
    }
    emit(current);
    out.stream = s.w.finish();
    out.codes_defined = next_free - 257;
    return out;
}

void ReduceWriter::header() {
    for (int b = 255; b >= 0; --b) {
        w.put(static_cast<uint32_t>(sets[b].size()), 6);
        for (unsigned char f : sets[b]) w.put(f, 8);
    }
}

Bytes reduce_encode(const Bytes &data, int factor) {
    const unsigned length_mask = 127u >> (factor - 1), shift = 8 - factor;
    Matcher m(data, 256u << factor);
    ReduceWriter s;
    s.header();
    for (size_t i = 0; i < data.size();) {
        auto [length, distance] = m.find(i, length_mask + 255 + 3);
        if (length >= 4 || (length == 3 && distance > 256)) {
            unsigned part = std::min(length - 3, length_mask);
            unsigned v = part | (((distance - 1) >> 8) << shift);
            s.plain(144);
            s.plain(static_cast<unsigned char>(v));
            if (part == length_mask) s.plain(static_cast<unsigned char>(length - 3 - length_mask));
            s.plain(static_cast<unsigned char>((distance - 1) & 255));
            for (unsigned k = 0; k < length; ++k) m.insert(i + k);
            i += length;
        } else {
            s.plain(data[i]);
            if (data[i] == 144) s.plain(0);
            m.insert(i);
            ++i;
        }
    }
    return s.w.finish();
}

ImplodeTree::ImplodeTree(std::vector<unsigned> bit_lengths)
    : lengths(std::move(bit_lengths)), codes(canonical_codes(lengths)) {}

Bytes ImplodeWriter::description(const ImplodeTree &t) {
    Bytes groups;
    for (size_t s = 0; s < t.lengths.size();) {
        size_t run = 1;
        while (s + run < t.lengths.size() && run < 16 && t.lengths[s + run] == t.lengths[s]) ++run;
        groups.push_back(static_cast<unsigned char>(((run - 1) << 4) | (t.lengths[s] - 1)));
        s += run;
    }
    groups.insert(groups.begin(), static_cast<unsigned char>(groups.size() - 1));
    return groups;
}

void ImplodeWriter::header() {
    if (flags & 4)
        for (unsigned char b : description(literal)) w.put(b, 8);
    for (unsigned char b : description(length)) w.put(b, 8);
    for (unsigned char b : description(distance)) w.put(b, 8);
}

void ImplodeWriter::code(const ImplodeTree &t, unsigned symbol) {
    w.put_code(~t.codes[symbol], t.lengths[symbol]);
}

void ImplodeWriter::literal_byte(unsigned char c) {
    w.put(1, 1);
    if (flags & 4)
        code(literal, c);
    else
        w.put(c, 8);
}

void ImplodeWriter::match(unsigned distance_back, unsigned match_length) {
    unsigned low_bits = (flags & 2) ? 7 : 6;
    unsigned minimum = (flags & 4) ? 3 : 2;
    w.put(0, 1);
    w.put((distance_back - 1) & ((1u << low_bits) - 1), static_cast<int>(low_bits));
    code(distance, (distance_back - 1) >> low_bits);
    unsigned l = match_length - minimum;
    if (l < 63) {
        code(length, l);
    } else {
        code(length, 63);
        w.put(l - 63, 8);
    }
}

Bytes implode_encode(const Bytes &data, uint16_t flags) {
    ImplodeWriter s(flags);
    const unsigned minimum = (flags & 4) ? 3 : 2;
    Matcher m(data, (flags & 2) ? 8192 : 4096);
    s.header();
    for (size_t i = 0; i < data.size();) {
        auto [length, distance] = m.find(i, minimum + 63 + 255);
        if (length >= minimum + 1) {
            s.match(distance, length);
            for (unsigned k = 0; k < length; ++k) m.insert(i + k);
            i += length;
        } else {
            s.literal_byte(data[i]);
            m.insert(i);
            ++i;
        }
    }
    return s.w.finish();
}

} // namespace qeltest
