// Every shrunk, reduced and imploded member of the real-archive corpus decodes byte for byte.
#include <string>

#include <gtest/gtest.h>

#include "engine/decoders/decoders.h"
#include "tests/support/corpus_manifest.h"
#include "tests/support/corpus_walk.h"
#include "tests/support/decoder_harness.h"
#include "tests/support/zip_builder.h"

using namespace qeltest;

namespace {

DecoderEntry decoder_for(int method) {
    if (method == 1) return shrink_decode_member;
    if (method >= 2 && method <= 5) return reduce_decode_member;
    if (method == 6) return implode_decode_member;
    return nullptr;
}

std::string manifest_sha256(const std::string &archive, const std::string &name) {
    for (const ManifestMember &m : corpus_manifest())
        if (m.archive == archive && m.name == name) return m.sha256;
    return "";
}

// Decodes every legacy member of one archive; returns how many were checked.
int check_archive(const std::string &archive) {
    int checked = 0;
    std::vector<RawMember> members = raw_members(corpus_path(archive));
    EXPECT_FALSE(members.empty()) << archive;
    for (const RawMember &m : members) {
        auto decoder = decoder_for(m.method);
        if (!decoder) continue;
        DecodeRun r = run_decoder(decoder, m.compressed, m.uncompressed_size, m.method, m.flags);
        EXPECT_EQ(r.result, DecodeResult::ok) << archive << ": " << m.name;
        EXPECT_EQ(r.output.size(), m.uncompressed_size) << archive << ": " << m.name;
        EXPECT_EQ(r.crc, m.crc32) << archive << ": " << m.name;
        std::string expected = manifest_sha256(archive, m.name);
        EXPECT_EQ(expected.size(), 64u) << archive << ": " << m.name;
        EXPECT_EQ(sha256_hex(r.output), expected) << archive << ": " << m.name;
        ++checked;
    }
    return checked;
}

} // namespace

// Every method 1 to 6 member the manifest lists is covered by the tests below.
TEST(LegacyCorpus, ManifestCountsMatch) {
    int legacy = 0;
    for (const ManifestMember &m : corpus_manifest()) legacy += m.method >= 1 && m.method <= 6;
    EXPECT_EQ(legacy, 6 + 10 + 13 + 135); // shrunk, reduced, imploded, moby-imploded.zip
}

TEST(LegacyCorpus, ShrunkMembers) {
    EXPECT_EQ(check_archive("SHRUNK.ZIP"), 2);
    EXPECT_EQ(check_archive("shrink-first.zip"), 1);
    EXPECT_EQ(check_archive("shrink-zeros.zip"), 1);
    EXPECT_EQ(check_archive("gen-shrink.zip"), 2);
}

TEST(LegacyCorpus, ReducedMembers) {
    for (int factor = 1; factor <= 4; ++factor)
        EXPECT_EQ(check_archive("gen-reduce" + std::to_string(factor) + ".zip"), 2);
    EXPECT_EQ(check_archive("reduce-first.zip"), 1);
    EXPECT_EQ(check_archive("reduce-zeros.zip"), 1);
}

TEST(LegacyCorpus, ImplodedMembers) {
    EXPECT_EQ(check_archive("gen-implode-4k-2trees.zip"), 2);
    EXPECT_EQ(check_archive("gen-implode-4k-3trees.zip"), 2);
    EXPECT_EQ(check_archive("gen-implode-8k-2trees.zip"), 2);
    EXPECT_EQ(check_archive("gen-implode-8k-3trees.zip"), 2);
    EXPECT_EQ(check_archive("implode-first.zip"), 1);
    EXPECT_EQ(check_archive("implode-zeros.zip"), 1);
    EXPECT_EQ(check_archive("imploding-4Kdict-2trees.zip"), 1);
    EXPECT_EQ(check_archive("imploding-8Kdict-3trees.zip"), 1);
    EXPECT_EQ(check_archive("lorem-ipsum-implode.zip"), 1);
}

TEST(LegacyCorpus, MobyMixesShrinkAndImplode) {
    EXPECT_EQ(check_archive("moby-imploded.zip"), 135);
}
