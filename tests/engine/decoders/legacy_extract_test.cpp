// Shrunk, reduced and imploded members end to end through the engine: tests, extraction, errors.
#include <cctype>
#include <string>

#include <gtest/gtest.h>

#include "engine/decoders/decoders.h"
#include "tests/support/bit_writer.h"
#include "tests/support/corpus_manifest.h"
#include "tests/support/corpus_walk.h"
#include "tests/support/decoder_harness.h"
#include "tests/support/zip_builder.h"

using namespace qeltest;

namespace {

const char *const legacy_archives[] = {"SHRUNK.ZIP",
                                       "shrink-first.zip",
                                       "shrink-zeros.zip",
                                       "gen-shrink.zip",
                                       "gen-reduce1.zip",
                                       "gen-reduce2.zip",
                                       "gen-reduce3.zip",
                                       "gen-reduce4.zip",
                                       "reduce-first.zip",
                                       "reduce-zeros.zip",
                                       "gen-implode-4k-2trees.zip",
                                       "gen-implode-4k-3trees.zip",
                                       "gen-implode-8k-2trees.zip",
                                       "gen-implode-8k-3trees.zip",
                                       "implode-first.zip",
                                       "implode-zeros.zip",
                                       "imploding-4Kdict-2trees.zip",
                                       "imploding-8Kdict-3trees.zip",
                                       "lorem-ipsum-implode.zip",
                                       "moby-imploded.zip"};

// A one-member archive around a raw compressed stream.
Bytes single_member(const std::string &name, uint16_t method, uint16_t flags, const Bytes &stream,
                    const Bytes &content) {
    Archive a;
    a.members.push_back(compressed_member(name, method, flags, content, stream));
    return build_zip(a);
}

} // namespace

TEST(LegacyExtract, TestModePassesEveryLegacyCorpusArchive) {
    for (const char *name : legacy_archives) {
        RunResult r = run_engine({"unzip", "-t", corpus_path(name)});
        EXPECT_EQ(r.status, 0) << name << "\n" << r.out << r.err;
        EXPECT_NE(r.out.find("No errors detected"), std::string::npos) << name;
    }
}

TEST(LegacyExtract, ExtractedFilesMatchTheManifest) {
    for (const char *archive : {"moby-imploded.zip", "gen-reduce3.zip", "gen-shrink.zip"}) {
        std::string dir = scratch_dir(std::string("legacy_extract_") + archive);
        RunResult r = run_engine({"unzip", "-qq", "-o", corpus_path(archive), "-d", dir});
        ASSERT_EQ(r.status, 0) << archive << r.err;
        int checked = 0;
        for (const ManifestMember &m : corpus_manifest()) {
            if (m.archive != archive) continue;
            // Names of MS-DOS members come out in lower case.
            std::string path = dir + "/" + m.name;
            if (!file_exists(path))
                for (char &c : path.replace(0, dir.size() + 1, ""))
                    c = static_cast<char>(std::tolower(c));
            if (path.rfind(dir, 0) != 0) path = dir + "/" + path;
            EXPECT_EQ(sha256_hex(read_file(path)), m.sha256) << m.name;
            ++checked;
        }
        EXPECT_GT(checked, 0);
    }
}

TEST(LegacyExtract, CorruptShrinkDataIsAnErrorNotAMemoryFailure) {
    BitWriter w;
    w.put('q', 9);
    for (int i = 0; i < 5; ++i) {
        w.put(256, 9 + i);
        w.put(1, 9 + i);
    }
    w.put('r', 14);
    std::string dir = scratch_dir("legacy_bad_shrink");
    write_file(dir + "/bad.zip", single_member("BAD.TXT", 1, 0, w.finish(), to_bytes("qr")));

    RunResult loud = run_engine({"unzip", "-t", dir + "/bad.zip"});
    EXPECT_EQ(loud.status, 2);
    EXPECT_NE(loud.err.find("\n  error:  invalid compressed data for unshrink format\n"),
              std::string::npos)
        << loud.err;
    RunResult quiet = run_engine({"unzip", "-qq", "-t", dir + "/bad.zip"});
    EXPECT_EQ(quiet.status, 2);
    EXPECT_NE(quiet.err.find("  error:  invalid compressed (shrunk) data for bad.txt\n"),
              std::string::npos)
        << quiet.err;
}

TEST(LegacyExtract, ImplodeSizeWarningAndError) {
    // The first imploded member of a real archive, with spare bytes after it, then cut short.
    std::vector<RawMember> members = raw_members(corpus_path("implode-first.zip"));
    ASSERT_EQ(members.size(), 1u);
    const RawMember &m = members[0];
    std::string dir = scratch_dir("legacy_implode_size");
    Bytes padded = m.compressed;
    padded.insert(padded.end(), 5, 0);
    Archive a;
    Member member = member_of(m); // only the sizes matter to the message
    member.name = "PAD.TXT";
    member.compressed = padded;
    a.members.push_back(member);
    write_file(dir + "/pad.zip", build_zip(a));

    RunResult r = run_engine({"unzip", "-t", dir + "/pad.zip"});
    EXPECT_EQ(r.status, 1) << r.err;
    std::string expect = "\n  warning:  " + std::to_string(m.compressed_size) +
                         " bytes required to uncompress to " + std::to_string(m.uncompressed_size) +
                         " bytes;\n            supposed to require " +
                         std::to_string(padded.size()) + " bytes.\n";
    EXPECT_NE(r.err.find(expect), std::string::npos) << r.err;

    a.members[0].compressed.assign(m.compressed.begin(), m.compressed.end() - 10);
    write_file(dir + "/short.zip", build_zip(a));
    RunResult s = run_engine({"unzip", "-qq", "-t", dir + "/short.zip"});
    EXPECT_EQ(s.status, 2) << s.err;
    EXPECT_NE(s.err.find("  error:  "), std::string::npos) << s.err;
    EXPECT_NE(s.err.find(" [pad.txt]\n"), std::string::npos) << s.err;
}

TEST(LegacyExtract, TextConversionOfShrunkMembersAcrossSeveralMembers) {
    // -aa: every member is text; the shrink decoder's blocks are converted in its own buffer,
    // allocated by the first member and reused by the next.
    std::string dir = scratch_dir("legacy_shrink_text");
    RunResult r =
        run_engine({"unzip", "-qq", "-aa", "-o", corpus_path("gen-shrink.zip"), "-d", dir});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const RawMember &m : raw_members(corpus_path("gen-shrink.zip"))) {
        DecodeRun plain = run_decoder(shrink_decode_member, m.compressed, m.uncompressed_size, 1);
        Bytes expect;
        for (size_t i = 0; i < plain.output.size(); ++i) {
            unsigned char b = plain.output[i];
            if (b == '\r' || b == '\n') {
                expect.push_back('\r');
                expect.push_back('\n');
                if (b == '\r' && i + 1 < plain.output.size() && plain.output[i + 1] == '\n') ++i;
            } else {
                expect.push_back(b);
            }
        }
        std::string name = m.name;
        for (char &c : name) c = static_cast<char>(std::tolower(c));
        EXPECT_EQ(read_file(dir + "/" + name), expect) << m.name;
    }
}
