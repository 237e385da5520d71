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

} // namespace
