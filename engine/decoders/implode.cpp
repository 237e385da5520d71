// Implode decoder (method 6): Shannon-Fano coded literals, match lengths and distances over a
// 4K or 8K window.
//
// The format, element by element. Two bits of the general purpose flags choose the variant:
//   bit 1 (2)  an 8K window (7 raw low distance bits, distance step 128); clear: a 4K window
//              (6 raw low bits, step 64)
//   bit 2 (4)  a literal tree is present (three trees, shortest match 3); clear: literals are 8
//              raw bits (two trees, shortest match 2)
// The data starts with the trees, each in its compressed description:
//   1 byte            the count of description bytes that follow, less 1
//   description bytes low 4 bits: a bit length less 1 (1..16); high 4 bits: how many symbols in
//                     a row take it, less 1 (1..16); together exactly the tree's symbol count
// in this order: the literal tree (256 symbols, only with flag bit 2), the length tree (64), the
// distance tree (64). The codes are canonical in the Shannon-Fano sense: every tree's codes are
// read with their bits inverted, so tables are indexed by the complement of the input bits.
// Then the codes, least significant bit first, until the member's uncompressed size is made:
//   1 bit   1: a literal follows: a code of the literal tree, or 8 raw bits without one
//           0: a match follows:
//             6 or 7 raw bits  the distance's low bits
//             a distance code  symbol s: the distance's high bits, distance = 1 + step * s + low
//             a length code    symbol s: the length, shortest + s; symbol 63 adds 8 raw bits
// A match copies from `distance` bytes back; before the member's first byte it reads zeros.
// The compressed size must be used exactly; otherwise the member decodes with a size mismatch.
#include <array>
#include <cstring>

#include "engine/decoders/bit_input.h"
#include "engine/decoders/decoders.h"
#include "engine/decoders/huffman_tables.h"
#include "engine/decoders/sliding_window.h"

namespace {

constexpr uint16_t FLAG_8K_WINDOW = 2;
constexpr uint16_t FLAG_LITERAL_TREE = 4;

constexpr auto make_length_base(uint16_t shortest) {
    std::array<uint16_t, 64> t{};
    for (unsigned s = 0; s < 64; ++s) t[s] = static_cast<uint16_t>(shortest + s);
    return t;
}
constexpr auto make_length_extra() {
    std::array<uint16_t, 64> t{};
    t[63] = 8;
    return t;
}
constexpr auto make_distance_base(uint16_t step) {
    std::array<uint16_t, 64> t{};
    for (unsigned s = 0; s < 64; ++s) t[s] = static_cast<uint16_t>(1 + step * s);
    return t;
}
constexpr auto length_base_3 = make_length_base(3); // with a literal tree
constexpr auto length_base_2 = make_length_base(2); // without
constexpr auto length_extra = make_length_extra();
constexpr auto distance_base_8k = make_distance_base(128);
constexpr auto distance_base_4k = make_distance_base(64);
constexpr std::array<uint16_t, 64> distance_extra{};

constexpr uint32_t low_mask(unsigned bits) {
    return (1u << bits) - 1u;
}

// The tables of one member's trees, released however the member ends.
struct Trees {
    TableMemory &memory;
    DecodeEntry *literal = nullptr;
    DecodeEntry *length = nullptr;
    DecodeEntry *distance = nullptr;
    int literal_bits = 9;
    int length_bits = 7;
    int distance_bits = 7;
    explicit Trees(TableMemory &m) : memory(m) {}
    Trees(const Trees &) = delete;
    Trees &operator=(const Trees &) = delete;
    ~Trees() {
        free_decode_tables(memory, literal);
        free_decode_tables(memory, length);
        free_decode_tables(memory, distance);
    }
};

// Reads one tree's description into its bit lengths. A missing first byte leaves the count of
// description bytes unbounded, which the symbol count then refuses.
DecodeResult read_tree_lengths(BitInput &in, unsigned *lengths, unsigned symbol_count) {
    int first = next_input_byte(in);
    unsigned description_bytes = first < 0 ? 0 : static_cast<unsigned>(first) + 1; // 0: unbounded
    unsigned filled = 0;
    for (unsigned i = 0; description_bytes == 0 || i < description_bytes; ++i) {
        int b = next_input_byte(in);
        if (b < 0) b = 255;
        unsigned bit_length = (b & 15) + 1;
        unsigned repeat = (b >> 4) + 1;
        CHECK_DATA(filled + repeat <= symbol_count, DecodeResult::bad_tree);
        while (repeat--) lengths[filled++] = bit_length;
    }
    CHECK_DATA(filled == symbol_count, DecodeResult::bad_tree);
    return DecodeResult::ok;
}

// Reads a tree and builds its tables; any result but ok ends the member, incomplete trees too
// (except a lone one-bit code, which the builder counts as complete).
DecodeResult read_tree(BitInput &in, DecoderState &state, unsigned symbol_count,
                       unsigned simple_count, const uint16_t *base_values,
                       const uint16_t *extra_bits, DecodeEntry **table, int *lookup_bits) {
    unsigned *lengths = state.implode.tree_lengths;
    DecodeResult r = read_tree_lengths(in, lengths, symbol_count);
    if (r != DecodeResult::ok) return r;
    r = build_decode_table(state.table_memory, lengths, symbol_count, simple_count, base_values,
                           extra_bits, table, lookup_bits);
    if (r != DecodeResult::ok) return r;
    // Bit lengths of 1..16 always give a table; kept as a guard before it is indexed.
    CHECK_DATA(*table != nullptr, DecodeResult::bad_tree);
    return DecodeResult::ok;
}

// One code through a tree's tables, indexed by the complement of the input bits. Null: a code
// no symbol has. Past the member's end the fill bits decode on; the code loop stops on the size
// it makes or once the input has run out.
[[gnu::always_inline]] inline const DecodeEntry *decode_code(BitInput &in, const DecodeEntry *table,
                                                             unsigned lookup_bits) {
    hold_bits_past_end(in, lookup_bits);
    const DecodeEntry *e = table + (~static_cast<unsigned>(in.bits) & low_mask(lookup_bits));
    while (e->tag > TAG_LINK_BASE) {
        if (e->tag == TAG_INVALID) return nullptr;
        drop_bits(in, e->width);
        unsigned j = e->tag - TAG_LINK_BASE;
        hold_bits_past_end(in, j);
        e = e->subtable + (~static_cast<unsigned>(in.bits) & low_mask(j));
    }
    drop_bits(in, e->width);
    return e;
}

// What the code loop works on, kept in registers.
struct CodeLoop {
    BitInput in;
    SlidingWindow<WINDOW_SIZE> window;
};

// Decodes literals and matches until the member's size is made or its input has run out (its
// reads past the member's end are deliberate: that is where they stop).
DecodeResult decode_codes(CodeLoop &c, uint16_t variant, const Trees &t, int64_t left) {
    const bool literal_tree = variant & FLAG_LITERAL_TREE;
    const unsigned low_distance_bits = (variant & FLAG_8K_WINDOW) ? 7 : 6;
    while (left > 0 && !input_ran_out(c.in)) {
        hold_bits_past_end(c.in, 1);
        if (take_bits(c.in, 1) == 1) {
            --left;
            if (literal_tree) {
                const DecodeEntry *e = decode_code(c.in, t.literal, t.literal_bits);
                CHECK_DATA(e != nullptr, DecodeResult::bad_data);
                put_byte(c.window, static_cast<unsigned char>(e->value));
            } else {
                hold_bits_past_end(c.in, 8);
                put_byte(c.window, static_cast<unsigned char>(take_bits(c.in, 8)));
            }
            continue;
        }
        hold_bits_past_end(c.in, low_distance_bits);
        unsigned distance = take_bits(c.in, low_distance_bits);
        const DecodeEntry *e = decode_code(c.in, t.distance, t.distance_bits);
        CHECK_DATA(e != nullptr, DecodeResult::bad_data);
        distance += e->value;
        e = decode_code(c.in, t.length, t.length_bits);
        CHECK_DATA(e != nullptr, DecodeResult::bad_data);
        unsigned length = e->value;
        if (e->tag != 0) {
            hold_bits_past_end(c.in, 8);
            length += take_bits(c.in, 8);
        }
        left -= length; // the whole match is written, even past the member's size
        copy_match(c.window, length, distance);
    }
    return DecodeResult::ok;
}

// Reads the member's trees (two or three, as its variant says) and builds their tables.
DecodeResult read_trees(BitInput &in, DecoderState &state, uint16_t variant, Trees &t) {
    const uint16_t *distance_base =
        (variant & FLAG_8K_WINDOW) ? distance_base_8k.data() : distance_base_4k.data();
    const uint16_t *length_base =
        (variant & FLAG_LITERAL_TREE) ? length_base_3.data() : length_base_2.data();
    DecodeResult r = DecodeResult::ok;
    if (variant & FLAG_LITERAL_TREE)
        r = read_tree(in, state, 256, 256, nullptr, nullptr, &t.literal, &t.literal_bits);
    if (r == DecodeResult::ok)
        r = read_tree(in, state, 64, 0, length_base, length_extra.data(), &t.length,
                      &t.length_bits);
    if (r == DecodeResult::ok)
        r = read_tree(in, state, 64, 0, distance_base, distance_extra.data(), &t.distance,
                      &t.distance_bits);
    return r;
}

} // namespace

int implode_distance_lookup_bits(uint64_t compressed_size) {
    return compressed_size > 200000 ? 8 : 7;
}

DecodeOutcome implode_decode_member(DecoderState &state, const MemberFacts &member,
                                    const ByteSource &input, const ByteSink &output) {
    const uint16_t variant = member.flags & (FLAG_8K_WINDOW | FLAG_LITERAL_TREE);
    Trees t(state.table_memory);
    t.distance_bits = implode_distance_lookup_bits(member.compressed_size);

    CodeLoop c{BitInput{}, {state.window_area, &output}};
    take_input(c.in, state.input_feed, input, FILL_ONES);
    DecodeResult r = read_trees(c.in, state, variant, t);
    if (r == DecodeResult::ok) r = decode_codes(c, variant, t, member.uncompressed_size);
    int64_t remaining = hand_back_input(c.in);
    if (r != DecodeResult::ok) return {r};
    write_last_window(c.window);

    // The input used must be the compressed size; whole bytes taken into the buffer but not used
    // count as unused, fill bytes past the member's end as used.
    int64_t unused = c.in.count / 8;
    DecodeOutcome outcome;
    outcome.used_compressed_size =
        static_cast<int64_t>(member.compressed_size) - remaining - unused;
    if (remaining + unused != 0) outcome.result = DecodeResult::size_mismatch;
    return outcome;
}
