// Shrink decoder on hand-built LZW streams and on a small encoder's output.
#include <map>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "engine/decoders/decoders.h"
#include "tests/support/decoder_harness.h"
#include "tests/support/legacy_encoders.h"

using namespace qeltest;

namespace {

std::string text(const DecodeRun &r) {
    return std::string(r.output.begin(), r.output.end());
}

// The plain encoder (tests/support) with partial clears: once the table is full, a clear follows
// every `clear_every` codes (right after a literal, whose code a clear never frees).
std::vector<unsigned char> shrink_encode_with_clears(const std::vector<unsigned char> &data,
                                                     int clear_every, int *clears) {
    ShrinkWriter s;
    std::map<std::pair<int, int>, int> dict;
    std::vector<int> prefix(8192, -1), suffix(8192, 0);
    int next_free = 257, since_full = 0;
    *clears = 0;
    auto emit = [&](int c) {
        while (c >= (1 << s.width)) s.widen();
        s.code(static_cast<unsigned>(c));
    };
    auto partial_clear = [&] {
        std::vector<bool> is_prefix(8192, false);
        for (int c = 257; c < next_free; ++c)
            if (prefix[c] >= 257) is_prefix[prefix[c]] = true;
        for (int c = 257; c < next_free; ++c)
            if (!is_prefix[c]) {
                dict.erase({prefix[c], suffix[c]});
                prefix[c] = -1;
            }
        next_free = 257;
        while (next_free < 8192 && prefix[next_free] != -1) ++next_free;
    };
    int cur = data[0];
    for (size_t i = 1; i < data.size(); ++i) {
        auto it = dict.find({cur, data[i]});
        if (it != dict.end()) {
            cur = it->second;
            continue;
        }
        emit(cur);
        if (next_free == 8192 && ++since_full >= clear_every && cur < 256) {
            s.partial_clear();
            partial_clear();
            since_full = 0;
            ++*clears;
        }
        if (next_free < 8192) {
            dict[{cur, data[i]}] = next_free;
            prefix[next_free] = cur;
            suffix[next_free] = data[i];
            do ++next_free;
            while (next_free < 8192 && prefix[next_free] != -1);
        }
        cur = data[i];
    }
    emit(cur);
    return s.w.finish();
}

DecodeRun unshrink(const std::vector<unsigned char> &stream, uint32_t size = 0) {
    return run_decoder(shrink_decode_member, stream, size, 1);
}

} // namespace

TEST(Shrink, EmptyInputWritesNothing) {
    DecodeRun r = unshrink({});
    EXPECT_EQ(r.result, DecodeResult::ok);
    EXPECT_TRUE(r.output.empty());
}

TEST(Shrink, SingleCodeWritesOneByte) {
    ShrinkWriter s;
    s.code('A');
    DecodeRun r = unshrink(s.w.finish());
    EXPECT_EQ(r.result, DecodeResult::ok);
    EXPECT_EQ(text(r), "A");
}

TEST(Shrink, CodeEqualToNextFreeCodeRepeatsPreviousString) {
    ShrinkWriter s;
    s.code('a');
    s.code('b');
    s.code(257); // "ab", defines 258 = "ba"
    s.code(259); // not defined yet: "ab" + its own first byte
    DecodeRun r = unshrink(s.w.finish());
    EXPECT_EQ(r.result, DecodeResult::ok);
    EXPECT_EQ(text(r), "abababa");
}

TEST(Shrink, SubCodeOneWidensTheVeryNextCode) {
    ShrinkWriter s;
    s.code('x');
    s.widen();
    s.code('y'); // 10 bits already
    s.widen();
    s.code('z'); // 11 bits
    DecodeRun r = unshrink(s.w.finish());
    EXPECT_EQ(r.result, DecodeResult::ok);
    EXPECT_EQ(text(r), "xyz");
}

TEST(Shrink, OtherSubCodesAreIgnored) {
    ShrinkWriter s;
    s.code('x');
    s.code(256);
    s.code(7);
    s.code('y');
    DecodeRun r = unshrink(s.w.finish());
    EXPECT_EQ(text(r), "xy");
}

TEST(Shrink, PartialClearFreesLeavesAndRefillsFromLowest) {
    ShrinkWriter s;
    s.code('a');
    s.code('b');       // 257 = "ab"
    s.code(257);       // 258 = "ba"
    s.code('c');       // 259 = "abc": 257 is now a prefix
    s.partial_clear(); // frees 258 and 259, keeps 257
    s.code('d');       // 258 = "cd" (the lowest free code)
    s.code(258);       // "cd"; 259 = "dc"
    s.code(257);       // still "ab"; 260 = "cda"
    s.code(259);       // "dc"
    DecodeRun r = unshrink(s.w.finish());
    EXPECT_EQ(r.result, DecodeResult::ok);
    EXPECT_EQ(text(r), "ababcdcdabdc");
}

TEST(Shrink, EncoderRoundTripFillsTheWholeTable) {
    std::vector<unsigned char> data;
    uint32_t seed = 12345;
    for (int i = 0; i < 300000; ++i) {
        seed = seed * 1103515245u + 12345u;
        data.push_back(static_cast<unsigned char>("abcdefgh \n"[(seed >> 16) % 10]));
    }
    ShrinkEncoded e = shrink_encode(data);
    ASSERT_EQ(e.codes_defined, 8192 - 257); // table full: later codes add nothing
    DecodeRun r = unshrink(e.stream, static_cast<uint32_t>(data.size()));
    EXPECT_EQ(r.result, DecodeResult::ok);
    EXPECT_EQ(r.output, data);
}

TEST(Shrink, OutputOfExactly65536Bytes) {
    std::vector<unsigned char> data(65536);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 7 + (i >> 9));
    DecodeRun r = unshrink(shrink_encode(data).stream);
    EXPECT_EQ(r.output, data);
}

TEST(Shrink, WidthBeyondThirteenBitsIsCorruptData) {
    ShrinkWriter s;
    s.code('q');
    for (int i = 0; i < 5; ++i) s.widen();
    s.code('r');
    DecodeRun r = unshrink(s.w.finish());
    EXPECT_EQ(r.result, DecodeResult::bad_data);
    EXPECT_EQ(text(r), "q"); // what was decoded is still written
}

TEST(Shrink, LoopThroughUndefinedCodesStopsAtTheStackLimit) {
    ShrinkWriter s;
    s.code(300); // undefined first code
    s.code(301); // undefined: would expand through 300 forever
    DecodeRun r = unshrink(s.w.finish());
    EXPECT_EQ(r.result, DecodeResult::bad_data);
}

TEST(Shrink, SelfReferenceAfterPartialClearStopsAtTheStackLimit) {
    ShrinkWriter s;
    s.code('a');
    s.code('b');
    s.code(257);       // 258 = "ba"
    s.code(258);       // previous is 258
    s.partial_clear(); // frees 258 and 259
    s.code('c');       // defines 258 with prefix 258 (itself)
    s.code(258);
    DecodeRun r = unshrink(s.w.finish());
    EXPECT_EQ(r.result, DecodeResult::bad_data);
}

TEST(Shrink, PartialClearsOfAFullTableRoundTrip) {
    std::vector<unsigned char> data;
    uint32_t seed = 99;
    for (int i = 0; i < 400000; ++i) {
        seed = seed * 1103515245u + 12345u;
        // The alphabet drifts, so cleared codes get replaced by different strings.
        data.push_back(static_cast<unsigned char>('a' + (seed >> 16) % 12 + (i / 50000)));
    }
    int clears = 0;
    std::vector<unsigned char> stream = shrink_encode_with_clears(data, 2000, &clears);
    ASSERT_GT(clears, 5);
    DecodeRun r = unshrink(stream, static_cast<uint32_t>(data.size()));
    EXPECT_EQ(r.result, DecodeResult::ok);
    EXPECT_EQ(r.output, data);
}
