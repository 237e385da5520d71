// Shrink decoder (method 1): LZW with codes of 9 to 13 bits and partial clearing of the table.
//
// The format, element by element: the data is a sequence of codes, least significant bit first,
// each `code_width` bits wide (9 at the start). It ends with the compressed data; the codes do
// not say how much they make.
//   0..255      the byte itself
//   256         a control code; the next code (same width) is its sub-code:
//                 1  the codes are one bit wider from the next code on (at most 13 bits)
//                 2  partial clear: every string code that is no other code's prefix is freed
//                 anything else is read and ignored
//   257..8191   a string code: the string of its prefix code followed by one byte
// The first code is a byte. Every later code adds a string to the table: the previous code's
// string followed by the first byte of this code's string, at the lowest free code. A code that
// is not defined yet is the one being added (the previous string and its own first byte).
//
// The table lives in the work area: 8192 16-bit prefix codes (-1: free; bit 15 marks a code
// during a partial clear), then 8192 suffix bytes, then an 8192-byte stack on which a string is
// built backwards. Output is gathered in the decoder's output block and goes out in blocks of its
// size.
#include <cstring>

#include "engine/decoders/bit_input.h"
#include "engine/decoders/decoders.h"

namespace {

constexpr int TABLE_SIZE = 8192;
constexpr int CONTROL_CODE = 256;
constexpr int FIRST_STRING_CODE = 257;
constexpr int MAX_CODE_WIDTH = 13;
constexpr int16_t FREE_CODE = -1;
constexpr uint16_t CLEAR_MARK = 0x8000;
constexpr unsigned OUTPUT_BLOCK = SHRINK_OUTPUT_SIZE;

// What the expansion works on: the table's three parts in the work area, the output block and
// where it goes.
struct Expansion {
    ShrinkState &s;
    unsigned char *const prefixes; // 16-bit prefix codes
    unsigned char *const suffixes; // suffix bytes
    unsigned char *const stack;    // where a string is built backwards
    unsigned char *const block;    // the output block
    const ByteSink &output;
};

inline int16_t prefix_of(const unsigned char *prefixes, int code) {
    int16_t p;
    std::memcpy(&p, prefixes + 2 * code, 2);
    return p;
}
inline void set_prefix(unsigned char *prefixes, int code, int16_t p) {
    std::memcpy(prefixes + 2 * code, &p, 2);
}

void flush_output(const Expansion &x) {
    ShrinkState &s = x.s;
    if (s.out_count > 0) x.output.write(x.output.context, x.block, s.out_count);
    s.out_count = 0;
    s.out_pos = x.block;
}

inline void output_byte(const Expansion &x, unsigned char b) {
    ShrinkState &s = x.s;
    *s.out_pos++ = b;
    if (++s.out_count == OUTPUT_BLOCK) flush_output(x);
}

// Frees every string code that is no other code's prefix; new codes then fill the freed numbers
// from the lowest up.
void partial_clear(const Expansion &x) {
    ShrinkState &s = x.s;
    unsigned char *const prefixes = x.prefixes;
    for (int c = FIRST_STRING_CODE; c < s.next_free_code; ++c) {
        int16_t p = prefix_of(prefixes, c);
        if (p != FREE_CODE)
            set_prefix(prefixes, c, static_cast<int16_t>(static_cast<uint16_t>(p) | CLEAR_MARK));
    }
    for (int c = FIRST_STRING_CODE; c < s.next_free_code; ++c) {
        int16_t p = prefix_of(prefixes, c);
        if (p == FREE_CODE) continue;
        int parent = static_cast<uint16_t>(p) & ~CLEAR_MARK;
        // A parent outside the table or free (corrupt data) is left alone.
        if (parent >= FIRST_STRING_CODE && parent < TABLE_SIZE &&
            prefix_of(prefixes, parent) != FREE_CODE)
            set_prefix(prefixes, parent,
                       static_cast<int16_t>(static_cast<uint16_t>(prefix_of(prefixes, parent)) &
                                            ~CLEAR_MARK));
    }
    for (int c = FIRST_STRING_CODE; c < s.next_free_code; ++c) {
        int16_t p = prefix_of(prefixes, c);
        if (p != FREE_CODE && (static_cast<uint16_t>(p) & CLEAR_MARK))
            set_prefix(prefixes, c, FREE_CODE);
    }
    s.next_free_code = FIRST_STRING_CODE;
    while (s.next_free_code < TABLE_SIZE && prefix_of(prefixes, s.next_free_code) != FREE_CODE)
        ++s.next_free_code;
}

void start_table(const Expansion &x) {
    ShrinkState &s = x.s;
    unsigned char *const prefixes = x.prefixes;
    s.code_width = 9;
    s.next_free_code = FIRST_STRING_CODE;
    std::memset(x.prefixes + 2 * CONTROL_CODE, 0xFF, 2 * (TABLE_SIZE - CONTROL_CODE));
    std::memset(x.suffixes + CONTROL_CODE, 0, TABLE_SIZE - CONTROL_CODE);
    for (int c = 255; c >= 0; --c) {
        set_prefix(prefixes, c, 0);
        x.suffixes[c] = static_cast<unsigned char>(c);
    }
}

// The next code, or -1 where the data ends: a code not wholly within the member's data.
inline int next_code(BitInput &in, int width) {
    hold_bits_past_end(in, static_cast<unsigned>(width));
    if (reaches_past_end(in, static_cast<unsigned>(width))) return -1;
    return static_cast<int>(take_bits(in, static_cast<unsigned>(width)));
}

// Expands codes into the output until the data ends.
DecodeResult expand_codes(const Expansion &x, BitInput &in) {
    ShrinkState &s = x.s;
    unsigned char *const prefixes = x.prefixes;
    unsigned char *const suffixes = x.suffixes;
    unsigned char *const stack = x.stack;
    int previous = next_code(in, s.code_width);
    if (previous < 0) return DecodeResult::ok; // no data at all
    unsigned char first = static_cast<unsigned char>(previous);
    output_byte(x, first);

    for (;;) {
        int code = next_code(in, s.code_width);
        if (code < 0) return DecodeResult::ok;
        while (code == CONTROL_CODE) {
            // A sub-code cut off by the member's end reads fill bits; the next code then ends.
            hold_bits_past_end(in, static_cast<unsigned>(s.code_width));
            unsigned sub = take_bits(in, static_cast<unsigned>(s.code_width));
            if (sub == 1) {
                CHECK_DATA(s.code_width < MAX_CODE_WIDTH, DecodeResult::bad_data);
                ++s.code_width;
            } else if (sub == 2) {
                partial_clear(x);
            }
            code = next_code(in, s.code_width);
            if (code < 0) return DecodeResult::ok;
        }

        // Build the string backwards on the stack; a string that would not fit can only come
        // from corrupt data (a chain through freed or undefined codes).
        int incoming = code;
        unsigned char *sp = stack + TABLE_SIZE;
        if (prefix_of(prefixes, code) == FREE_CODE) {
            *--sp = first;
            code = previous;
        }
        while (code >= FIRST_STRING_CODE) {
            CHECK_DATA(sp != stack, DecodeResult::bad_data);
            int16_t p = prefix_of(prefixes, code);
            if (p == FREE_CODE) {
                *--sp = first;
                code = previous;
            } else {
                *--sp = suffixes[code];
                code = p;
            }
        }
        CHECK_DATA(sp != stack, DecodeResult::bad_data);
        first = suffixes[code];
        *--sp = first;

        unsigned length = static_cast<unsigned>(stack + TABLE_SIZE - sp);
        if (length + s.out_count < OUTPUT_BLOCK) {
            if (length <= 8) {
                for (unsigned i = 0; i < length; ++i) s.out_pos[i] = sp[i];
            } else {
                std::memcpy(s.out_pos, sp, length);
            }
            s.out_pos += length;
            s.out_count += length;
        } else {
            for (unsigned i = 0; i < length; ++i) output_byte(x, sp[i]);
        }

        if (s.next_free_code < TABLE_SIZE) {
            set_prefix(prefixes, s.next_free_code, static_cast<int16_t>(previous));
            suffixes[s.next_free_code] = first;
            do ++s.next_free_code;
            while (s.next_free_code < TABLE_SIZE &&
                   prefix_of(prefixes, s.next_free_code) != FREE_CODE);
        }
        previous = incoming;
    }
}

} // namespace

DecodeOutcome shrink_decode_member(DecoderState &state, const MemberFacts &,
                                   const ByteSource &input, const ByteSink &output) {
    const Expansion x{state.shrink,
                      state.window_area,
                      state.window_area + 2 * TABLE_SIZE,
                      state.window_area + 3 * TABLE_SIZE,
                      state.shrink_output,
                      output};
    ShrinkState &s = state.shrink;
    s.out_pos = x.block;
    s.out_count = 0;
    start_table(x);

    BitInput in;
    take_input(in, state.input_feed, input, FILL_ZEROS);
    DecodeResult r = expand_codes(x, in);
    hand_back_input(in);
    // What was expanded before the data ended (or broke off) is written either way.
    flush_output(x);
    return {r};
}
