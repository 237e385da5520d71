// A small deflate encoder for tests: stored and fixed blocks, and dynamic blocks from given
// lengths.
#pragma once

#include <cstdint>
#include <vector>

#include "tests/support/bit_writer.h"

namespace qeltest {

using Bytes = std::vector<unsigned char>;

// Bits in deflate order (least significant first); prefix codes most significant bit first.
struct DeflateWriter {
    BitWriter w;

    void bits(uint32_t value, unsigned n) { w.put(value, static_cast<int>(n)); }
    void code(uint32_t code, unsigned length) { w.put_code(code, length); }
    void align() { w.align(); }
    void stored(const Bytes &data, bool last);
    void fixed_header(bool last);
    void fixed_symbol(unsigned symbol);
    void fixed_literal(unsigned char byte) { fixed_symbol(byte); }
    void fixed_match(unsigned length, unsigned distance);
    void fixed_end() { fixed_symbol(256); }
    Bytes finish();
};

// Length symbol (257..285) and extra bits for a match length; distance code and extra bits.
void length_symbol(unsigned length, unsigned *symbol, unsigned *extra_value, unsigned *extra_bits);
void distance_code(unsigned distance, unsigned *code, unsigned *extra_value, unsigned *extra_bits);

// The data as stored blocks of at most 65535 bytes (one empty block for no data).
Bytes stored_stream(const Bytes &data);

// Canonical codes (normal bit order) for the given lengths.
std::vector<uint32_t> canonical_codes(const std::vector<unsigned> &lengths);

// A complete code-length code giving every one of the 19 symbols a code.
std::vector<unsigned> default_code_length_lengths();

// One final dynamic block described by its code lengths, written without run-length codes.
struct DynamicBlock {
    std::vector<unsigned> literal_lengths;     // nl entries
    std::vector<unsigned> distance_lengths;    // nd entries
    std::vector<unsigned> code_length_lengths; // 19, by symbol
    bool leading_repeat16 = false;             // write lengths 0..2 as "repeat previous 3 times"
    bool tail_repeat = false;                  // write the last length as "repeat previous 3 times"
    int distance_raw_bit = -1;                 // write this one bit in place of each distance code
    std::vector<unsigned> force_code_length_bits; // raw bits in place of the length sequence

    // Symbols: {literal or 256}, {length symbol, extra}, or {length symbol, extra, distance code,
    // extra}. raw_lengths: stop after the code-length code; no_data: stop after the lengths.
    Bytes encode(const std::vector<std::vector<unsigned>> &symbols, bool raw_lengths = false,
                 bool no_data = false, bool no_distance = false) const;
};

} // namespace qeltest
