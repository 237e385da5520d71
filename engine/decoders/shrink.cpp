// Shrink decoder (method 1): LZW with 9- to 13-bit codes and partial clearing of the table.
#include <cstdlib>
#include <cstring>

#include "engine/decoders/bit_reader.h"
#include "engine/decoders/decoders.h"

namespace {

constexpr int TABLE_SIZE = 8192;
constexpr int CONTROL_CODE = 256;
constexpr int FIRST_STRING_CODE = 257;
constexpr int MAX_CODE_WIDTH = 13;
constexpr int16_t FREE_CODE = -1;
constexpr uint16_t CLEAR_MARK = 0x8000;

// The tables live in window_area: prefixes (16-bit), suffixes, then the expansion stack.
unsigned char *const prefix_area = window_area;
unsigned char *const suffix_table = window_area + 2 * TABLE_SIZE;
unsigned char *const expansion_stack = window_area + 3 * TABLE_SIZE;

inline int16_t prefix_of(int code) {
    int16_t p;
    std::memcpy(&p, prefix_area + 2 * code, 2);
    return p;
}
inline void set_prefix(int code, int16_t p) {
    std::memcpy(prefix_area + 2 * code, &p, 2);
}

int code_width;
int next_free_code;

// Output through the engine's output buffer.
unsigned char *out_pos;
unsigned out_count;

inline void output_byte(unsigned char b) {
    *out_pos++ = b;
    if (++out_count == 65536) {
        write_out(G.output_buffer, 65536, 1);
        out_count = 0;
        out_pos = G.output_buffer;
    }
}

} // namespace

void shrink_partial_clear() {
    for (int c = FIRST_STRING_CODE; c < next_free_code; ++c) {
        int16_t p = prefix_of(c);
        if (p != FREE_CODE)
            set_prefix(c, static_cast<int16_t>(static_cast<uint16_t>(p) | CLEAR_MARK));
    }
    for (int c = FIRST_STRING_CODE; c < next_free_code; ++c) {
        int16_t p = prefix_of(c);
        if (p == FREE_CODE) continue;
        int parent = static_cast<uint16_t>(p) & ~CLEAR_MARK;
        // A parent outside the table or free (corrupt data) is left alone.
        if (parent >= FIRST_STRING_CODE && parent < TABLE_SIZE && prefix_of(parent) != FREE_CODE)
            set_prefix(parent, static_cast<int16_t>(static_cast<uint16_t>(prefix_of(parent)) &
                                                    ~CLEAR_MARK));
    }
    for (int c = FIRST_STRING_CODE; c < next_free_code; ++c) {
        int16_t p = prefix_of(c);
        if (p != FREE_CODE && (static_cast<uint16_t>(p) & CLEAR_MARK)) set_prefix(c, FREE_CODE);
    }
    next_free_code = FIRST_STRING_CODE;
    while (next_free_code < TABLE_SIZE && prefix_of(next_free_code) != FREE_CODE) ++next_free_code;
}

int shrink_decode_member() {
    if (G.current && G.current->convert_text && text_conversion_buffer == nullptr) {
        text_conversion_buffer = static_cast<unsigned char *>(std::malloc(131072));
        if (text_conversion_buffer == nullptr) return SHRINK_NO_MEMORY;
    }
    out_pos = G.output_buffer;
    out_count = 0;

    code_width = 9;
    next_free_code = FIRST_STRING_CODE;
    std::memset(prefix_area + 2 * CONTROL_CODE, 0xFF, 2 * (TABLE_SIZE - CONTROL_CODE));
    std::memset(suffix_table + CONTROL_CODE, 0, TABLE_SIZE - CONTROL_CODE);
    for (int c = 255; c >= 0; --c) {
        set_prefix(c, 0);
        suffix_table[c] = static_cast<unsigned char>(c);
    }

    int result = SHRINK_DONE;
    int previous = static_cast<int>(read_bits(code_width));
    if (bit_reader.exhausted) return SHRINK_DONE;
    unsigned char first = static_cast<unsigned char>(previous);
    output_byte(first);

    for (;;) {
        int code = static_cast<int>(read_bits(code_width));
        if (bit_reader.exhausted) break;
        while (code == CONTROL_CODE) {
            unsigned sub = read_bits(code_width);
            if (sub == 1) {
                if (code_width == MAX_CODE_WIDTH) {
                    result = SHRINK_BAD_DATA;
                    goto done;
                }
                ++code_width;
            } else if (sub == 2) {
                shrink_partial_clear();
            }
            code = static_cast<int>(read_bits(code_width));
            if (bit_reader.exhausted) goto done;
        }

        // Build the string backwards on the stack; a string that would not fit can only come
        // from corrupt data (a chain through freed or undefined codes).
        int incoming = code;
        unsigned char *sp = expansion_stack + TABLE_SIZE;
        if (prefix_of(code) == FREE_CODE) {
            *--sp = first;
            code = previous;
        }
        while (code >= FIRST_STRING_CODE) {
            if (sp == expansion_stack) {
                result = SHRINK_BAD_DATA;
                goto done;
            }
            int16_t p = prefix_of(code);
            if (p == FREE_CODE) {
                *--sp = first;
                code = previous;
            } else {
                *--sp = suffix_table[code];
                code = p;
            }
        }
        if (sp == expansion_stack) {
            result = SHRINK_BAD_DATA;
            goto done;
        }
        first = suffix_table[code];
        *--sp = first;

        unsigned length = static_cast<unsigned>(expansion_stack + TABLE_SIZE - sp);
        if (length + out_count < 65536) {
            if (length <= 8) {
                for (unsigned i = 0; i < length; ++i) out_pos[i] = sp[i];
            } else {
                std::memcpy(out_pos, sp, length);
            }
            out_pos += length;
            out_count += length;
        } else {
            for (unsigned i = 0; i < length; ++i) output_byte(sp[i]);
        }

        if (next_free_code < TABLE_SIZE) {
            set_prefix(next_free_code, static_cast<int16_t>(previous));
            suffix_table[next_free_code] = first;
            do ++next_free_code;
            while (next_free_code < TABLE_SIZE && prefix_of(next_free_code) != FREE_CODE);
        }
        previous = incoming;
    }
done:
    if (out_count > 0) write_out(G.output_buffer, out_count, 1);
    return result;
}
