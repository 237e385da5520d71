// Implode decoder (method 6): Shannon-Fano coded literals, lengths and distances, 4K or 8K window.
#include <array>
#include <cstring>

#include "engine/decoders/decoders.h"
#include "engine/decoders/huffman_tables.h"

namespace {

constexpr unsigned IMPLODE_WINDOW = WINDOW_SIZE;

constexpr uint16_t FLAG_8K_WINDOW = 2;
constexpr uint16_t FLAG_LITERAL_TREE = 4;

constexpr auto make_length_base(uint16_t minimum) {
    std::array<uint16_t, 64> t{};
    for (unsigned s = 0; s < 64; ++s) t[s] = static_cast<uint16_t>(minimum + s);
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

unsigned sf_lengths[256];

constexpr uint32_t low_mask(int bits) {
    return (1u << bits) - 1u;
}

// The bit buffer of one member; past the end of the input it fills with one bits.
struct Bits {
    uint32_t buffer = 0;
    int count = 0;
    [[gnu::always_inline]] inline void need(int n) {
        if (count >= n) return;
        // Enough input in the window: take whole bytes straight from it, up to 25 bits or more.
        if (G.bytes_left >= 4 && G.remaining_compressed >= 4) {
            do {
                buffer |= static_cast<uint32_t>(*G.read_pos++) << count;
                --G.bytes_left;
                --G.remaining_compressed;
                count += 8;
            } while (count <= 24);
            return;
        }
        while (count < n) {
            int b = next_byte();
            buffer |= static_cast<uint32_t>(b < 0 ? 0xFF : b) << count;
            count += 8;
        }
    }
    [[gnu::always_inline]] inline void drop(int n) {
        buffer >>= n;
        count -= n;
    }
};

// One code through the tables, indexed by the complement of the bit buffer. Null: invalid code.
[[gnu::always_inline]] inline const DecodeEntry *decode(Bits &bits, const DecodeEntry *table,
                                                        int lookup_bits) {
    bits.need(lookup_bits);
    const DecodeEntry *e = table + (~bits.buffer & low_mask(lookup_bits));
    while (e->tag > TAG_LITERAL) {
        if (e->tag == TAG_INVALID) return nullptr;
        bits.drop(e->width);
        int j = e->tag - TAG_LINK_BASE;
        bits.need(j);
        e = e->subtable + (~bits.buffer & low_mask(j));
    }
    bits.drop(e->width);
    return e;
}

struct Trees {
    DecodeEntry *literal = nullptr;
    DecodeEntry *length = nullptr;
    DecodeEntry *distance = nullptr;
    int literal_bits = 9;
    int length_bits = 7;
    int distance_bits = 7;
};

} // namespace

int read_sf_lengths(unsigned *lengths, unsigned n) {
    int first = next_byte();
    unsigned description_bytes = first < 0 ? 0 : static_cast<unsigned>(first) + 1; // 0: unbounded
    unsigned filled = 0;
    for (unsigned i = 0; description_bytes == 0 || i < description_bytes; ++i) {
        int b = next_byte();
        if (b < 0) b = 255;
        unsigned bit_length = (b & 15) + 1;
        unsigned repeat = (b >> 4) + 1;
        if (filled + repeat > n) return IMPLODE_BAD_TREE;
        while (repeat--) lengths[filled++] = bit_length;
    }
    return filled == n ? IMPLODE_OK : IMPLODE_BAD_TREE;
}

int implode_distance_lookup_bits(int32_t compressed_size) {
    return compressed_size > 200000 ? 8 : 7;
}

int implode_decode_data(int variant, const DecodeEntry *literal_table,
                        const DecodeEntry *length_table, const DecodeEntry *distance_table,
                        int literal_bits, int length_bits, int distance_bits) {
    const bool literal_tree = variant & FLAG_LITERAL_TREE;
    const int low_distance_bits = (variant & FLAG_8K_WINDOW) ? 7 : 6;
    unsigned char *const window = window_area;
    Bits bits;
    unsigned pos = 0;
    bool first_lap = true;
    int64_t count = G.remaining_uncompressed;

    while (count > 0 && !input_ran_past_end()) {
        bits.need(1);
        if (bits.buffer & 1) {
            bits.drop(1);
            --count;
            if (literal_tree) {
                const DecodeEntry *e = decode(bits, literal_table, literal_bits);
                if (e == nullptr) return IMPLODE_BAD_CODE;
                window[pos] = static_cast<unsigned char>(e->value);
            } else {
                bits.need(8);
                window[pos] = static_cast<unsigned char>(bits.buffer);
                bits.drop(8);
            }
            if (++pos == IMPLODE_WINDOW) {
                write_out(window, IMPLODE_WINDOW, 0);
                pos = 0;
                first_lap = false;
            }
            continue;
        }
        bits.drop(1);
        bits.need(low_distance_bits);
        unsigned distance = bits.buffer & low_mask(low_distance_bits);
        bits.drop(low_distance_bits);
        const DecodeEntry *e = decode(bits, distance_table, distance_bits);
        if (e == nullptr) return IMPLODE_BAD_CODE;
        distance += e->value;
        e = decode(bits, length_table, length_bits);
        if (e == nullptr) return IMPLODE_BAD_CODE;
        unsigned left = e->value;
        if (e->tag != 0) {
            bits.need(8);
            left += bits.buffer & 0xFF;
            bits.drop(8);
        }

        // The whole match is written, even past the expected size.
        count -= left;
        unsigned src = (pos - distance) & (IMPLODE_WINDOW - 1);
        while (left > 0) {
            unsigned chunk = IMPLODE_WINDOW - (src > pos ? src : pos);
            if (chunk > left) chunk = left;
            if (first_lap && src >= pos) {
                std::memset(window + pos, 0, chunk); // before the start of the member's output
            } else if (pos - src >= chunk) {
                std::memcpy(window + pos, window + src, chunk);
            } else {
                for (unsigned i = 0; i < chunk; ++i) window[pos + i] = window[src + i];
            }
            pos += chunk;
            src = (src + chunk) & (IMPLODE_WINDOW - 1);
            left -= chunk;
            if (pos == IMPLODE_WINDOW) {
                write_out(window, IMPLODE_WINDOW, 0);
                pos = 0;
                first_lap = false;
            }
        }
    }
    write_out(window, pos, 0);

    int32_t unused = bits.count / 8; // whole bytes fetched but not used
    if (G.remaining_compressed + unused != 0) {
        G.used_compressed_size =
            static_cast<int32_t>(G.local.compressed_size) - G.remaining_compressed - unused;
        return IMPLODE_SIZE_MISMATCH;
    }
    return IMPLODE_OK;
}

int implode_decode_member() {
    const uint16_t variant = G.local.flags & (FLAG_8K_WINDOW | FLAG_LITERAL_TREE);
    Trees t;
    t.distance_bits = implode_distance_lookup_bits(G.remaining_compressed);
    const uint16_t *distance_base =
        (variant & FLAG_8K_WINDOW) ? distance_base_8k.data() : distance_base_4k.data();
    const uint16_t *length_base =
        (variant & FLAG_LITERAL_TREE) ? length_base_3.data() : length_base_2.data();

    // Any result but 0 from a description or a build ends the member; incomplete trees too.
    int r = IMPLODE_OK;
    if (variant & FLAG_LITERAL_TREE) {
        r = read_sf_lengths(sf_lengths, 256);
        if (r == IMPLODE_OK)
            r = build_decode_table(sf_lengths, 256, 256, nullptr, nullptr, &t.literal,
                                   &t.literal_bits);
    }
    if (r == IMPLODE_OK) r = read_sf_lengths(sf_lengths, 64);
    if (r == IMPLODE_OK)
        r = build_decode_table(sf_lengths, 64, 0, length_base, length_extra.data(), &t.length,
                               &t.length_bits);
    if (r == IMPLODE_OK) r = read_sf_lengths(sf_lengths, 64);
    if (r == IMPLODE_OK)
        r = build_decode_table(sf_lengths, 64, 0, distance_base, distance_extra.data(), &t.distance,
                               &t.distance_bits);
    // A table that is missing cannot be indexed (impossible with lengths 1..16, kept as a guard).
    if (r == IMPLODE_OK && (t.length == nullptr || t.distance == nullptr ||
                            ((variant & FLAG_LITERAL_TREE) && t.literal == nullptr)))
        r = IMPLODE_BAD_TREE;
    if (r == IMPLODE_OK)
        r = implode_decode_data(variant, t.literal, t.length, t.distance, t.literal_bits,
                                t.length_bits, t.distance_bits);

    // A failed build leaves its pointer null; every table built is released on every exit.
    free_decode_tables(t.literal);
    free_decode_tables(t.length);
    free_decode_tables(t.distance);
    return r;
}
