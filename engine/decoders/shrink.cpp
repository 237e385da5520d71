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
// built backwards. Output goes through the engine's output buffer; a member to be converted as
// text needs the conversion buffer, allocated by the first such member.
#include <cstdlib>
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
constexpr unsigned OUTPUT_BLOCK = 65536;
constexpr size_t TEXT_CONVERSION_SIZE = 2 * OUTPUT_BLOCK; // every byte may become two

// The table's three parts in the work area.
unsigned char *prefix_area() {
    return engine.decoders.window_area;
}
unsigned char *suffix_table() {
    return engine.decoders.window_area + 2 * TABLE_SIZE;
}
unsigned char *expansion_stack() {
    return engine.decoders.window_area + 3 * TABLE_SIZE;
}

inline int16_t prefix_of(int code) {
    int16_t p;
    std::memcpy(&p, prefix_area() + 2 * code, 2);
    return p;
}
inline void set_prefix(int code, int16_t p) {
    std::memcpy(prefix_area() + 2 * code, &p, 2);
}

void flush_output(ShrinkState &s) {
    if (s.out_count > 0) write_out(engine.output.buffer, s.out_count, 1);
    s.out_count = 0;
    s.out_pos = engine.output.buffer;
}

inline void output_byte(ShrinkState &s, unsigned char b) {
    *s.out_pos++ = b;
    if (++s.out_count == OUTPUT_BLOCK) flush_output(s);
}

// Frees every string code that is no other code's prefix; new codes then fill the freed numbers
// from the lowest up.
void partial_clear(ShrinkState &s) {
    for (int c = FIRST_STRING_CODE; c < s.next_free_code; ++c) {
        int16_t p = prefix_of(c);
        if (p != FREE_CODE)
            set_prefix(c, static_cast<int16_t>(static_cast<uint16_t>(p) | CLEAR_MARK));
    }
    for (int c = FIRST_STRING_CODE; c < s.next_free_code; ++c) {
        int16_t p = prefix_of(c);
        if (p == FREE_CODE) continue;
        int parent = static_cast<uint16_t>(p) & ~CLEAR_MARK;
        // A parent outside the table or free (corrupt data) is left alone.
        if (parent >= FIRST_STRING_CODE && parent < TABLE_SIZE && prefix_of(parent) != FREE_CODE)
            set_prefix(parent, static_cast<int16_t>(static_cast<uint16_t>(prefix_of(parent)) &
                                                    ~CLEAR_MARK));
    }
    for (int c = FIRST_STRING_CODE; c < s.next_free_code; ++c) {
        int16_t p = prefix_of(c);
        if (p != FREE_CODE && (static_cast<uint16_t>(p) & CLEAR_MARK)) set_prefix(c, FREE_CODE);
    }
    s.next_free_code = FIRST_STRING_CODE;
    while (s.next_free_code < TABLE_SIZE && prefix_of(s.next_free_code) != FREE_CODE)
        ++s.next_free_code;
}

void start_table(ShrinkState &s) {
    s.code_width = 9;
    s.next_free_code = FIRST_STRING_CODE;
    std::memset(prefix_area() + 2 * CONTROL_CODE, 0xFF, 2 * (TABLE_SIZE - CONTROL_CODE));
    std::memset(suffix_table() + CONTROL_CODE, 0, TABLE_SIZE - CONTROL_CODE);
    for (int c = 255; c >= 0; --c) {
        set_prefix(c, 0);
        suffix_table()[c] = static_cast<unsigned char>(c);
    }
}

// The next code, or -1 where the data ends: a code not wholly within the member's data.
inline int next_code(BitInput &in, int width) {
    need_bits(in, static_cast<unsigned>(width));
    if (reaches_past_end(in, static_cast<unsigned>(width))) return -1;
    return static_cast<int>(take_bits(in, static_cast<unsigned>(width)));
}

// Expands codes into the output until the data ends.
DecodeResult expand_codes(ShrinkState &s, BitInput &in) {
    unsigned char *const suffixes = suffix_table();
    unsigned char *const stack = expansion_stack();
    int previous = next_code(in, s.code_width);
    if (previous < 0) return DecodeResult::ok; // no data at all
    unsigned char first = static_cast<unsigned char>(previous);
    output_byte(s, first);

    for (;;) {
        int code = next_code(in, s.code_width);
        if (code < 0) return DecodeResult::ok;
        while (code == CONTROL_CODE) {
            need_bits(in, static_cast<unsigned>(s.code_width));
            unsigned sub = take_bits(in, static_cast<unsigned>(s.code_width));
            if (sub == 1) {
                CHECK_DATA(s.code_width < MAX_CODE_WIDTH, DecodeResult::bad_data);
                ++s.code_width;
            } else if (sub == 2) {
                partial_clear(s);
            }
            code = next_code(in, s.code_width);
            if (code < 0) return DecodeResult::ok;
        }

        // Build the string backwards on the stack; a string that would not fit can only come
        // from corrupt data (a chain through freed or undefined codes).
        int incoming = code;
        unsigned char *sp = stack + TABLE_SIZE;
        if (prefix_of(code) == FREE_CODE) {
            *--sp = first;
            code = previous;
        }
        while (code >= FIRST_STRING_CODE) {
            CHECK_DATA(sp != stack, DecodeResult::bad_data);
            int16_t p = prefix_of(code);
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
            for (unsigned i = 0; i < length; ++i) output_byte(s, sp[i]);
        }

        if (s.next_free_code < TABLE_SIZE) {
            set_prefix(s.next_free_code, static_cast<int16_t>(previous));
            suffixes[s.next_free_code] = first;
            do ++s.next_free_code;
            while (s.next_free_code < TABLE_SIZE && prefix_of(s.next_free_code) != FREE_CODE);
        }
        previous = incoming;
    }
}

} // namespace

DecodeResult shrink_decode_member() {
    if (engine.current && engine.current->convert_text &&
        engine.output.text_conversion_buffer == nullptr) {
        engine.output.text_conversion_buffer =
            static_cast<unsigned char *>(std::malloc(TEXT_CONVERSION_SIZE));
        if (engine.output.text_conversion_buffer == nullptr) return DecodeResult::no_memory;
    }
    ShrinkState &s = engine.decoders.shrink;
    s.out_pos = engine.output.buffer;
    s.out_count = 0;
    start_table(s);

    BitInput in;
    take_input(in, FILL_ZEROS);
    DecodeResult r = expand_codes(s, in);
    hand_back_input(in);
    // What was expanded before the data ended (or broke off) is written either way.
    flush_output(s);
    return r;
}
