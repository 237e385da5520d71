// The eight-bytes-at-a-time CRC-32 agrees with the one-lookup-per-byte reference.
#include <gtest/gtest.h>

#include "engine/crc32.h"

TEST(Crc32, AgreesWithTheBytewiseTableAtEveryLengthAndAlignment) {
    unsigned char data[300];
    uint32_t seed = 7;
    for (unsigned char &b : data) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<unsigned char>(seed >> 16);
    }
    for (size_t start = 0; start < 8; ++start)
        for (size_t length = 0; length + start <= sizeof data; length += 13) {
            uint32_t reference = 0xFFFFFFFFu;
            for (size_t i = 0; i < length; ++i)
                reference = crc_table[(reference ^ data[start + i]) & 0xFF] ^ (reference >> 8);
            EXPECT_EQ(crc32_update(0xFFFFFFFFu, data + start, length), reference) << start << " " << length;
        }
    EXPECT_EQ(~crc32_update(0xFFFFFFFFu, reinterpret_cast<const unsigned char *>("abc"), 3), 0x352441C2u);
}
