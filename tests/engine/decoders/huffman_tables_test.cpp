// The prefix-code table builder: results, clamping, invalid entries, table shapes and release.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "engine/decoders/huffman_tables.h"
#include "engine/engine.h"
#include "tests/support/deflate_writer.h"

using namespace qeltest;

namespace {

struct Built {
    DecodeResult result;
    DecodeEntry *table;
    int bits;
};

Built build(const std::vector<unsigned> &lengths, unsigned simple, int bits,
            const uint16_t *base = nullptr, const uint16_t *extra = nullptr) {
    Built b{};
    b.bits = bits;
    b.result = build_decode_table(engine.decoders.table_memory, lengths.data(),
                                  static_cast<unsigned>(lengths.size()), simple, base, extra,
                                  &b.table, &b.bits);
    return b;
}

// Walks the tables for `bits` (next code bit in bit 0); returns the final entry and bits used.
const DecodeEntry *walk(const DecodeEntry *table, int first_bits, uint32_t bits, unsigned *used,
                        int *levels) {
    const DecodeEntry *e = &table[bits & ((1u << first_bits) - 1)];
    *used = 0;
    *levels = 1;
    while (e->tag > 16 && e->tag != TAG_INVALID) {
        *used += e->width;
        bits >>= e->width;
        unsigned n = e->tag - 16u;
        e = &e->subtable[bits & ((1u << n) - 1)];
        ++*levels;
    }
    *used += e->width;
    return e;
}

uint32_t reverse(uint32_t code, unsigned len) {
    uint32_t r = 0;
    for (unsigned i = 0; i < len; ++i) r |= ((code >> i) & 1u) << (len - 1 - i);
    return r;
}

// Every symbol's code decodes back to the symbol with the right width.
void expect_decodes_all(const std::vector<unsigned> &lengths, const Built &b) {
    auto codes = canonical_codes(lengths);
    for (size_t s = 0; s < lengths.size(); ++s) {
        if (!lengths[s]) continue;
        for (uint32_t tail : {0u, 0xFFFFFFFFu, 0x5A5A5A5Au}) {
            uint32_t bits = reverse(codes[s], lengths[s]) | (tail << lengths[s]);
            if (lengths[s] == 32) bits = reverse(codes[s], lengths[s]);
            unsigned used;
            int levels;
            const DecodeEntry *e = walk(b.table, b.bits, bits, &used, &levels);
            ASSERT_NE(e->tag, TAG_INVALID) << "symbol " << s;
            EXPECT_EQ(e->value, s) << "symbol " << s;
            EXPECT_EQ(used, lengths[s]) << "symbol " << s;
        }
    }
}

TEST(HuffmanTables, AllLengthsZeroGiveNoTable) {
    Built b = build(std::vector<unsigned>(19, 0), 19, 7);
    EXPECT_EQ(b.result, DecodeResult::ok);
    EXPECT_EQ(b.table, nullptr);
    EXPECT_EQ(b.bits, 0);
}

TEST(HuffmanTables, OneOneBitCodeIsCompleteWithAnInvalidHalf) {
    long live = engine.decoders.table_memory.live_blocks;
    Built b = build({0, 0, 1, 0}, 0, 6, std::vector<uint16_t>{10, 20, 30, 40}.data(),
                    std::vector<uint16_t>{0, 1, 2, 3}.data());
    ASSERT_EQ(b.result, DecodeResult::ok);
    ASSERT_NE(b.table, nullptr);
    EXPECT_EQ(b.bits, 1);
    EXPECT_EQ(b.table[0].tag, 2);
    EXPECT_EQ(b.table[0].value, 30);
    EXPECT_EQ(b.table[0].width, 1);
    EXPECT_EQ(b.table[1].tag, TAG_INVALID);
    free_decode_tables(engine.decoders.table_memory, b.table);
    EXPECT_EQ(engine.decoders.table_memory.live_blocks, live);
}

TEST(HuffmanTables, FixedDistanceCodeIsIncompleteWithTwoInvalidEntries) {
    std::vector<uint16_t> base(30), extra(30);
    for (unsigned i = 0; i < 30; ++i)
        base[i] = static_cast<uint16_t>(100 + i), extra[i] = static_cast<uint16_t>(i / 3);
    Built b = build(std::vector<unsigned>(30, 5), 0, 5, base.data(), extra.data());
    ASSERT_EQ(b.result, DecodeResult::incomplete_code);
    EXPECT_EQ(b.bits, 5);
    for (uint32_t code = 0; code < 32; ++code) {
        const DecodeEntry &e = b.table[reverse(code, 5)];
        if (code >= 30) {
            EXPECT_EQ(e.tag, TAG_INVALID);
        } else {
            EXPECT_EQ(e.value, 100 + code);
            EXPECT_EQ(e.tag, code / 3);
            EXPECT_EQ(e.width, 5);
        }
    }
    free_decode_tables(engine.decoders.table_memory, b.table);
}

TEST(HuffmanTables, OverSubscribedAllocatesNothing) {
    long live = engine.decoders.table_memory.live_blocks;
    engine.decoders.table_memory.fail_after =
        0; // any allocation would fail and show up as no_memory
    Built b = build({1, 1, 1}, 3, 7);
    engine.decoders.table_memory.fail_after = -1;
    EXPECT_EQ(b.result, DecodeResult::over_subscribed);
    EXPECT_EQ(b.table, nullptr);
    EXPECT_EQ(engine.decoders.table_memory.live_blocks, live);
    EXPECT_EQ(build({2, 2, 2, 2, 3}, 5, 7).result, DecodeResult::over_subscribed);
}

TEST(HuffmanTables, LookupBitsClampToLongestAndShortest) {
    std::vector<unsigned> lengths{2, 2, 2, 3, 4, 5, 5};
    Built b = build(lengths, 7, 9);
    ASSERT_EQ(b.result, DecodeResult::ok);
    EXPECT_EQ(b.bits, 5);
    expect_decodes_all(lengths, b);
    free_decode_tables(engine.decoders.table_memory, b.table);

    Built c = build({3, 3, 3, 3, 3, 3, 3, 3}, 8, 1);
    ASSERT_EQ(c.result, DecodeResult::ok);
    EXPECT_EQ(c.bits, 3);
    free_decode_tables(engine.decoders.table_memory, c.table);
}

TEST(HuffmanTables, EndOfBlockCodeEndsAtTheFirstLevel) {
    // 257 simple symbols plus lengths; symbol 256 has a 6-bit code.
    std::vector<unsigned> lengths(288, 0);
    for (unsigned s = 0; s < 32; ++s) lengths[s] = 6;       // 32 codes of 6 bits use half the space
    lengths[256] = 6;                                       // 1/64
    for (unsigned s = 32; s < 32 + 61; ++s) lengths[s] = 7; // 61/128
    for (unsigned s = 100; s < 104; ++s) lengths[s] = 9;    // 4/512 = 1/128
    std::vector<uint16_t> base(31), extra(31, 0);
    for (unsigned i = 0; i < 31; ++i) base[i] = static_cast<uint16_t>(257 + i);
    Built b = build(lengths, 257, 9, base.data(), extra.data());
    ASSERT_EQ(b.result, DecodeResult::ok);
    EXPECT_LE(b.bits, 6);
    expect_decodes_all(lengths, b);
    // The end-of-block entry is found with one lookup.
    auto codes = canonical_codes(lengths);
    const DecodeEntry &eob = b.table[reverse(codes[256], 6) & ((1u << b.bits) - 1)];
    EXPECT_EQ(eob.tag, TAG_END_OF_BLOCK);
    EXPECT_EQ(eob.value, 256);
    free_decode_tables(engine.decoders.table_memory, b.table);
}

TEST(HuffmanTables, SixteenBitCodesBehindSevenBitFirstLevel) {
    // 64 symbols, the last ones with long codes up to 16 bits (an implode-like set).
    std::vector<unsigned> lengths(64);
    unsigned l = 1;
    // Kraft-complete chain: 1,2,...,15,16,16 then the rest get 16 too would over-subscribe; use
    // a balanced mix instead.
    for (unsigned s = 0; s < 15; ++s) lengths[s] = ++l - 1; // 1..15
    lengths[15] = 16;
    lengths[16] = 16;
    for (unsigned s = 17; s < 64; ++s) lengths[s] = 0;
    Built b = build(lengths, 0, 7, std::vector<uint16_t>(64, 0).data(),
                    std::vector<uint16_t>(64, 0).data());
    ASSERT_EQ(b.result, DecodeResult::ok);
    EXPECT_EQ(b.bits, 7);
    auto codes = canonical_codes(lengths);
    for (size_t s = 0; s < 17; ++s) {
        uint32_t bits = reverse(codes[s], lengths[s]);
        unsigned used;
        int levels;
        const DecodeEntry *e = walk(b.table, b.bits, bits, &used, &levels);
        EXPECT_EQ(used, lengths[s]);
        EXPECT_NE(e->tag, TAG_INVALID);
    }
    // Second-level tables after the 7-bit first level have at most 9 index bits.
    for (unsigned i = 0; i < (1u << 7); ++i) {
        if (b.table[i].tag > 16 && b.table[i].tag != TAG_INVALID) {
            EXPECT_LE(b.table[i].tag - 16, 9);
        }
    }
    free_decode_tables(engine.decoders.table_memory, b.table);
}

// Random code lengths of up to max_len bits for n symbols: random symbols get random lengths
// while their codes fill at most `fill` times the code space (2: over-subscribed now and then).
std::vector<unsigned> random_lengths(std::mt19937 &rng, unsigned n, unsigned max_len,
                                     uint64_t fill) {
    std::vector<unsigned> lengths(n, 0);
    uint64_t used = 0, space = uint64_t{1} << max_len;
    for (unsigned tries = 0; tries < 4 * n; ++tries) {
        unsigned s = rng() % n, len = 1 + rng() % max_len;
        uint64_t need = space >> len;
        if (lengths[s] || used + need > fill * space) continue;
        lengths[s] = len;
        used += need;
    }
    return lengths;
}

TEST(HuffmanTables, RandomCompleteAndIncompleteCodesDecode) {
    std::mt19937 rng(1951);
    for (int round = 0; round < 300; ++round) {
        unsigned n = 2 + rng() % 287;
        unsigned max_len = 2 + rng() % 15;
        std::vector<unsigned> lengths = random_lengths(rng, n, max_len, 1);
        unsigned nonzero = 0;
        for (unsigned v : lengths) nonzero += v != 0;
        if (nonzero == 0) continue;
        unsigned simple = n > 257 ? 257 : 0;
        std::vector<uint16_t> base(n, 0), extra(n, 0);
        for (unsigned i = 0; i < n; ++i) base[i] = static_cast<uint16_t>(i + simple);
        Built b =
            build(lengths, simple, 1 + static_cast<int>(rng() % 10), base.data(), extra.data());
        ASSERT_TRUE(b.result == DecodeResult::ok || b.result == DecodeResult::incomplete_code)
            << "round " << round;
        expect_decodes_all(lengths, b);
        if (::testing::Test::HasFatalFailure()) return;
        free_decode_tables(engine.decoders.table_memory, b.table);
    }
}

TEST(HuffmanTables, OutOfMemoryAtAnyLevelLeavesNothing) {
    std::vector<unsigned> lengths(288, 0);
    for (unsigned s = 0; s < 144; ++s) lengths[s] = 8;
    for (unsigned s = 144; s < 256; ++s) lengths[s] = 9;
    for (unsigned s = 256; s < 280; ++s) lengths[s] = 7;
    for (unsigned s = 280; s < 288; ++s) lengths[s] = 8;
    std::vector<uint16_t> base(31), extra(31, 0);
    for (unsigned i = 0; i < 31; ++i) base[i] = static_cast<uint16_t>(257 + i);
    long live = engine.decoders.table_memory.live_blocks;
    Built full = build(lengths, 257, 7, base.data(), extra.data());
    ASSERT_EQ(full.result, DecodeResult::ok);
    long blocks = engine.decoders.table_memory.live_blocks - live;
    ASSERT_GT(blocks, 1);
    free_decode_tables(engine.decoders.table_memory, full.table);
    for (long fail_at = 0; fail_at < blocks; ++fail_at) {
        engine.decoders.table_memory.fail_after = fail_at;
        Built b = build(lengths, 257, 7, base.data(), extra.data());
        engine.decoders.table_memory.fail_after = -1;
        EXPECT_EQ(b.result, DecodeResult::no_memory);
        EXPECT_EQ(b.table, nullptr);
        EXPECT_EQ(engine.decoders.table_memory.live_blocks, live);
    }
}

TEST(HuffmanTables, ChainLinksEveryBlockInAllocationOrder) {
    std::vector<unsigned> lengths(288, 0);
    for (unsigned s = 0; s < 144; ++s) lengths[s] = 8;
    for (unsigned s = 144; s < 256; ++s) lengths[s] = 9;
    for (unsigned s = 256; s < 280; ++s) lengths[s] = 7;
    for (unsigned s = 280; s < 288; ++s) lengths[s] = 8;
    std::vector<uint16_t> base(31), extra(31, 0);
    for (unsigned i = 0; i < 31; ++i) base[i] = static_cast<uint16_t>(257 + i);
    long live = engine.decoders.table_memory.live_blocks;
    Built b = build(lengths, 257, 7, base.data(), extra.data());
    long blocks = engine.decoders.table_memory.live_blocks - live;
    long chained = 0;
    for (DecodeEntry *t = b.table; t != nullptr; t = (t - 1)->subtable) ++chained;
    EXPECT_EQ(chained, blocks);
    EXPECT_EQ(b.bits, 7);
    expect_decodes_all(lengths, b);
    EXPECT_EQ(free_decode_tables(engine.decoders.table_memory, b.table), 0);
    EXPECT_EQ(engine.decoders.table_memory.live_blocks, live);
}

TEST(HuffmanTables, FreeingNullDoesNothing) {
    EXPECT_EQ(free_decode_tables(engine.decoders.table_memory, nullptr), 0);
}

// The packed tables of the deflate decoder judge every code as the linked tables do and decode
// every bit pattern to the same entry, including the invalid ones of unused code space.
TEST(PackedTables, AgreeWithTheLinkedTablesOnEveryPattern) {
    std::mt19937 rng(1996);
    for (int round = 0; round < 400; ++round) {
        unsigned n = 1 + rng() % 288;
        unsigned max_len = 1 + rng() % 15;
        // Now and then more codes than fit: both builders must refuse them alike.
        std::vector<unsigned> lengths = random_lengths(rng, n, max_len, round % 7 == 0 ? 2 : 1);
        unsigned simple = n > 257 ? 257 : 0;
        std::vector<uint16_t> base(n, 0), extra(n, 0);
        for (unsigned i = 0; i < n; ++i) {
            base[i] = static_cast<uint16_t>(1000 + i);
            extra[i] = static_cast<uint16_t>(i % 14);
        }
        unsigned first_bits = 7 + rng() % 5;
        Built linked =
            build(lengths, simple, static_cast<int>(first_bits), base.data(), extra.data());
        uint32_t *packed = nullptr;
        DecodeResult r = build_packed_table(engine.decoders.table_memory, lengths.data(), n, simple,
                                            base.data(), extra.data(), first_bits, &packed);
        ASSERT_EQ(r, linked.result) << "round " << round;
        ASSERT_EQ(packed == nullptr, linked.table == nullptr) << "round " << round;
        if (packed == nullptr) continue;
        // Every pattern of the longest code's bits or the first level's, decoded both ways.
        for (uint32_t bits = 0; bits < (1u << std::max(max_len, first_bits)); ++bits) {
            unsigned used_bits;
            int levels;
            const DecodeEntry *e = walk(linked.table, linked.bits, bits, &used_bits, &levels);
            uint32_t p = packed[bits & ((1u << first_bits) - 1)];
            unsigned packed_used = 0;
            if (entry_tag(p) > TAG_LINK_BASE && entry_tag(p) != TAG_INVALID) {
                packed_used = first_bits;
                unsigned sub_bits = entry_tag(p) - TAG_LINK_BASE;
                p = packed[entry_value(p) + ((bits >> first_bits) & ((1u << sub_bits) - 1))];
            }
            ASSERT_EQ(entry_tag(p), e->tag) << "round " << round << " bits " << bits;
            if (e->tag == TAG_INVALID) continue;
            EXPECT_EQ(entry_value(p), e->value) << "round " << round << " bits " << bits;
            EXPECT_EQ(packed_used + entry_width(p), used_bits) << "round " << round;
        }
        free_packed_table(engine.decoders.table_memory, packed);
        free_decode_tables(engine.decoders.table_memory, linked.table);
        if (::testing::Test::HasFailure()) return;
    }
}

TEST(PackedTables, OutOfMemoryLeavesNothing) {
    std::vector<unsigned> lengths(30, 5);
    long live = engine.decoders.table_memory.live_blocks;
    engine.decoders.table_memory.fail_after = 0;
    uint32_t *packed = nullptr;
    DecodeResult r = build_packed_table(engine.decoders.table_memory, lengths.data(), 30, 30,
                                        nullptr, nullptr, 8, &packed);
    engine.decoders.table_memory.fail_after = -1;
    EXPECT_EQ(r, DecodeResult::no_memory);
    EXPECT_EQ(packed, nullptr);
    EXPECT_EQ(engine.decoders.table_memory.live_blocks, live);
}

} // namespace
