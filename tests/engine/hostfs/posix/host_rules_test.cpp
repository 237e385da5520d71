// The POSIX host port: "/" alone separates folders, names keep their dots, there are no drives
// and no volume labels, a full disk is reported, links in the extraction folder are never
// followed, and standard output that fails is a failure.
#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "engine/engine.h"
#include "engine/hostfs/hostfs.h"
#include "tests/support/zip_builder.h"

using namespace qeltest;
namespace fs = std::filesystem;

namespace {

TEST(PosixHost, QuotedSeparatorAndDotsStayInTheName) {
    std::string dir = scratch_dir("posix_quoted");
    Archive a;
    a.members = {stored_member("x\x16/../y.txt", "6"), stored_member("back\\slash.txt", "b")};
    std::string zip = write_zip(dir + "/q.zip", a);
    RunResult r = run_engine({"unzip", zip, "-d", dir + "/out"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_text(dir + "/out/x_../y.txt"), "6");
    // A backslash is an ordinary character of a name here; the engine turns those of the
    // command line into slashes, not those of member names.
    EXPECT_EQ(read_text(dir + "/out/back\\slash.txt"), "b");
}

TEST(PosixHost, ProgramNameAfterTheLastSlashOnly) {
    std::string dir = scratch_dir("posix_program");
    Archive a;
    a.members = {stored_member("a.txt", "a")};
    std::string zip = write_zip(dir + "/a.zip", a);
    EXPECT_TRUE(contains(run_engine({"/opt/qel/zipinfo", zip}).out, "1 file, 1 bytes"));
    // Not a folder separator here: the whole name does not begin with "zipinfo".
    RunResult r = run_engine({"tools\\zipinfo", "-l", zip});
    EXPECT_TRUE(contains(r.out, "Archive:  " + zip + "\n")) << r.out;
}

TEST(PosixHost, NameProbes) {
    FolderFacts known;
    EXPECT_EQ(is_valid_name(std::string(300, 'x').c_str(), known), 0);
    EXPECT_EQ(is_fat_volume("."), 0);
}

TEST(PosixHost, VolumeLabelsAreRefused) {
    std::string dir = scratch_dir("mapname_label");
    Archive a;
    Member label;
    label.name = "MYDISK";
    label.external_attributes = 0x08;
    a.members.push_back(label);
    a.members.push_back(stored_member("plain.txt", "p"));
    std::string zip = write_zip(dir + "/label.zip", a);
    RunResult r = run_engine({"unzip", "-$", zip, "-d", dir + "/out"});
    engine.kept.volume_labels = 0; // kept across calls
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("   skipping: MYDISK                  hard disk volume label\n"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(file_exists(dir + "/out/MYDISK"));
    EXPECT_TRUE(file_exists(dir + "/out/plain.txt"));
}

TEST(PosixHost, DiskFullStopsTheArchive) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP();
    std::string dir = scratch_dir("posix_disk_full");
    Archive a;
    a.members = {stored_member("full", std::string(5000, 'z')),
                 stored_member("after.txt", "after")};
    std::string zip = write_zip(dir + "/full.zip", a);
    // Standard input gives no "y", so the answer is to stop.
    ASSERT_NE(std::freopen("/dev/null", "r", stdin), nullptr);
    RunResult r = run_engine({"unzip", "-o", zip, "-d", "/dev"});
    EXPECT_EQ(r.status, 50);
    EXPECT_NE(r.err.find("/dev/full:  write error (disk full?).  Continue? (y/n/^C) "),
              std::string::npos);
    EXPECT_FALSE(file_exists("/dev/after.txt"));
}

// Links already in the extraction folder: a file that is a link is an existing file whose link
// is replaced, never written through; a folder that is a link fails the member that would pass
// through it.
TEST(PosixHost, LinksInTheExtractionFolderAreNeverFollowed) {
    std::string dir = scratch_dir("posix_links");
    std::string out = dir + "/out", outside = dir + "/outside";
    fs::create_directories(out);
    fs::create_directories(outside);
    write_file(outside + "/victim.txt", std::string("victim"));
    fs::permissions(outside + "/victim.txt", fs::perms::owner_read, fs::perm_options::replace);
    fs::create_symlink(outside + "/victim.txt", out + "/victim");
    fs::create_symlink(outside + "/ghost.txt", out + "/dangling");
    fs::create_symlink(outside, out + "/folder");
    Archive a;
    Member read_only = stored_member("victim", "evil");
    read_only.external_attributes = 0x21;
    a.members = {read_only, stored_member("dangling", "evil"),
                 stored_member("folder/x.txt", "evil"), stored_member("plain.txt", "plain")};
    std::string zip = write_zip(dir + "/links.zip", a);

    auto untouched_outside = [&] {
        EXPECT_EQ(read_text(outside + "/victim.txt"), "victim");
        EXPECT_EQ(fs::status(outside + "/victim.txt").permissions(), fs::perms::owner_read);
        EXPECT_FALSE(file_exists(outside + "/ghost.txt"));
        EXPECT_FALSE(file_exists(outside + "/x.txt"));
    };
    for (const char *never : {"-n", ""}) {
        scripted_policy() = ScriptedPolicy{};
        fs::remove(out + "/plain.txt");
        std::vector<std::string> args = {"unzip", zip, "-d", out};
        if (*never) args.insert(args.begin() + 1, never);
        RunResult r = run_engine(args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_TRUE(contains(r.err, out + "/folder")) << r.err;
        EXPECT_EQ(read_text(out + "/plain.txt"), "plain");
        EXPECT_TRUE(fs::is_symlink(out + "/victim"));
        EXPECT_TRUE(fs::is_symlink(out + "/dangling"));
        untouched_outside();
        if (!*never) {
            EXPECT_EQ(scripted_policy().asked,
                      (std::vector<std::string>{out + "/victim", out + "/dangling"}));
        }
    }
    RunResult r = run_engine({"unzip", "-o", zip, "-d", out});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_FALSE(fs::is_symlink(out + "/victim"));
    EXPECT_FALSE(fs::is_symlink(out + "/dangling"));
    EXPECT_EQ(read_text(out + "/victim"), "evil");
    EXPECT_EQ(read_text(out + "/dangling"), "evil");
    untouched_outside();
}

// A folder that was checked (and made) for one member and is then swapped for a link to another
// place, between members, is never passed through: what follows goes where the folder went or
// fails, and nothing lands behind the link. The swap happens while the engine asks whether to
// replace a file, as another process could do at any moment.
std::string swapped_folder, swap_target;
bool swap_folder_for_link(const char *) {
    fs::rename(swapped_folder, swapped_folder + ".moved");
    fs::create_symlink(swap_target, swapped_folder);
    return false;
}

TEST(PosixHost, FolderSwappedForALinkMidRunIsNotFollowed) {
    std::string dir = scratch_dir("posix_swapped_folder");
    std::string out = dir + "/out", outside = dir + "/outside";
    fs::create_directories(out);
    fs::create_directories(outside);
    write_file(out + "/ask.txt", std::string("kept"));
    swapped_folder = out + "/d";
    swap_target = outside;
    Archive a;
    a.members = {stored_member("d/first.txt", "1"),    stored_member("d/e/deep.txt", "2"),
                 stored_member("ask.txt", "asks"),     stored_member("d/second.txt", "3"),
                 stored_member("d/e/deeper.txt", "4"), stored_member("d/new/third.txt", "5")};
    std::string zip = write_zip(dir + "/swap.zip", a);
    RunResult r = run_engine({"unzip", zip, "-d", out}, swap_folder_for_link);
    EXPECT_TRUE(fs::is_symlink(out + "/d"));
    EXPECT_TRUE(fs::is_empty(outside)) << r.err;
    EXPECT_EQ(read_text(out + "/ask.txt"), "kept");
    EXPECT_EQ(read_text(out + "/d.moved/first.txt"), "1");
}

// -c and -p writing to a full device or to a closed descriptor end with status 50.
TEST(PosixHost, FailingStandardOutputIsAFailure) {
    if (!fs::exists("/dev/full")) GTEST_SKIP();
    std::string dir = scratch_dir("posix_stdout");
    Archive a;
    a.members = {stored_member("data.txt", std::string(10000, 'd'))};
    std::string zip = write_zip(dir + "/out.zip", a);
    for (const char *option : {"-p", "-c"}) {
        for (bool closed : {false, true}) {
            std::fflush(stdout);
            int saved = ::dup(1);
            testing::internal::CaptureStderr();
            if (closed) {
                ::close(1);
            } else {
                int full = ::open("/dev/full", O_WRONLY);
                ::dup2(full, 1);
                ::close(full);
            }
            std::string storage[] = {"unzip", option, zip};
            char *argv[] = {storage[0].data(), storage[1].data(), storage[2].data(), nullptr};
            int status = engine_main(3, argv);
            __fpurge(stdout); // what could not be written is dropped, not written later
            std::clearerr(stdout);
            ::dup2(saved, 1);
            ::close(saved);
            std::string err = testing::internal::GetCapturedStderr();
            EXPECT_EQ(status, 50) << option << (closed ? " closed" : " full") << "\n" << err;
            EXPECT_TRUE(contains(err, "standard output")) << err;
        }
    }
}

// Paths far beyond 260 characters are written whole here, so no member is said to be truncated.
TEST(PosixHost, LongPathsAreWrittenWholeWithoutATruncationWarning) {
    std::string dir = scratch_dir("posix_long_root");
    std::string out = dir;
    for (int i = 0; i < 3; ++i) out += "/" + std::string(200, static_cast<char>('a' + i));
    Archive a;
    for (int i = 0; i < 20; ++i)
        a.members.push_back(stored_member("member" + std::to_string(i) + ".txt", "m"));
    std::string zip = write_zip(dir + "/long.zip", a);
    fs::create_directories(out);
    RunResult r = run_engine({"unzip", zip, "-d", out});
    EXPECT_EQ(r.status, 0) << r.err.substr(0, 2000);
    EXPECT_FALSE(contains(r.err, "truncating")) << r.err.size() << " bytes of messages";
    EXPECT_EQ(read_text(out + "/member19.txt"), "m");
}

// An archive found by a wildcard is named in every message with its control characters shown.
TEST(PosixHost, WildcardArchiveNamesAreShownSafely) {
    std::string dir = scratch_dir("posix_archive_names");
    Archive a;
    a.members = {stored_member("a.txt", "a")};
    write_zip(dir + "/odd\x1b]0;t\x07\x9b"
                    "2J.zip",
              a);
    write_zip(dir + "/plain.zip", a);
    for (const char *option : {"-l", "-t", "-Z"}) {
        RunResult r = run_engine({"unzip", option, dir + "/*.zip"});
        EXPECT_EQ(r.status, 0) << option << r.err;
        EXPECT_TRUE(contains(r.out, "odd^[]0;t^G^[[2J.zip")) << option << r.out;
        for (char c : r.out + r.err)
            EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20)
                << option << ": raw control character in\n"
                << r.out << r.err;
        EXPECT_FALSE(contains(r.out + r.err, "\x9b")) << option;
    }
}

// Member times are local times: a summer and a winter date each get their own offset from UTC,
// from time-zone rules read once per call, both for the file's time and for -u's comparison.
TEST(PosixHost, SummerAndWinterMemberTimes) {
    std::string dir = scratch_dir("posix_times");
    std::string out = dir + "/out";
    Member summer = stored_member("summer.txt", "summer");
    summer.mod_date = ((2021 - 1980) << 9) | (7 << 5) | 15; // 15 July 2021, 12:00 local
    Member winter = stored_member("winter.txt", "winter");
    winter.mod_date = ((2021 - 1980) << 9) | (1 << 5) | 15; // 15 January 2021, 12:00 local
    Archive a;
    a.members = {summer, winter};
    std::string zip = write_zip(dir + "/times.zip", a);

    const char *saved = std::getenv("TZ");
    std::string saved_zone = saved ? saved : "";
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1); // a rule, no zone file needed
    RunResult r = run_engine({"unzip", zip, "-d", out});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::pair<const char *, std::time_t> expected[] = {{"/summer.txt", 1626343200},
                                                             {"/winter.txt", 1610708400}};
    for (const auto &[name, utc] : expected) {
        struct stat st;
        ASSERT_EQ(::stat((out + name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime, utc) << name;
        // Changed, but as new as the member: -u leaves it.
        write_file(out + name, std::string("changed"));
        struct timespec times[2] = {{0, UTIME_OMIT}, {utc, 0}};
        ::utimensat(AT_FDCWD, (out + name).c_str(), times, 0);
    }
    r = run_engine({"unzip", "-uo", zip, "-d", out});
    if (saved)
        ::setenv("TZ", saved_zone.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_text(out + "/summer.txt"), "changed");
    EXPECT_EQ(read_text(out + "/winter.txt"), "changed");
}

} // namespace
