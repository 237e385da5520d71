// Builds and releases the multi-level prefix-code lookup tables of the deflate and implode
// decoders.
#include "engine/decoders/huffman_tables.h"

#include <cstdlib>

uint16_t sorted_symbols[MAX_CODE_SYMBOLS];
long decode_table_blocks_live = 0;
long decode_table_fail_after = -1;

// One table block: the chain's link slot, then 2^index_bits entries. Returns the table proper.
static DecodeEntry *allocate_table(unsigned index_bits) {
    if (decode_table_fail_after == 0) return nullptr;
    if (decode_table_fail_after > 0) --decode_table_fail_after;
    size_t entries = (size_t{1} << index_bits) + 1;
    auto *block = static_cast<DecodeEntry *>(std::malloc(entries * sizeof(DecodeEntry)));
    if (block == nullptr) return nullptr;
    ++decode_table_blocks_live;
    block[0].tag = 0;
    block[0].width = 0;
    block[0].subtable = nullptr;
    return block + 1;
}

int free_decode_tables(DecodeEntry *first_table) {
    DecodeEntry *table = first_table;
    while (table != nullptr) {
        DecodeEntry *block = table - 1;
        DecodeEntry *next = block->subtable;
        std::free(block);
        --decode_table_blocks_live;
        table = next;
    }
    return 0;
}

int build_decode_table(const unsigned *lengths, unsigned symbol_count, unsigned simple_count,
                       const uint16_t *base_values, const uint16_t *extra_bits,
                       DecodeEntry **out_table, int *lookup_bits) {
    *out_table = nullptr;
    if (symbol_count > MAX_CODE_SYMBOLS) return 2;

    // Codes of each length.
    unsigned count[MAX_CODE_LENGTH + 1] = {};
    for (unsigned s = 0; s < symbol_count; ++s) {
        if (lengths[s] > MAX_CODE_LENGTH) return 2;
        ++count[lengths[s]];
    }
    if (count[0] == symbol_count) {
        *lookup_bits = 0;
        return 0;
    }
    unsigned min = 1;
    while (count[min] == 0) ++min;
    unsigned max = MAX_CODE_LENGTH;
    while (count[max] == 0) --max;
    unsigned first_bits = *lookup_bits < 0 ? 0u : static_cast<unsigned>(*lookup_bits);
    if (first_bits < min) first_bits = min;
    if (first_bits > max) first_bits = max;

    // Over-subscription test, before anything is allocated; unused space becomes dummy codes.
    long free_codes = 1L << min;
    for (unsigned len = min; len < max; ++len) {
        free_codes -= count[len];
        if (free_codes < 0) return 2;
        free_codes *= 2;
    }
    free_codes -= count[max];
    if (free_codes < 0) return 2;

    // Used symbols by length, ties by symbol number.
    unsigned offset[MAX_CODE_LENGTH + 2];
    offset[1] = 0;
    for (unsigned len = 1; len <= MAX_CODE_LENGTH; ++len)
        offset[len + 1] = offset[len] + count[len];
    unsigned used = offset[MAX_CODE_LENGTH + 1];
    for (unsigned s = 0; s < symbol_count; ++s)
        if (lengths[s] != 0) sorted_symbols[offset[lengths[s]]++] = static_cast<uint16_t>(s);
    count[max] += static_cast<unsigned>(free_codes);

    // The end-of-block code must end exactly at a table boundary.
    unsigned eob_len = symbol_count > 256 ? lengths[256] : MAX_CODE_LENGTH;

    // The open table path: level h's table, its index bits, the code bits above it and their value.
    DecodeEntry *table[MAX_CODE_LENGTH + 1];
    unsigned level_bits[MAX_CODE_LENGTH + 1];
    unsigned level_base[MAX_CODE_LENGTH + 1];
    uint32_t level_prefix[MAX_CODE_LENGTH + 1];
    int h = -1;
    DecodeEntry *first = nullptr, *last = nullptr;
    uint32_t code = 0; // the current code, bit-reversed (first code bit in bit 0)
    unsigned next_symbol = 0;

    for (unsigned k = min; k <= max; ++k) {
        for (unsigned left = count[k]; left > 0; --left) {
            // Open tables until the path covers k bits.
            while (h < 0 || k > level_base[h] + level_bits[h]) {
                unsigned w = h < 0 ? 0 : level_base[h] + level_bits[h];
                unsigned z = max - w < first_bits ? max - w : first_bits;
                unsigned j = k - w;
                if (j < z && (1u << j) > left) {
                    // Too few codes of length k to fill a (k - w)-bit table: widen it while the
                    // longer codes can fill the extra space.
                    unsigned spare = (1u << j) - left;
                    while (++j < z) {
                        spare <<= 1;
                        if (spare <= count[w + j]) break;
                        spare -= count[w + j];
                    }
                }
                if (w + j > eob_len && w < eob_len) j = eob_len - w;

                DecodeEntry *t = allocate_table(j);
                if (t == nullptr) {
                    free_decode_tables(first);
                    return 3;
                }
                if (last != nullptr)
                    (last - 1)->subtable = t;
                else
                    first = t;
                last = t;
                ++h;
                table[h] = t;
                level_bits[h] = j;
                level_base[h] = w;
                level_prefix[h] = code & ((1u << w) - 1);
                if (h > 0) {
                    DecodeEntry link;
                    link.tag = static_cast<uint8_t>(TAG_LINK_BASE + j);
                    link.width = static_cast<uint8_t>(level_bits[h - 1]);
                    link.subtable = t;
                    unsigned parent_mask = (1u << level_bits[h - 1]) - 1;
                    table[h - 1][(code >> level_base[h - 1]) & parent_mask] = link;
                }
            }

            // The entry for this code; dummy codes (space no symbol uses) are invalid.
            DecodeEntry e;
            unsigned w = level_base[h];
            e.width = static_cast<uint8_t>(k - w);
            if (next_symbol >= used) {
                e.tag = TAG_INVALID;
                e.value = 0;
            } else {
                unsigned s = sorted_symbols[next_symbol++];
                if (s < simple_count) {
                    e.tag = s < 256 ? TAG_LITERAL : TAG_END_OF_BLOCK;
                    e.value = static_cast<uint16_t>(s);
                } else {
                    e.tag = static_cast<uint8_t>(extra_bits[s - simple_count] & 0xFF);
                    e.value = base_values[s - simple_count];
                }
            }
            unsigned size = 1u << level_bits[h];
            for (unsigned i = code >> w; i < size; i += 1u << (k - w)) table[h][i] = e;

            // Next code of length k, counting up in bit-reversed form.
            unsigned bit = 1u << (k - 1);
            while (code & bit) {
                code ^= bit;
                bit >>= 1;
            }
            code ^= bit;

            // Close the tables the next code no longer passes through.
            while (h > 0 && (code & ((1u << level_base[h]) - 1)) != level_prefix[h]) --h;
        }
    }

    *out_table = first;
    *lookup_bits = static_cast<int>(level_bits[0]);
    return (free_codes != 0 && max != 1) ? 1 : 0;
}
