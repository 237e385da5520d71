// Least-significant-bit-first input of the prefix-code decoders over the member's byte supply.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "engine/engine.h"

static_assert(std::endian::native == std::endian::little,
              "the wide bit fill assumes a little-endian host");

// Bytes a decoder may feed past the member's end (as one-bits) before its input counts as run out:
// look-ahead needs at most a few; a decoder wanting more is decoding data that is not there.
constexpr int INPUT_OVERRUN_LIMIT = 16;

// Masks 2^n - 1 for n = 0..16.
inline constexpr uint16_t bit_masks[17] = {0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F,
                                           0x003F, 0x007F, 0x00FF, 0x01FF, 0x03FF, 0x07FF,
                                           0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF};

// Appends whole bytes to `buffer` (next bit in bit 0, `count` valid bits) until it holds at least
// `need` bits (need ≤ 56). Bits above `count` may hold the next byte's bits already. Past the
// member's end (or the archive's) each byte enters as eight one-bits and counts in `overrun`;
// returns false once more than INPUT_OVERRUN_LIMIT such bytes have been fed.
inline bool fill_bits(uint64_t &buffer, unsigned &count, unsigned need, int &overrun) {
    if (G.bytes_left >= 8 && G.remaining_compressed >= 8) {
        // Wide fill straight from the input window: 8 bytes loaded, the whole ones kept.
        uint64_t word;
        std::memcpy(&word, G.read_pos, 8);
        buffer |= word << count;
        unsigned take = (63 - count) >> 3;
        G.read_pos += take;
        G.bytes_left -= static_cast<int32_t>(take);
        G.remaining_compressed -= static_cast<int32_t>(take);
        count += take * 8;
        if (count >= need) return true;
    }
    while (count < need) {
        int b = next_byte();
        if (b < 0) {
            if (++overrun > INPUT_OVERRUN_LIMIT) return false;
            buffer |= ~uint64_t{0} << count;
        } else {
            buffer = (buffer & ((uint64_t{1} << count) - 1)) | (static_cast<uint64_t>(b) << count);
        }
        count += 8;
    }
    return true;
}
