// Multi-level lookup tables for canonical prefix codes, shared by the deflate and implode decoders.
#pragma once

#include <cstdint>

// What a table entry means (its `tag`); 0..14 is a coded value with that many extra bits.
constexpr uint8_t TAG_END_OF_BLOCK = 15; // simple symbol 256 or above
constexpr uint8_t TAG_LITERAL = 16;      // simple symbol below 256; `value` is the byte
constexpr uint8_t TAG_LINK_BASE = 16;    // 17..32: link to a table of (tag - 16) index bits
constexpr uint8_t TAG_INVALID = 99;      // code space that no symbol uses

constexpr unsigned MAX_CODE_SYMBOLS = 288;
constexpr unsigned MAX_CODE_LENGTH = 16;

// One table entry.
struct DecodeEntry {
    uint8_t tag;
    uint8_t width; // code bits consumed at this level (for a link: the holding table's index bits)
    union {
        uint16_t value;        // literal, symbol or base value
        DecodeEntry *subtable; // next-level table (links; the link slot's chain pointer)
    };
};

// Used symbols ordered by code length; shared by all builds.
extern uint16_t sorted_symbols[MAX_CODE_SYMBOLS];

// Builds the tables for a code described by the lengths of its symbols.
// Results: 0 complete (or one-bit, or all lengths zero: no table), 1 incomplete (built),
// 2 over-subscribed (nothing built), 3 out of memory (nothing left allocated).
int build_decode_table(const unsigned *lengths, unsigned symbol_count, unsigned simple_count,
                       const uint16_t *base_values, const uint16_t *extra_bits,
                       DecodeEntry **out_table, int *lookup_bits);

// Releases every table of the build whose first-level table is given; null is accepted.
int free_decode_tables(DecodeEntry *first_table);

// Test hooks: table blocks currently allocated, and a countdown of successful allocations
// after which an allocation fails (negative: never).
extern long decode_table_blocks_live;
extern long decode_table_fail_after;
