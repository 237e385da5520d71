// Reduce decoder on hand-built follower-set streams.
#include <string>

#include <gtest/gtest.h>

#include "engine/decoders/decoders.h"
#include "tests/support/decoder_harness.h"
#include "tests/support/legacy_encoders.h"

using namespace qeltest;

namespace {

DecodeRun unreduce(int factor, const std::vector<unsigned char> &stream, uint32_t size) {
    return run_decoder(reduce_decode_member, stream, size, static_cast<uint16_t>(factor + 1));
}

std::vector<unsigned char> bytes(const std::string &s) {
    return {s.begin(), s.end()};
}

} // namespace

TEST(Reduce, EscapeFollowedByZeroIsTheByte144AndPreviousBecomesZero) {
    ReduceWriter s;
    s.sets[0] = {'Z'}; // one follower for byte 0: a 1-bit index still follows
    s.header();
    s.w.put(1, 1); // previous starts at 0: flag 1, then 8 plain bits
    s.plain('A');
    s.plain(144);
    s.w.put(0, 8); // previous is 144 (empty set): 8 plain bits of 0
    s.w.put(0, 1); // previous is now 0: follower flag 0
    s.w.put(0, 1); // index 0 -> 'Z'
    DecodeRun r = unreduce(1, s.w.finish(), 3);
    EXPECT_EQ(r.output, bytes("A\x90Z"));
}

TEST(Reduce, ShortMatchReadsNoExtraLengthByte) {
    ReduceWriter s;
    s.header();
    for (char c : std::string("abc")) s.plain(static_cast<unsigned char>(c));
    s.plain(144);
    s.plain(0x02); // factor 2: length part 2 (< 63), distance high bits 0
    s.plain(2);    // distance 3
    s.plain('!');
    DecodeRun r = unreduce(2, s.w.finish(), 9);
    EXPECT_EQ(r.output, bytes("abcabcab!"));
}

TEST(Reduce, FactorFourLengthContinuation) {
    ReduceWriter s;
    s.header();
    for (char c : std::string("abc")) s.plain(static_cast<unsigned char>(c));
    s.plain(144);
    s.plain(0x0F); // length part 15 = the mask: the next byte adds to it
    s.plain(2);    // length 15 + 2 + 3 = 20
    s.plain(2);    // distance 0 * 256 + 2 + 1
    DecodeRun r = unreduce(4, s.w.finish(), 23);
    EXPECT_EQ(r.output, bytes("abcabcabcabcabcabcabcab"));
}

TEST(Reduce, FirstLapMatchBeforeTheOutputGivesZeros) {
    ReduceWriter s;
    s.header();
    s.plain('a');
    s.plain(144);
    s.plain(0x3F); // factor 4: length 15 + y, distance high 3
    s.plain(1);    // y: 19 bytes
    s.plain(0);    // distance 3 * 256 + 1: before the start
    s.plain('b');
    DecodeRun r = unreduce(4, s.w.finish(), 21);
    std::vector<unsigned char> expect = {'a'};
    expect.insert(expect.end(), 19, 0);
    expect.push_back('b');
    EXPECT_EQ(r.output, expect);
}

TEST(Reduce, FactorOneLongMatchWithDistanceHighBit) {
    // Factor 1: V = 127 + 128 * d1 packs the full length and the distance's high bit.
    std::vector<unsigned char> text;
    for (int i = 0; i < 300; ++i) text.push_back(static_cast<unsigned char>('A' + i % 23));
    ReduceWriter s;
    s.header();
    for (unsigned char c : text) s.plain(c);
    s.plain(144);
    s.plain(127 + 128); // length part 127, distance high bit 1
    s.plain(100);       // length 127 + 100 + 3 = 230
    s.plain(43);        // distance 256 + 43 + 1 = 300
    std::vector<unsigned char> expect = text;
    for (int i = 0; i < 230; ++i) expect.push_back(expect[expect.size() - 300]);
    DecodeRun r = unreduce(1, s.w.finish(), static_cast<uint32_t>(expect.size()));
    EXPECT_EQ(r.output, expect);
}

TEST(Reduce, MatchesAcrossTheWindowEdgeCopyOldBytes) {
    // 20000 bytes: matches after the 16K window was written once copy old window bytes.
    ReduceWriter s;
    s.header();
    std::vector<unsigned char> expect;
    for (int i = 0; i < 16380; ++i) {
        unsigned char c = static_cast<unsigned char>('a' + (i * 7) % 26);
        s.plain(c);
        expect.push_back(c);
    }
    while (expect.size() < 20000) {
        s.plain(144);
        s.plain(0x0F);
        s.plain(200);  // 218 bytes
        s.plain(0xFF); // distance 0 * 256 + 255 + 1
        for (int i = 0; i < 218; ++i) expect.push_back(expect[expect.size() - 256]);
    }
    DecodeRun r = unreduce(4, s.w.finish(), static_cast<uint32_t>(expect.size()));
    EXPECT_EQ(r.output, expect);
}

TEST(Reduce, ZeroSizeReadsOnlyTheSets) {
    ReduceWriter s;
    s.header();
    s.plain('a');
    DecodeRun r = unreduce(3, s.w.finish(), 0);
    EXPECT_EQ(r.result, DecodeResult::ok);
    EXPECT_TRUE(r.output.empty());
}

TEST(Reduce, InputCutShortContinuesWithZeroBits) {
    ReduceWriter s;
    s.header();
    s.plain('k');
    DecodeRun r = unreduce(2, s.w.finish(), 4);
    EXPECT_EQ(r.output, (std::vector<unsigned char>{'k', 0, 0, 0}));
}

// A member that claims 4 GB from a few bytes of input ends soon after its input runs out,
// instead of making up gigabytes of output (found by fuzzing as a hang).
TEST(Reduce, ExhaustedInputEndsTheMember) {
    ReduceWriter s;
    s.header();
    s.plain('a');
    DecodeRun r = unreduce(2, s.w.finish(), 0xFFFFFFFFu);
    EXPECT_LT(r.output.size(), 4096u);
    EXPECT_GE(r.output.size(), 1u);
    EXPECT_EQ(r.output[0], 'a');
}
