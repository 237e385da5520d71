// The POSIX host port: "/" alone separates folders, names keep their dots, there are no drives
// and no volume labels, and a full disk is reported.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/engine.h"
#include "engine/hostfs/hostfs.h"
#include "tests/support/zip_builder.h"

using namespace qeltest;

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
    EXPECT_EQ(is_valid_name(std::string(300, 'x').c_str()), 0);
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

} // namespace
