// CRC-32 of zip: the running update used by the output writer, eight bytes per step.
#include "engine/crc32.h"

#include <bit>
#include <cstring>

namespace {

// Slice k advances a byte through k further zero bytes; words are read little-endian.
static_assert(std::endian::native == std::endian::little);
constexpr std::array<std::array<uint32_t, 256>, 8> make_slices() {
    std::array<std::array<uint32_t, 256>, 8> t{};
    t[0] = crc_table;
    for (int k = 1; k < 8; ++k)
        for (int n = 0; n < 256; ++n) t[k][n] = (t[k - 1][n] >> 8) ^ crc_table[t[k - 1][n] & 0xFF];
    return t;
}
constexpr auto slices = make_slices();
} // namespace

uint32_t crc32_update(uint32_t c, const unsigned char *data, size_t length) {
    while (length >= 8) {
        uint32_t a, b;
        std::memcpy(&a, data, 4);
        std::memcpy(&b, data + 4, 4);
        a ^= c;
        c = slices[7][a & 0xFF] ^ slices[6][(a >> 8) & 0xFF] ^ slices[5][(a >> 16) & 0xFF] ^ slices[4][a >> 24] ^
            slices[3][b & 0xFF] ^ slices[2][(b >> 8) & 0xFF] ^ slices[1][(b >> 16) & 0xFF] ^ slices[0][b >> 24];
        data += 8;
        length -= 8;
    }
    for (size_t i = 0; i < length; ++i) c = crc_table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c;
}
