// Builds and releases the prefix-code decoding tables of the deflate and implode decoders.
#include "engine/decoders/huffman_tables.h"

#include <cstdlib>
#include <cstring>

namespace {

// Table memory goes through here, so that the tests can count it and make it fail.
void *allocate_table_memory(TableMemory &memory, size_t bytes) {
    if (memory.fail_after == 0) return nullptr;
    if (memory.fail_after > 0) --memory.fail_after;
    void *block = std::malloc(bytes);
    if (block != nullptr) ++memory.live_blocks;
    return block;
}

void release_table_memory(TableMemory &memory, void *block) {
    if (block == nullptr) return;
    std::free(block);
    --memory.live_blocks;
}

// A code as its lengths give it: how many codes of each length, the shortest and the longest,
// and the code space the codes leave unused (counted in codes of the longest length).
struct CodeShape {
    unsigned count[MAX_CODE_LENGTH + 1] = {};
    unsigned min = 0, max = 0;
    long unused = 0;
};

// Measures the code before anything is allocated; the builders' results come from here.
DecodeResult measure_code(const unsigned *lengths, unsigned symbol_count, CodeShape *shape) {
    CHECK_DATA(symbol_count <= MAX_CODE_SYMBOLS, DecodeResult::over_subscribed);
    for (unsigned s = 0; s < symbol_count; ++s) {
        CHECK_DATA(lengths[s] <= MAX_CODE_LENGTH, DecodeResult::over_subscribed);
        ++shape->count[lengths[s]];
    }
    if (shape->count[0] == symbol_count) return DecodeResult::ok; // no code at all
    shape->min = 1;
    while (shape->count[shape->min] == 0) ++shape->min;
    shape->max = MAX_CODE_LENGTH;
    while (shape->count[shape->max] == 0) --shape->max;
    long free_codes = 1L << shape->min;
    for (unsigned len = shape->min; len < shape->max; ++len) {
        free_codes -= shape->count[len];
        CHECK_DATA(free_codes >= 0, DecodeResult::over_subscribed);
        free_codes *= 2;
    }
    free_codes -= shape->count[shape->max];
    CHECK_DATA(free_codes >= 0, DecodeResult::over_subscribed);
    shape->unused = free_codes;
    // One or two one-bit codes count as complete: a lone one-bit code is a whole code.
    return free_codes != 0 && shape->max != 1 ? DecodeResult::incomplete_code : DecodeResult::ok;
}

// The entry a symbol decodes to: simple symbols are literals or the end of a block, the others
// take their base value and extra bits.
void symbol_meaning(unsigned symbol, unsigned simple_count, const uint16_t *base_values,
                    const uint16_t *extra_bits, unsigned *tag, unsigned *value) {
    if (symbol < simple_count) {
        *tag = symbol < 256 ? TAG_LITERAL : TAG_END_OF_BLOCK;
        *value = symbol;
    } else {
        *tag = extra_bits[symbol - simple_count] & 0xFF;
        *value = base_values[symbol - simple_count];
    }
}

// --- Linked multi-level tables -----------------------------------------------------------------

// One table block: the chain's link slot, then 2^index_bits entries. Returns the table proper.
DecodeEntry *allocate_table(TableMemory &memory, unsigned index_bits) {
    size_t entries = (size_t{1} << index_bits) + 1;
    auto *block =
        static_cast<DecodeEntry *>(allocate_table_memory(memory, entries * sizeof(DecodeEntry)));
    if (block == nullptr) return nullptr;
    block[0].tag = 0;
    block[0].width = 0;
    block[0].subtable = nullptr;
    return block + 1;
}

// Lists the used symbols by code length, ties by symbol number; returns how many there are.
unsigned sort_symbols(const unsigned *lengths, unsigned symbol_count, const unsigned *count,
                      uint16_t *sorted) {
    unsigned offset[MAX_CODE_LENGTH + 2];
    offset[1] = 0;
    for (unsigned len = 1; len <= MAX_CODE_LENGTH; ++len)
        offset[len + 1] = offset[len] + count[len];
    for (unsigned s = 0; s < symbol_count; ++s)
        if (lengths[s] != 0) sorted[offset[lengths[s]]++] = static_cast<uint16_t>(s);
    return offset[MAX_CODE_LENGTH + 1];
}

// The tables a code of the build passes through, first level first (`h` the deepest open one),
// and the chain of every table of the build.
struct TablePath {
    DecodeEntry *table[MAX_CODE_LENGTH + 1];
    unsigned bits[MAX_CODE_LENGTH + 1];   // index bits of each level's table
    unsigned base[MAX_CODE_LENGTH + 1];   // code bits above each level's table
    uint32_t prefix[MAX_CODE_LENGTH + 1]; // and their value
    int h = -1;
    DecodeEntry *first = nullptr, *last = nullptr;
    unsigned depth() const { return h < 0 ? 0 : base[h] + bits[h]; } // code bits the path covers
};

// The index bits of a new table whose first codes are `left` codes of length k: k less the bits
// above it, up to `first_bits` and the longest code; too few codes of length k to fill it are
// made up by widening it while the longer codes can fill the extra space. A table never reaches
// past the end-of-block code's length when it starts above it.
unsigned table_width(const TablePath &path, unsigned k, unsigned left, const unsigned *count,
                     unsigned max, unsigned first_bits, unsigned eob_len) {
    unsigned w = path.depth();
    unsigned z = max - w < first_bits ? max - w : first_bits;
    unsigned j = k - w;
    if (j < z && (1u << j) > left) {
        unsigned spare = (1u << j) - left;
        while (++j < z) {
            spare <<= 1;
            if (spare <= count[w + j]) break;
            spare -= count[w + j];
        }
    }
    if (w + j > eob_len && w < eob_len) j = eob_len - w;
    return j;
}

// Opens a table of j index bits below the path for `code`: chains it to the build and links it
// from its parent's entry. False when memory is short.
bool open_table(TableMemory &memory, TablePath &path, unsigned j, uint32_t code) {
    unsigned w = path.depth();
    DecodeEntry *t = allocate_table(memory, j);
    if (t == nullptr) return false;
    if (path.last != nullptr)
        (path.last - 1)->subtable = t;
    else
        path.first = t;
    path.last = t;
    int h = ++path.h;
    path.table[h] = t;
    path.bits[h] = j;
    path.base[h] = w;
    path.prefix[h] = code & ((1u << w) - 1);
    if (h > 0) {
        DecodeEntry link;
        link.tag = static_cast<uint8_t>(TAG_LINK_BASE + j);
        link.width = static_cast<uint8_t>(path.bits[h - 1]);
        link.subtable = t;
        unsigned parent_mask = (1u << path.bits[h - 1]) - 1;
        path.table[h - 1][(code >> path.base[h - 1]) & parent_mask] = link;
    }
    return true;
}

// The entry of a code of length k at the deepest level, in every slot its bits select.
void place_code(TablePath &path, unsigned k, uint32_t code, DecodeEntry e) {
    unsigned w = path.base[path.h];
    e.width = static_cast<uint8_t>(k - w);
    unsigned size = 1u << path.bits[path.h];
    for (unsigned i = code >> w; i < size; i += 1u << (k - w)) path.table[path.h][i] = e;
}

// The next code of length k, counting up in bit-reversed form.
uint32_t next_reversed_code(uint32_t code, unsigned k) {
    unsigned bit = 1u << (k - 1);
    while (code & bit) {
        code ^= bit;
        bit >>= 1;
    }
    return code ^ bit;
}

// The entry a code decodes to: the next sorted symbol's meaning, or invalid for the dummy codes
// that fill the space no symbol uses.
DecodeEntry symbol_entry(const uint16_t *sorted, unsigned used, unsigned *next_symbol,
                         unsigned simple_count, const uint16_t *base_values,
                         const uint16_t *extra_bits) {
    DecodeEntry e;
    e.width = 0;
    if (*next_symbol >= used) {
        e.tag = TAG_INVALID;
        e.value = 0;
        return e;
    }
    unsigned tag, value;
    symbol_meaning(sorted[(*next_symbol)++], simple_count, base_values, extra_bits, &tag, &value);
    e.tag = static_cast<uint8_t>(tag);
    e.value = static_cast<uint16_t>(value);
    return e;
}

} // namespace

int free_decode_tables(TableMemory &memory, DecodeEntry *first_table) {
    DecodeEntry *table = first_table;
    while (table != nullptr) {
        DecodeEntry *block = table - 1;
        DecodeEntry *next = block->subtable;
        release_table_memory(memory, block);
        table = next;
    }
    return 0;
}

DecodeResult build_decode_table(TableMemory &memory, const unsigned *lengths, unsigned symbol_count,
                                unsigned simple_count, const uint16_t *base_values,
                                const uint16_t *extra_bits, DecodeEntry **out_table,
                                int *lookup_bits) {
    *out_table = nullptr;
    CodeShape shape;
    DecodeResult judged = measure_code(lengths, symbol_count, &shape);
    if (judged == DecodeResult::over_subscribed) return judged;
    if (shape.max == 0) {
        *lookup_bits = 0;
        return DecodeResult::ok;
    }
    unsigned *count = shape.count;
    const unsigned min = shape.min, max = shape.max;
    unsigned first_bits = *lookup_bits < 0 ? 0u : static_cast<unsigned>(*lookup_bits);
    if (first_bits < min) first_bits = min;
    if (first_bits > max) first_bits = max;

    // The unused space becomes dummy codes of the longest length, which decode as invalid.
    uint16_t sorted[MAX_CODE_SYMBOLS];
    const unsigned used = sort_symbols(lengths, symbol_count, count, sorted);
    count[max] += static_cast<unsigned>(shape.unused);
    // The end-of-block code must end exactly at a table boundary.
    const unsigned eob_len = symbol_count > 256 ? lengths[256] : MAX_CODE_LENGTH;

    TablePath path;
    uint32_t code = 0; // the current code, bit-reversed (first code bit in bit 0)
    unsigned next_symbol = 0;
    for (unsigned k = min; k <= max; ++k) {
        for (unsigned left = count[k]; left > 0; --left) {
            while (k > path.depth()) {
                unsigned j = table_width(path, k, left, count, max, first_bits, eob_len);
                if (!open_table(memory, path, j, code)) {
                    free_decode_tables(memory, path.first);
                    return DecodeResult::no_memory;
                }
            }
            place_code(
                path, k, code,
                symbol_entry(sorted, used, &next_symbol, simple_count, base_values, extra_bits));
            code = next_reversed_code(code, k);
            // Close the tables the next code no longer passes through.
            while (path.h > 0 && (code & ((1u << path.base[path.h]) - 1)) != path.prefix[path.h])
                --path.h;
        }
    }

    *out_table = path.first;
    *lookup_bits = static_cast<int>(path.bits[0]);
    return judged;
}

// --- Packed two-level tables -------------------------------------------------------------------

namespace {

constexpr uint32_t PACKED_INVALID = uint32_t{TAG_INVALID} << 8;

constexpr uint32_t packed_entry(unsigned width, unsigned tag, unsigned value) {
    return width | (tag << 8) | (value << 16);
}

// A symbol's entry as the table holds it: in the caller's form when it has one.
uint32_t packed_symbol(unsigned symbol, unsigned width, unsigned simple_count,
                       const uint16_t *base_values, const uint16_t *extra_bits, PackedForm form) {
    unsigned tag, value;
    symbol_meaning(symbol, simple_count, base_values, extra_bits, &tag, &value);
    uint32_t e = packed_entry(width, tag, value);
    return form ? form(e) : e;
}

// Doubles the first `bits`-bit part of the table: every entry is then also found with the next
// index bit set, as a code shorter than the index needs.
void double_table(uint32_t *table, unsigned bits) {
    std::memcpy(table + (size_t{1} << bits), table, sizeof(uint32_t) << bits);
}

// The used symbols in code order (by length, ties by symbol) with their codes reversed (first code
// bit in bit 0), and where the codes longer than the first level fall: codes under one first-level
// entry follow each other in code order, so each such group ends where `group_end` says.
struct CodeOrder {
    uint16_t symbol[MAX_CODE_SYMBOLS];
    unsigned reversed[MAX_CODE_SYMBOLS];
    unsigned used = 0;      // symbols with a code
    unsigned short_end = 0; // the first one longer than the first level
    unsigned group_end[MAX_CODE_SYMBOLS];
    unsigned groups = 0;
};

// Puts the symbols in code order and groups the longer codes; the last and longest code of a
// group sizes its second-level table. Returns the entries of both levels together.
unsigned order_codes(const unsigned *lengths, unsigned symbol_count, const CodeShape &shape,
                     unsigned first_bits, CodeOrder &order) {
    order.used = sort_symbols(lengths, symbol_count, shape.count, order.symbol);
    uint32_t code = 0;
    order.short_end = order.used;
    for (unsigned i = 0; i < order.used; ++i) {
        unsigned len = lengths[order.symbol[i]];
        if (len > first_bits && order.short_end == order.used) order.short_end = i;
        order.reversed[i] = code;
        code = next_reversed_code(code, len);
    }
    const unsigned first_mask = (1u << first_bits) - 1;
    unsigned entries = 1u << first_bits;
    for (unsigned i = order.short_end; i < order.used; ++i) {
        bool last = i + 1 == order.used ||
                    (order.reversed[i + 1] & first_mask) != (order.reversed[i] & first_mask);
        if (!last) continue;
        order.group_end[order.groups++] = i + 1;
        entries += 1u << (lengths[order.symbol[i]] - first_bits);
    }
    return entries;
}

// The first level, built at the shortest code's width and doubled as the codes grow: each code
// is written once, at its reversed code, and the doubling copies it to every index it decodes.
// Index space that no code reaches stays invalid.
void place_first_level(uint32_t *table, const unsigned *lengths, const CodeOrder &order,
                       unsigned min, unsigned first_bits, uint32_t invalid, unsigned simple_count,
                       const uint16_t *base_values, const uint16_t *extra_bits, PackedForm form) {
    unsigned bits = min < first_bits ? min : first_bits;
    for (unsigned i = 0; i < (1u << bits); ++i) table[i] = invalid;
    for (unsigned i = 0; i < order.short_end; ++i) {
        unsigned symbol = order.symbol[i], len = lengths[symbol];
        for (; bits < len; ++bits) double_table(table, bits);
        table[order.reversed[i]] =
            packed_symbol(symbol, len, simple_count, base_values, extra_bits, form);
    }
    for (; bits < first_bits; ++bits) double_table(table, bits);
}

// The second-level tables after the first level, one per group of longer codes, each linked from
// the first-level entry of its codes' first bits.
void place_second_level(uint32_t *table, const unsigned *lengths, const CodeOrder &order,
                        unsigned first_bits, uint32_t invalid, bool incomplete,
                        unsigned simple_count, const uint16_t *base_values,
                        const uint16_t *extra_bits, PackedForm form) {
    unsigned next_free = 1u << first_bits, i = order.short_end;
    for (unsigned g = 0; g < order.groups; ++g) {
        const unsigned end = order.group_end[g];
        const unsigned sub_bits = lengths[order.symbol[end - 1]] - first_bits;
        const unsigned sub_size = 1u << sub_bits;
        uint32_t *sub = table + next_free;
        // Only code space that no symbol uses keeps this.
        if (incomplete)
            for (unsigned k = 0; k < sub_size; ++k) sub[k] = invalid;
        uint32_t link = packed_entry(first_bits, TAG_LINK_BASE + sub_bits, next_free);
        table[order.reversed[i] & ((1u << first_bits) - 1)] = form ? form(link) : link;
        for (; i < end; ++i) {
            unsigned symbol = order.symbol[i], sub_len = lengths[symbol] - first_bits;
            uint32_t e =
                packed_symbol(symbol, sub_len, simple_count, base_values, extra_bits, form);
            for (unsigned k = order.reversed[i] >> first_bits; k < sub_size; k += 1u << sub_len)
                sub[k] = e;
        }
        next_free += sub_size;
    }
}

} // namespace

void free_packed_table(TableMemory &memory, uint32_t *table) {
    release_table_memory(memory, table);
}

DecodeResult build_packed_table(TableMemory &memory, const unsigned *lengths, unsigned symbol_count,
                                unsigned simple_count, const uint16_t *base_values,
                                const uint16_t *extra_bits, unsigned first_bits,
                                uint32_t **out_table, PackedForm form) {
    *out_table = nullptr;
    CodeShape shape;
    DecodeResult judged = measure_code(lengths, symbol_count, &shape);
    if (judged == DecodeResult::over_subscribed || shape.max == 0) return judged;
    if (first_bits > PACKED_MAX_FIRST_BITS) first_bits = PACKED_MAX_FIRST_BITS;

    CodeOrder order;
    unsigned entries = order_codes(lengths, symbol_count, shape, first_bits, order);
    // A link holds its table's index in 16 bits; deflate's codes (at most 15 bits, first levels
    // of 7 to 11 bits) stay far below that.
    if (entries > 0xFFFF) return DecodeResult::no_memory;

    auto *table =
        static_cast<uint32_t *>(allocate_table_memory(memory, entries * sizeof(uint32_t)));
    if (table == nullptr) return DecodeResult::no_memory;
    const uint32_t invalid = form ? form(PACKED_INVALID) : PACKED_INVALID;
    place_first_level(table, lengths, order, shape.min, first_bits, invalid, simple_count,
                      base_values, extra_bits, form);
    place_second_level(table, lengths, order, first_bits, invalid, shape.unused != 0, simple_count,
                       base_values, extra_bits, form);
    *out_table = table;
    return judged;
}
