// The Win32 host port: "/" and "\" separate folders, a colon names a drive, and the dots and
// blanks that end a name are dropped before the name is checked.
#include <gtest/gtest.h>

#include <string>

#include "engine/engine.h"
#include "tests/support/zip_builder.h"

using namespace qeltest;

namespace {

TEST(Win32Host, QuotedSeparatorAndTrailingDots) {
    std::string dir = scratch_dir("win32_quoted");
    Archive a;
    a.members = {stored_member("x\x16/../y.txt", "6")};
    std::string zip = write_zip(dir + "/q.zip", a);
    RunResult r = run_engine({"unzip", zip, "-d", dir + "/out"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_text(dir + "/out/x_/y.txt"), "6"); // Windows drops trailing dots
}

TEST(Win32Host, SeparatorsAndDrivesStayInside) {
    std::string dir = scratch_dir("win32_separators");
    std::string out = dir + "/out";
    Archive a;
    a.members = {stored_member("..\\win1.txt", "1"), stored_member("C:\\win2.txt", "2"),
                 stored_member("C:win3.txt", "3"), stored_member("sub\\...\\win4.txt", "4"),
                 stored_member("sub\\. .\\win5.txt", "5")};
    std::string zip = write_zip(dir + "/s.zip", a);
    RunResult r = run_engine({"unzip", zip, "-d", out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_text(out + "/win1.txt"), "1");
    EXPECT_EQ(read_text(out + "/c_/win2.txt"), "2");
    EXPECT_EQ(read_text(out + "/c_win3.txt"), "3");
    EXPECT_EQ(read_text(out + "/sub/win4.txt"), "4");
    EXPECT_EQ(read_text(out + "/sub/win5.txt"), "5");
    EXPECT_FALSE(file_exists(dir + "/win1.txt"));
}

TEST(Win32Host, ProgramNameAfterTheLastBackslash) {
    std::string dir = scratch_dir("win32_program");
    Archive a;
    a.members = {stored_member("a.txt", "a")};
    std::string zip = write_zip(dir + "/a.zip", a);
    EXPECT_TRUE(contains(run_engine({"C:\\QEL\\ZIPINFO.EXE", zip}).out, "1 file, 1 bytes"));
}

} // namespace
