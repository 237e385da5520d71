// The bit reader of the shrink and reduce decoders: bits from next_byte, lowest bit first.
#pragma once

#include <climits>

#include "engine/decoders/decoders.h"

// Past the end the count keeps falling; it is held above this floor so that a long run of
// missing input cannot overflow it.
constexpr int BIT_COUNT_FLOOR = INT_MIN / 2;

// Returns the next n (at most 16) bits. Missing bits read as zero; `exhausted` is set when
// bits were missing and not one more byte could be added.
inline unsigned read_bits(int n) {
    BitReader &r = bit_reader;
    if (n > r.count) {
        r.exhausted = 1;
        if (static_cast<unsigned>(r.count) <= 24) {
            do {
                int b = next_byte();
                if (b < 0) break;
                r.buffer |= static_cast<uint32_t>(b) << r.count;
                r.count += 8;
                r.exhausted = 0;
            } while (r.count <= 24);
        }
        if (r.count < BIT_COUNT_FLOOR) r.count = BIT_COUNT_FLOOR;
    }
    unsigned value = (r.buffer & 0xFFFFu) & ((1u << n) - 1u);
    r.buffer >>= n;
    r.count -= n;
    return value;
}

// True once the reader has handed out more missing (zero) bits than a damaged member's last
// bytes can explain; the decoder then ends the member.
inline bool bits_ran_past_end() {
    return bit_reader.count < -8 * MEMBER_OVERRUN_LIMIT;
}
