// Deflate decoder (method 8) and its deflate64 variant (method 9): the blocks of RFC 1951 into an
// output area that keeps the 32K history (64K for deflate64).
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
// Deflate64 differs in three points: the history is 64K; length symbol 285 is a length of 3 plus
// 16 extra bits (3..65538); distance codes 30 and 31 have 14 extra bits from bases 32,769 and
// 49,153 (distances up to 65,536).
#include <array>
#include <cstring>

#include "engine/decoders/bit_input.h"
#include "engine/decoders/decoders.h"
#include "engine/decoders/huffman_tables.h"

namespace {

// First-level bits of the packed tables: most codes decode with one lookup.
constexpr unsigned LITERAL_FIRST_BITS = 11;
static_assert(15 + 3 * LITERAL_FIRST_BITS <= 48, "three literal entries and a lookup per top-up");
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

// Deflate64's length symbol 285 takes 16 extra bits, a count whose tag would read as a literal
// (TAG_LITERAL): its entries carry this tag instead until loop_entry turns them into the loop's
// form.
constexpr uint8_t TAG_SIXTEEN_EXTRA = 48;
static_assert(TAG_SIXTEEN_EXTRA > TAG_LINK_BASE + MAX_CODE_LENGTH &&
              TAG_SIXTEEN_EXTRA < TAG_INVALID);

// Deflate64's tables: symbol 285 and distance codes 30 and 31 as above.
constexpr std::array<uint16_t, 31> make_length64_base() {
    std::array<uint16_t, 31> t{};
    for (unsigned i = 0; i < 31; ++i) t[i] = length_base[i];
    t[28] = 3;
    return t;
}
constexpr std::array<uint16_t, 31> make_length64_extra() {
    std::array<uint16_t, 31> t{};
    for (unsigned i = 0; i < 31; ++i) t[i] = length_extra[i];
    t[28] = TAG_SIXTEEN_EXTRA;
    return t;
}
constexpr std::array<uint16_t, 32> make_distance64_base() {
    std::array<uint16_t, 32> t{};
    for (unsigned i = 0; i < 32; ++i) t[i] = distance_base[i];
    t[30] = 32769;
    t[31] = 49153;
    return t;
}
constexpr std::array<uint16_t, 32> make_distance64_extra() {
    std::array<uint16_t, 32> t{};
    for (unsigned i = 0; i < 32; ++i) t[i] = distance_extra[i];
    t[30] = t[31] = 14;
    return t;
}
constexpr auto length64_base = make_length64_base();
constexpr auto length64_extra = make_length64_extra();
constexpr auto distance64_base = make_distance64_base();
constexpr auto distance64_extra = make_distance64_extra();

// What sets the two formats apart, for the templates below: the history a match may reach, the
// tables of lengths and distances, the fixed code's distance count, the fixed tables kept, and
// whether one match's codes and extra bits can exceed what one top-up holds.
struct Deflate {
    static constexpr unsigned history = WINDOW_SIZE;
    static constexpr bool long_matches = false;
    static constexpr unsigned fixed_distance_count = 30;
    static constexpr const uint16_t *lengths = length_base;
    static constexpr const uint16_t *length_bits = length_extra;
    static constexpr const uint16_t *distances = distance_base;
    static constexpr const uint16_t *distance_bits = distance_extra;
    static uint32_t *&fixed_literals(DeflateState &s) { return s.fixed_literals; }
    static uint32_t *&fixed_distances(DeflateState &s) { return s.fixed_distances; }
};
struct Deflate64 {
    static constexpr unsigned history = DEFLATE64_HISTORY;
    static constexpr bool long_matches = true;
    static constexpr unsigned fixed_distance_count = 32;
    static constexpr const uint16_t *lengths = length64_base.data();
    static constexpr const uint16_t *length_bits = length64_extra.data();
    static constexpr const uint16_t *distances = distance64_base.data();
    static constexpr const uint16_t *distance_bits = distance64_extra.data();
    static uint32_t *&fixed_literals(DeflateState &s) { return s.fixed64_literals; }
    static uint32_t *&fixed_distances(DeflateState &s) { return s.fixed64_distances; }
};
static_assert(DEFLATE_SLACK >= 65538 + 16, "the slack takes deflate64's longest match");

// --- The data loop's table entries ------------------------------------------------------------

// The data loop reads the literal/length and distance tables in a form of its own, made from the
// packed tables as they are built (loop_entry), so that each step is a flag test or a shift:
//   bits 0-7    the bits the entry consumes: its code's bits at its level, and for a length or
//               a distance the extra bits that follow too
//   bits 8-12   a length or distance: its code's bits at its level, where the extra bits begin;
//               a link: the index bits of the table it leads to
//   bit 8       with LOOP_LITERAL: the entry holds two literals
//   bit 13      LOOP_LINK: the code goes on in a second-level table
//   bit 14      LOOP_LITERAL: one literal, or two
//   bit 15      LOOP_SPECIAL: a link, the end of the block, or a code that no symbol has
//   bits 16-31  the literal (the second one in bits 24-31), the base of a length or distance,
//               the index of a link's table, or LOOP_END_VALUE for the end of the block
constexpr uint32_t LOOP_TWO_LITERALS = 1u << 8;
constexpr uint32_t LOOP_LINK = 1u << 13;
constexpr uint32_t LOOP_LITERAL = 1u << 14;
constexpr uint32_t LOOP_SPECIAL = 1u << 15;
constexpr uint32_t LOOP_END_VALUE = 1;
constexpr uint32_t LOOP_INVALID = LOOP_SPECIAL;

[[gnu::always_inline]] inline unsigned loop_consumed(uint32_t e) {
    return e & 0xFF;
}
[[gnu::always_inline]] inline unsigned loop_code_bits(uint32_t e) {
    return (e >> 8) & 0x1F;
}
[[gnu::always_inline]] inline unsigned loop_value(uint32_t e) {
    return e >> 16;
}

// One packed entry in the data loop's form.
constexpr uint32_t loop_entry(uint32_t packed) {
    unsigned width = entry_width(packed), tag = entry_tag(packed), value = entry_value(packed);
    if (tag == TAG_LITERAL) return LOOP_LITERAL | width | (value << 16);
    if (tag < TAG_END_OF_BLOCK) return (width + tag) | (width << 8) | (value << 16);
    if (tag == TAG_SIXTEEN_EXTRA) return (width + 16) | (width << 8) | (value << 16);
    if (tag == TAG_END_OF_BLOCK) return LOOP_SPECIAL | width | (LOOP_END_VALUE << 16);
    if (tag > TAG_LINK_BASE && tag <= TAG_LINK_BASE + MAX_CODE_LENGTH)
        return LOOP_SPECIAL | LOOP_LINK | width | ((tag - TAG_LINK_BASE) << 8) | (value << 16);
    return LOOP_INVALID;
}
static_assert(loop_entry((uint32_t{'A'} << 16) | (TAG_LITERAL << 8) | 7) ==
              (LOOP_LITERAL | 7 | (0x41u << 16)));
static_assert(loop_entry((uint32_t{3} << 16) | (uint32_t{TAG_INVALID} << 8) | 9) == LOOP_INVALID);

// Pairs literal entries of a literal/length table in the data loop's form: where the bits that
// one literal's code leaves in the first-level lookup hold the whole code of a second literal,
// the entry decodes both. A pair's codes take LITERAL_FIRST_BITS at most, so both are at most that
// less the shortest literal code (`shortest`): those literals are found at the start of the
// table, where every code has its first entry (at its reversed code), and each pair is then
// written into every slot whose low bits are its two codes.
void pair_literals(uint32_t *table, unsigned shortest) {
    if (shortest == 0 || 2 * shortest > LITERAL_FIRST_BITS) return;
    const unsigned longest = LITERAL_FIRST_BITS - shortest; // the longest code in a pair
    struct Short {
        unsigned code, width; // reversed code, its bits
        uint32_t byte;
    } shorts[256];
    unsigned count = 0;
    for (unsigned i = 0; i < (1u << longest); ++i) {
        uint32_t e = table[i];
        unsigned width = loop_consumed(e);
        if ((e & LOOP_LITERAL) && width <= longest && i < (1u << width))
            shorts[count++] = {i, width, loop_value(e)};
    }
    for (unsigned a = 0; a < count; ++a)
        for (unsigned b = 0; b < count; ++b) {
            unsigned width = shorts[a].width + shorts[b].width;
            if (width > LITERAL_FIRST_BITS) continue;
            uint32_t pair = LOOP_LITERAL | LOOP_TWO_LITERALS | width | (shorts[a].byte << 16) |
                            (shorts[b].byte << 24);
            unsigned first = shorts[a].code | (shorts[b].code << shorts[a].width);
            for (unsigned i = first; i < (1u << LITERAL_FIRST_BITS); i += 1u << width)
                table[i] = pair;
        }
}

// The shortest code among the first `count` symbols; 0 for none.
unsigned shortest_code(const unsigned *lengths, unsigned count) {
    unsigned shortest = 0;
    for (unsigned s = 0; s < count; ++s)
        if (lengths[s] != 0 && (shortest == 0 || lengths[s] < shortest)) shortest = lengths[s];
    return shortest;
}

// The distance table of a block whose distance code has no symbols: every code is invalid, so a
// match in such a block fails like any invalid code.
constexpr auto make_no_distances() {
    std::array<uint32_t, 1u << DISTANCE_FIRST_BITS> table{};
    for (uint32_t &e : table) e = LOOP_INVALID;
    return table;
}
constexpr auto no_distances = make_no_distances();

// --- The output area ---------------------------------------------------------------------------

// What the data loop works on, copied out of the decoder state so that it lives in registers.
struct DataLoop {
    BitInput in;
    unsigned char *out;              // next output byte
    unsigned char *const area;       // the output area; the member's output starts here
    unsigned char *const flush_mark; // the run goes out once the output reaches here
};

template <class V> inline unsigned char *area_flush_mark(const DeflateState &s) {
    return s.area + V::history + DEFLATE_RUN_SIZE;
}

// Writes the bytes from `unwritten` up to `end` to the member's output.
void write_area(const DeflateState &s, const unsigned char *end) {
    s.output->write(s.output->context, s.area + s.unwritten,
                    static_cast<unsigned>(end - s.area) - s.unwritten);
}

// Writes out the bytes that have not been written yet and moves the history later matches may
// reach into (the last V::history bytes) to the area's start. The output goes on after them.
template <class V> [[gnu::noinline]] unsigned char *write_run(DeflateState &s, unsigned char *out) {
    write_area(s, out);
    std::memcpy(s.area, out - V::history, V::history);
    s.unwritten = V::history;
    return s.area + V::history;
}

// --- The steps of the data loop ----------------------------------------------------------------

// For a first-level entry that links to a second-level table (the code is longer than the first
// level), the second-level entry, with the first level's bits consumed; other entries as they are.
template <unsigned FIRST_BITS>
[[gnu::always_inline]] inline uint32_t follow_link(BitInput &in, const uint32_t *table,
                                                   uint32_t e) {
    if (e & LOOP_LINK) [[unlikely]] {
        drop_bits(in, FIRST_BITS);
        e = table[loop_value(e) + peek_bits(in, loop_code_bits(e))];
    }
    return e;
}

// A length or a distance: the entry's base plus the extra bits after its code, all consumed.
[[gnu::always_inline]] inline unsigned take_coded_value(BitInput &in, uint32_t e) {
    unsigned held = static_cast<unsigned>(in.bits);
    drop_bits(in, loop_consumed(e));
    return loop_value(e) + ((held & ((1u << loop_consumed(e)) - 1)) >> loop_code_bits(e));
}

// Stores the one or two literals of an entry. Two bytes are always written; the slack after the
// run takes the second when there is one literal.
[[gnu::always_inline]] inline void put_literals(DataLoop &d, uint32_t e) {
    uint16_t bytes = static_cast<uint16_t>(loop_value(e));
    std::memcpy(d.out, &bytes, 2);
    d.out += 1 + ((e & LOOP_TWO_LITERALS) >> 8);
    drop_bits(d.in, loop_consumed(e));
}

template <unsigned N>
[[gnu::always_inline]] inline void copy_piece(unsigned char *to, const unsigned char *from) {
    unsigned char piece[N];
    std::memcpy(piece, from, N);
    std::memcpy(to, piece, N);
}

// Copies a match of `length` bytes from `distance` bytes back within the area. Pieces of sixteen
// or eight bytes when the distance is at least that, so that every piece reads bytes already
// final; the last piece may write up to fifteen bytes past the match's end, into bytes that are
// written again later (or into the slack). A shorter distance repeats a short pattern: one byte
// spread over a word, or byte by byte.
[[gnu::always_inline]] inline void copy_match(unsigned char *out, unsigned length,
                                              unsigned distance) {
    const unsigned char *from = out - distance;
    unsigned char *const end = out + length;
    if (distance >= 16) {
        do {
            copy_piece<16>(out, from);
            out += 16;
            from += 16;
        } while (out < end);
    } else if (distance >= 8) {
        do {
            copy_piece<8>(out, from);
            out += 8;
            from += 8;
        } while (out < end);
    } else if (distance == 1) {
        uint64_t spread = from[0] * 0x0101010101010101u;
        do {
            std::memcpy(out, &spread, 8);
            out += 8;
        } while (out < end);
    } else {
        do *out++ = *from++;
        while (out < end);
    }
}

// How the data loop ends.
enum class LoopEnd { end_of_block, bad_data };

// Tops the held bits up to 48 or more, the most that one step of the data loop takes: a
// literal/length code with its extra bits and a distance code with its extra bits, 15 + 5 + 15 +
// 13 bits (deflate64's 15 + 16 + 15 + 14 take a second top-up between the two). Eight bytes at
// once while the member's bytes are direct. False once the input has run out.
[[nodiscard, gnu::always_inline]] inline bool top_up(BitInput &in) {
    if (in.direct >= 8) [[likely]] {
        refill_wide(in);
        return true;
    }
    return need_bits(in, 48);
}

// Decodes a block's data up to its end-of-block code. Each step starts with 48 or more bits held
// and the first-level literal/length entry for them already looked up, and decodes either up to
// three literal entries (one or two literals each: 15 bits for the first at most, 11 for each of
// the others, so the entry looked up after the third still sees 11 valid bits) or one match,
// then tops the bits up and looks up the next entry; for a match that lookup is done before the
// copy, so that the two overlap. Literals and matches are told apart by one flag each; only the
// rare entries (links to a second level, the end of the block, unused codes) take the special
// path. The run goes out whenever it passes its mark.
// Every check of what the data says is here: a code that no symbol has, a match without a
// distance code (the no_distances table) or reaching back before the member's first byte, input
// run out.
template <class V>
[[gnu::always_inline]] inline LoopEnd
decode_data(DataLoop &d, DeflateState &s, const uint32_t *literals, const uint32_t *distances) {
    constexpr unsigned LITERAL_MASK = (1u << LITERAL_FIRST_BITS) - 1;
    CHECK_DATA(top_up(d.in), LoopEnd::bad_data);
    uint32_t e = literals[static_cast<unsigned>(d.in.bits) & LITERAL_MASK];
    for (;;) {
        if (d.out >= d.flush_mark) [[unlikely]]
            d.out = write_run<V>(s, d.out);
        if (e & LOOP_LITERAL) {
            put_literals(d, e);
            e = literals[static_cast<unsigned>(d.in.bits) & LITERAL_MASK];
            if (e & LOOP_LITERAL) {
                put_literals(d, e);
                e = literals[static_cast<unsigned>(d.in.bits) & LITERAL_MASK];
                if (e & LOOP_LITERAL) {
                    put_literals(d, e);
                    e = literals[static_cast<unsigned>(d.in.bits) & LITERAL_MASK];
                }
            }
            CHECK_DATA(top_up(d.in), LoopEnd::bad_data);
            continue;
        }
        if (!(e & LOOP_SPECIAL)) [[likely]] {
            unsigned length = take_coded_value(d.in, e);
            if constexpr (V::long_matches) CHECK_DATA(top_up(d.in), LoopEnd::bad_data);
            e = distances[static_cast<unsigned>(d.in.bits) & ((1u << DISTANCE_FIRST_BITS) - 1)];
            if (e & LOOP_SPECIAL) [[unlikely]] {
                e = follow_link<DISTANCE_FIRST_BITS>(d.in, distances, e);
                CHECK_DATA(!(e & LOOP_SPECIAL), LoopEnd::bad_data);
            }
            unsigned distance = take_coded_value(d.in, e);
            CHECK_DATA(distance <= static_cast<unsigned>(d.out - d.area), LoopEnd::bad_data);
            CHECK_DATA(top_up(d.in), LoopEnd::bad_data);
            e = literals[static_cast<unsigned>(d.in.bits) & LITERAL_MASK];
            copy_match(d.out, length, distance);
            d.out += length;
            continue;
        }
        if (e & LOOP_LINK) {
            // A longer code: its second-level entry is decoded as the step's entry (one that
            // links on would take bits beyond the step's budget).
            e = follow_link<LITERAL_FIRST_BITS>(d.in, literals, e);
            CHECK_DATA(!(e & LOOP_LINK), LoopEnd::bad_data);
            continue;
        }
        CHECK_DATA(loop_value(e) == LOOP_END_VALUE, LoopEnd::bad_data);
        drop_bits(d.in, loop_consumed(e));
        return LoopEnd::end_of_block;
    }
}

// The data of a fixed or dynamic block, in the given codes.
template <class V>
[[gnu::always_inline]] inline DecodeResult run_data_loop(DeflateState &s, const uint32_t *literals,
                                                         const uint32_t *distances) {
    DataLoop d{s.input, s.area + s.out_pos, s.area, area_flush_mark<V>(s)};
    LoopEnd end = decode_data<V>(d, s, literals, distances);
    s.input = d.in;
    s.out_pos = static_cast<unsigned>(d.out - s.area);
    return end == LoopEnd::end_of_block ? DecodeResult::ok : DecodeResult::bad_data;
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same loop for processors with BMI1 and BMI2, whose three-operand shifts and masking
// instructions shorten every step.
template <class V>
[[gnu::target("bmi,bmi2")]] DecodeResult
run_data_loop_bmi2(DeflateState &s, const uint32_t *literals, const uint32_t *distances) {
    return run_data_loop<V>(s, literals, distances);
}
bool have_bmi2() {
    static const bool yes = __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
    return yes;
}
#endif

template <class V>
DecodeResult decode_codes(DeflateState &s, const uint32_t *literals, const uint32_t *distances) {
    if (distances == nullptr) distances = no_distances.data();
#if defined(__x86_64__) && defined(__GNUC__)
    if (have_bmi2()) return run_data_loop_bmi2<V>(s, literals, distances);
#endif
    return run_data_loop<V>(s, literals, distances);
}

// --- Blocks ------------------------------------------------------------------------------------

template <class V> DecodeResult stored_block(DeflateState &s) {
    BitInput &in = s.input;
    drop_bits(in, in.count & 7); // to the byte boundary
    CHECK_DATA(need_bits(in, 32), DecodeResult::bad_data);
    unsigned length = take_bits(in, 16);
    CHECK_DATA(length == (~take_bits(in, 16) & 0xFFFF), DecodeResult::bad_data);
    while (length != 0) {
        unsigned char *out = s.area + s.out_pos;
        if (out >= area_flush_mark<V>(s)) out = write_run<V>(s, out);
        unsigned room = static_cast<unsigned>(area_flush_mark<V>(s) - out);
        unsigned n = length < room ? length : room;
        unsigned got = read_aligned_bytes(in, out, n);
        s.out_pos = static_cast<unsigned>(out + got - s.area);
        length -= got;
        CHECK_DATA(got == n, DecodeResult::bad_data); // the member's data ends inside the block
    }
    return DecodeResult::ok;
}

// The packed tables of one dynamic block, released however the block ends.
struct BlockTables {
    TableMemory &memory;
    uint32_t *code_lengths = nullptr;
    uint32_t *literals = nullptr;
    uint32_t *distances = nullptr;
    explicit BlockTables(TableMemory &m) : memory(m) {}
    BlockTables(const BlockTables &) = delete;
    BlockTables &operator=(const BlockTables &) = delete;
    ~BlockTables() {
        free_packed_table(memory, code_lengths);
        free_packed_table(memory, literals);
        free_packed_table(memory, distances);
    }
};

// A member's deflate state with what its blocks report beside their result.
struct Member {
    DeflateState &s;
    TableMemory &memory;
    DecodeOutcome &outcome;
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

template <class V> DecodeResult dynamic_block(const Member &m) {
    DeflateState &s = m.s;
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
    BlockTables tables(m.memory);
    DecodeResult r = build_packed_table(m.memory, lengths, 19, 19, nullptr, nullptr,
                                        CODE_LENGTH_FIRST_BITS, &tables.code_lengths);
    if (r != DecodeResult::ok) return r;
    CHECK_DATA(tables.code_lengths != nullptr, DecodeResult::bad_data); // no code-length code
    r = read_code_lengths(in, tables.code_lengths, lengths, literal_count + distance_count);
    if (r != DecodeResult::ok) return r;
    free_packed_table(m.memory, tables.code_lengths);
    tables.code_lengths = nullptr;

    r = build_packed_table(m.memory, lengths, literal_count, 257, V::lengths, V::length_bits,
                           LITERAL_FIRST_BITS, &tables.literals, loop_entry);
    if (r == DecodeResult::incomplete_code) m.outcome.incomplete_literal_code = true;
    if (r != DecodeResult::ok) return r;
    // No literal/length code: nothing to decode with.
    CHECK_DATA(tables.literals != nullptr, DecodeResult::bad_data);
    r = build_packed_table(m.memory, lengths + literal_count, distance_count, 0, V::distances,
                           V::distance_bits, DISTANCE_FIRST_BITS, &tables.distances, loop_entry);
    // An incomplete distance code is accepted: its unused codes decode as invalid.
    if (r == DecodeResult::incomplete_code) ++m.outcome.incomplete_distance_codes;
    if (r != DecodeResult::ok && r != DecodeResult::incomplete_code) return r;
    if (s.use_literal_pairs) pair_literals(tables.literals, shortest_code(lengths, 256));
    return decode_codes<V>(s, tables.literals, tables.distances);
}

template <class V> void release_fixed_tables(DeflateState &s, TableMemory &memory) {
    free_packed_table(memory, V::fixed_literals(s));
    free_packed_table(memory, V::fixed_distances(s));
    V::fixed_literals(s) = nullptr;
    V::fixed_distances(s) = nullptr;
}

// The fixed codes' tables, built by the first fixed block and kept until
// deflate_release_fixed_tables.
template <class V> DecodeResult build_fixed_tables(DeflateState &s, TableMemory &memory) {
    unsigned lengths[288];
    for (unsigned symbol = 0; symbol < 144; ++symbol) lengths[symbol] = 8;
    for (unsigned symbol = 144; symbol < 256; ++symbol) lengths[symbol] = 9;
    for (unsigned symbol = 256; symbol < 280; ++symbol) lengths[symbol] = 7;
    for (unsigned symbol = 280; symbol < 288; ++symbol) lengths[symbol] = 8;
    DecodeResult r = build_packed_table(memory, lengths, 288, 257, V::lengths, V::length_bits,
                                        LITERAL_FIRST_BITS, &V::fixed_literals(s), loop_entry);
    if (r != DecodeResult::ok) return r;
    pair_literals(V::fixed_literals(s), shortest_code(lengths, 256));
    for (unsigned symbol = 0; symbol < V::fixed_distance_count; ++symbol) lengths[symbol] = 5;
    // Thirty codes of five bits leave two unused: incomplete, as the RFC has it (deflate64's
    // thirty-two are complete).
    r = build_packed_table(memory, lengths, V::fixed_distance_count, 0, V::distances,
                           V::distance_bits, DISTANCE_FIRST_BITS, &V::fixed_distances(s),
                           loop_entry);
    if (r == DecodeResult::ok || r == DecodeResult::incomplete_code) return DecodeResult::ok;
    release_fixed_tables<V>(s, memory);
    return r;
}

template <class V> DecodeResult fixed_block(const Member &m) {
    DeflateState &s = m.s;
    if (V::fixed_literals(s) == nullptr) {
        DecodeResult r = build_fixed_tables<V>(s, m.memory);
        if (r != DecodeResult::ok) return r;
    }
    return decode_codes<V>(s, V::fixed_literals(s), V::fixed_distances(s));
}

// One block: its header, then its kind.
template <class V> DecodeResult read_block(const Member &m, bool *last) {
    DeflateState &s = m.s;
    CHECK_DATA(need_bits(s.input, 3), DecodeResult::bad_data);
    *last = take_bits(s.input, 1) != 0;
    unsigned type = take_bits(s.input, 2);
    CHECK_DATA(type != 3, DecodeResult::bad_block_type);
    if (type == 0) return stored_block<V>(s);
    if (type == 1) return fixed_block<V>(m);
    return dynamic_block<V>(m);
}

template <class V> DecodeResult decode_blocks(const Member &m) {
    bool last = false;
    while (!last) {
        DecodeResult r = read_block<V>(m, &last);
        if (r != DecodeResult::ok) return r;
    }
    CHECK_DATA(fill_bits_used(m.s.input) == 0, DecodeResult::bad_data);
    return DecodeResult::ok;
}

// Pairing a block's literals costs about as much as decoding a few thousand of them: members of
// fewer compressed bytes than this decode faster without.
constexpr uint64_t PAIRING_MIN_INPUT = 4096;

// One member of either format.
template <class V>
DecodeOutcome decode_member(DecoderState &state, const MemberFacts &member, const ByteSource &input,
                            const ByteSink &output) {
    DeflateState &s = state.deflate;
    s.area = state.deflate_area;
    s.output = &output;
    s.out_pos = 0;
    s.unwritten = 0;
    s.use_literal_pairs = member.compressed_size >= PAIRING_MIN_INPUT;
    take_input(s.input, state.input_feed, input, FILL_ONES);
    DecodeOutcome outcome;
    outcome.result = decode_blocks<V>(Member{s, state.table_memory, outcome});
    hand_back_input(s.input);
    // A failed member's last run is not written: what follows the damage is not its data.
    if (outcome.result == DecodeResult::ok) write_area(s, s.area + s.out_pos);
    s.output = nullptr;
    return outcome;
}

} // namespace

DecodeOutcome deflate_decode_member(DecoderState &state, const MemberFacts &member,
                                    const ByteSource &input, const ByteSink &output) {
    return decode_member<Deflate>(state, member, input, output);
}

DecodeOutcome deflate64_decode_member(DecoderState &state, const MemberFacts &member,
                                      const ByteSource &input, const ByteSink &output) {
    return decode_member<Deflate64>(state, member, input, output);
}

void deflate_release_fixed_tables(DecoderState &state) {
    release_fixed_tables<Deflate>(state.deflate, state.table_memory);
    release_fixed_tables<Deflate64>(state.deflate, state.table_memory);
}
