// CRC-32 of zip: the running update used by the output writer, eight bytes per step.
#include "engine/crc32.h"

#include <cstring>

namespace {

// slice[k][n]: the CRC of byte n followed by k zero bytes; slice[0] is the reference table.
constexpr std::array<std::array<uint32_t, 256>, 8> make_slices() {
    std::array<std::array<uint32_t, 256>, 8> slice{};
    slice[0] = crc_table;
    for (unsigned k = 1; k < 8; ++k)
        for (unsigned n = 0; n < 256; ++n)
            slice[k][n] = (slice[k - 1][n] >> 8) ^ crc_table[slice[k - 1][n] & 0xFF];
    return slice;
}

constexpr std::array<std::array<uint32_t, 256>, 8> crc_slices = make_slices();

} // namespace

uint32_t crc32_update(uint32_t c, const unsigned char *data, size_t length) {
    while (length >= 8) {
        uint32_t low, high;
        std::memcpy(&low, data, 4); // little-endian hosts
        std::memcpy(&high, data + 4, 4);
        low ^= c;
        c = crc_slices[7][low & 0xFF] ^ crc_slices[6][(low >> 8) & 0xFF] ^ crc_slices[5][(low >> 16) & 0xFF] ^
            crc_slices[4][low >> 24] ^ crc_slices[3][high & 0xFF] ^ crc_slices[2][(high >> 8) & 0xFF] ^
            crc_slices[1][(high >> 16) & 0xFF] ^ crc_slices[0][high >> 24];
        data += 8;
        length -= 8;
    }
    while (length-- != 0) c = crc_table[(c ^ *data++) & 0xFF] ^ (c >> 8);
    return c;
}
