// Implode decoder on streams from a small test encoder: trees, variants, long lengths, size checks.
#include <string>

#include <gtest/gtest.h>

#include "engine/decoders/decoders.h"
#include "tests/support/decoder_harness.h"
#include "tests/support/legacy_encoders.h"

using namespace qeltest;

namespace {

// 64 symbols of lengths 1..5, five of 10 and fifty-four of 11: a complete tree needing more
// than one table level.
ImplodeTree deep_tree() {
    std::vector<unsigned> l = {1, 2, 3, 4, 5};
    for (int i = 0; i < 5; ++i) l.push_back(10);
    for (int i = 0; i < 54; ++i) l.push_back(11);
    return ImplodeTree(l);
}

DecodeRun explode(const std::vector<unsigned char> &stream, uint32_t size, uint16_t flags) {
    return run_decoder(implode_decode_member, stream, size, 6, flags);
}

// Expected output after a match, copied byte by byte; zeros before the start.
void copy_match(std::vector<unsigned char> &out, unsigned dist, unsigned len) {
    for (unsigned i = 0; i < len; ++i)
        out.push_back(out.size() >= dist ? out[out.size() - dist] : 0);
}

} // namespace

TEST(Implode, AllFourVariantsDecodeLiteralsAndMatches) {
    for (uint16_t flags : {0, 2, 4, 6}) {
        ImplodeWriter s(flags);
        s.header();
        std::vector<unsigned char> expect;
        for (char c : std::string("implode variant ")) {
            s.literal_byte(static_cast<unsigned char>(c));
            expect.push_back(static_cast<unsigned char>(c));
        }
        s.match(8, 40);
        copy_match(expect, 8, 40);
        s.match(3, 4);
        copy_match(expect, 3, 4);
        DecodeRun r = explode(s.w.finish(), static_cast<uint32_t>(expect.size()), flags);
        EXPECT_EQ(r.result, DecodeResult::ok) << flags;
        EXPECT_EQ(r.output, expect) << flags;
    }
}

TEST(Implode, Symbol63WithExtraByte255) {
    for (uint16_t flags : {4, 0}) {
        ImplodeWriter s(flags);
        s.header();
        s.literal_byte('a');
        s.match(1, (flags & 4) ? 321 : 320);
        DecodeRun r = explode(s.w.finish(), (flags & 4) ? 322 : 321, flags);
        EXPECT_EQ(r.result, DecodeResult::ok);
        EXPECT_EQ(r.output, std::vector<unsigned char>(r.output.size(), 'a'));
        EXPECT_EQ(r.output.size(), (flags & 4) ? 322u : 321u);
    }
}

TEST(Implode, FirstLapMatchBeforeTheStartGivesZeros) {
    ImplodeWriter s(6);
    s.header();
    s.literal_byte('x');
    s.match(4000, 5);
    DecodeRun r = explode(s.w.finish(), 6, 6);
    EXPECT_EQ(r.result, DecodeResult::ok);
    EXPECT_EQ(r.output, (std::vector<unsigned char>{'x', 0, 0, 0, 0, 0}));
}

TEST(Implode, MatchAfterTheWindowWrapsCopiesOldBytes) {
    ImplodeWriter s(2);
    s.header();
    std::vector<unsigned char> expect;
    for (int i = 0; i < 32770; ++i) {
        unsigned char c = static_cast<unsigned char>(i * 13 + (i >> 8));
        s.literal_byte(c);
        expect.push_back(c);
    }
    s.match(5000, 300); // reaches back across the window's edge
    copy_match(expect, 5000, 300);
    DecodeRun r = explode(s.w.finish(), static_cast<uint32_t>(expect.size()), 2);
    EXPECT_EQ(r.result, DecodeResult::ok);
    EXPECT_EQ(r.output, expect);
}

TEST(Implode, MultiLevelDistanceTree) {
    ImplodeWriter s(6, deep_tree());
    s.header();
    std::vector<unsigned char> expect;
    for (int i = 0; i < 9000; ++i) {
        unsigned char c = static_cast<unsigned char>("deep tree "[i % 10] + (i / 1000));
        s.literal_byte(c);
        expect.push_back(c);
    }
    for (unsigned d : {1u, 129u, 257u, 641u, 700u, 1300u, 8000u, 8192u}) {
        s.match(d, 10);
        copy_match(expect, d, 10);
    }
    DecodeRun r = explode(s.w.finish(), static_cast<uint32_t>(expect.size()), 6);
    EXPECT_EQ(r.result, DecodeResult::ok);
    EXPECT_EQ(r.output, expect);
}

TEST(Implode, LastMatchMayOvershootTheSize) {
    ImplodeWriter s(0);
    s.header();
    s.literal_byte('z');
    s.match(1, 10);
    DecodeRun r = explode(s.w.finish(), 4, 0);
    EXPECT_EQ(r.output.size(), 11u); // all of the match is written
}

TEST(Implode, UnusedCompressedBytesGiveResult5) {
    ImplodeWriter s(4);
    s.header();
    for (char c : std::string("size check")) s.literal_byte(static_cast<unsigned char>(c));
    std::vector<unsigned char> stream = s.w.finish();
    const int32_t used = static_cast<int32_t>(stream.size());
    stream.insert(stream.end(), 3, 0xAA);
    DecodeRun r = explode(stream, 10, 4);
    EXPECT_EQ(r.result, DecodeResult::size_mismatch);
    EXPECT_EQ(r.used_compressed_size, used);
    EXPECT_EQ(std::string(r.output.begin(), r.output.end()), "size check"); // output complete
}

TEST(Implode, TruncatedMemberGivesResult5WithLargerUsedSize) {
    ImplodeWriter s(0);
    s.header();
    for (int i = 0; i < 40; ++i) s.literal_byte(static_cast<unsigned char>('0' + i % 10));
    std::vector<unsigned char> stream = s.w.finish();
    stream.resize(stream.size() - 4);
    DecodeRun r = explode(stream, 40, 0);
    EXPECT_EQ(r.result, DecodeResult::size_mismatch);
    EXPECT_GT(r.used_compressed_size, static_cast<int32_t>(stream.size()));
    EXPECT_EQ(r.output.size(), 40u);
}

TEST(Implode, ExactDataWithLookAheadGivesResult0) {
    ImplodeWriter s(6);
    s.header();
    s.literal_byte('q'); // the last code is short: the decoder's look-ahead runs past the end
    DecodeRun r = explode(s.w.finish(), 1, 6);
    EXPECT_EQ(r.result, DecodeResult::ok);
}

TEST(Implode, BadDescriptions) {
    // First byte 0: one group of at most 16 symbols, too few for 64.
    EXPECT_EQ(explode({0x00, 0x05}, 1, 0).result, DecodeResult::bad_tree);
    // Four groups of sixteen one-bit lengths: over-subscribed.
    EXPECT_EQ(explode({0x03, 0xF0, 0xF0, 0xF0, 0xF0}, 1, 0).result, DecodeResult::over_subscribed);
    // Sixty-four seven-bit codes fill half the code space: incomplete.
    EXPECT_EQ(explode({0x03, 0xF6, 0xF6, 0xF6, 0xF6}, 1, 0).result, DecodeResult::incomplete_code);
    // A group running past the symbol count.
    EXPECT_EQ(explode({0x04, 0xF5, 0xF5, 0xF5, 0xF5, 0x05}, 1, 0).result, DecodeResult::bad_tree);
    // No input at all: the description is unbounded and fails.
    EXPECT_EQ(explode({}, 1, 4).result, DecodeResult::bad_tree);
}

TEST(Implode, DistanceTableBitsAbove200000CompressedBytes) {
    EXPECT_EQ(implode_distance_lookup_bits(200000), 7);
    EXPECT_EQ(implode_distance_lookup_bits(200001), 8);
}

TEST(Implode, MembersAroundThe200000ByteLineDecode) {
    // Raw-literal members of exactly 200000 and 200001 compressed bytes, with the deep
    // distance tree so that the bigger first level really splits its codes differently.
    for (int32_t target : {200000, 200001}) {
        ImplodeWriter s(0, deep_tree());
        s.header();
        // Literals take 9 bits, near matches (distance symbol 0) 14: pick counts that end
        // the stream in its last byte exactly.
        const long header_bits = static_cast<long>(s.w.bytes.size() * 8 + s.w.count);
        long literals = -1, matches = 0;
        for (; matches < 9 && literals < 0; ++matches) {
            long rest = 8L * target - header_bits - 14 * matches;
            long a = rest / 9;
            if (header_bits + 9 * a + 14 * matches > 8L * (target - 1)) literals = a;
        }
        --matches;
        ASSERT_GE(literals, 0);
        std::vector<unsigned char> expect;
        for (long i = 0; i < literals; ++i) {
            unsigned char c = static_cast<unsigned char>(i * 31 >> 3);
            s.literal_byte(c);
            expect.push_back(c);
        }
        for (long i = 0; i < matches; ++i) {
            s.match(50, 2);
            copy_match(expect, 50, 2);
        }
        std::vector<unsigned char> stream = s.w.finish();
        ASSERT_EQ(stream.size(), static_cast<size_t>(target));
        DecodeRun r = explode(stream, static_cast<uint32_t>(expect.size()), 0);
        EXPECT_EQ(r.result, DecodeResult::ok) << target;
        EXPECT_EQ(r.output, expect) << target;
    }
}

// A member that claims 4 GB from a few bytes of input stops soon after the input runs out and
// reports the size mismatch, instead of decoding made-up bits for gigabytes.
TEST(Implode, ExhaustedInputEndsTheMemberWithSizeMismatch) {
    ImplodeWriter s(0);
    s.header();
    s.literal_byte('z');
    DecodeRun r = explode(s.w.finish(), 0xFFFFFFFFu, 0);
    EXPECT_EQ(r.result, DecodeResult::size_mismatch);
    EXPECT_LT(r.output.size(), 1u << 20);
    EXPECT_GT(r.used_compressed_size, static_cast<int32_t>(engine.local.compressed_size));
}
