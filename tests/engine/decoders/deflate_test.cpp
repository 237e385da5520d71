// The deflate decoder over zlib-made streams, hand-made streams and the corpus' deflated members.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/crc32.h"
#include "engine/decoders/decoders.h"
#include "engine/decoders/huffman_tables.h"
#include "engine/engine.h"
#include "tests/support/corpus_walk.h"
#include "tests/support/decoder_harness.h"
#include "tests/support/deflate_writer.h"
#include "tests/support/zip_builder.h"

using namespace qeltest;

namespace {

// The generators of scripts/make_deflate_fixtures.py, repeated.
const char *const WORDS[32] = {
    "the",     "terminal", "dials", "a",      "host",    "and",     "sends", "files",
    "with",    "zmodem",   "or",    "kermit", "while",   "scripts", "log",   "every",
    "session", "to",       "disk",  "QEL",    "options", "phone",   "book",  "entry",
    "upload",  "download", "baud",  "parity", "modem",   "line",    "of",    "in"};
struct Lcg {
    uint32_t x;
    uint32_t next() {
        x = (x * 1103515245u + 12345u) & 0x7FFFFFFFu;
        return x >> 8;
    }
};
void append(Bytes &out, const char *s) {
    out.insert(out.end(), s, s + std::strlen(s));
}

Bytes sample_text(size_t size) {
    Lcg r{1};
    Bytes out;
    while (out.size() < size) {
        uint32_t v = r.next();
        append(out, WORDS[v % 32]);
        append(out, v % 13 == 0 ? "\r\n" : (v % 7 == 0 ? ", " : " "));
    }
    out.resize(size);
    return out;
}

Bytes sample_mixed(size_t size) {
    Lcg r{7};
    Bytes out;
    while (out.size() < size) {
        uint32_t kind = r.next() % 4;
        if (kind == 0) {
            unsigned char b = static_cast<unsigned char>(r.next() & 0xFF);
            out.insert(out.end(), 1 + r.next() % 300, b);
        } else if (kind == 1) {
            uint32_t n = 1 + r.next() % 64;
            for (uint32_t i = 0; i < n; ++i)
                out.push_back(static_cast<unsigned char>(r.next() & 0xFF));
        } else if (kind == 2) {
            uint32_t n = 1 + r.next() % 10;
            for (uint32_t i = 0; i < n; ++i) {
                append(out, WORDS[r.next() % 32]);
                append(out, " ");
            }
        } else if (!out.empty()) {
            size_t start = r.next() % out.size();
            size_t n = 3 + r.next() % 300;
            size_t end = std::min(out.size(), start + n);
            Bytes piece(out.begin() + static_cast<long>(start),
                        out.begin() + static_cast<long>(end));
            out.insert(out.end(), piece.begin(), piece.end());
        }
    }
    out.resize(size);
    return out;
}

Bytes fixture(const std::string &name) {
    return read_file(std::string(QEL_SOURCE_DIR) + "/tests/engine/decoders/data/" + name +
                     ".deflate");
}

DecodeRun inflate(const Bytes &compressed, uint32_t size = 0) {
    return run_decoder(deflate_decode_member, compressed, size, 8);
}

// Tests the stream as the one member of an archive (its data as the decoder makes them), with -q
// when quiet; returns what the engine wrote to stderr and sets the decoder's result.
std::string inflate_messages(const Bytes &compressed, int quiet, DecodeResult *result) {
    DecodeRun run = inflate(compressed);
    *result = run.result;
    Archive a;
    a.members.push_back(compressed_member("m", 8, 0, run.output, compressed));
    std::string zip = write_zip(scratch_dir("inflate_messages") + "/a.zip", a);
    return run_engine({"unzip", quiet ? "-tq" : "-t", zip}).err;
}

TEST(Deflate, GeneratorsMatchTheFixtureScript) {
    Bytes inputs =
        read_file(std::string(QEL_SOURCE_DIR) + "/tests/engine/decoders/data/inputs.txt");
    std::string listed(inputs.begin(), inputs.end());
    char line[64];
    std::snprintf(line, sizeof line, "text 70000 %08x\nmixed 50000 %08x\n",
                  crc32_of(sample_text(70000)), crc32_of(sample_mixed(50000)));
    EXPECT_EQ(listed.substr(0, std::strlen(line)), line);
}

class ZlibStream : public ::testing::TestWithParam<const char *> {};

TEST_P(ZlibStream, DecodesByteExact) {
    std::string name = GetParam();
    Bytes expected = name.rfind("text", 0) == 0 ? sample_text(70000) : sample_mixed(50000);
    Bytes compressed = fixture(name);
    ASSERT_FALSE(compressed.empty());
    DecodeRun r = inflate(compressed, static_cast<uint32_t>(expected.size()));
    EXPECT_EQ(r.result, DecodeResult::ok);
    EXPECT_EQ(r.output.size(), expected.size());
    EXPECT_TRUE(r.output == expected);
    EXPECT_EQ(r.crc, crc32_of(expected));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ZlibStream,
                         ::testing::Values("text_l0", "text_l1", "text_l2", "text_l3", "text_l4",
                                           "text_l5", "text_l6", "text_l7", "text_l8", "text_l9",
                                           "text_filtered", "text_huffman", "text_rle",
                                           "text_fixed", "text_window9", "mixed_l1", "mixed_l6",
                                           "mixed_l9", "mixed_filtered", "mixed_huffman",
                                           "mixed_rle", "mixed_fixed"));

TEST(Deflate, TinyMembers) {
    // Empty fixed block: nothing but end of block.
    DeflateWriter w;
    w.fixed_header(true);
    w.fixed_end();
    DecodeRun r = inflate(w.finish());
    EXPECT_EQ(r.result, DecodeResult::ok);
    EXPECT_TRUE(r.output.empty());

    DeflateWriter one;
    one.fixed_header(true);
    one.fixed_literal('Q');
    one.fixed_end();
    r = inflate(one.finish());
    EXPECT_EQ(r.result, DecodeResult::ok);
    EXPECT_EQ(r.output, Bytes{'Q'});

    Bytes stored = stored_stream(Bytes{'x', 'y'});
    r = inflate(stored);
    EXPECT_EQ(r.result, DecodeResult::ok);
    EXPECT_EQ(r.output, (Bytes{'x', 'y'}));
}

TEST(Deflate, StoredBlockOfLengthZero) {
    DecodeRun r = inflate(Bytes{0x01, 0x00, 0x00, 0xFF, 0xFF});
    EXPECT_EQ(r.result, DecodeResult::ok);
    EXPECT_TRUE(r.output.empty());
    EXPECT_EQ(r.crc, 0u);
    // Empty stored blocks between others change nothing.
    DeflateWriter w;
    w.stored(Bytes{}, false);
    w.stored(Bytes{'a', 'b'}, false);
    w.stored(Bytes{}, true);
    r = inflate(w.finish());
    EXPECT_EQ(r.result, DecodeResult::ok);
    EXPECT_EQ(r.output, (Bytes{'a', 'b'}));
}

TEST(Deflate, MatchOf258AtDistanceOne) {
    DeflateWriter w;
    w.fixed_header(true);
    w.fixed_literal('z');
    w.fixed_match(258, 1);
    w.fixed_end();
    DecodeRun r = inflate(w.finish());
    EXPECT_EQ(r.result, DecodeResult::ok);
    EXPECT_EQ(r.output, Bytes(259, 'z'));
}

Bytes periodic(size_t n, unsigned period) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<unsigned char>((i % period) * 7 + 1);
    return out;
}

// A fixed-code stream for a periodic output: one period of literals, then matches at distance
// `period`, the longest first.
Bytes periodic_stream(size_t n, unsigned period) {
    Bytes data = periodic(period, period);
    DeflateWriter w;
    w.fixed_header(true);
    size_t at = 0;
    for (; at < n && at < period; ++at) w.fixed_literal(data[at]);
    while (n - at >= 3) {
        unsigned len = static_cast<unsigned>(std::min<size_t>(n - at, 258));
        if (n - at - len > 0 && n - at - len < 3) len -= 3;
        w.fixed_match(len, period);
        at += len;
    }
    for (; at < n; ++at) w.fixed_literal(data[at % period]);
    w.fixed_end();
    return w.finish();
}

TEST(Deflate, OutputsOfExactlyOneAndTwoWindows) {
    for (size_t n : {size_t{32768}, size_t{65536}, size_t{32767}, size_t{32769}}) {
        Bytes expected = periodic(n, 251);
        DecodeRun r = inflate(periodic_stream(n, 251));
        EXPECT_EQ(r.result, DecodeResult::ok) << n;
        EXPECT_EQ(r.output.size(), n);
        EXPECT_TRUE(r.output == expected) << n;
        // Stored blocks of the same sizes.
        r = inflate(stored_stream(expected));
        EXPECT_EQ(r.result, DecodeResult::ok) << n;
        EXPECT_TRUE(r.output == expected) << n;
    }
}

TEST(Deflate, MatchesAtTheLongestDistance) {
    // Period 32768: every match reaches back the whole window.
    size_t n = 200000;
    Bytes expected = periodic(n, 32768);
    DecodeRun r = inflate(periodic_stream(n, 32768));
    EXPECT_EQ(r.result, DecodeResult::ok);
    EXPECT_TRUE(r.output == expected);
}

TEST(Deflate, HundredMegabyteMember) {
    const size_t n = 100u * 1000u * 1000u;
    DecodeRun r = inflate(periodic_stream(n, 32749));
    EXPECT_EQ(r.result, DecodeResult::ok);
    ASSERT_EQ(r.output.size(), n);
    EXPECT_TRUE(r.output == periodic(n, 32749));
    uint32_t crc = ~crc32_update(0xFFFFFFFFu, r.output.data(), r.output.size());
    EXPECT_EQ(r.crc, crc);
}

TEST(Deflate, LongestCodesInRunsUpToTheInputsEnd) {
    // A complete code whose literals have 11- and 15-bit codes and whose longest match takes 15 +
    // 5 + 15 + 13 bits: runs of long literal codes and the longest matches decode whole, also in
    // the member's last bytes, where the input cannot read ahead.
    DynamicBlock b;
    // The all-zero code is a literal, so that zero bits read in place of data show.
    b.literal_lengths = std::vector<unsigned>(285, 0);
    b.literal_lengths['Z'] = 1;
    for (unsigned s = 257; s <= 264; ++s) b.literal_lengths[s] = s - 255; // 2..9 bits
    const std::string eleven = "abc", fifteen = "ABCDEFGHIJKLMN";
    for (char c : eleven) b.literal_lengths[static_cast<unsigned char>(c)] = 11;
    for (char c : fifteen) b.literal_lengths[static_cast<unsigned char>(c)] = 15;
    b.literal_lengths[256] = b.literal_lengths[284] = 15; // 284: lengths 227..257, 5 extra bits
    b.distance_lengths = std::vector<unsigned>(30, 0);
    for (unsigned d = 0; d < 14; ++d) b.distance_lengths[d] = d + 1;
    b.distance_lengths[28] = b.distance_lengths[29] = 15; // 29: 24577.., 13 extra bits
    b.code_length_lengths = default_code_length_lengths();

    Lcg r{5};
    std::vector<std::vector<unsigned>> symbols;
    Bytes expected;
    const std::string all = eleven + fifteen;
    auto literals = [&](size_t n) {
        for (size_t i = 0; i < n; ++i) {
            unsigned char c = static_cast<unsigned char>(all[r.next() % all.size()]);
            symbols.push_back({c});
            expected.push_back(c);
        }
    };
    literals(33000);
    for (int m = 0; m < 40; ++m) {
        unsigned length_extra = r.next() % 31, distance_extra = r.next() % 8192;
        unsigned length = 227 + length_extra, distance = 24577 + distance_extra;
        symbols.push_back({284, length_extra, 29, distance_extra});
        for (unsigned i = 0; i < length; ++i)
            expected.push_back(expected[expected.size() - distance]);
        literals(1 + r.next() % 7);
    }
    literals(200);
    // The end: groups of one 15-bit and three 11-bit literal codes, 48 bits each.
    for (int group = 0; group < 20; ++group)
        for (char c : std::string("Aabc")) {
            symbols.push_back({static_cast<unsigned char>(c)});
            expected.push_back(static_cast<unsigned char>(c));
        }
    symbols.push_back({256});
    DecodeRun run = inflate(b.encode(symbols));
    EXPECT_EQ(run.result, DecodeResult::ok);
    EXPECT_TRUE(run.output == expected);
}

// --- Failures ------------------------------------------------------------------------------------

TEST(DeflateFailures, BlockTypeThree) {
    EXPECT_EQ(inflate(Bytes{0x07, 0x00}).result, DecodeResult::bad_block_type);
}

TEST(DeflateFailures, StoredComplementDisagrees) {
    EXPECT_EQ(inflate(Bytes{0x01, 0x02, 0x00, 0xFD, 0xFE, 'a', 'b'}).result,
              DecodeResult::bad_data);
    EXPECT_EQ(inflate(Bytes{0x01, 0x02, 0x00, 0xFD, 0xFF, 'a', 'b'}).result, DecodeResult::ok);
}

// Literal/length lengths of a small valid code: 'a'..'d' and 256 with length 3 and lengths
// 257..259.
std::vector<unsigned> small_literal_lengths() {
    std::vector<unsigned> l(257, 0);
    for (unsigned s = 'a'; s <= 'd'; ++s) l[s] = 3;
    l[256] = 3;
    l.push_back(3); // 257: length 3
    l.push_back(3); // 258: length 4
    l.push_back(3); // 259: length 5
    return l;
}

TEST(DeflateFailures, CodeLengthCodeIncompleteOverSubscribedOrNoMemory) {
    DynamicBlock b;
    b.literal_lengths = small_literal_lengths();
    b.distance_lengths = {1, 1};
    b.code_length_lengths = default_code_length_lengths();
    b.code_length_lengths[3] = 0; // leave part of the code-length code unused
    b.code_length_lengths[1] = 4;
    EXPECT_EQ(inflate(b.encode({})).result, DecodeResult::incomplete_code);
    b.code_length_lengths = std::vector<unsigned>(19, 1);
    EXPECT_EQ(inflate(b.encode({}, /*raw_lengths=*/true)).result, DecodeResult::over_subscribed);
    b.code_length_lengths = default_code_length_lengths();
    engine.decoders.table_memory.fail_after = 0;
    DecodeRun r = inflate(b.encode({}));
    engine.decoders.table_memory.fail_after = -1;
    EXPECT_EQ(r.result, DecodeResult::no_memory);
}

TEST(DeflateFailures, RepeatRunningPastTheLengths) {
    DynamicBlock b;
    b.literal_lengths = small_literal_lengths();
    b.distance_lengths = {1, 1};
    b.code_length_lengths = default_code_length_lengths();
    Bytes ok = b.encode({{'a'}, {256}});
    EXPECT_EQ(inflate(ok).result, DecodeResult::ok);
    // The last distance length written as "repeat 3 times": one more than fits.
    b.tail_repeat = true;
    EXPECT_EQ(inflate(b.encode({{'a'}, {256}})).result, DecodeResult::bad_data);
}

TEST(DeflateFailures, RepeatOfPreviousAsFirstCodeRepeatsZero) {
    DynamicBlock b;
    b.literal_lengths = small_literal_lengths();
    b.distance_lengths = {1, 1};
    b.code_length_lengths = default_code_length_lengths();
    b.leading_repeat16 = true; // symbols 0..2 written as "repeat previous 3 times"
    DecodeRun r = inflate(b.encode({{'a'}, {'b'}, {257, 0, 1, 0}, {256}}));
    EXPECT_EQ(r.result, DecodeResult::ok);
    EXPECT_EQ(r.output, (Bytes{'a', 'b', 'a', 'b', 'a'}));
}

TEST(DeflateFailures, IncompleteLiteralCodeFailsWithItsMessage) {
    DynamicBlock b;
    b.literal_lengths = small_literal_lengths();
    b.literal_lengths['d'] = 0;
    b.distance_lengths = {1, 1};
    b.code_length_lengths = default_code_length_lengths();
    DecodeResult result;
    // The note, then the member's error line.
    std::string err = inflate_messages(b.encode({{'a'}, {256}}), 0, &result);
    EXPECT_TRUE(err.starts_with(
        "(incomplete l-tree)  \n  error:  invalid compressed data for inflate format\n"))
        << err;
    EXPECT_EQ(result, DecodeResult::incomplete_code);
    err = inflate_messages(b.encode({{'a'}, {256}}), 1, &result);
    EXPECT_TRUE(err.starts_with("  error:  invalid compressed (deflated) data for m\n")) << err;
    EXPECT_EQ(result, DecodeResult::incomplete_code);
}

TEST(DeflateFailures, OverSubscribedLiteralOrDistanceCode) {
    DynamicBlock b;
    b.literal_lengths = small_literal_lengths();
    b.literal_lengths['e'] = 3;
    b.distance_lengths = {1, 1};
    b.code_length_lengths = default_code_length_lengths();
    EXPECT_EQ(inflate(b.encode({{'a'}, {256}})).result, DecodeResult::over_subscribed);
    b.literal_lengths = small_literal_lengths();
    b.distance_lengths = {1, 1, 1};
    EXPECT_EQ(inflate(b.encode({{'a'}, {256}})).result, DecodeResult::over_subscribed);
    // No memory for the literal/length table (the code-length table is the first allocation).
    b.distance_lengths = {1, 1};
    engine.decoders.table_memory.fail_after = 1;
    DecodeRun r = inflate(b.encode({{'a'}, {256}}));
    engine.decoders.table_memory.fail_after = -1;
    EXPECT_EQ(r.result, DecodeResult::no_memory);
}

TEST(DeflateFailures, IncompleteDistanceCodeIsAcceptedWithItsMessage) {
    DynamicBlock b;
    b.literal_lengths = small_literal_lengths();
    b.distance_lengths = {0, 2, 0, 2}; // distances 2 and 4 (code 3: 4 + 0 extra bits... code 3 = 4)
    b.code_length_lengths = default_code_length_lengths();
    DecodeResult result;
    std::string err = inflate_messages(b.encode({{'a'}, {'b'}, {257, 0, 1, 0}, {256}}), 0, &result);
    EXPECT_EQ(result, DecodeResult::ok);
    EXPECT_EQ(err, "(incomplete d-tree)  ");
    EXPECT_EQ(inflate_messages(b.encode({{'a'}, {'b'}, {257, 0, 1, 0}, {256}}), 1, &result), "");
    EXPECT_EQ(inflate(b.encode({{'a'}, {'b'}, {257, 0, 1, 0}, {256}})).output,
              (Bytes{'a', 'b', 'a', 'b', 'a'}));
    // A single one-bit distance code is complete enough: no message.
    b.distance_lengths = {1};
    err = inflate_messages(b.encode({{'a'}, {256}}), 0, &result);
    EXPECT_EQ(result, DecodeResult::ok);
    EXPECT_EQ(err, "");
}

TEST(DeflateFailures, LargestCountsAcceptedAndSymbols286And287Invalid) {
    DynamicBlock b;
    b.literal_lengths = std::vector<unsigned>(288, 0);
    for (unsigned s = 0; s < 288; ++s) b.literal_lengths[s] = s < 224 ? 8 : 9; // 224/256 + 64/512
    b.distance_lengths = std::vector<unsigned>(32, 5);
    b.code_length_lengths = default_code_length_lengths();
    DecodeRun r = inflate(b.encode({{'a'}, {257, 0, 0, 0}, {256}}));
    EXPECT_EQ(r.result, DecodeResult::ok);
    EXPECT_EQ(r.output, (Bytes{'a', 'a', 'a', 'a'}));
    EXPECT_EQ(inflate(b.encode({{'a'}, {286}, {256}})).result, DecodeResult::bad_data);
    EXPECT_EQ(inflate(b.encode({{'a'}, {287}, {256}})).result, DecodeResult::bad_data);
    // Distance codes 30 and 31 are invalid too.
    EXPECT_EQ(inflate(b.encode({{'a'}, {257, 0, 30, 0}, {256}})).result, DecodeResult::bad_data);
    EXPECT_EQ(inflate(b.encode({{'a'}, {257, 0, 31, 0}, {256}})).result, DecodeResult::bad_data);
}

TEST(DeflateFailures, UnusedCodeSpaceIsInvalid) {
    // One-bit distance code: the other half of its space is unused.
    DynamicBlock b;
    b.literal_lengths = small_literal_lengths();
    b.distance_lengths = {1};
    b.code_length_lengths = default_code_length_lengths();
    Bytes s = b.encode({{'a'}, {257, 0, 0, 0}, {256}});
    EXPECT_EQ(inflate(s).result, DecodeResult::ok);
    b.distance_raw_bit = 1; // write the unused one-bit code instead of code 0
    EXPECT_EQ(inflate(b.encode({{'a'}, {257, 0, 0, 0}, {256}})).result, DecodeResult::bad_data);
    // A code-length code with a single one-bit code: its unused half read as a length.
    b.distance_raw_bit = -1;
    b.code_length_lengths = std::vector<unsigned>(19, 0);
    b.code_length_lengths[3] = 1;
    b.force_code_length_bits = {1};
    EXPECT_EQ(inflate(b.encode({})).result, DecodeResult::bad_data);
}

TEST(DeflateFailures, MissingTables) {
    // All literal/length lengths zero.
    DynamicBlock b;
    b.literal_lengths = std::vector<unsigned>(257, 0);
    b.distance_lengths = {1, 1};
    b.code_length_lengths = default_code_length_lengths();
    EXPECT_EQ(inflate(b.encode({}, false, /*no_data=*/true)).result, DecodeResult::bad_data);
    // A length code while every distance length is zero; literals alone decode.
    b.literal_lengths = small_literal_lengths();
    b.distance_lengths = {0};
    DecodeRun r = inflate(b.encode({{'a'}, {'b'}, {256}}));
    EXPECT_EQ(r.result, DecodeResult::ok);
    EXPECT_EQ(r.output, (Bytes{'a', 'b'}));
    EXPECT_EQ(
        inflate(b.encode({{'a'}, {257, 0}, {256}}, false, false, /*no_distance=*/true)).result,
        DecodeResult::bad_data);
    // All code-length lengths zero.
    b.code_length_lengths = std::vector<unsigned>(19, 0);
    EXPECT_EQ(inflate(b.encode({}, true, true)).result, DecodeResult::bad_data);
}

TEST(DeflateFailures, FixedTablesWithoutMemory) {
    DeflateWriter w;
    w.fixed_header(true);
    w.fixed_literal('a');
    w.fixed_end();
    Bytes s = w.finish();
    for (long fail_at = 0; fail_at < 6; ++fail_at) {
        long live = engine.decoders.table_memory.live_blocks;
        engine.decoders.table_memory.fail_after = fail_at;
        DecodeRun r = inflate(s);
        engine.decoders.table_memory.fail_after = -1;
        if (r.result == DecodeResult::ok) break;
        EXPECT_EQ(r.result, DecodeResult::no_memory);
        EXPECT_EQ(engine.decoders.table_memory.live_blocks, live);
    }
    EXPECT_EQ(inflate(s).result, DecodeResult::ok);
}

TEST(DeflateFailures, DistanceBeforeTheMemberStart) {
    DeflateWriter w;
    w.fixed_header(true);
    w.fixed_literal('a');
    w.fixed_match(3, 2);
    w.fixed_end();
    EXPECT_EQ(inflate(w.finish()).result, DecodeResult::bad_data);
    DeflateWriter ok;
    ok.fixed_header(true);
    ok.fixed_literal('a');
    ok.fixed_match(3, 1);
    ok.fixed_end();
    EXPECT_EQ(inflate(ok.finish()).output, (Bytes{'a', 'a', 'a', 'a'}));
}

TEST(DeflateFailures, ExhaustedInputEnds) {
    // A fixed block with no end: past the data the one-bits would decode literal 255 forever.
    DeflateWriter w;
    w.fixed_header(true);
    for (int i = 0; i < 100; ++i) w.fixed_literal('a');
    Bytes s = w.finish();
    DecodeRun r = inflate(s);
    EXPECT_EQ(r.result, DecodeResult::bad_data);
    // Every truncation of a valid stream fails, none hangs.
    Bytes full = fixture("mixed_l6");
    for (size_t cut : {size_t{0}, size_t{1}, size_t{2}, full.size() / 3, full.size() - 1}) {
        Bytes part(full.begin(), full.begin() + static_cast<long>(cut));
        EXPECT_NE(inflate(part).result, DecodeResult::ok) << cut;
    }
    Bytes stored = fixture("text_l0");
    stored.resize(stored.size() - 10);
    EXPECT_EQ(inflate(stored).result, DecodeResult::bad_data);
    // A stream whose final end-of-block code lies in the bits past the data: the last byte of a
    // fixed block ending in a seven-bit end code that was cut off.
    for (size_t cut = 1; cut <= 2; ++cut) {
        Bytes text = fixture("text_fixed");
        text.resize(text.size() - cut);
        EXPECT_EQ(inflate(text).result, DecodeResult::bad_data) << cut;
    }
}

// --- The corpus ----------------------------------------------------------------------------------

TEST(DeflateCorpus, ScrunchArchiveMembersDecode) {
    int deflated = 0;
    for (const RawMember &m : raw_members(corpus_path("SCRNC102.ZIP"))) {
        if (m.method != 8) continue;
        ++deflated;
        DecodeRun r = inflate(m.compressed, m.uncompressed_size);
        EXPECT_EQ(r.result, DecodeResult::ok) << m.name;
        EXPECT_EQ(r.output.size(), m.uncompressed_size) << m.name;
        EXPECT_EQ(r.crc, m.crc32) << m.name;
    }
    EXPECT_EQ(deflated, 14);
}

} // namespace
