// Reduce decoder (methods 2 to 5, compression factors 1 to 4): follower sets, then escape-coded
// matches in a 16K window.
//
// The format, element by element (bits least significant first):
//   256 follower sets, for the preceding bytes 255 down to 0, each
//     6 bits        the set's size n (0..63)
//     n x 8 bits    the set's bytes
//   Then one byte after another until the member's size is made. With the set of the byte read
//   before it (0 at the start) of size n:
//     n = 0          8 bits: the byte
//     otherwise      1 bit: 1, then 8 bits: the byte; 0, then an index of 1 bit (n = 1 or 2) or
//                    of the fewest bits that count to n (up to 6): the byte at that place of the
//                    set (a place beyond the set reads what the set's row holds there)
//   The bytes so read form a second stream in which 144 (0x90) escapes:
//     144, 0         the byte 144
//     144, V         V not 0: a match; its length part is V & mask (masks 127, 63, 31, 15 for
//                    factors 1 to 4); when that part is the whole mask, one more byte is added
//     then 1 byte x  the distance: (V >> (8 - factor)) * 256 + x + 1
//     the match has length part + 3 bytes and copies from that distance back; before the
//     member's first byte it reads zeros
//   The bytes the match or escape consumed still count as "the byte read before" for the sets.
// The follower sets lie in the second half of the work area, the window in the first.
#include <array>
#include <cstring>

#include "engine/decoders/bit_input.h"
#include "engine/decoders/decoders.h"
#include "engine/decoders/sliding_window.h"

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

// The next n bits; past the member's end they are fill bits, and the decode loop stops on the
// member's size or once the input has run out.
[[gnu::always_inline]] inline unsigned read_bits(BitInput &in, unsigned n) {
    hold_bits_past_end(in, n);
    return take_bits(in, n);
}

void read_follower_sets(BitInput &in, unsigned char *counts, unsigned char *sets) {
    for (int b = 255; b >= 0; --b) {
        unsigned n = read_bits(in, 6);
        counts[b] = static_cast<unsigned char>(n);
        for (unsigned i = 0; i < n; ++i)
            sets[64 * b + i] = static_cast<unsigned char>(read_bits(in, 8));
    }
}

} // namespace

DecodeOutcome reduce_decode_member(DecoderState &state, const MemberFacts &member,
                                   const ByteSource &input, const ByteSink &output) {
    int factor = member.method - 1;
    if (factor < 1 || factor > 4) factor = 1;
    const unsigned lmask = length_mask[factor];
    const unsigned dshift = distance_shift[factor];
    const unsigned dmask = distance_mask[factor];
    unsigned char *const counts = state.reduce.follower_count;
    unsigned char *const sets = state.window_area + REDUCE_WINDOW;

    BitInput in;
    take_input(in, state.input_feed, input, FILL_ZEROS);
    read_follower_sets(in, counts, sets);

    SlidingWindow<REDUCE_WINDOW> x{state.window_area, &output};
    int64_t left = member.uncompressed_size;
    unsigned previous = 0;
    int escape_state = 0;
    unsigned v = 0, length = 0;
    while (left > 0 && !input_ran_out(in)) {
        unsigned byte;
        unsigned n = counts[previous];
        if (n == 0 || read_bits(in, 1) == 1)
            byte = read_bits(in, 8);
        else
            byte = sets[64 * previous + read_bits(in, index_width_table[n])];

        switch (escape_state) {
        case 0: // plain bytes
            if (byte != ESCAPE) {
                put_byte(x, static_cast<unsigned char>(byte));
                --left;
            } else {
                escape_state = 1;
            }
            break;
        case 1: // after an escape
            if (byte != 0) {
                v = byte;
                length = v & lmask;
                escape_state = length == lmask ? 2 : 3;
            } else {
                put_byte(x, ESCAPE);
                --left;
                escape_state = 0;
            }
            break;
        case 2: // the length's extra byte
            length += byte;
            escape_state = 3;
            break;
        default: { // the distance's low byte: the match
            unsigned distance = ((v >> dshift) & dmask) * 256 + byte + 1;
            left -= length + 3; // the whole match is written, even past the member's size
            copy_match(x, length + 3, distance);
            escape_state = 0;
            break;
        }
        }
        previous = byte;
    }
    hand_back_input(in);
    write_last_window(x);
    return {};
}
