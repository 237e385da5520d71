// The fast CRC-32 paths agree with the one-lookup-per-byte reference table.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine/crc32.h"

namespace {

uint32_t reference(uint32_t c, const unsigned char *data, size_t length) {
    for (size_t i = 0; i < length; ++i) c = crc_table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c;
}

TEST(Crc32Sliced, AgreesWithTheReferenceAtEveryLengthAndAlignment) {
    std::mt19937 rng(32);
    std::vector<unsigned char> data(4096 + 16);
    for (auto &b : data) b = static_cast<unsigned char>(rng());
    for (size_t offset = 0; offset < 8; ++offset) {
        for (size_t length = 0; length < 100; ++length) {
            uint32_t start = rng();
            ASSERT_EQ(crc32_update(start, data.data() + offset, length),
                      reference(start, data.data() + offset, length))
                << offset << " " << length;
        }
    }
    EXPECT_EQ(crc32_update(0xFFFFFFFFu, data.data(), 4096),
              reference(0xFFFFFFFFu, data.data(), 4096));
}

TEST(Crc32Sliced, SplitUpdatesGiveTheWholeCrc) {
    std::vector<unsigned char> data(100000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<unsigned char>(i * 31 + (i >> 7));
    uint32_t whole = crc32_update(0xFFFFFFFFu, data.data(), data.size());
    uint32_t c = 0xFFFFFFFFu;
    size_t at = 0;
    for (size_t piece : {1u, 7u, 8u, 9u, 4093u, 32768u}) {
        c = crc32_update(c, data.data() + at, piece);
        at += piece;
    }
    c = crc32_update(c, data.data() + at, data.size() - at);
    EXPECT_EQ(c, whole);
    EXPECT_EQ(whole, reference(0xFFFFFFFFu, data.data(), data.size()));
    const unsigned char check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(~crc32_update(0xFFFFFFFFu, check, 9), 0xCBF43926u);
}

// Long runs take the wide (folding) path where the processor has one: every length from 0 to
// 600 at every alignment, and whole windows.
TEST(Crc32Sliced, LongRunsAgreeWithTheReference) {
    std::mt19937 rng(64);
    std::vector<unsigned char> data(70000);
    for (auto &b : data) b = static_cast<unsigned char>(rng());
    for (size_t offset = 0; offset < 16; ++offset) {
        for (size_t length = 0; length <= 600; ++length) {
            uint32_t start = rng();
            ASSERT_EQ(crc32_update(start, data.data() + offset, length),
                      reference(start, data.data() + offset, length))
                << offset << " " << length;
        }
    }
    for (size_t length : {32768u, 32769u, 65535u, 69999u}) {
        uint32_t start = rng();
        EXPECT_EQ(crc32_update(start, data.data() + 1, length),
                  reference(start, data.data() + 1, length))
            << length;
    }
    std::vector<unsigned char> zeros(4096, 0), ones(4096, 0xFF);
    EXPECT_EQ(crc32_update(0, zeros.data(), zeros.size()),
              reference(0, zeros.data(), zeros.size()));
    EXPECT_EQ(crc32_update(0xFFFFFFFFu, ones.data(), ones.size()),
              reference(0xFFFFFFFFu, ones.data(), ones.size()));
}

} // namespace
