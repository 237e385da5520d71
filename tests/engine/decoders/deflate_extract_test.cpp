// Deflated members end to end through the engine: the corpus archive and archives of zlib streams.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "engine/decoders/huffman_tables.h"
#include "engine/engine.h"
#include "tests/support/corpus_walk.h"
#include "tests/support/deflate_writer.h"
#include "tests/support/zip_builder.h"

using namespace qeltest;

namespace {

std::string lower(std::string s) {
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

TEST(DeflateExtract, ScrunchArchiveExtractsByteExact) {
    std::string zip_path = corpus_path("SCRNC102.ZIP");
    std::string out = scratch_dir("deflate_extract_scrnc") + "/out";
    RunResult r = run_engine({"unzip", "-qq", "-o", zip_path, "-d", out});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // Every member's size and CRC as the central directory records them.
    std::vector<RawMember> members = raw_members(zip_path);
    ASSERT_EQ(members.size(), 16u);
    for (const RawMember &m : members) {
        std::string path = out + "/" + lower(m.name);
        if (!file_exists(path)) path = out + "/" + m.name;
        ASSERT_TRUE(file_exists(path)) << m.name;
        Bytes data = read_file(path);
        EXPECT_EQ(data.size(), m.uncompressed_size) << m.name;
        EXPECT_EQ(crc32_of(data), m.crc32) << m.name;
    }
    r = run_engine({"unzip", "-tqq", zip_path});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
}

Member deflated(const std::string &name, const Bytes &data, const Bytes &compressed) {
    return compressed_member(name, 8, 0, data, compressed);
}

TEST(DeflateExtract, FixedBlockMembersShareTheCachedTables) {
    Archive a;
    for (int i = 0; i < 3; ++i) {
        DeflateWriter w;
        w.fixed_header(true);
        w.fixed_literal(static_cast<unsigned char>('a' + i));
        w.fixed_match(100, 1);
        w.fixed_end();
        a.members.push_back(deflated("f" + std::to_string(i) + ".txt",
                                     Bytes(101, static_cast<unsigned char>('a' + i)), w.finish()));
    }
    Bytes big(70000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<unsigned char>(i % 251);
    a.members.push_back(deflated("stored_blocks.bin", big, stored_stream(big)));
    std::string dir = scratch_dir("deflate_extract_fixed");
    write_file(dir + "/a.zip", build_zip(a));
    long live = engine.decoders.table_memory.live_blocks;
    RunResult r = run_engine({"unzip", "-qq", "-o", dir + "/a.zip", "-d", dir + "/out"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(engine.decoders.table_memory.live_blocks,
              live); // released when the engine call ended
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(read_file(dir + "/out/f" + std::to_string(i) + ".txt"),
                  Bytes(101, static_cast<unsigned char>('a' + i)));
    EXPECT_TRUE(read_file(dir + "/out/stored_blocks.bin") == big);
}

TEST(DeflateExtract, BadDeflatedMemberIsAnError) {
    Archive a;
    a.members.push_back(deflated("bad.txt", Bytes{'x'}, Bytes{0x07, 0x00})); // block type 3
    DeflateWriter w;
    w.fixed_header(true);
    w.fixed_literal('x');
    w.fixed_end();
    a.members.push_back(deflated("good.txt", Bytes{'x'}, w.finish()));
    std::string dir = scratch_dir("deflate_extract_bad");
    write_file(dir + "/a.zip", build_zip(a));
    RunResult r = run_engine({"unzip", "-t", dir + "/a.zip"});
    EXPECT_EQ(r.status, 2) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find("bad.txt"), std::string::npos);
    EXPECT_NE(r.out.find("testing: good.txt"), std::string::npos);
}

// Deflate64 (method 9) beyond deflate: a 64K history, length symbol 285 as 3 plus 16 extra bits
// and distance codes 30 and 31 (14 extra bits from 32,769 and 49,153). One stream in fixed codes,
// after a stored block of history; its output is worked out here by copying, match by match.
struct Deflate64Match {
    unsigned length, distance;
};

void put_deflate64_match(DeflateWriter &w, const Deflate64Match &m) {
    if (m.length > 258) {
        w.fixed_symbol(285);
        w.bits(m.length - 3, 16);
    } else if (m.length == 258) { // symbol 285 is no longer 258
        w.fixed_symbol(284);
        w.bits(31, 5);
    } else {
        unsigned s, v, n;
        length_symbol(m.length, &s, &v, &n);
        w.fixed_symbol(s);
        w.bits(v, n);
    }
    if (m.distance >= 49153) {
        w.code(31, 5);
        w.bits(m.distance - 49153, 14);
    } else if (m.distance >= 32769) {
        w.code(30, 5);
        w.bits(m.distance - 32769, 14);
    } else {
        unsigned c, v, n;
        distance_code(m.distance, &c, &v, &n);
        w.code(c, 5);
        w.bits(v, n);
    }
}

TEST(DeflateExtract, Deflate64ReachesItsLongLengthsAndFarDistances) {
    Bytes history(65000);
    uint32_t seed = 7;
    for (unsigned char &b : history) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(seed >> 24);
    }
    const Deflate64Match matches[] = {
        {1000, 40000},  // distance code 30
        {300, 55000},   // distance code 31
        {65538, 65536}, // the longest length from the farthest distance
        {258, 65536},   // length symbol 284's last length, still 258 in deflate64
        {4000, 1},      // symbol 285 at the nearest distance
    };
    DeflateWriter w;
    w.stored(history, false);
    w.fixed_header(true);
    Bytes expected = history;
    for (const Deflate64Match &m : matches) {
        put_deflate64_match(w, m);
        for (unsigned i = 0; i < m.length; ++i)
            expected.push_back(expected[expected.size() - m.distance]);
    }
    w.fixed_end();
    const Bytes stream = w.finish();

    Archive a;
    Member m64 = compressed_member("far.bin", 9, 0, expected, stream);
    m64.version_needed = 21;
    a.members = {m64, compressed_member("as_deflate.bin", 8, 0, expected, stream)};
    std::string dir = scratch_dir("deflate64_far");
    write_file(dir + "/a.zip", build_zip(a));
    RunResult r = run_engine({"unzip", "-o", dir + "/a.zip", "-d", dir + "/out"});
    EXPECT_TRUE(read_file(dir + "/out/far.bin") == expected);
    // The same stream read as deflate does not decode to the member.
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(contains(r.out + r.err, "as_deflate.bin")) << r.err;
    r = run_engine({"unzip", "-t", dir + "/a.zip", "far.bin"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
}

} // namespace
