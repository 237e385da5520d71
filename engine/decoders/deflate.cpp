// Deflate decoder (method 8): the blocks of RFC 1951 through the 32K sliding window.
//
// The format, element by element (all fields least significant bit first; Huffman codes first
// bit first):
//   A member's data is a sequence of blocks. Every block starts with
//     BFINAL  1 bit   1 on the member's last block
//     BTYPE   2 bits  0 stored, 1 fixed codes, 2 dynamic codes, 3 invalid
//   Stored block: the rest of the current byte is skipped, then
//     LEN     16 bits  the count of bytes that follow
//     NLEN    16 bits  LEN's one's complement
//     LEN bytes, copied to the output as they are.
//   Fixed block: data in the fixed codes: literal/length symbols 0..143 in 8 bits, 144..255 in 9,
//     256..279 in 7, 280..287 in 8; distance symbols in 5 bits each.
//   Dynamic block: the codes first, then the data in them:
//     HLIT    5 bits  literal/length code lengths that follow, less 257
//     HDIST   5 bits  distance code lengths that follow, less 1
//     HCLEN   4 bits  code-length code lengths that follow, less 4
//     HCLEN lengths of 3 bits for the code-length symbols 16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11,
//       4, 12, 3, 13, 2, 14, 1, 15 (the rest are 0)
//     HLIT + 257 and HDIST + 1 code lengths as one sequence of code-length symbols: 0..15 a
//       length; 16 the previous length 3..6 times (2 more bits); 17 a zero 3..10 times (3 bits);
//       18 a zero 11..138 times (7 bits). A repeat may run from one set into the other.
//   Data: literal/length symbols: 0..255 a literal byte; 256 the end of the block; 257..285 a
//     match length 3..258 (a base and 0..5 more bits), followed by a distance symbol 0..29 (a
//     base and 0..13 more bits: distance 1..32768). A match copies `length` bytes from `distance`
//     bytes back in the output, which may overlap the bytes it writes.
//   Codes are canonical: the lengths of the symbols define them.
// Beyond the RFC: length counts up to 288 and distance counts up to 32 are accepted, but symbols
// 286 and 287 and distance codes 30 and 31 are invalid; a match may not reach before the member's
// first byte; the member's last block must end within its data, not in fill bits past its end.
#include <cstdio>
#include <cstring>

#include "engine/decoders/bit_input.h"
#include "engine/decoders/decoders.h"
#include "engine/decoders/huffman_tables.h"

namespace {

// First-level bits of the packed tables: most codes decode with one lookup.
constexpr unsigned LITERAL_FIRST_BITS = 11;
constexpr unsigned DISTANCE_FIRST_BITS = 8;
constexpr unsigned CODE_LENGTH_FIRST_BITS = 7; // the longest code-length code

// Order in which the code-length code's lengths are stored.
constexpr unsigned code_length_order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                            11, 4,  12, 3, 13, 2, 14, 1, 15};

// Length symbols 257..287: base lengths and extra bits; 286 and 287 decode as invalid.
constexpr uint16_t length_base[31] = {3,  4,   5,   6,   7,   8,   9,   10, 11, 13, 15,
                                      17, 19,  23,  27,  31,  35,  43,  51, 59, 67, 83,
                                      99, 115, 131, 163, 195, 227, 258, 0,  0};
constexpr uint16_t length_extra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,  2, 2,
                                       3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};

// Distance codes 0..31: base distances and extra bits; 30 and 31 decode as invalid.
constexpr uint16_t distance_base[32] = {
    1,   2,   3,   4,   5,    7,    9,    13,   17,   25,   33,   49,    65,    97,    129, 193,
    257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 0,   0};
constexpr uint16_t distance_extra[32] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                         7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 99, 99};

// --- The window --------------------------------------------------------------------------------

void write_window(unsigned count) {
    write_out(engine.decoders.window_area, count, 0);
}

// What the data loop works on, copied out of the decoder state so that it lives in registers.
struct DataLoop {
    BitInput in;
    unsigned char *window;
    unsigned pos; // next write position in the window
};

// --- The steps of the data loop ----------------------------------------------------------------

// Decodes one symbol through a packed table: the first-level entry, and the second-level one when
// the code is longer. Leaves the entry and its tag in `e` and `tag` with the code's bits
// consumed; false for a code that no symbol has.
template <unsigned FIRST_BITS>
[[gnu::always_inline]] inline bool decode_symbol(BitInput &in, const uint32_t *table, uint32_t &e,
                                                 unsigned &tag) {
    e = table[static_cast<unsigned>(in.bits) & ((1u << FIRST_BITS) - 1)];
    tag = entry_tag(e);
    if (tag > TAG_LINK_BASE) {
        if (tag == TAG_INVALID) return false;
        drop_bits(in, FIRST_BITS);
        e = table[entry_value(e) + peek_bits(in, tag - TAG_LINK_BASE)];
        tag = entry_tag(e);
        if (tag == TAG_INVALID) return false;
    }
    drop_bits(in, entry_width(e));
    return true;
}

// The window is full: it goes out, and the output goes on at its start.
[[gnu::always_inline]] inline void flush_full_window(unsigned &pos) {
    write_window(WINDOW_SIZE);
    pos = 0;
}

// Stores a literal, and up to two more that follow with first-level codes: 48 bits were held
// before the first, so at least 33 are left, enough for two more lookups without a refill.
// True when the window filled and went out.
[[gnu::always_inline]] inline bool put_literals(DataLoop &d, uint32_t e, const uint32_t *literals) {
    d.window[d.pos++] = static_cast<unsigned char>(entry_value(e));
    for (int more = 0; more < 2 && d.pos != WINDOW_SIZE; ++more) {
        e = literals[static_cast<unsigned>(d.in.bits) & ((1u << LITERAL_FIRST_BITS) - 1)];
        if (entry_tag(e) != TAG_LITERAL) break;
        drop_bits(d.in, entry_width(e));
        d.window[d.pos++] = static_cast<unsigned char>(entry_value(e));
    }
    if (d.pos != WINDOW_SIZE) return false;
    flush_full_window(d.pos);
    return true;
}

[[gnu::always_inline]] inline void copy_piece8(unsigned char *to, const unsigned char *from) {
    uint64_t piece;
    std::memcpy(&piece, from, 8);
    std::memcpy(to, &piece, 8);
}

[[gnu::always_inline]] inline void copy_piece4(unsigned char *to, const unsigned char *from) {
    uint32_t piece;
    std::memcpy(&piece, from, 4);
    std::memcpy(to, &piece, 4);
}

// Copies a match that neither wraps nor reads a source overlapping it harmfully. Bytes past the
// match's end are older history that is never written, so pieces of eight may read past it.
[[gnu::always_inline]] inline void copy_within_window(unsigned char *to, const unsigned char *from,
                                                      unsigned length, unsigned distance,
                                                      bool source_ahead) {
    if (distance >= 8 || source_ahead) {
        // Pieces of eight, each reading bytes already final; the last piece ends at the match's
        // end and may rewrite bytes of the one before with the same values.
        if (length >= 8) {
            unsigned n = length;
            for (; n > 8; n -= 8, to += 8, from += 8) copy_piece8(to, from);
            copy_piece8(to + n - 8, from + n - 8);
        } else if (length >= 4) {
            copy_piece4(to, from);
            copy_piece4(to + length - 4, from + length - 4);
        } else {
            for (unsigned i = 0; i < length; ++i) to[i] = from[i];
        }
    } else if (distance == 1) {
        std::memset(to, from[0], length);
    } else {
        for (unsigned i = 0; i < length; ++i) to[i] = from[i];
    }
}

// Where a copy across the window's end left the output, and whether the window went out.
struct CopyEnd {
    unsigned pos;
    bool flushed;
};

// Copies a match that crosses the window's end, or whose source does: in chunks up to the edge
// that comes first, forward byte by byte where the source overlaps what is written. Rare, so
// kept out of the data loop.
[[gnu::noinline]] CopyEnd copy_across_window_end(unsigned pos, unsigned source, unsigned length) {
    unsigned char *const window = engine.decoders.window_area;
    bool flushed = false;
    do {
        unsigned edge = source > pos ? source : pos;
        unsigned chunk = WINDOW_SIZE - edge;
        if (chunk > length) chunk = length;
        if (pos - source >= chunk) {
            std::memmove(window + pos, window + source, chunk);
            pos += chunk;
            source += chunk;
        } else {
            for (unsigned i = 0; i < chunk; ++i) window[pos++] = window[source++];
        }
        length -= chunk;
        if (pos == WINDOW_SIZE) {
            flush_full_window(pos);
            flushed = true;
        }
        source &= WINDOW_SIZE - 1;
    } while (length != 0);
    return {pos, flushed};
}

// Copies a match of `length` bytes from `distance` bytes back. True when the window filled and
// went out.
[[gnu::always_inline]] inline bool copy_match(DataLoop &d, unsigned length, unsigned distance) {
    unsigned source = (d.pos - distance) & (WINDOW_SIZE - 1);
    if (d.pos + length <= WINDOW_SIZE &&
        (distance <= d.pos || (source >= d.pos + length && source + length <= WINDOW_SIZE))) {
        // The common case: neither the match nor its source wraps, and a source in the older
        // pass lies wholly past the match.
        copy_within_window(d.window + d.pos, d.window + source, length, distance, source > d.pos);
        d.pos += length;
        if (d.pos != WINDOW_SIZE) return false;
        flush_full_window(d.pos);
        return true;
    }
    CopyEnd end = copy_across_window_end(d.pos, source, length);
    d.pos = end.pos;
    return end.flushed;
}

// How the data loop ends.
enum class LoopEnd { end_of_block, window_wrapped, bad_data };

// Decodes a block's data up to its end-of-block code: symbol by symbol, literals into the
// window, matches copied within it. Until the window has gone out once in the member, a match may
// reach back only over the member's output so far; that check is all that this first pass has
// more than the later ones, so the loop comes in both forms, and the first ends as soon as the
// window wraps.
template <bool WRAPPED>
[[gnu::always_inline]] inline LoopEnd decode_data(DataLoop &d, const uint32_t *literals,
                                                  const uint32_t *distances) {
    for (;;) {
        // One symbol with its match needs at most 15 + 5 + 15 + 13 bits.
        if (d.in.count < 48) CHECK_DATA(need_bits(d.in, 48), LoopEnd::bad_data);
        uint32_t e;
        unsigned tag;
        CHECK_DATA(decode_symbol<LITERAL_FIRST_BITS>(d.in, literals, e, tag), LoopEnd::bad_data);
        if (tag == TAG_LITERAL) {
            if (put_literals(d, e, literals) && !WRAPPED) return LoopEnd::window_wrapped;
            continue;
        }
        if (tag == TAG_END_OF_BLOCK) return LoopEnd::end_of_block;
        unsigned length = entry_value(e) + take_bits(d.in, tag);

        // A match needs a distance code, and may reach back only over this member's output.
        CHECK_DATA(distances != nullptr, LoopEnd::bad_data);
        CHECK_DATA(decode_symbol<DISTANCE_FIRST_BITS>(d.in, distances, e, tag), LoopEnd::bad_data);
        unsigned distance = entry_value(e) + take_bits(d.in, tag);
        if (!WRAPPED) CHECK_DATA(distance <= d.pos, LoopEnd::bad_data);
        if (copy_match(d, length, distance) && !WRAPPED) return LoopEnd::window_wrapped;
    }
}

// The data of a fixed or dynamic block, in the given codes.
DecodeResult decode_codes(DeflateState &s, const uint32_t *literals, const uint32_t *distances) {
    DataLoop d{s.input, engine.decoders.window_area, s.window_pos};
    LoopEnd end = LoopEnd::window_wrapped;
    if (!s.window_wrapped) end = decode_data<false>(d, literals, distances);
    if (end == LoopEnd::window_wrapped) {
        s.window_wrapped = true;
        end = decode_data<true>(d, literals, distances);
    }
    s.input = d.in;
    s.window_pos = d.pos;
    return end == LoopEnd::end_of_block ? DecodeResult::ok : DecodeResult::bad_data;
}

// --- Blocks ------------------------------------------------------------------------------------

DecodeResult stored_block(DeflateState &s) {
    BitInput &in = s.input;
    drop_bits(in, in.count & 7); // to the byte boundary
    CHECK_DATA(need_bits(in, 32), DecodeResult::bad_data);
    unsigned length = take_bits(in, 16);
    CHECK_DATA(length == (~take_bits(in, 16) & 0xFFFF), DecodeResult::bad_data);
    while (length != 0) {
        unsigned room = WINDOW_SIZE - s.window_pos;
        unsigned n = length < room ? length : room;
        unsigned got = read_aligned_bytes(in, engine.decoders.window_area + s.window_pos, n);
        s.window_pos += got;
        length -= got;
        CHECK_DATA(got == n, DecodeResult::bad_data); // the member's data ends inside the block
        if (s.window_pos == WINDOW_SIZE) {
            write_window(WINDOW_SIZE);
            s.window_pos = 0;
            s.window_wrapped = true;
        }
    }
    return DecodeResult::ok;
}

// The packed tables of one dynamic block, released however the block ends.
struct BlockTables {
    uint32_t *code_lengths = nullptr;
    uint32_t *literals = nullptr;
    uint32_t *distances = nullptr;
    BlockTables() = default;
    BlockTables(const BlockTables &) = delete;
    BlockTables &operator=(const BlockTables &) = delete;
    ~BlockTables() {
        free_packed_table(code_lengths);
        free_packed_table(literals);
        free_packed_table(distances);
    }
};

// Reads the literal/length and distance lengths of a dynamic block as one sequence.
DecodeResult read_code_lengths(BitInput &in, const uint32_t *code, unsigned *lengths,
                               unsigned total) {
    unsigned previous = 0;
    for (unsigned i = 0; i < total;) {
        CHECK_DATA(need_bits(in, 16), DecodeResult::bad_data);
        uint32_t e = code[peek_bits(in, CODE_LENGTH_FIRST_BITS)];
        CHECK_DATA(entry_tag(e) != TAG_INVALID, DecodeResult::bad_data);
        drop_bits(in, entry_width(e));
        unsigned symbol = entry_value(e);
        if (symbol < 16) {
            lengths[i++] = previous = symbol;
            continue;
        }
        unsigned repeat, fill;
        if (symbol == 16) {
            repeat = 3 + take_bits(in, 2);
            fill = previous;
        } else if (symbol == 17) {
            repeat = 3 + take_bits(in, 3);
            fill = 0;
        } else {
            repeat = 11 + take_bits(in, 7);
            fill = 0;
        }
        CHECK_DATA(i + repeat <= total, DecodeResult::bad_data);
        while (repeat-- != 0) lengths[i++] = fill;
        previous = fill;
    }
    return DecodeResult::ok;
}

DecodeResult dynamic_block(DeflateState &s) {
    BitInput &in = s.input;
    CHECK_DATA(need_bits(in, 14), DecodeResult::bad_data);
    unsigned literal_count = 257 + take_bits(in, 5);
    unsigned distance_count = 1 + take_bits(in, 5);
    unsigned code_length_count = 4 + take_bits(in, 4);
    CHECK_DATA(literal_count <= 288 && distance_count <= 32, DecodeResult::bad_data);

    unsigned *lengths = s.code_lengths;
    for (unsigned i = 0; i < 19; ++i) {
        unsigned length = 0;
        if (i < code_length_count) {
            CHECK_DATA(need_bits(in, 3), DecodeResult::bad_data);
            length = take_bits(in, 3);
        }
        lengths[code_length_order[i]] = length;
    }
    BlockTables tables;
    DecodeResult r = build_packed_table(lengths, 19, 19, nullptr, nullptr, CODE_LENGTH_FIRST_BITS,
                                        &tables.code_lengths);
    if (r != DecodeResult::ok) return r;
    CHECK_DATA(tables.code_lengths != nullptr, DecodeResult::bad_data); // no code-length code
    r = read_code_lengths(in, tables.code_lengths, lengths, literal_count + distance_count);
    if (r != DecodeResult::ok) return r;
    free_packed_table(tables.code_lengths);
    tables.code_lengths = nullptr;

    r = build_packed_table(lengths, literal_count, 257, length_base, length_extra,
                           LITERAL_FIRST_BITS, &tables.literals);
    if (r == DecodeResult::incomplete_code && engine.options.quiet == 0)
        std::fputs("(incomplete l-tree)  ", stderr);
    if (r != DecodeResult::ok) return r;
    // No literal/length code: nothing to decode with.
    CHECK_DATA(tables.literals != nullptr, DecodeResult::bad_data);
    r = build_packed_table(lengths + literal_count, distance_count, 0, distance_base,
                           distance_extra, DISTANCE_FIRST_BITS, &tables.distances);
    // An incomplete distance code is accepted: its unused codes decode as invalid.
    if (r == DecodeResult::incomplete_code && engine.options.quiet == 0)
        std::fputs("(incomplete d-tree)  ", stderr);
    if (r != DecodeResult::ok && r != DecodeResult::incomplete_code) return r;
    return decode_codes(s, tables.literals, tables.distances);
}

// The fixed codes' tables, built once for the engine call.
DecodeResult build_fixed_tables(DeflateState &s) {
    unsigned lengths[288];
    for (unsigned symbol = 0; symbol < 144; ++symbol) lengths[symbol] = 8;
    for (unsigned symbol = 144; symbol < 256; ++symbol) lengths[symbol] = 9;
    for (unsigned symbol = 256; symbol < 280; ++symbol) lengths[symbol] = 7;
    for (unsigned symbol = 280; symbol < 288; ++symbol) lengths[symbol] = 8;
    DecodeResult r = build_packed_table(lengths, 288, 257, length_base, length_extra,
                                        LITERAL_FIRST_BITS, &s.fixed_literals);
    if (r != DecodeResult::ok) return r;
    for (unsigned symbol = 0; symbol < 30; ++symbol) lengths[symbol] = 5;
    // Thirty codes of five bits leave two unused: incomplete, as the RFC has it.
    r = build_packed_table(lengths, 30, 0, distance_base, distance_extra, DISTANCE_FIRST_BITS,
                           &s.fixed_distances);
    if (r == DecodeResult::ok || r == DecodeResult::incomplete_code) return DecodeResult::ok;
    deflate_release_fixed_tables();
    return r;
}

DecodeResult fixed_block(DeflateState &s) {
    if (s.fixed_literals == nullptr) {
        DecodeResult r = build_fixed_tables(s);
        if (r != DecodeResult::ok) return r;
    }
    return decode_codes(s, s.fixed_literals, s.fixed_distances);
}

// One block: its header, then its kind.
DecodeResult read_block(DeflateState &s, bool *last) {
    CHECK_DATA(need_bits(s.input, 3), DecodeResult::bad_data);
    *last = take_bits(s.input, 1) != 0;
    unsigned type = take_bits(s.input, 2);
    CHECK_DATA(type != 3, DecodeResult::bad_block_type);
    if (type == 0) return stored_block(s);
    if (type == 1) return fixed_block(s);
    return dynamic_block(s);
}

DecodeResult decode_blocks(DeflateState &s) {
    bool last = false;
    while (!last) {
        DecodeResult r = read_block(s, &last);
        if (r != DecodeResult::ok) return r;
    }
    CHECK_DATA(fill_bits_used(s.input) == 0, DecodeResult::bad_data);
    return DecodeResult::ok;
}

} // namespace

DecodeResult deflate_decode_member() {
    DeflateState &s = engine.decoders.deflate;
    s.window_pos = 0;
    s.window_wrapped = false;
    take_input(s.input, FILL_ONES);
    DecodeResult r = decode_blocks(s);
    hand_back_input(s.input);
    // A failed member's last window is not written: what follows the damage is not its data.
    if (r == DecodeResult::ok) write_window(s.window_pos);
    return r;
}

void deflate_release_fixed_tables() {
    DeflateState &s = engine.decoders.deflate;
    free_packed_table(s.fixed_literals);
    free_packed_table(s.fixed_distances);
    s.fixed_literals = nullptr;
    s.fixed_distances = nullptr;
}
