// Extraction end to end through engine_main: batches, selection, overwrite rules, text
// conversion, test mode, folders, odd names and names that try to leave the extraction folder.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>

#include "engine/engine.h"
#include "tests/support/corpus_manifest.h"
#include "tests/support/corpus_walk.h"
#include "tests/support/deflate_writer.h"
#include "tests/support/scripted_replace_policy.h"
#include "tests/support/zip_builder.h"

using namespace qeltest;
namespace fs = std::filesystem;

namespace {

std::string archive_at(const std::string &dir, const Archive &archive) {
    return write_zip(dir + "/test.zip", archive);
}

size_t count_of(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The member's MS-DOS time (1 January 2002, 12:00:00 local) as seconds since 1970.
int64_t member_seconds() {
    std::tm t{};
    t.tm_year = 102;
    t.tm_mon = 0;
    t.tm_mday = 1;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&t));
}

void set_mtime(const std::string &path, int64_t seconds) {
    auto sys = std::chrono::system_clock::from_time_t(static_cast<std::time_t>(seconds));
    fs::last_write_time(path, std::chrono::file_clock::from_sys(sys));
}

int64_t mtime_of(const std::string &path) {
    auto sys = std::chrono::file_clock::to_sys(fs::last_write_time(path));
    return static_cast<int64_t>(std::chrono::system_clock::to_time_t(
        std::chrono::time_point_cast<std::chrono::system_clock::duration>(sys)));
}

bool writable(const std::string &path) {
    return (fs::status(path).permissions() & fs::perms::owner_write) != fs::perms::none;
}

class Extract : public ::testing::Test {
  protected:
    void SetUp() override {
        scripted_policy() = ScriptedPolicy{};
        // -s, -V and -$ outlive an engine call; each test starts without them.
        engine.kept.spaces_to_underscore = engine.kept.keep_vms_version =
            engine.kept.volume_labels = 0;
        dir = scratch_dir(std::string("extract_") +
                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
        out = dir + "/out";
    }
    RunResult run(std::vector<std::string> args) {
        args.insert(args.begin(), "unzip");
        return run_engine(args);
    }
    std::string dir, out;
};

// --- Batches and test mode -------------------------------------------------------------------

Archive many_members(int count) {
    Archive a;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "batch/m%03d.txt", i);
        Member m = stored_member(name, "member " + std::to_string(i) +
                                           std::string(static_cast<size_t>(i * 7), 'x'));
        m.comment = "comment of " + std::to_string(i); // longer directory entries
        m.extra = {'X', 'Y', 0, 0};                    // an empty block
        a.members.push_back(m);
    }
    return a;
}

TEST_F(Extract, OneHundredThirtyMembersInThreeBatches) {
    std::string zip = archive_at(dir, many_members(130));
    RunResult r = run({"-o", zip, "-d", out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count_of(r.out, "extracting:"), 130u);
    for (int i = 0; i < 130; ++i) {
        char leaf[32];
        std::snprintf(leaf, sizeof leaf, "/batch/m%03d.txt", i);
        std::string name = out + leaf;
        ASSERT_EQ(read_text(name),
                  "member " + std::to_string(i) + std::string(static_cast<size_t>(i * 7), 'x'))
            << name;
    }
    EXPECT_EQ(r.err, "");
}

// What the policy below cuts: the archive, to its directory's start, while the last member of
// the first batch is being extracted.
struct ArchiveCut {
    std::string path;
    uintmax_t length = 0;
};
ArchiveCut &archive_cut() {
    static ArchiveCut cut;
    return cut;
}
bool cut_archive_and_replace(const char *) {
    fs::resize_file(archive_cut().path, archive_cut().length);
    return true;
}

// The walk cannot go back onto the directory after a batch (the archive lost it meanwhile): the
// archive ends there with status 51, and nothing past it is taken from stale input.
TEST_F(Extract, DirectoryLostBetweenBatchesEndsTheArchive) {
    Archive a = many_members(70);
    Bytes bytes = build_zip(a);
    const std::string text(bytes.begin(), bytes.end());
    std::string zip = archive_at(dir, a);
    archive_cut() = {zip, text.find("PK\1\2")};
    fs::create_directories(out + "/batch");
    write_file(out + "/batch/m063.txt", "existing");
    RunResult r = run_engine({"unzip", "-q", zip, "-d", out}, cut_archive_and_replace);
    EXPECT_EQ(r.status, 51) << r.err;
    EXPECT_EQ(read_text(out + "/batch/m063.txt"), "member 63" + std::string(63 * 7, 'x'));
    EXPECT_FALSE(file_exists(out + "/batch/m064.txt"));
}

TEST_F(Extract, TestModeSummaries) {
    std::string zip = archive_at(dir, many_members(130));
    RunResult r = run({"-t", zip});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(count_of(r.out, " OK\n"), 130u);
    EXPECT_NE(r.out.find("No errors detected in compressed data of " + zip + ".\n"),
              std::string::npos);
    EXPECT_FALSE(file_exists(dir + "/batch"));

    r = run({"-t", zip, "batch/m12*", "batch/m001.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("No errors detected in " + zip + " for the 11 files tested.\n"),
              std::string::npos)
        << r.out;

    r = run({"-t", zip, "nothing*"});
    EXPECT_NE(r.out.find("Caution:  zero files tested in " + zip + ".\n"), std::string::npos);
    EXPECT_NE(r.err.find("caution: filename not matched:  nothing*\n"), std::string::npos);
}

TEST_F(Extract, BadCrcIsReportedAndFileKept) {
    Archive a;
    Member m = stored_member("bad.txt", "contents");
    m.override_crc = true;
    m.crc = 0x12345678;
    a.members.push_back(m);
    a.members.push_back(stored_member("good.txt", "fine"));
    std::string zip = archive_at(dir, a);
    RunResult r = run({"-t", zip});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(" bad CRC "), std::string::npos);
    EXPECT_NE(r.err.find("(should be 12345678)"), std::string::npos);
    EXPECT_NE(r.out.find("At least one error was detected in " + zip + ".\n"), std::string::npos);
    r = run({zip, "-d", out});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(read_text(out + "/bad.txt"), "contents");
    EXPECT_EQ(read_text(out + "/good.txt"), "fine");
}

TEST_F(Extract, UnsupportedMethodsAndEncryptionAreSkipped) {
    struct Row {
        const char *name;
        uint16_t method, flags;
        uint8_t version;
        const char *why;
    } rows[] = {
        {"tokenized.bin", 7, 0, 20, "compression method 7"},
        {"bzip2.bin", 12, 0, 46, "compression method 12 (bzip2)"},
        {"lzma.bin", 14, 0, 63, "compression method 14 (LZMA)"},
        {"zstd.bin", 93, 0, 63, "compression method 93 (Zstandard)"},
        {"xz.bin", 95, 0, 63, "compression method 95 (xz)"},
        {"ppmd.bin", 98, 0, 63, "compression method 98 (PPMd)"},
        {"aes.bin", 99, 1, 51, "AES encryption (not supported)"},
        {"strong.bin", 8, 0x41, 50, "strong encryption (not supported)"},
        {"newer.txt", 0, 0, 46, "need PK compat. v4.6 (can do v4.5)"},
    };
    Archive a;
    for (const Row &row : rows) {
        Member m = stored_member(row.name, "abc");
        m.method = row.method;
        m.flags = row.flags;
        m.version_needed = row.version;
        m.compressed = to_bytes("abc");
        a.members.push_back(m);
    }
    // Marked as needing 4.5, but stored: read.
    Member stored45 = stored_member("stored45.txt", "plain");
    stored45.version_needed = 45;
    a.members.push_back(stored45);
    std::string zip = archive_at(dir, a);
    RunResult r = run({zip, "-d", out});
    EXPECT_EQ(r.status, 1);
    for (const Row &row : rows) {
        std::string line = "   skipping: " + std::string(row.name);
        line.resize(13 + 22, ' ');
        EXPECT_TRUE(contains(r.err, line + "  " + row.why + "\n")) << row.why << "\n" << r.err;
        EXPECT_FALSE(file_exists(out + "/" + row.name));
    }
    EXPECT_EQ(read_text(out + "/stored45.txt"), "plain");

    r = run({"-t", zip});
    EXPECT_TRUE(
        contains(r.out, "9 files skipped because of unsupported compression or encoding.\n"));
}

TEST_F(Extract, VmsMembers) {
    Archive a;
    Member too_new = stored_member("vmsnew.txt", "n");
    too_new.host_needed = 2;
    too_new.version_needed = 43;
    Member vms = stored_member("vms.txt", "v");
    vms.host_needed = 2;
    a.members = {too_new, vms};
    std::string zip = archive_at(dir, a);
    // With -o there is no question; the member of a newer VMS version is skipped.
    RunResult r = run({"-o", zip, "-d", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(
        r.err.find("   skipping: vmsnew.txt              need VMS compat. v4.3 (can do v4.2)\n"),
        std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("Extract anyway?"), std::string::npos);
    EXPECT_EQ(read_text(out + "/vms.txt"), "v");
}

TEST_F(Extract, CompressedMethodsReachTheirDecoders) {
    // Whatever the decoder answers, the member is handed to it, never skipped.
    Archive a;
    Member d = stored_member("deflated.txt", "hello");
    d.method = 8;
    d.compressed = to_bytes("\xcb\x48\xcd\xc9\xc9\x07\x00");
    a.members.push_back(d);
    std::string zip = archive_at(dir, a);
    RunResult r = run({"-t", zip});
    EXPECT_EQ(r.err.find("compression method"), std::string::npos);
    EXPECT_NE(r.out.find("testing: deflated.txt"), std::string::npos);
}

// The error lines of a member that its decoder refuses, for bad data and for lack of memory, in
// the loud and the quiet form, with the status each gives.
TEST_F(Extract, DecoderErrorLinesNameTheMethod) {
    // Bad data: a deflate block of the invalid type 3, an implode tree description too short.
    Archive bad;
    Member deflated = stored_member("bad.def", "abc");
    deflated.method = 8;
    deflated.compressed = {0x07, 0x00};
    Member imploded = stored_member("bad.imp", "abc");
    imploded.method = 6;
    imploded.compressed = {0x00, 0x05};
    bad.members = {deflated, imploded};
    std::string zip = archive_at(dir, bad);
    RunResult loud = run({"-t", zip});
    EXPECT_EQ(loud.status, 2);
    EXPECT_TRUE(contains(loud.err, "\n  error:  invalid compressed data for inflate format\n"))
        << loud.err;
    EXPECT_TRUE(contains(loud.err, "\n  error:  invalid compressed data for explode format\n"))
        << loud.err;
    RunResult quiet = run({"-qq", "-t", zip});
    EXPECT_EQ(quiet.status, 2);
    EXPECT_TRUE(contains(quiet.err, "  error:  invalid compressed (deflated) data for bad.def\n"))
        << quiet.err;
    EXPECT_TRUE(contains(quiet.err, "  error:  invalid compressed (imploded) data for bad.imp\n"))
        << quiet.err;

    // No memory for the decoding tables: a fixed deflate block and a real imploded member.
    Archive good;
    DeflateWriter w;
    w.fixed_header(true);
    w.fixed_literal('a');
    w.fixed_end();
    Member fixed = stored_member("mem.def", "a");
    fixed.method = 8;
    fixed.compressed = w.finish();
    Member exploding = member_of(raw_members(corpus_path("implode-first.zip")).at(0));
    exploding.name = "mem.imp";
    good.members = {fixed, exploding};
    zip = archive_at(dir, good);
    EXPECT_EQ(run({"-t", zip}).status, 0);
    engine.decoders.table_memory.fail_after = 0; // every table allocation fails
    loud = run({"-t", zip});
    quiet = run({"-qq", "-t", zip});
    engine.decoders.table_memory.fail_after = -1;
    EXPECT_EQ(loud.status, 5);
    EXPECT_TRUE(contains(loud.err, "\n  error:  not enough memory for inflate operation\n"))
        << loud.err;
    EXPECT_TRUE(contains(loud.err, "\n  error:  not enough memory for explode operation\n"))
        << loud.err;
    EXPECT_EQ(quiet.status, 5);
    EXPECT_TRUE(contains(quiet.err, "  error:  not enough memory to inflate mem.def\n"))
        << quiet.err;
    EXPECT_TRUE(contains(quiet.err, "  error:  not enough memory to explode mem.imp\n"))
        << quiet.err;
}

// --- Selection -------------------------------------------------------------------------------

TEST_F(Extract, IncludeAndExcludeListsWithWildcards) {
    Archive a;
    for (const char *n : {"docs/a1.txt", "docs/a2.txt", "docs/b1.txt", "src/a3.c", "src/b2.c"})
        a.members.push_back(stored_member(n, n));
    std::string zip = archive_at(dir, a);
    RunResult r = run({zip, "docs/*", "src/a?.c", "missing.txt", "-x", "*2*", "zz*", "-d", out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(file_exists(out + "/docs/a1.txt"));
    EXPECT_TRUE(file_exists(out + "/docs/b1.txt"));
    EXPECT_TRUE(file_exists(out + "/src/a3.c"));
    EXPECT_FALSE(file_exists(out + "/docs/a2.txt"));
    EXPECT_FALSE(file_exists(out + "/src/b2.c"));
    EXPECT_NE(r.err.find("caution: filename not matched:  missing.txt\n"), std::string::npos);
    EXPECT_NE(r.err.find("caution: excluded filename not matched:  zz*\n"), std::string::npos);
    EXPECT_EQ(r.err.find("not matched:  docs/*"), std::string::npos);
    EXPECT_EQ(r.err.find("not matched:  *2*"), std::string::npos);
}

TEST_F(Extract, FoldedNamesMatchWithoutRegardToCase) {
    Archive a;
    a.members.push_back(stored_member("README.TXT", "r")); // MS-DOS member: folded to lower case
    std::string zip = archive_at(dir, a);
    RunResult r = run({zip, "ReadMe.*", "-d", out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_text(out + "/readme.txt"), "r");
}

// A name with both cases cannot come from an MS-DOS file system of the time: it keeps its case,
// is listed unmarked and is matched with regard to case. One case alone is folded as always.
TEST_F(Extract, MsDosNamesWithBothCasesKeepThem) {
    Archive a;
    a.members = {stored_member("Foo.class", "upper"), stored_member("foo.class", "lower"),
                 stored_member("BAR.TXT", "bar")};
    std::string zip = archive_at(dir, a);
    RunResult listed = run({"-l", zip});
    EXPECT_TRUE(contains(listed.out, "   Foo.class\n")) << listed.out;
    EXPECT_TRUE(contains(listed.out, "  ^foo.class\n")) << listed.out;
    EXPECT_TRUE(contains(listed.out, "  ^bar.txt\n")) << listed.out;
    struct Row {
        const char *pattern;
        std::vector<std::string> listed; // the members the pattern selects
    };
    for (const Row &row : std::vector<Row>{{"foo.class", {"foo.class"}},
                                           {"FOO.CLASS", {"foo.class"}},
                                           {"Foo.class", {"Foo.class", "foo.class"}},
                                           {"F*", {"Foo.class", "foo.class"}},
                                           {"Bar.txt", {"bar.txt"}}}) {
        RunResult r = run({"-l", "-qq", zip, row.pattern});
        std::vector<std::string> listed;
        for (size_t at = 0; (at = r.out.find(":00", at)) != std::string::npos; ++at)
            listed.push_back(r.out.substr(at + 6, r.out.find('\n', at) - at - 6));
        EXPECT_EQ(listed, row.listed) << row.pattern << "\n" << r.out;
    }
#ifndef _WIN32 // (one file there: its file system ignores case)
    RunResult r = run({zip, "-d", out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_text(out + "/Foo.class"), "upper");
    EXPECT_EQ(read_text(out + "/foo.class"), "lower");
    EXPECT_EQ(read_text(out + "/bar.txt"), "bar");
#endif
}

// Names that are patterns, options or the marker themselves: after "--" each literal pattern
// selects its own member and nothing else (its contents, piped, are its name), "-d" and "-x"
// there are names, and a name that is not there is counted.
TEST_F(Extract, LiteralNamesAfterTheEndOfOptionsSelectOneMember) {
    const std::vector<std::string> names = {"*",    "-x",  "-d",    "[a]", "a",
                                            "a\\b", "a/b", "?.txt", "--",  "x\\*"};
    Archive a;
    for (const std::string &name : names) {
        Member m = stored_member(name, name);
        m.host_made_by = 3; // names as stored, not folded
        a.members.push_back(m);
    }
    std::string zip = archive_at(dir, a);
    for (const std::string &name : names) {
        RunResult r = run({"-p", zip, "--", literal_pattern(name.c_str())});
        EXPECT_EQ(r.status, 0) << name << r.err;
        EXPECT_EQ(names_not_matched(), 0) << name;
        EXPECT_EQ(r.out, name);
    }
    RunResult r = run({"-qq", zip, "-d", out, "--", "-d", "-x", "nothing.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_text(out + "/-d") + read_text(out + "/-x"), "-d-x");
    EXPECT_EQ(names_not_matched(), 1);
    EXPECT_TRUE(contains(r.err, "caution: filename not matched:  nothing.txt\n")) << r.err;
}

// --- Existing files --------------------------------------------------------------------------

class Overwrite : public Extract {
  protected:
    void SetUp() override {
        Extract::SetUp();
        Archive a;
        a.members.push_back(stored_member("phone.fon", "from archive"));
        zip = archive_at(dir, a);
        fs::create_directories(out);
        target = out + "/phone.fon";
    }
    void existing(int64_t seconds) {
        write_file(target, std::string("existing"));
        set_mtime(target, seconds);
    }
    std::string zip, target;
};

TEST_F(Overwrite, MissingFileIsCreatedUnlessFreshening) {
    RunResult r = run({"-f", zip, "-d", out});
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(file_exists(target));
    r = run({"-u", zip, "-d", out});
    EXPECT_EQ(read_text(target), "from archive");
    EXPECT_TRUE(scripted_policy().asked.empty());
}

TEST_F(Overwrite, FresheningIntoAMissingFolderLeavesTheCurrentFolderAlone) {
    existing(member_seconds() - 3600);
    fs::path saved = fs::current_path();
    fs::current_path(out);
    RunResult r = run({"-fo", zip, "-d", dir + "/missing"});
    fs::current_path(saved);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_text(target), "existing");
    EXPECT_FALSE(file_exists(dir + "/missing"));
}

TEST_F(Overwrite, OlderFileAsksThePolicyWithTheFullPath) {
    existing(member_seconds() - 3600);
    scripted_policy().answer = false;
    RunResult r = run({zip, "-d", out});
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(scripted_policy().asked.size(), 1u);
    EXPECT_EQ(scripted_policy().asked[0], target);
    EXPECT_EQ(read_text(target), "existing");
    EXPECT_EQ(r.out.find("phone.fon\n"), std::string::npos); // skipped silently

    scripted_policy().answer = true;
    r = run({zip, "-d", out});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_text(target), "from archive");
    EXPECT_EQ(mtime_of(target), member_seconds());
}

// The engine library alone asks nobody: without a policy handed over, an existing file stays.
TEST_F(Overwrite, WithoutAPolicyTheExistingFileIsKept) {
    existing(member_seconds() - 3600);
    RunResult r = run_engine({"unzip", zip, "-d", out}, nullptr);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_text(target), "existing");
    EXPECT_TRUE(scripted_policy().asked.empty());
}

TEST_F(Overwrite, OverwriteOptionNeverAsks) {
    existing(member_seconds() + 3600);
    RunResult r = run({"-o", zip, "-d", out});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(scripted_policy().asked.empty());
    EXPECT_EQ(read_text(target), "from archive");
}

TEST_F(Overwrite, NeverOverwrite) {
    existing(member_seconds() - 3600);
    RunResult r = run({"-n", zip, "-d", out});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_text(target), "existing");
    r = run({"-n", "-o", zip, "-d", out});
    EXPECT_NE(r.err.find("caution:  both -n and -o specified; ignoring -o\n"), std::string::npos);
    EXPECT_EQ(read_text(target), "existing");
    EXPECT_TRUE(scripted_policy().asked.empty());
}

TEST_F(Overwrite, OddSecondRoundsUpToEquallyNew) {
    // One second before the member's even time: rounded up, it counts as equally new.
    existing(member_seconds() - 1);
    RunResult r = run({"-uo", zip, "-d", out});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_text(target), "existing");
    r = run({"-fo", zip, "-d", out});
    EXPECT_EQ(read_text(target), "existing");

    existing(member_seconds() - 3); // rounds to two seconds before: older
    r = run({"-uo", zip, "-d", out});
    EXPECT_EQ(read_text(target), "from archive");

    existing(member_seconds() - 3);
    r = run({"-fo", zip, "-d", out});
    EXPECT_EQ(read_text(target), "from archive");
}

TEST_F(Overwrite, NewerFileWithoutOptionsAsks) {
    existing(member_seconds() + 10);
    scripted_policy().answer = true;
    RunResult r = run({zip, "-d", out});
    EXPECT_EQ(scripted_policy().asked.size(), 1u);
    EXPECT_EQ(read_text(target), "from archive");
}

TEST_F(Overwrite, ReadOnlyExistingFileIsReplaced) {
    existing(member_seconds() - 3600);
    fs::permissions(target,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    ASSERT_FALSE(writable(target));
    RunResult r = run({"-o", zip, "-d", out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_text(target), "from archive");
}

TEST_F(Extract, ReadOnlyMemberGetsReadOnlyFile) {
    Archive a;
    Member m = stored_member("locked.txt", "locked");
    m.external_attributes = 0x21;
    a.members = {m, stored_member("open.txt", "open")};
    std::string zip = archive_at(dir, a);
    RunResult r = run({zip, "-d", out});
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(writable(out + "/locked.txt"));
    EXPECT_TRUE(writable(out + "/open.txt"));
    // And it can be extracted over again.
    r = run({"-o", zip, "-d", out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_text(out + "/locked.txt"), "locked");
}

TEST_F(Extract, OutputThatCannotBeCreatedFailsThatMemberOnly) {
    Archive a;
    a.members = {stored_member("blocked", "x"), stored_member("fine.txt", "fine")};
    std::string zip = archive_at(dir, a);
    fs::create_directories(out + "/blocked");
    RunResult r = run({"-o", zip, "-d", out});
    EXPECT_EQ(r.status, 2); // the archive's conflict with the folder, not a full disk
    EXPECT_NE(r.err.find("error:  cannot create " + out + "/blocked\n"), std::string::npos);
    EXPECT_EQ(read_text(out + "/fine.txt"), "fine");
}

// --- Text conversion -------------------------------------------------------------------------

TEST_F(Extract, TextConversionLevels) {
    const std::string body = "lf\ncr\rcrlf\r\ncrcrlf\r\r\nend";
    const std::string converted = "lf\r\ncr\r\ncrlf\r\ncrcrlf\r\n\r\nend";
    Archive a;
    Member text = stored_member("text.txt", body);
    text.internal_attributes = 1;
    a.members = {text, stored_member("binary.bin", body)};
    std::string zip = archive_at(dir, a);

    RunResult r = run({"-a", zip, "-d", out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_text(out + "/text.txt"), converted);
    EXPECT_EQ(read_text(out + "/binary.bin"), body);
    EXPECT_NE(r.out.find("extracting: " + out + "/text.txt  [text]  "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("[binary]"), std::string::npos);

    r = run({"-aao", zip, "-d", out});
    EXPECT_EQ(read_text(out + "/binary.bin"), converted);

    r = run({"-o", zip, "-d", out});
    EXPECT_EQ(read_text(out + "/text.txt"), body);
}

TEST_F(Extract, CarriageReturnAtTheWindowEnd) {
    // The stored copy hands 32768-byte blocks to the writer: a CR LF split between two blocks
    // must give one CR LF, and a CR ending a block before another byte a CR LF of its own.
    std::string split(32767, 'a');
    split += "\r\nb";
    std::string lone(32767, 'a');
    lone += "\rb";
    Archive a;
    a.members = {stored_member("split.txt", split), stored_member("lone.txt", lone)};
    std::string zip = archive_at(dir, a);
    RunResult r = run({"-aa", zip, "-d", out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_text(out + "/split.txt"), std::string(32767, 'a') + "\r\nb");
    EXPECT_EQ(read_text(out + "/lone.txt"), std::string(32767, 'a') + "\r\nb");
}

TEST_F(Extract, EmptyMember) {
    Archive a;
    a.members = {stored_member("empty.dat", "")};
    std::string zip = archive_at(dir, a);
    RunResult r = run({"-a", zip, "-d", out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(file_exists(out + "/empty.dat"));
    EXPECT_EQ(read_file(out + "/empty.dat").size(), 0u);
    EXPECT_NE(r.out.find("[empty] "), std::string::npos);
    r = run({"-t", zip});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(" OK\n"), std::string::npos);
}

TEST_F(Extract, DataDescriptorMemberUsesTheCentralSizes) {
    Archive a;
    Member m = stored_member("described.txt", "described contents");
    m.data_descriptor = true;
    a.members = {m};
    std::string zip = archive_at(dir, a);
    RunResult r = run({zip, "-d", out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_text(out + "/described.txt"), "described contents");
}

TEST_F(Extract, PipeAndScreen) {
    Archive a;
    a.members = {stored_member("one.txt", "first\n"), stored_member("two.txt", "second\n")};
    std::string zip = archive_at(dir, a);
    RunResult r = run({"-p", zip});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "first\nsecond\n");
    r = run({"-c", zip, "two.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(" extracting: two.txt" + std::string(17, ' ') + "\nsecond\n"),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(file_exists("one.txt"));
}

// --- Folders and names -----------------------------------------------------------------------

TEST_F(Extract, FolderMembersAreCreated) {
    Archive a;
    a.members = {stored_member("newdir/", ""), stored_member("newdir/inner/", ""),
                 stored_member("newdir/inner/f.txt", "f")};
    std::string zip = archive_at(dir, a);
    RunResult r = run({zip, "-d", out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("   creating: " + out + "/newdir/"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::is_directory(out + "/newdir/inner"));
    EXPECT_EQ(read_text(out + "/newdir/inner/f.txt"), "f");
}

TEST_F(Extract, JunkedPaths) {
    Archive a;
    a.members = {stored_member("LOG/", ""), stored_member("SCRIPT/samples/misc/first.qrx", "q")};
    std::string zip = archive_at(dir, a);
    RunResult r = run({"-qq", "-j", zip, "SCRIPT/samples/misc/first.qrx", "-d", out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_text(out + "/first.qrx"), "q");
    EXPECT_FALSE(file_exists(out + "/script"));
    EXPECT_EQ(r.out, "");
    r = run({"-j", zip, "LOG/", "-d", out});
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(file_exists(out + "/log"));
}

TEST_F(Extract, RootWithMissingParentIsRefused) {
    Archive a;
    a.members = {stored_member("x.txt", "x")};
    std::string zip = archive_at(dir, a);
    std::string root = dir + "/missing/parent";
    RunResult r = run({zip, "-d", root});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("checkdir:  can't create extraction directory: " + root + "\n"),
              std::string::npos);
    EXPECT_FALSE(file_exists(root));

    // One missing level is created.
    r = run({zip, "-d", dir + "/onelevel/"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_text(dir + "/onelevel/x.txt"), "x");
}

TEST_F(Extract, ColonsVersionsAndBlanks) {
    Archive a;
    a.members = {stored_member("a:b;3", "1"), stored_member("c;d", "2"),
                 stored_member("my file.txt", "3"), stored_member("v;", "4"),
                 stored_member("ver.txt;2", "5")};
    std::string zip = archive_at(dir, a);
    RunResult r = run({zip, "-d", out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_text(out + "/a_b"), "1");
    EXPECT_EQ(read_text(out + "/c;d"), "2");
    EXPECT_EQ(read_text(out + "/my file.txt"), "3"); // the scratch folder is not on FAT
    EXPECT_EQ(read_text(out + "/v"), "4");
    EXPECT_EQ(read_text(out + "/ver.txt"), "5");

    r = run({"-V", zip, "a:b;3", "-d", out});
    EXPECT_EQ(read_text(out + "/a_b;3"), "1");
    r = run({"-s", zip, "my file.txt", "-d", out});
    EXPECT_EQ(read_text(out + "/my_file.txt"), "3");
}

TEST_F(Extract, NamesNeverLeaveTheExtractionFolder) {
    Archive a;
    a.members = {stored_member("../escape1.txt", "1"),
                 stored_member("/abs/escape2.txt", "2"),
                 stored_member("sub/../../escape3.txt", "3"),
                 stored_member("./sub/./ok.txt", "4"),
                 stored_member("..", "5"),
                 stored_member("//server/share.txt", "7"),
                 stored_member("sub/..", "8")};
    std::string zip = archive_at(dir, a);
    fs::create_directories(out);
    RunResult r = run({zip, "-d", out});
    EXPECT_EQ(r.status, 2); // the names ".." and "sub/.." cannot be mapped
    // (A quoted separator is a host rule: tests/engine/hostfs/posix and win32.)
    EXPECT_EQ(read_text(out + "/escape1.txt"), "1");
    EXPECT_EQ(read_text(out + "/abs/escape2.txt"), "2");
    EXPECT_EQ(read_text(out + "/sub/escape3.txt"), "3");
    EXPECT_EQ(read_text(out + "/sub/ok.txt"), "4");
    EXPECT_EQ(read_text(out + "/server/share.txt"), "7");
    EXPECT_NE(r.err.find("mapname:  conversion of .. failed\n"), std::string::npos);
    EXPECT_FALSE(file_exists(dir + "/escape1.txt"));
    EXPECT_FALSE(file_exists(dir + "/escape3.txt"));
    EXPECT_FALSE(file_exists("/abs/escape2.txt"));
    // Nothing but "out" and the archive in the scratch folder.
    size_t entries = 0;
    for (const auto &e : fs::directory_iterator(dir)) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 2u);
}

TEST_F(Extract, LongNamesAreCutNotOverflowed) {
    Archive a;
    std::string deep;
    for (int i = 0; i < 30; ++i) deep += "folder" + std::to_string(i) + "/";
    a.members = {stored_member(std::string(300, 'n'), "long"),
                 stored_member(deep + "leaf.txt", "deep"), stored_member("ok.txt", "ok")};
    std::string zip = archive_at(dir, a);
    RunResult r = run({zip, "-d", out});
    EXPECT_GE(r.status, 1);
    EXPECT_NE(r.err.find("warning:  filename too long--truncating.\n"), std::string::npos);
    EXPECT_EQ(read_text(out + "/ok.txt"), "ok");
}

TEST_F(Extract, MemberZeroIsReCompensated) {
    // Junk between the members and the directory looks like bytes in front of the archive;
    // the first member's header is then found again at its stored offset.
    Archive a;
    a.members = {stored_member("first.txt", "first"), stored_member("second.txt", "second")};
    Bytes zip_bytes = build_zip(a);
    size_t directory = 0;
    for (size_t i = 0; i + 4 <= zip_bytes.size(); ++i)
        if (zip_bytes[i] == 'P' && zip_bytes[i + 1] == 'K' && zip_bytes[i + 2] == 1 &&
            zip_bytes[i + 3] == 2) {
            directory = i;
            break;
        }
    zip_bytes.insert(zip_bytes.begin() + static_cast<long>(directory), 100, 0xEE);
    std::string zip = dir + "/shifted.zip";
    write_file(zip, zip_bytes);
    RunResult r = run({zip, "-d", out});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("file #0:  bad zipfile offset (local header sig):  100\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("  (attempting to re-compensate)\n"), std::string::npos);
    EXPECT_EQ(read_text(out + "/first.txt"), "first");
    EXPECT_EQ(read_text(out + "/second.txt"), "second");
}

TEST_F(Extract, MemberTimeIsRestored) {
    Archive a;
    Member m = stored_member("timed.txt", "t");
    m.mod_time = (13 << 11) | (45 << 5) | 15; // 13:45:30
    m.mod_date = ((1999 - 1980) << 9) | (7 << 5) | 4;
    a.members = {m};
    std::string zip = archive_at(dir, a);
    RunResult r = run({zip, "-d", out});
    EXPECT_EQ(r.status, 0);
    std::tm t{};
    t.tm_year = 99;
    t.tm_mon = 6;
    t.tm_mday = 4;
    t.tm_hour = 13;
    t.tm_min = 45;
    t.tm_sec = 30;
    t.tm_isdst = -1;
    EXPECT_EQ(mtime_of(out + "/timed.txt"), static_cast<int64_t>(std::mktime(&t)));
    EXPECT_EQ(dos_to_seconds(m.mod_date, m.mod_time), static_cast<int64_t>(std::mktime(&t)));
}

// --- The real archives -----------------------------------------------------------------------

TEST_F(Extract, StoredCorpusMembersAreExact) {
    int checked = 0;
    fs::create_directories(out);
    for (const ManifestMember &m : corpus_manifest()) {
        if (m.method != 0) continue;
        std::string target = out + "/" + m.archive;
        RunResult r = run({"-o", "-U", corpus_path(m.archive), m.name, "-d", target});
        ASSERT_EQ(r.status, 0) << m.archive << " " << m.name << r.err;
        Bytes got = read_file(target + "/" + m.name);
        EXPECT_EQ(got.size(), m.size) << m.name;
        EXPECT_EQ(sha256_hex(got), m.sha256) << m.name;
        ++checked;
    }
    EXPECT_GE(checked, 2);
}

} // namespace
