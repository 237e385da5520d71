// Deflate decoder (method 8): stored, fixed-code and dynamic-code blocks through the sliding
// window.
#include <cstdio>
#include <cstring>

#include "engine/decoders/bit_input.h"
#include "engine/decoders/decoders.h"
#include "engine/decoders/huffman_tables.h"

// Decoder state while one member is decoded.
static uint64_t deflate_bit_buffer; // pending input bits, next bit in bit 0
static unsigned deflate_bit_count;
static unsigned window_pos; // next write position in window_area
static bool window_wrapped; // the window has been filled once in this member
static int input_overrun;   // bytes fed past the member's end

// Fixed tables, built on first use and kept until the engine call ends.
static DecodeEntry *fixed_literal_table = nullptr;
static int fixed_literal_bits;
static DecodeEntry *fixed_distance_table = nullptr;
static int fixed_distance_bits;

// First-level bits requested for the tables of dynamic blocks.
static int literal_lookup_bits = 9;
static int distance_lookup_bits = 6;

// Lengths of the code-length, literal/length and distance codes of one dynamic block.
static unsigned code_lengths[288 + 32];

// Order in which the code-length code's lengths are stored.
static constexpr unsigned code_length_order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                   11, 4,  12, 3, 13, 2, 14, 1, 15};

// Length symbols 257..287: base lengths and extra bits; 286 and 287 decode as invalid.
static constexpr uint16_t length_base[31] = {3,  4,   5,   6,   7,   8,   9,   10, 11, 13, 15,
                                             17, 19,  23,  27,  31,  35,  43,  51, 59, 67, 83,
                                             99, 115, 131, 163, 195, 227, 258, 0,  0};
static constexpr uint16_t length_extra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,  2, 2,
                                              3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};

// Distance codes 0..31: base distances and extra bits; 30 and 31 decode as invalid.
static constexpr uint16_t distance_base[32] = {
    1,   2,   3,   4,   5,    7,    9,    13,   17,   25,   33,   49,    65,    97,    129, 193,
    257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 0,   0};
static constexpr uint16_t distance_extra[32] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3, 4,
                                                4,  5,  5,  6,  6,  7,  7,  8,  8,  9, 9,
                                                10, 10, 11, 11, 12, 12, 13, 13, 99, 99};

static void flush_window(unsigned count) {
    write_out(window_area, count, 0);
}

// Holds at least n bits in the globals' buffer; false once the input has run out.
static bool ensure_bits(unsigned n) {
    if (deflate_bit_count >= n) return true;
    return fill_bits(deflate_bit_buffer, deflate_bit_count, n, input_overrun);
}

static unsigned take_bits(unsigned n) {
    unsigned v = static_cast<unsigned>(deflate_bit_buffer) & bit_masks[n];
    deflate_bit_buffer >>= n;
    deflate_bit_count -= n;
    return v;
}

// Compact lookup tables for the decode loop, derived from the same code lengths once
// build_decode_table has accepted them. One 32-bit entry: bits 0-7 the code bits consumed at its
// level, bits 8-15 the tag (as in DecodeEntry), bits 16-31 the value or, for a link, the offset of
// its second-level table in the same array.
constexpr unsigned FAST_LITERAL_BITS = 11;
constexpr unsigned FAST_DISTANCE_BITS = 8;
constexpr uint32_t FAST_INVALID = uint32_t{TAG_INVALID} << 8;
// A second-level table holds at most 2^(15 - first bits) entries, one per code of the first-level
// entry it hangs from; at most one such table per symbol.
constexpr unsigned FAST_LITERAL_SIZE =
    (1u << FAST_LITERAL_BITS) + 288 * (1u << (15 - FAST_LITERAL_BITS));
constexpr unsigned FAST_DISTANCE_SIZE =
    (1u << FAST_DISTANCE_BITS) + 32 * (1u << (15 - FAST_DISTANCE_BITS));
static uint32_t fast_literal_table[FAST_LITERAL_SIZE];
static uint32_t fast_distance_table[FAST_DISTANCE_SIZE];
static uint32_t fixed_fast_literal_table[FAST_LITERAL_SIZE];
static uint32_t fixed_fast_distance_table[FAST_DISTANCE_SIZE];
static bool fixed_fast_built = false;

static uint32_t fast_entry(unsigned width, unsigned tag, unsigned value) {
    return width | (tag << 8) | (value << 16);
}

// Fills `table` for a code that build_decode_table accepted (complete or incomplete; code space
// no symbol uses decodes as invalid). Symbols below `simple_count` are literals (below 256) or the
// end of block; the others take base values and extra bits from the given lists.
static void build_fast_table(const unsigned *lengths, unsigned symbol_count, unsigned simple_count,
                             const uint16_t *base_values, const uint16_t *extra_bits,
                             uint32_t *table, unsigned first_bits) {
    unsigned length_count[MAX_CODE_LENGTH + 1] = {};
    for (unsigned s = 0; s < symbol_count; ++s) ++length_count[lengths[s]];
    length_count[0] = 0;
    unsigned next_code[MAX_CODE_LENGTH + 2];
    unsigned code = 0;
    for (unsigned len = 1; len <= MAX_CODE_LENGTH; ++len) {
        code = (code + length_count[len - 1]) << 1;
        next_code[len] = code;
    }
    const unsigned first_size = 1u << first_bits;
    const unsigned first_mask = first_size - 1;
    // Reversed (first-bit-first) code of every symbol, and the longest code under each first-level
    // slot.
    unsigned reversed[MAX_CODE_SYMBOLS];
    unsigned char longest[1u << FAST_LITERAL_BITS];
    std::memset(longest, 0, first_size);
    for (unsigned s = 0; s < symbol_count; ++s) {
        unsigned len = lengths[s];
        if (len == 0) continue;
        unsigned c = next_code[len]++;
        unsigned r = 0;
        for (unsigned i = 0; i < len; ++i, c >>= 1) r = (r << 1) | (c & 1);
        reversed[s] = r;
        if (len > first_bits && len > longest[r & first_mask])
            longest[r & first_mask] = static_cast<unsigned char>(len);
    }
    for (unsigned i = 0; i < first_size; ++i) table[i] = FAST_INVALID;
    unsigned next_free = first_size;
    for (unsigned i = 0; i < first_size; ++i) {
        if (longest[i] == 0) continue;
        unsigned sub_bits = longest[i] - first_bits;
        table[i] = fast_entry(first_bits, TAG_LINK_BASE + sub_bits, next_free);
        for (unsigned k = 0; k < (1u << sub_bits); ++k) table[next_free + k] = FAST_INVALID;
        next_free += 1u << sub_bits;
    }
    for (unsigned s = 0; s < symbol_count; ++s) {
        unsigned len = lengths[s];
        if (len == 0) continue;
        unsigned tag, value;
        if (s < simple_count) {
            tag = s < 256 ? TAG_LITERAL : TAG_END_OF_BLOCK;
            value = s;
        } else {
            tag = extra_bits[s - simple_count];
            value = base_values[s - simple_count];
        }
        unsigned r = reversed[s];
        if (len <= first_bits) {
            uint32_t e = fast_entry(len, tag, value);
            for (unsigned i = r; i < first_size; i += 1u << len) table[i] = e;
        } else {
            uint32_t link = table[r & first_mask];
            unsigned base = link >> 16;
            unsigned sub_size = 1u << (((link >> 8) & 0xFF) - TAG_LINK_BASE);
            unsigned sub_len = len - first_bits;
            uint32_t e = fast_entry(sub_len, tag, value);
            for (unsigned i = r >> first_bits; i < sub_size; i += 1u << sub_len)
                table[base + i] = e;
        }
    }
}

static inline void copy_piece8(unsigned char *to, const unsigned char *from) {
    uint64_t piece;
    std::memcpy(&piece, from, 8);
    std::memcpy(to, &piece, 8);
}

static inline void copy_piece4(unsigned char *to, const unsigned char *from) {
    uint32_t piece;
    std::memcpy(&piece, from, 4);
    std::memcpy(to, &piece, 4);
}

int deflate_decode_codes(const uint32_t *literal_table, const uint32_t *distance_table) {
    uint64_t bits = deflate_bit_buffer;
    unsigned count = deflate_bit_count;
    unsigned pos = window_pos;
    bool wrapped = window_wrapped;
    constexpr unsigned literal_mask = (1u << FAST_LITERAL_BITS) - 1;
    constexpr unsigned distance_mask = (1u << FAST_DISTANCE_BITS) - 1;
    unsigned char *const window = window_area;
    int result = 0;
    // The input read straight from the input window while eight bytes may be loaded at once;
    // the engine's counters catch up whenever anything else may look at them.
    unsigned char *in = G.read_pos;
    unsigned char *in_start = in;
    int32_t in_avail =
        G.bytes_left < G.remaining_compressed ? G.bytes_left : G.remaining_compressed;
    auto sync_input = [&]() {
        int32_t used = static_cast<int32_t>(in - in_start);
        G.read_pos = in;
        G.bytes_left -= used;
        G.remaining_compressed -= used;
        in_start = in;
    };
    auto reload_input = [&]() {
        in = in_start = G.read_pos;
        in_avail = G.bytes_left < G.remaining_compressed ? G.bytes_left : G.remaining_compressed;
    };

    for (;;) {
        // One symbol with its match needs at most 15 + 5 + 15 + 13 bits.
        if (count < 48) {
            if (in_avail >= 8) {
                // Eight bytes loaded, the whole ones kept (as fill_bits does).
                uint64_t word;
                std::memcpy(&word, in, 8);
                bits |= word << count;
                unsigned take = (63 - count) >> 3;
                in += take;
                in_avail -= static_cast<int32_t>(take);
                count += take * 8;
            } else {
                sync_input();
                bool filled = fill_bits(bits, count, 48, input_overrun);
                reload_input();
                if (!filled) {
                    result = 1;
                    break;
                }
            }
        }
        uint32_t e = literal_table[bits & literal_mask];
        unsigned tag = (e >> 8) & 0xFF;
        if (tag > TAG_LITERAL) {
            if (tag == TAG_INVALID) {
                result = 1;
                break;
            }
            bits >>= FAST_LITERAL_BITS;
            count -= FAST_LITERAL_BITS;
            e = literal_table[(e >> 16) +
                              (static_cast<unsigned>(bits) & bit_masks[tag - TAG_LINK_BASE])];
            tag = (e >> 8) & 0xFF;
            if (tag == TAG_INVALID) {
                result = 1;
                break;
            }
        }
        bits >>= e & 0xFF;
        count -= e & 0xFF;

        if (tag == TAG_LITERAL) {
            window[pos++] = static_cast<unsigned char>(e >> 16);
            // At least 33 bits remain: up to two more first-level literals need no refill.
            for (int more = 0; more < 2 && pos != WINDOW_SIZE; ++more) {
                e = literal_table[bits & literal_mask];
                if (((e >> 8) & 0xFF) != TAG_LITERAL) break;
                bits >>= e & 0xFF;
                count -= e & 0xFF;
                window[pos++] = static_cast<unsigned char>(e >> 16);
            }
            if (pos == WINDOW_SIZE) {
                sync_input();
                flush_window(pos);
                reload_input();
                pos = 0;
                wrapped = true;
            }
            continue;
        }
        if (tag == TAG_END_OF_BLOCK) break;

        unsigned length = (e >> 16) + (static_cast<unsigned>(bits) & bit_masks[tag]);
        bits >>= tag;
        count -= tag;

        // A match needs a distance code, and may reach back only over this member's output.
        if (distance_table == nullptr) {
            result = 1;
            break;
        }
        e = distance_table[bits & distance_mask];
        tag = (e >> 8) & 0xFF;
        if (tag > TAG_LITERAL) {
            if (tag == TAG_INVALID) {
                result = 1;
                break;
            }
            bits >>= FAST_DISTANCE_BITS;
            count -= FAST_DISTANCE_BITS;
            e = distance_table[(e >> 16) +
                               (static_cast<unsigned>(bits) & bit_masks[tag - TAG_LINK_BASE])];
            tag = (e >> 8) & 0xFF;
        }
        if (tag >= TAG_END_OF_BLOCK) {
            result = 1;
            break;
        }
        bits >>= e & 0xFF;
        count -= e & 0xFF;
        unsigned distance = (e >> 16) + (static_cast<unsigned>(bits) & bit_masks[tag]);
        bits >>= tag;
        count -= tag;
        if (distance > pos && !wrapped) {
            result = 1;
            break;
        }

        unsigned source = (pos - distance) & (WINDOW_SIZE - 1);
        if (pos + length <= WINDOW_SIZE &&
            (distance <= pos || (source >= pos + length && source + length <= WINDOW_SIZE))) {
            // Common case: neither the match nor its source wraps, and a source in the older pass
            // lies wholly past the match. Bytes past the match's end are older history: never
            // written.
            unsigned char *to = window + pos;
            const unsigned char *from = window + source;
            if (distance >= 8 || source > pos) {
                // Pieces of eight (each reads bytes already final); the last piece ends at the
                // match's end and may rewrite bytes of the one before with the same values.
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
            pos += length;
            if (pos == WINDOW_SIZE) {
                sync_input();
                flush_window(pos);
                reload_input();
                pos = 0;
                wrapped = true;
            }
            continue;
        }
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
                sync_input();
                flush_window(pos);
                reload_input();
                pos = 0;
                wrapped = true;
            }
            source &= WINDOW_SIZE - 1;
        } while (length != 0);
    }

    sync_input();
    deflate_bit_buffer = bits;
    deflate_bit_count = count;
    window_pos = pos;
    window_wrapped = wrapped;
    return result;
}

int deflate_stored_block() {
    take_bits(deflate_bit_count & 7);
    if (!ensure_bits(16)) return 1;
    unsigned length = take_bits(16);
    if (!ensure_bits(16)) return 1;
    if (length != (~take_bits(16) & 0xFFFF)) return 1;

    // Bytes still in the bit buffer first, then straight from the input window.
    while (length != 0 && deflate_bit_count >= 8) {
        window_area[window_pos++] = static_cast<unsigned char>(take_bits(8));
        if (window_pos == WINDOW_SIZE) {
            flush_window(window_pos);
            window_pos = 0;
            window_wrapped = true;
        }
        --length;
    }
    if (length != 0) deflate_bit_buffer = 0; // nothing valid is left in it
    while (length != 0) {
        unsigned n = WINDOW_SIZE - window_pos;
        if (n > length) n = length;
        if (G.bytes_left > 0 && G.remaining_compressed > 0) {
            unsigned avail = static_cast<unsigned>(
                G.bytes_left < G.remaining_compressed ? G.bytes_left : G.remaining_compressed);
            if (n > avail) n = avail;
            std::memcpy(window_area + window_pos, G.read_pos, n);
            G.read_pos += n;
            G.bytes_left -= static_cast<int32_t>(n);
            G.remaining_compressed -= static_cast<int32_t>(n);
        } else {
            int b = next_byte();
            if (b < 0) return 1; // the member's data ends inside the block
            window_area[window_pos] = static_cast<unsigned char>(b);
            n = 1;
        }
        window_pos += n;
        length -= n;
        if (window_pos == WINDOW_SIZE) {
            flush_window(window_pos);
            window_pos = 0;
            window_wrapped = true;
        }
    }
    return 0;
}

int deflate_fixed_block() {
    if (fixed_literal_table == nullptr) {
        unsigned lengths[288];
        for (unsigned s = 0; s < 144; ++s) lengths[s] = 8;
        for (unsigned s = 144; s < 256; ++s) lengths[s] = 9;
        for (unsigned s = 256; s < 280; ++s) lengths[s] = 7;
        for (unsigned s = 280; s < 288; ++s) lengths[s] = 8;
        fixed_literal_bits = 7;
        int r = build_decode_table(lengths, 288, 257, length_base, length_extra,
                                   &fixed_literal_table, &fixed_literal_bits);
        if (r != 0) {
            free_decode_tables(fixed_literal_table);
            fixed_literal_table = nullptr;
            return r;
        }
        for (unsigned s = 0; s < 30; ++s) lengths[s] = 5;
        fixed_distance_bits = 5;
        r = build_decode_table(lengths, 30, 0, distance_base, distance_extra, &fixed_distance_table,
                               &fixed_distance_bits);
        if (r > 1) {
            free_decode_tables(fixed_literal_table);
            fixed_literal_table = nullptr;
            fixed_distance_table = nullptr;
            return r;
        }
    }
    if (!fixed_fast_built) {
        unsigned lengths[288];
        for (unsigned s = 0; s < 144; ++s) lengths[s] = 8;
        for (unsigned s = 144; s < 256; ++s) lengths[s] = 9;
        for (unsigned s = 256; s < 280; ++s) lengths[s] = 7;
        for (unsigned s = 280; s < 288; ++s) lengths[s] = 8;
        build_fast_table(lengths, 288, 257, length_base, length_extra, fixed_fast_literal_table,
                         FAST_LITERAL_BITS);
        for (unsigned s = 0; s < 30; ++s) lengths[s] = 5;
        build_fast_table(lengths, 30, 0, distance_base, distance_extra, fixed_fast_distance_table,
                         FAST_DISTANCE_BITS);
        fixed_fast_built = true;
    }
    return deflate_decode_codes(fixed_fast_literal_table, fixed_distance_table != nullptr
                                                              ? fixed_fast_distance_table
                                                              : nullptr) != 0
               ? 1
               : 0;
}

int deflate_dynamic_block() {
    if (!ensure_bits(14)) return 1;
    unsigned nl = 257 + take_bits(5);
    unsigned nd = 1 + take_bits(5);
    unsigned nb = 4 + take_bits(4);
    if (nl > 288 || nd > 32) return 1;

    for (unsigned i = 0; i < 19; ++i) {
        if (i < nb) {
            if (!ensure_bits(3)) return 1;
            code_lengths[code_length_order[i]] = take_bits(3);
        } else {
            code_lengths[code_length_order[i]] = 0;
        }
    }
    DecodeEntry *table = nullptr;
    int table_bits = 7;
    int r = build_decode_table(code_lengths, 19, 19, nullptr, nullptr, &table, &table_bits);
    if (r != 0) {
        free_decode_tables(table);
        return r;
    }
    if (table == nullptr) return 1; // no code-length code at all

    // Literal/length and distance lengths as one sequence; repeats may cross from one to the other.
    unsigned total = nl + nd;
    unsigned previous = 0;
    for (unsigned i = 0; i < total;) {
        if (!ensure_bits(16)) {
            free_decode_tables(table);
            return 1;
        }
        const DecodeEntry &e = table[deflate_bit_buffer & bit_masks[table_bits]];
        if (e.tag == TAG_INVALID) {
            free_decode_tables(table);
            return 1;
        }
        take_bits(e.width);
        unsigned v = e.value;
        unsigned repeat, fill;
        if (v < 16) {
            code_lengths[i++] = v;
            previous = v;
            continue;
        } else if (v == 16) {
            repeat = 3 + take_bits(2);
            fill = previous;
        } else if (v == 17) {
            repeat = 3 + take_bits(3);
            fill = 0;
        } else {
            repeat = 11 + take_bits(7);
            fill = 0;
        }
        if (i + repeat > total) {
            free_decode_tables(table);
            return 1;
        }
        while (repeat-- != 0) code_lengths[i++] = fill;
        previous = fill;
    }
    free_decode_tables(table);

    DecodeEntry *literal_table = nullptr;
    int literal_bits = literal_lookup_bits;
    r = build_decode_table(code_lengths, nl, 257, length_base, length_extra, &literal_table,
                           &literal_bits);
    if (r != 0) {
        if (r == 1 && G.quiet == 0) std::fputs("(incomplete l-tree)  ", stderr);
        free_decode_tables(literal_table);
        return r;
    }
    if (literal_table == nullptr) return 1; // no literal/length code: nothing to decode with

    DecodeEntry *distance_table = nullptr;
    int distance_bits = distance_lookup_bits;
    r = build_decode_table(code_lengths + nl, nd, 0, distance_base, distance_extra, &distance_table,
                           &distance_bits);
    if (r == 1 && G.quiet == 0) std::fputs("(incomplete d-tree)  ", stderr);
    if (r > 1) {
        free_decode_tables(literal_table);
        return r;
    }

    // The checked lengths, again as the decode loop's compact tables.
    build_fast_table(code_lengths, nl, 257, length_base, length_extra, fast_literal_table,
                     FAST_LITERAL_BITS);
    bool have_distances = distance_table != nullptr;
    if (have_distances)
        build_fast_table(code_lengths + nl, nd, 0, distance_base, distance_extra,
                         fast_distance_table, FAST_DISTANCE_BITS);
    free_decode_tables(literal_table);
    free_decode_tables(distance_table);
    r = deflate_decode_codes(fast_literal_table, have_distances ? fast_distance_table : nullptr);
    return r != 0 ? 1 : 0;
}

int deflate_read_block(int *last) {
    if (!ensure_bits(3)) return 1;
    *last = static_cast<int>(take_bits(1));
    switch (take_bits(2)) {
    case 2:
        return deflate_dynamic_block();
    case 0:
        return deflate_stored_block();
    case 1:
        return deflate_fixed_block();
    default:
        return 2;
    }
}

int deflate_decode_member() {
    window_pos = 0;
    window_wrapped = false;
    deflate_bit_count = 0;
    deflate_bit_buffer = 0;
    input_overrun = 0;
    int last = 0;
    do {
        int r = deflate_read_block(&last);
        if (r != 0) return r;
    } while (!last);
    // The last block must end within the member's data, not in bits made up past its end.
    if (static_cast<unsigned>(input_overrun) * 8 > deflate_bit_count) return 1;
    flush_window(window_pos);
    return 0;
}

void deflate_release_fixed_tables() {
    free_decode_tables(fixed_literal_table);
    free_decode_tables(fixed_distance_table);
    fixed_literal_table = nullptr;
    fixed_distance_table = nullptr;
}
