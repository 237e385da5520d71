// Every failure is a failure whatever the verbosity, through engine_main: the status does not
// depend on -q, output lost on standard output fails the call, messages keep off standard output
// where only data or nothing may go, and the command line names its lists and folder exactly.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include "tests/support/engine_call_test.h"
#include "tests/support/scripted_replace_policy.h"
#include "tests/support/zip_builder.h"

using namespace qeltest;
namespace fs = std::filesystem;

namespace {

using FailureStatus = EngineCallTest;

// An archive whose comment runs past the file's end, one with a member whose CRC is wrong, one
// whose member has no valid MS-DOS date.
std::string truncated_comment(const std::string &dir) {
    Archive a;
    a.members = {stored_member("a.txt", "alpha")};
    a.comment = "a comment that the file cuts short";
    Bytes zip = build_zip(a);
    zip.resize(zip.size() - 10);
    write_file(dir + "/comment.zip", zip);
    return dir + "/comment.zip";
}

std::string bad_crc(const std::string &dir) {
    Member m = stored_member("b.txt", "bravo");
    m.override_crc = true;
    m.crc = 7;
    Archive a;
    a.members = {m};
    return write_zip(dir + "/crc.zip", a);
}

TEST_F(FailureStatus, QuietnessNeverChangesTheStatus) {
    const std::string comment = truncated_comment(dir), crc = bad_crc(dir);
    const std::pair<std::string, std::string> rows[] = {
        {comment, "-t"}, {comment, "-l"}, {comment, "-o"}, {crc, "-t"}, {crc, "-o"}};
    for (const auto &[zip, mode] : rows) {
        std::vector<int> statuses;
        for (const char *quiet : {"-b", "-q", "-qq"}) {
            fs::remove_all(out);
            fs::create_directories(out);
            std::vector<std::string> args = {quiet, mode, zip};
            if (mode == "-o") args = {quiet, mode, zip, "-d", out};
            statuses.push_back(run(args).status);
        }
        EXPECT_NE(statuses[0], 0) << zip << " " << mode;
        EXPECT_EQ(statuses[1], statuses[0]) << zip << " " << mode << " -q";
        EXPECT_EQ(statuses[2], statuses[0]) << zip << " " << mode << " -qq";
    }
}

#ifndef _WIN32
// (On Windows a closed standard output is no standard output at all, as for the setup program,
// which has no console: nothing is expected of it there.)

// Runs the engine with standard output full (/dev/full) or closed; its status.
int run_without_output(const std::vector<std::string> &args, const char *device) {
    char **argv = engine_argv(args);
    std::fflush(stdout);
    int saved = dup(1);
    if (device != nullptr) {
        int fd = open(device, O_WRONLY);
        dup2(fd, 1);
        close(fd);
    } else {
        close(1);
    }
    int status = engine_main(static_cast<int>(args.size()), argv);
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::clearerr(stdout);
    return status;
}

TEST_F(FailureStatus, LostStandardOutputFailsEveryMode) {
    Archive a;
    a.members = {stored_member("a.txt", "alpha")};
    a.comment = "comment";
    std::string zip = write_zip(dir + "/good.zip", a);
    const std::vector<std::vector<std::string>> modes = {
        {"unzip", "-l", zip},   {"unzip", "-v", zip},      {"unzip", "-t", zip},
        {"unzip", "-z", zip},   {"unzip", "-c", zip},      {"zipinfo", zip},
        {"zipinfo", "-v", zip}, {"unzip", "-Z", "-1", zip}};
    for (const char *device : {static_cast<const char *>(nullptr), "/dev/full"}) {
        for (const auto &args : modes) {
            EXPECT_EQ(run_without_output(args, device), 50)
                << args[1] << " to " << (device ? device : "a closed output");
        }
    }
    // The same calls with their output intact succeed.
    for (const auto &args : modes) EXPECT_EQ(run_engine(args).status, 0) << args[1];
}
#endif

TEST_F(FailureStatus, StandardOutputCarriesOnlyWhatItMay) {
    Member undated = stored_member("undated.txt", "u");
    undated.mod_date = 0; // no month, no day
    Archive a;
    a.members = {stored_member("a.txt", "alpha"), undated};
    std::string zip = write_zip(dir + "/t.zip", a);

    // Quieter: nothing at all.
    RunResult r = run({"-qq", zip, "-d", out});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(read_text(out + "/undated.txt"), "u");
    // To a pipe: the members' bytes alone, the caution about -d on standard error.
    r = run({"-p", zip, "-d", out});
    EXPECT_EQ(r.out, "alphau");
    EXPECT_TRUE(contains(r.err, "caution:  not extracting; -d ignored")) << r.err;
}

// The folder after -d is never a name: the include list ends at -d unless -d comes first.
TEST_F(FailureStatus, TheExtractionFolderIsNeverAName) {
    Archive a;
    a.members = {stored_member("a.txt", "alpha"), stored_member("b.txt", "bravo"),
                 stored_member("c.txt", "charlie")};
    std::string zip = write_zip(dir + "/t.zip", a);
    const std::vector<std::vector<std::string>> lines = {
        {zip, "a.txt", "-d", out, "-x", "b.txt"},
        {zip, "a.txt", "-d", out, "c.txt", "-x", "b.txt"},
        {zip, "-d", out, "a.txt", "-x", "b.txt"},
    };
    for (const auto &line : lines) {
        fs::remove_all(out);
        RunResult r = run(line);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_FALSE(contains(r.err, "not matched:  " + out)) << r.err;
        EXPECT_FALSE(contains(r.err, "not matched:  c.txt")) << r.err;
        EXPECT_EQ(read_text(out + "/a.txt"), "alpha");
        EXPECT_FALSE(file_exists(out + "/b.txt"));
        EXPECT_FALSE(file_exists(out + "/c.txt"));
    }
}

// An extra field whose blocks overrun it is a fault of the archive (a warning), in either header;
// zeros of padding after the last block (fewer than four bytes) are none.
TEST_F(FailureStatus, ExtraFieldsThatOverrunAreWarnings) {
    const Bytes block = {'u', 'x', 3, 0, 1, 2, 3};
    const struct {
        Bytes central, local;
        int status;
    } rows[] = {
        {{'u', 'x', 4, 0, 1, 2, 3}, {}, 1}, // one byte short, as the central header has it
        {{}, {'u', 'x', 4, 0, 1, 2, 3}, 1}, // the same in the local header
        {{'U', 'T', 0, 0, 3, 0x11, 0x41, 0x33, 0x66}, {}, 1}, // an empty block, then no block
        {{'u', 'x', 3, 0, 1, 2, 3, 0, 0, 0}, block, 0},       // padding, then nothing
    };
    for (const auto &row : rows) {
        Member m = stored_member("a.txt", "alpha");
        m.extra = row.central;
        m.local_extra = row.local;
        Archive a;
        a.members = {m};
        std::string zip = write_zip(dir + "/extra.zip", a);
        fs::remove_all(out);
        EXPECT_EQ(run({zip, "-d", out}).status, row.status);
        EXPECT_EQ(run({"-t", zip}).status, row.status);
        EXPECT_EQ(read_text(out + "/a.txt"), "alpha");
    }
}

// What cannot be written for the archive's sake is an error of the archive, not a full disk.
TEST_F(FailureStatus, UnwritableNamesAreErrorsNotAFullDisk) {
    Archive a;
    a.members = {stored_member(std::string(32767, 'n'), "long"), stored_member("dir.txt", "d"),
                 stored_member("fine.txt", "fine")};
    std::string zip = write_zip(dir + "/names.zip", a);
    fs::create_directories(out + "/dir.txt");
    for (const char *overwrite : {"-b", "-o"}) {
        RunResult r = run({overwrite, zip, "-d", out});
        EXPECT_EQ(r.status, 2) << overwrite << "\n" << r.err;
        EXPECT_TRUE(fs::is_directory(out + "/dir.txt"));
        EXPECT_EQ(read_text(out + "/fine.txt"), "fine");
    }
}

} // namespace
