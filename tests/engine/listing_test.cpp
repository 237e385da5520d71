// The short and verbose listings and the member table they fill.
#include <gtest/gtest.h>

#include <string>

#include "engine/engine.h"
#include "tests/support/corpus_manifest.h"
#include "tests/support/zip_builder.h"

using namespace qeltest;

TEST(Listing, EveryCorpusArchiveListsVerbose) {
    auto names = corpus_archive_names();
    ASSERT_GE(names.size(), 20u);
    for (const std::string &name : names) {
        RunResult r = run_engine({"unzip", "-v", corpus_path(name)});
        EXPECT_EQ(r.status, 0) << name << r.err;
        EXPECT_FALSE(archive_members.empty()) << name;
        EXPECT_TRUE(
            contains(r.out, " ------  ------   ----  -----   ----    ----   ------     ----"))
            << name;
    }
    // The one archive without members lists with the empty-archive warning.
    RunResult empty = run_engine({"unzip", "-v", corpus_path("empty-with-comment.zip")});
    EXPECT_EQ(empty.status, 1) << empty.err;
}

TEST(Listing, VerboseColumnsAndTotals) {
    RunResult r = run_engine({"unzip", "-v", corpus_path("SHRUNK.ZIP")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "Shrunk")) << r.out;
    EXPECT_TRUE(
        contains(r.out, " ------          ------  ---                              -------\n"))
        << r.out;
    uint32_t total = 0;
    for (uint32_t s : archive_member_sizes) total += s;
    EXPECT_EQ(archive_total_size, total);
    EXPECT_EQ(archive_members.size(), 2u);
}

TEST(Listing, RatiosMethodsAndEncryption) {
    std::string dir = scratch_dir("ratios");
    Archive a;
    Member stored;
    stored.name = "stored.txt";
    stored.data = to_bytes(std::string(1000, 's'));
    a.members.push_back(stored);
    Member bigger;
    bigger.name = "bigger.bin";
    bigger.data = to_bytes(std::string(1000, 'b'));
    bigger.method = 8;
    bigger.flags = 2; // Defl:X
    bigger.compressed = Bytes(1030, 0);
    a.members.push_back(bigger);
    Member odd;
    odd.name = "odd.bin";
    odd.data = to_bytes("x");
    odd.method = 12;
    odd.compressed = Bytes(1, 0);
    a.members.push_back(odd);
    Member secret;
    secret.name = "secret.bin";
    secret.data = to_bytes(std::string(100, 'e'));
    secret.method = 8;
    secret.flags = 1;
    secret.compressed = Bytes(62, 0); // 50 after the 12-byte header is taken off
    a.members.push_back(secret);
    Member empty;
    empty.name = "empty";
    a.members.push_back(empty);
    std::string path = dir + "/r.zip";
    write_file(path, build_zip(a));
    RunResult r = run_engine({"unzip", "-v", path});
    EXPECT_TRUE(contains(r.out, "   1000  Stored    1000   0%")) << r.out;
    EXPECT_TRUE(contains(r.out, "   1000  Defl:X    1030  -3%")) << r.out;
    EXPECT_TRUE(contains(r.out, "      1  Unk:012      1   0%")) << r.out;
    EXPECT_TRUE(contains(r.out, "    100  Defl:N      50  50%")) << r.out;
    EXPECT_TRUE(contains(r.out, "      0  Stored       0   0%")) << r.out;
}

// A nameless member after a named one lists without a name, not with the name before it, in
// both listings and in the member table that the setup program reads.
TEST(Listing, NamelessMemberShowsNoName) {
    std::string dir = scratch_dir("nameless");
    Archive a;
    Member first;
    first.name = "first.txt";
    first.data = to_bytes("1");
    Member nameless;
    nameless.data = to_bytes("22");
    a.members = {first, nameless};
    std::string path = dir + "/n.zip";
    write_file(path, build_zip(a));
    for (const char *level : {"-l", "-v"}) {
        RunResult r = run_engine({"unzip", level, path});
        EXPECT_EQ(r.status, 0) << r.err;
        size_t first_at = r.out.find("first.txt");
        ASSERT_NE(first_at, std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("first.txt", first_at + 1), std::string::npos) << level << r.out;
        ASSERT_EQ(archive_members.size(), 2u);
        EXPECT_EQ(archive_members[0], "first.txt");
        EXPECT_EQ(archive_members[1], "");
        EXPECT_EQ(archive_member_sizes[1], 2u);
    }
}

TEST(Listing, RatioOfLargeMembers) {
    EXPECT_EQ(ratio_permille(3000000, 1000000), 667);
    EXPECT_EQ(ratio_permille(0, 5), 0);
    EXPECT_EQ(ratio_permille(1000, 1030), -30);
    EXPECT_LT(ratio_permille(1, 0xFFFFFFFFu), 0); // no overflow into a positive ratio
}

TEST(Listing, QuietestListingStillSetsTotal) {
    RunResult r = run_engine({"unzip", "-lqq", corpus_path("SHRUNK.ZIP")});
    EXPECT_FALSE(contains(r.out, "Length")) << r.out;
    EXPECT_FALSE(contains(r.out, "------")) << r.out;
    EXPECT_GT(archive_total_size, 0u);
    EXPECT_EQ(archive_members.size(), 2u);
}

TEST(MemberTable, HoldsMoreThan250MembersAndLongNames) {
    std::string dir = scratch_dir("table");
    Archive a;
    for (int i = 0; i < 300; ++i) {
        Member m;
        m.host_made_by = 3;
        m.name = "dir/" + std::string(i == 7 ? 200 : 10, 'a') + std::to_string(i);
        m.data = to_bytes(std::to_string(i));
        a.members.push_back(m);
    }
    std::string path = dir + "/t.zip";
    write_file(path, build_zip(a));
    RunResult r = run_engine({"unzip", "-qq", "-v", path});
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(archive_members.size(), 300u);
    EXPECT_EQ(archive_members[7], "dir/" + std::string(200, 'a') + "7");
    EXPECT_EQ(archive_members[299], "dir/" + std::string(10, 'a') + "299");
    EXPECT_EQ(archive_member_sizes[299], 3u);
    // A later, shorter listing leaves no stale members behind.
    run_engine({"unzip", "-qq", "-v", corpus_path("SHRUNK.ZIP")});
    EXPECT_EQ(archive_members.size(), 2u);
}

// A listing that ends at a bad directory entry leaves in the table only what it listed: no member
// of an earlier, longer listing is taken for one of this archive.
TEST(MemberTable, ListingEndedEarlyKeepsNoStaleMembers) {
    std::string dir = scratch_dir("table_ended_early");
    Archive a;
    for (int i = 0; i < 3; ++i) a.members.push_back(stored_member("m" + std::to_string(i), "x"));
    Bytes whole = build_zip(a);
    write_file(dir + "/whole.zip", whole);
    ASSERT_EQ(run_engine({"unzip", "-qq", "-v", dir + "/whole.zip"}).status, 0);
    ASSERT_EQ(archive_members.size(), 3u);

    // The second directory entry loses its signature.
    const std::string text(whole.begin(), whole.end());
    size_t second = text.find("PK\1\2", text.find("PK\1\2") + 1);
    ASSERT_NE(second, std::string::npos);
    whole[second + 2] = 9;
    write_file(dir + "/broken.zip", whole);
    RunResult r = run_engine({"unzip", "-qq", "-v", dir + "/broken.zip"});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_EQ(archive_members, std::vector<std::string>{"m0"});
    EXPECT_EQ(archive_member_sizes.size(), 1u);
}

TEST(Listing, SelectedMembersOnly) {
    RunResult r =
        run_engine({"unzip", "-l", corpus_path("moby-imploded.zip"), "moby.1*", "-x", "moby.10*"});
    EXPECT_TRUE(contains(r.out, "moby.1\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "moby.11\n")) << r.out;
    EXPECT_FALSE(contains(r.out, "moby.100\n")) << r.out;
    EXPECT_FALSE(contains(r.out, "README")) << r.out;
}
