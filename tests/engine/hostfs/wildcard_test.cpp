// Wildcard patterns and the expansion of archive specifications.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "engine/hostfs/hostfs.h"
#include "tests/support/zip_builder.h"

using namespace qeltest;

TEST(Wildcard, StarsQuestionMarksAndCase) {
    EXPECT_TRUE(wildcard_match("INSTALL.FIL", "*.fil", 1));
    EXPECT_FALSE(wildcard_match("INSTALL.FIL", "*.fil", 0));
    EXPECT_TRUE(wildcard_match("a", "a*", 0));
    EXPECT_TRUE(wildcard_match("abc", "a*", 0));
    EXPECT_TRUE(wildcard_match("", "*", 0));
    EXPECT_TRUE(wildcard_match("dir/sub/file", "dir*file", 0));
    EXPECT_TRUE(wildcard_match("abc", "a?c", 0));
    EXPECT_FALSE(wildcard_match("ac", "a?c", 0));
    EXPECT_FALSE(wildcard_match("abcd", "a*c", 0));
}

TEST(Wildcard, Sets) {
    EXPECT_TRUE(wildcard_match("bx", "[a-c]x", 0));
    EXPECT_FALSE(wildcard_match("bx", "[!a-c]x", 0));
    EXPECT_TRUE(wildcard_match("dx", "[!a-c]x", 0));
    EXPECT_TRUE(wildcard_match("dx", "[^a-c]x", 0));
    EXPECT_TRUE(wildcard_match("-", "[-a]", 0));
    EXPECT_TRUE(wildcard_match("a", "[-a]", 0));
    EXPECT_FALSE(wildcard_match("b", "[-a]", 0));
    EXPECT_TRUE(wildcard_match("]", "[\\]]", 0));
    EXPECT_FALSE(wildcard_match("a", "[abc", 0)); // unclosed set matches nothing
    EXPECT_TRUE(wildcard_match("B", "[a-c]", 1));
}

TEST(Wildcard, Escapes) {
    EXPECT_TRUE(wildcard_match("*", "\\*", 0));
    EXPECT_FALSE(wildcard_match("a", "\\*", 0));
    EXPECT_FALSE(wildcard_match("a\\", "a\\", 0)); // a trailing backslash matches nothing
}

TEST(Wildcard, StarGivesUpEarly) {
    EXPECT_EQ(match_step("*x", "abc", 0), 2);
    // A long text against many stars stays fast because of the give-up result.
    std::string text(5000, 'a');
    EXPECT_FALSE(wildcard_match(text.c_str(), "*a*a*a*a*a*a*a*a*b", 0));
}

TEST(ArchiveNames, FolderSpecificationYieldsEachMatchOnce) {
    std::string dir = scratch_dir("expand");
    write_file(dir + "/x1.zip", std::string("1"));
    write_file(dir + "/x2.ZIP", std::string("2"));
    write_file(dir + "/y.txt", std::string("3"));
    std::string spec = dir + "/*.zip";
    std::set<std::string> seen;
    while (char *name = next_archive_name(spec.c_str())) seen.insert(name);
    EXPECT_EQ(seen, (std::set<std::string>{dir + "/x1.zip", dir + "/x2.ZIP"}));
}

TEST(ArchiveNames, NoMatchYieldsSpecificationOnce) {
    std::string dir = scratch_dir("expand_none");
    std::string spec = dir + "/DATA.FIL";
    char *first = next_archive_name(spec.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(std::string(first), spec);
    EXPECT_EQ(next_archive_name(spec.c_str()), nullptr);
    // A new expansion starts afresh.
    EXPECT_NE(next_archive_name(spec.c_str()), nullptr);
    EXPECT_EQ(next_archive_name(spec.c_str()), nullptr);
}
