// Every member of the real-world corpus extracts byte-exact and tests clean, method by method.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "engine/engine.h"
#include "tests/support/corpus_manifest.h"
#include "tests/support/zip_builder.h"

using namespace qeltest;

namespace {

// Extracts the members of the given methods from every corpus archive and compares SHA-256.
void expect_methods_extract_exactly(const std::set<int> &methods, const std::string &label) {
    auto manifest = corpus_manifest();
    ASSERT_FALSE(manifest.empty());
    int checked = 0;
    for (const std::string &archive : corpus_archive_names()) {
        std::vector<std::string> args = {"unzip", "-qq", "-o", "-U", corpus_path(archive)};
        std::vector<const ManifestMember *> wanted;
        for (const ManifestMember &m : manifest)
            if (m.archive == archive && methods.count(m.method) && m.name.back() != '/') {
                wanted.push_back(&m);
                args.push_back(m.name);
            }
        if (wanted.empty()) continue;
        std::string dir = scratch_dir("corpus_" + label);
        args.push_back("-d");
        args.push_back(dir);
        RunResult r = run_engine(args);
        EXPECT_EQ(r.status, 0) << archive << "\n" << r.err;
        for (const ManifestMember *m : wanted) {
            Bytes data = read_file(dir + "/" + m->name);
            EXPECT_EQ(data.size(), m->size) << archive << ": " << m->name;
            EXPECT_EQ(sha256_hex(data), m->sha256) << archive << ": " << m->name;
            ++checked;
        }
    }
    EXPECT_GT(checked, 0) << "no " << label << " members in the corpus";
}

} // namespace

TEST(Corpus, Sha256OfKnownText) {
    EXPECT_EQ(sha256_hex(to_bytes("abc")),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Corpus, StoredMembersExtractExactly) {
    expect_methods_extract_exactly({0}, "stored");
}
TEST(Corpus, DeflatedMembersExtractExactly) {
    expect_methods_extract_exactly({8}, "deflated");
}
TEST(Corpus, ShrunkMembersExtractExactly) {
    expect_methods_extract_exactly({1}, "shrunk");
}
TEST(Corpus, ReducedMembersExtractExactly) {
    expect_methods_extract_exactly({2, 3, 4, 5}, "reduced");
}
TEST(Corpus, ImplodedMembersExtractExactly) {
    expect_methods_extract_exactly({6}, "imploded");
}

TEST(Corpus, EveryArchiveTestsClean) {
    for (const std::string &archive : corpus_archive_names()) {
        RunResult r = run_engine({"unzip", "-t", corpus_path(archive)});
        EXPECT_EQ(r.status, 0) << archive << "\n" << r.err;
        EXPECT_NE(
            r.out.find("No errors detected in compressed data of " + corpus_path(archive) + ".\n"),
            std::string::npos)
            << r.out;
    }
}
