// The command line: option groups and their conflicts, name lists, usage and the archive loop.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/engine.h"
#include "tests/support/zip_builder.h"

using namespace qeltest;

namespace {

std::string small_archive(const std::string &dir, const std::string &file) {
    Archive a;
    a.members.push_back(stored_member("a.txt", "hello"));
    return write_zip(dir + "/" + file, a);
}

} // namespace

TEST(Options, ConflictingGroupsAreRefusedWithUsage) {
    std::string dir = scratch_dir("opt_conflict");
    std::string path = small_archive(dir, "a.zip");
    for (const char *group : {"-ft", "-cv", "-fn", "-tl", "-pu"}) {
        RunResult r = run_engine({"unzip", group, path});
        EXPECT_EQ(r.status, 10) << group;
        EXPECT_TRUE(contains(r.err,
                             "error:  -fn or any combination of -c, -l, -p, -t, -u and -v options "
                             "invalid\n"))
            << group;
        EXPECT_TRUE(contains(r.err,
                             "Usage: unzip [-Z] [-opts[modifiers]] file[.zip] [list] [-x xlist] "
                             "[-d exdir]\n"))
            << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

TEST(Options, UnknownLetterIsBad) {
    RunResult r = run_engine({"unzip", "-k", "x.zip"});
    EXPECT_EQ(r.status, 10);
    // So is -P without the password it takes.
    EXPECT_EQ(run_engine({"unzip", "-P"}).status, 10);
}

TEST(Options, MissingArchiveShowsUsageOnStdout) {
    RunResult r = run_engine({"unzip", "-q"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("QEL Setup archive engine 5.1 of 7 February 1994\n", 0), 0u) << r.out;
    EXPECT_TRUE(contains(
        r.out, "  -c  extract files to stdout/screen (CRT)   -l  list files (short format)\n"));
    EXPECT_TRUE(contains(
        r.out, "  -j  junk paths (don't make directories)    -U  don't make names lowercase\n"
               "  -$  label removables (-$$ => fixed disks)  -V  retain VMS version numbers\n"
               "  -P  password for encrypted members         -s  spaces in filenames => '_'\n"))
        << r.out;
    EXPECT_TRUE(contains(
        r.out,
        "  unzip -fo foo ReadMe => quietly replace existing ReadMe if archive file newer\n"));
    EXPECT_TRUE(r.err.empty());
}

TEST(Options, NegationCountsCarryAcrossEntries) {
    std::string dir = scratch_dir("opt_negate");
    std::string path = small_archive(dir, "a.zip");
    run_engine({"unzip", "-q-q", "-l", path});
    EXPECT_EQ(engine.options.quiet, 0);
    run_engine({"unzip", "-zz-", "-q", path});
    EXPECT_EQ(engine.options.comment_level, 2);
    EXPECT_EQ(engine.options.quiet, 0);
    run_engine({"unzip", "-aaa", "-l", path});
    EXPECT_EQ(engine.options.text_level, 2);
    run_engine({"unzip", "-p-p", "-l", path});
    EXPECT_EQ(engine.options.to_stdout, 0);
    EXPECT_EQ(engine.options.quiet, 0);
}

TEST(Options, NeverAndOverwriteTogetherKeepNever) {
    std::string dir = scratch_dir("opt_no");
    std::string path = small_archive(dir, "a.zip");
    RunResult r = run_engine({"unzip", "-no", "-l", path});
    EXPECT_TRUE(contains(r.err, "caution:  both -n and -o specified; ignoring -o\n")) << r.err;
    EXPECT_EQ(engine.options.overwrite_all, 0);
    EXPECT_EQ(engine.options.no_query, 1);
    EXPECT_EQ(engine.options.never_overwrite, 1);
}

TEST(NameLists, IncludeExcludeAndDirectoryAreSplit) {
    std::string dir = scratch_dir("lists");
    std::string path = small_archive(dir, "a.zip");
    // Listing keeps the lists but ignores -d with a caution.
    RunResult r = run_engine({"unzip", "-l", path, "a*", "b", "-x", "c", "-d", "out"});
    EXPECT_TRUE(contains(r.err, "caution:  not extracting; -d ignored\n")) << r.err;
    EXPECT_EQ(engine.names.include_count, 2);
    EXPECT_STREQ(engine.names.include_names[0], "a*");
    EXPECT_EQ(engine.names.exclude_count, 1);
    EXPECT_STREQ(engine.names.exclude_names[0], "c");
    EXPECT_TRUE(contains(r.out, "a.txt"));
}

TEST(NameLists, LeadingExcludeTestsEveryMemberAgainstStar) {
    std::string dir = scratch_dir("lists_x");
    std::string path = small_archive(dir, "a.zip");
    RunResult r = run_engine({"unzip", "-l", path, "-x", "zzz"});
    EXPECT_EQ(engine.names.process_all, 0);
    EXPECT_EQ(engine.names.include_count, 0);
    EXPECT_TRUE(contains(r.out, "a.txt")) << r.out;
    RunResult excluded = run_engine({"unzip", "-l", path, "-x", "a.*"});
    EXPECT_FALSE(contains(excluded.out, "a.txt")) << excluded.out;
}

TEST(NameLists, MissingDirectoryAfterD) {
    std::string dir = scratch_dir("lists_d");
    std::string path = small_archive(dir, "a.zip");
    RunResult r = run_engine({"unzip", "-l", path, "a.txt", "-d"});
    EXPECT_TRUE(
        contains(r.err, "error:  must specify directory to which to extract with -d option\n"))
        << r.err;
}

TEST(ArchiveLoop, MissingArchiveIsRetriedWithZipSuffix) {
    std::string dir = scratch_dir("missing_arch");
    std::string name = dir + "/data";
    engine.kept.no_zip_directory_seen =
        0; // set for the whole process by any earlier file without a directory
    RunResult r = run_engine({"unzip", "-l", name});
    EXPECT_EQ(r.status, 9);
    EXPECT_EQ(r.err, "unzip:  can't find either " + name + " or " + name +
                         ".zip, so there.\n\nNo zipfiles found.\n");
}

TEST(ArchiveLoop, PlainNameFindsZipSuffix) {
    std::string dir = scratch_dir("suffix");
    small_archive(dir, "data.zip");
    RunResult r = run_engine({"unzip", "-l", dir + "/data"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "Archive:  " + dir + "/data.zip\n")) << r.out;
}

TEST(ArchiveLoop, WildcardSpecificationCountsEveryArchive) {
    std::string dir = scratch_dir("wild");
    small_archive(dir, "one.zip");
    small_archive(dir, "two.zip");
    write_file(dir + "/three.zip", std::string(3000, 'n'));
    write_file(dir + "/other.txt", std::string("x"));
    RunResult r = run_engine({"unzip", "-l", dir + "/*.zip"});
    EXPECT_EQ(r.status, 9);
    EXPECT_TRUE(contains(r.err, "2 archives were successfully processed.\n")) << r.err;
    EXPECT_TRUE(contains(r.err, "1 file had no zipfile directory.\n")) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), 'A') >= 2, true);
    EXPECT_FALSE(contains(r.out, "other.txt"));
}

TEST(ArchiveLoop, QuietSingleSuccessPrintsNothingFromTheLoop) {
    std::string dir = scratch_dir("quiet_loop");
    std::string path = small_archive(dir, "a.zip");
    RunResult r = run_engine({"unzip", "-qqt", path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
}

TEST(ArchiveLoop, DirectoriesAsArchives) {
    std::string dir = scratch_dir("dir_arch");
    std::filesystem::create_directories(dir + "/f1.zip");
    std::filesystem::create_directories(dir + "/f2.zip");
    RunResult r = run_engine({"unzip", "-l", dir + "/f*.zip"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "\n2 \"zipfiles\" were directories.\nNo zipfiles found.\n");
}
