// The Win32 host port: "/" and "\" separate folders, a colon names a drive, the dots and blanks
// that end a name are dropped before the name is checked, and device names are never written to.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
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

// A component that names a device, with or without an extension, in any folder, is written
// under a safe name with a warning: its data never goes to the device.
TEST(Win32Host, ReservedDeviceNamesGetASafeName) {
    std::string dir = scratch_dir("win32_devices");
    std::string out = dir + "/out";
    Archive a;
    a.members = {stored_member("aux.txt", "1"),      stored_member("CON/inner.txt", "2"),
                 stored_member("sub/lpt1", "3"),     stored_member("nul", "4"),
                 stored_member("Com9.log.txt", "5"), stored_member("prn .txt", "6"),
                 stored_member("console.txt", "7"),  stored_member("com10", "8"),
                 stored_member("CONIN$", "9"),       stored_member("conout$.txt", "10"),
                 stored_member("COM\xb9", "11"),     stored_member("lpt\xb2.txt", "12"),
                 stored_member("LPT\xb3/x", "13"),   stored_member("COM\xb4", "14")};
    std::string zip = write_zip(dir + "/d.zip", a);
    RunResult r = run_engine({"unzip", zip, "-d", out});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(read_text(out + "/_aux.txt"), "1");
    EXPECT_EQ(read_text(out + "/_con/inner.txt"), "2");
    EXPECT_EQ(read_text(out + "/sub/_lpt1"), "3");
    EXPECT_EQ(read_text(out + "/_nul"), "4");
    EXPECT_EQ(read_text(out + "/_com9.log.txt"), "5");
    EXPECT_EQ(read_text(out + "/_prn .txt"), "6");
    EXPECT_EQ(read_text(out + "/console.txt"), "7");
    EXPECT_EQ(read_text(out + "/com10"), "8");
    EXPECT_EQ(read_text(out + "/_conin$"), "9");
    EXPECT_EQ(read_text(out + "/_conout$.txt"), "10");
    EXPECT_EQ(read_text(out + "/_com\xb9"), "11"); // superscript digits (Windows code page)
    EXPECT_EQ(read_text(out + "/_lpt\xb2.txt"), "12");
    EXPECT_EQ(read_text(out + "/_lpt\xb3/x"), "13");
    EXPECT_EQ(read_text(out + "/com\xb4"), "14");
    EXPECT_TRUE(contains(r.err, "aux.txt")) << r.err;
}

// A path beyond what the Windows calls take is cut to fit, with one warning per member cut.
TEST(Win32Host, PathsBeyondTheLimitAreCutOnceWithOneWarning) {
    std::string dir = scratch_dir("win32_long_path");
    std::string out = dir + "/" + std::string(180 - std::min<size_t>(dir.size(), 150), 'f');
    std::filesystem::create_directories(out);
    Archive a;
    for (char c : std::string("xyz")) a.members.push_back(stored_member(std::string(120, c), "l"));
    std::string zip = write_zip(dir + "/long.zip", a);
    RunResult r = run_engine({"unzip", zip, "-d", out});
    EXPECT_EQ(r.status, 0) << r.err;
    size_t warnings = 0;
    for (size_t at = 0; (at = r.err.find("path too long; truncating", at)) != std::string::npos;
         ++at)
        ++warnings;
    EXPECT_EQ(warnings, 3u) << r.err;
    for (const auto &e : std::filesystem::directory_iterator(out)) {
        std::string name = e.path().filename().string();
        EXPECT_EQ((out + "/" + name).size(), size_t{MAX_PATH - 1}) << name;
        EXPECT_EQ(read_text(out + "/" + name), "l");
    }
}

} // namespace
