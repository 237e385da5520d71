// Decoding tables for canonical prefix codes, built from the code length of every symbol: the
// linked multi-level tables of the implode decoder and the packed two-level tables of the deflate
// decoder. Both builders judge a code the same way and answer with a DecodeResult:
//   ok               a complete code; also a code whose longest length is 1 (one or two one-bit
//                    codes), and a code of no symbols at all (no table then)
//   incomplete_code  part of the code space is unused; built, the unused space decodes as
//                    TAG_INVALID; whether that is acceptable is the caller's decision
//   over_subscribed  more codes than the code space holds (also lengths above 16 or more than
//                    288 symbols); nothing built, nothing allocated
//   no_memory        nothing left allocated
// Symbols below `simple_count` are simple: a literal (below 256, TAG_LITERAL) or the end of a
// block (TAG_END_OF_BLOCK), with the symbol as value. The others take their value and tag (the
// count of extra bits) from base_values and extra_bits, indexed by symbol - simple_count.
// Codes are read first bit first, so tables are indexed by the reversed code. Table memory is
// counted in the TableMemory handed in, which releases it too.
#pragma once

#include <cstdint>

#include "engine/decoders/decoders.h"

// Linked multi-level tables. `lookup_bits` asks for the first level's index bits and receives the
// bits used (clamped to the code's shortest and longest length). The first-level table comes back
// in `out_table` (null when there is no code); release it with free_decode_tables.
DecodeResult build_decode_table(TableMemory &memory, const unsigned *lengths, unsigned symbol_count,
                                unsigned simple_count, const uint16_t *base_values,
                                const uint16_t *extra_bits, DecodeEntry **out_table,
                                int *lookup_bits);
// Releases every table of the build whose first-level table is given; null is accepted. Always 0.
int free_decode_tables(TableMemory &memory, DecodeEntry *first_table);

// Packed tables: one 32-bit entry, bits 0-7 the code bits consumed at its level, bits 8-15 the
// tag (as in DecodeEntry), bits 16-31 the value or, for a link, the index of its second-level
// table in the same block. The first level has 2^first_bits entries (first_bits at most
// PACKED_MAX_FIRST_BITS); a code longer than that continues in the second-level table its
// first-level entry links to, which is as wide as the longest code under that entry.
// The first level is built at the shortest code's width and doubled by block copies as the codes
// grow: each code is written once, however many indexes it fills.
// `out_table` receives the block (null when there is no code); release it with
// free_packed_table. A decoder that reads its entries in a form of its own passes `form`, which
// turns each entry into that form as it is placed (links after their tables are laid out).
constexpr unsigned PACKED_MAX_FIRST_BITS = 11;
using PackedForm = uint32_t (*)(uint32_t packed);
DecodeResult build_packed_table(TableMemory &memory, const unsigned *lengths, unsigned symbol_count,
                                unsigned simple_count, const uint16_t *base_values,
                                const uint16_t *extra_bits, unsigned first_bits,
                                uint32_t **out_table, PackedForm form = nullptr);
void free_packed_table(TableMemory &memory, uint32_t *table);

[[gnu::always_inline]] constexpr unsigned entry_width(uint32_t entry) {
    return entry & 0xFF;
}
[[gnu::always_inline]] constexpr unsigned entry_tag(uint32_t entry) {
    return (entry >> 8) & 0xFF;
}
[[gnu::always_inline]] constexpr unsigned entry_value(uint32_t entry) {
    return entry >> 16;
}
