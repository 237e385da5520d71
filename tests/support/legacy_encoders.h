// Streams of the shrink, reduce and implode methods for the tests and the benchmarks: writers
// that put the format's codes one by one, and small greedy encoders built on them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "tests/support/bit_writer.h"

namespace qeltest {

using Bytes = std::vector<unsigned char>;

// --- Shrink ------------------------------------------------------------------------------------

// Codes at a running width; widening and partial clearing are written as code 256 and a sub-code.
struct ShrinkWriter {
    BitWriter w;
    int width = 9;
    void code(unsigned c) { w.put(c, width); }
    void widen() {
        code(256);
        code(1);
        ++width;
    }
    void partial_clear() {
        code(256);
        code(2);
    }
};

struct ShrinkEncoded {
    Bytes stream;
    int codes_defined = 0; // string codes the encoder added to its table
};
// LZW that widens when a code needs it and never clears.
ShrinkEncoded shrink_encode(const Bytes &data);

// --- Reduce ------------------------------------------------------------------------------------

// Follower sets, empty except those given, then bytes.
struct ReduceWriter {
    BitWriter w;
    std::vector<unsigned char> sets[256];
    void header();
    // A byte after one whose follower set is empty: eight plain bits.
    void plain(unsigned char x) { w.put(x, 8); }
};
// Empty follower sets, every byte plain, matches as escape sequences for the factor (1..4).
Bytes reduce_encode(const Bytes &data, int factor);

// --- Implode -----------------------------------------------------------------------------------

// A Shannon-Fano tree given by its bit lengths, with the canonical codes the decoder expects.
struct ImplodeTree {
    std::vector<unsigned> lengths;
    std::vector<uint32_t> codes;
    explicit ImplodeTree(std::vector<unsigned> bit_lengths);
    static ImplodeTree uniform(size_t symbols, unsigned length) {
        return ImplodeTree(std::vector<unsigned>(symbols, length));
    }
};

// The trees (flat ones unless given), then literals and matches, for the variant in `flags`
// (bit 1: 8K window, bit 2: literal tree).
struct ImplodeWriter {
    uint16_t flags;
    ImplodeTree literal = ImplodeTree::uniform(256, 8);
    ImplodeTree length = ImplodeTree::uniform(64, 6);
    ImplodeTree distance = ImplodeTree::uniform(64, 6);
    BitWriter w;

    explicit ImplodeWriter(uint16_t f) : flags(f) {}
    ImplodeWriter(uint16_t f, ImplodeTree distance_tree)
        : flags(f), distance(std::move(distance_tree)) {}

    // A tree's compressed description: a count byte, then (repeat - 1, length - 1) groups.
    static Bytes description(const ImplodeTree &t);
    void header();
    // A code, stored complemented, first bit first.
    void code(const ImplodeTree &t, unsigned symbol);
    void literal_byte(unsigned char c);
    void match(unsigned distance_back, unsigned match_length);
};
// Greedy matches over the variant's window, flat trees.
Bytes implode_encode(const Bytes &data, uint16_t flags);

} // namespace qeltest
