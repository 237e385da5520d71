// Reduce decoder (methods 2 to 5): follower sets, then escape-coded matches in a 16K window.
#include <array>
#include <cstring>

#include "engine/decoders/bit_reader.h"
#include "engine/decoders/decoders.h"

namespace {

constexpr unsigned REDUCE_WINDOW = 16384;
constexpr unsigned char ESCAPE = 144;

// Indexed by the factor 1..4.
constexpr unsigned length_mask[5] = {0, 127, 63, 31, 15};
constexpr unsigned distance_shift[5] = {0, 7, 6, 5, 4};
constexpr unsigned distance_mask[5] = {0, 1, 3, 7, 15};

// Bits of a follower-set index for a set of n: 1 for 1 or 2, else the smallest w with 2^w >= n.
constexpr unsigned index_width(unsigned n) {
    unsigned w = 1;
    while ((1u << w) < n) ++w;
    return w;
}
constexpr auto make_index_widths() {
    std::array<unsigned char, 64> t{};
    for (unsigned n = 1; n < 64; ++n) t[n] = static_cast<unsigned char>(index_width(n));
    return t;
}
constexpr auto index_width_table = make_index_widths();
static_assert(index_width_table[2] == 1 && index_width_table[3] == 2 &&
              index_width_table[17] == 5 && index_width_table[33] == 6 &&
              index_width_table[63] == 6);

int reduce_factor;
unsigned char follower_count[256];
// Row b (64 bytes) holds the followers of byte b; the second half of window_area.
unsigned char *const follower_sets = window_area + REDUCE_WINDOW;
unsigned char *const window = window_area;

void read_follower_sets() {
    for (int b = 255; b >= 0; --b) {
        unsigned n = read_bits(6);
        follower_count[b] = static_cast<unsigned char>(n);
        for (unsigned i = 0; i < n; ++i)
            follower_sets[64 * b + i] = static_cast<unsigned char>(read_bits(8));
    }
}

} // namespace

int reduce_decode_member() {
    reduce_factor = G.local.method - 1;
    if (reduce_factor < 1 || reduce_factor > 4) reduce_factor = 1;
    const unsigned lmask = length_mask[reduce_factor];
    const unsigned dshift = distance_shift[reduce_factor];
    const unsigned dmask = distance_mask[reduce_factor];
    read_follower_sets();

    unsigned pos = 0;
    bool first_lap = true;
    int64_t count = G.remaining_uncompressed;
    unsigned previous = 0;
    int state = 0;
    unsigned v = 0, length = 0;

    while (count > 0 && !bits_ran_past_end()) {
        unsigned x;
        unsigned n = follower_count[previous];
        if (n == 0 || read_bits(1) == 1)
            x = read_bits(8);
        else
            x = follower_sets[64 * previous + read_bits(index_width_table[n])];

        switch (state) {
        case 0:
            if (x != ESCAPE) {
                window[pos] = static_cast<unsigned char>(x);
                if (++pos == REDUCE_WINDOW) {
                    write_out(window, REDUCE_WINDOW, 0);
                    pos = 0;
                    first_lap = false;
                }
                --count;
            } else {
                state = 1;
            }
            break;
        case 1:
            if (x != 0) {
                v = x;
                length = v & lmask;
                state = length == lmask ? 2 : 3;
            } else {
                window[pos] = ESCAPE;
                if (++pos == REDUCE_WINDOW) {
                    write_out(window, REDUCE_WINDOW, 0);
                    pos = 0;
                    first_lap = false;
                }
                --count;
                state = 0;
            }
            break;
        case 2:
            length += x;
            state = 3;
            break;
        default: {
            unsigned left = length + 3;
            unsigned distance = ((v >> dshift) & dmask) * 256 + x + 1;
            unsigned src = (pos - distance) & (REDUCE_WINDOW - 1);
            count -= left;
            while (left > 0) {
                unsigned chunk = REDUCE_WINDOW - (src > pos ? src : pos);
                if (chunk > left) chunk = left;
                if (first_lap && src >= pos) {
                    std::memset(window + pos, 0, chunk);
                } else if (pos - src >= chunk) {
                    std::memcpy(window + pos, window + src, chunk);
                } else {
                    for (unsigned i = 0; i < chunk; ++i) window[pos + i] = window[src + i];
                }
                pos += chunk;
                src = (src + chunk) & (REDUCE_WINDOW - 1);
                left -= chunk;
                if (pos == REDUCE_WINDOW) {
                    write_out(window, REDUCE_WINDOW, 0);
                    pos = 0;
                    first_lap = false;
                }
            }
            state = 0;
            break;
        }
        }
        previous = x;
    }
    return static_cast<int>(write_out(window, pos, 0));
}
