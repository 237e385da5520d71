// Names, times and modes of today's archives through the engine's entry: UTF-8 names (flag bit
// 11, the Unicode path field), extended-timestamp and NTFS times, Unix permission bits; the
// peers' own archives that carry them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <sys/types.h>
#endif

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/engine_call_test.h"
#include "tests/support/zip_builder.h"

using namespace qeltest;
namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
constexpr bool ON_WINDOWS = true;
#else
constexpr bool ON_WINDOWS = false;
#endif

constexpr uint16_t UTF8_FLAG = 0x0800;

// A path given as UTF-8 text, as the host names it.
fs::path utf8_path(const std::string &text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string content_of(const fs::path &path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// A file's modification and access times, seconds since 1970.
constexpr int64_t NO_TIME = INT64_MIN;
struct Times {
    int64_t modified = NO_TIME;
    int64_t accessed = NO_TIME;
};
Times times_of(const fs::path &path) {
#ifdef _WIN32
    struct _stat64 st;
    if (::_wstat64(path.c_str(), &st) != 0) return {};
#else
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return {};
#endif
    return {static_cast<int64_t>(st.st_mtime), static_cast<int64_t>(st.st_atime)};
}

std::string peer_archive(const std::string &name) {
    return corpus_path("../peer-suites/" + name);
}

class NamesAndTimes : public EngineCallTest {};

// --- Names -------------------------------------------------------------------------------------

struct NameRow {
    std::string stored;          // the header's name field
    uint16_t flags;              // general-purpose flags
    Bytes extra;                 // the directory entry's extra field
    Bytes local_extra;           // the local header's
    std::string expected;        // where it lands below the root (UTF-8)
    std::string local_name = {}; // the local header's name, when another
};

Bytes concat(const std::vector<Bytes> &parts) {
    Bytes all;
    for (const Bytes &part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The Unicode path field of a stored name.
Bytes unicode(const std::string &stored, const std::string &name, uint8_t version = 1) {
    return unicode_path_field(stored, name, version);
}

TEST_F(NamesAndTimes, Utf8NamesAndUnicodePathFields) {
    // Greek and CJK names are beyond the ANSI code page: on Windows they take the wide calls;
    // "naïve" it holds, and takes the classic ones.
    const std::vector<NameRow> rows = {
        // Flag bit 11: UTF-8 text as it is, never folded (an MS-DOS host otherwise folds).
        {"Ωmega/Naïve-Ω.TXT", UTF8_FLAG, {}, {}, "Ωmega/Naïve-Ω.TXT"},
        {"中文/文件.txt", UTF8_FLAG, {}, {}, "中文/文件.txt"},
        {"naïve.txt", UTF8_FLAG, {}, {}, "naïve.txt"},
        // The Unicode path field in the directory entry (and the local header or not).
        {"NAIVE1.TXT", 0, unicode("NAIVE1.TXT", "naïve-Σ1.txt"), {}, "naïve-Σ1.txt"},
        {"NAIVE5.TXT", 0, unicode("NAIVE5.TXT", "Σ5.txt"), unicode("NAIVE5.TXT", "Σ5.txt"),
         "Σ5.txt"},
        // Passed over: a CRC of another name, version 2, a NUL inside: the stored name, folded.
        {"NAIVE2.TXT", 0, unicode("OTHER.TXT", "wrong-Σ2.txt"), {}, "naive2.txt"},
        {"NAIVE3.TXT", 0, unicode("NAIVE3.TXT", "v2-Σ3.txt", 2), {}, "naive3.txt"},
        {"NAIVE4.TXT", 0, unicode("NAIVE4.TXT", std::string("nul\0-Σ4.txt", 11)), {}, "naive4.txt"},
        // The first sound field counts, after stale ones.
        {"NAIVE7.TXT",
         0,
         concat({unicode("NAIVE7.TXT", ""), unicode("X", "crc-Σ7.txt"),
                 unicode("NAIVE7.TXT", "v2-Σ7.txt", 2), unicode("NAIVE7.TXT", "七个房间.txt")}),
         {},
         "七个房间.txt"},
        // The local header's own name may differ where its own Unicode path field agrees.
        {"NAIVE8.TXT", 0, unicode("NAIVE8.TXT", "Σ8.txt"), unicode("LOCAL8.TXT", "Σ8.txt"),
         "Σ8.txt", "LOCAL8.TXT"},
        // Flag bit 11 over bytes that are no UTF-8: the classic name.
        {"BAD\xFF-6.TXT", UTF8_FLAG, {}, {}, "bad-6.txt"},
        // A decoded name never leaves the root, and never names a device.
        {"SAFE.TXT", 0, unicode("SAFE.TXT", "../../Σ-escape.txt"), {}, "Σ-escape.txt"},
        {"Σ/../../up-Σ.txt", UTF8_FLAG, {}, {}, "Σ/up-Σ.txt"},
        {"Ω/CON.txt", UTF8_FLAG, {}, {}, ON_WINDOWS ? "Ω/_CON.txt" : "Ω/CON.txt"},
        {"Ω/COM¹.txt", UTF8_FLAG, {}, {}, ON_WINDOWS ? "Ω/_COM¹.txt" : "Ω/COM¹.txt"},
    };
    Archive a;
    for (const NameRow &row : rows) {
        Member m = stored_member(row.stored, "data of " + row.expected);
        m.flags = row.flags;
        m.extra = row.extra;
        m.local_extra = row.local_extra;
        m.local_name = row.local_name;
        a.members.push_back(m);
    }
    const std::string zip = write_zip(dir + "/names.zip", a);
    RunResult r = run({zip, "-d", out});
    EXPECT_LE(r.status, 1) << r.err; // a device name given a safe form warns
    for (const NameRow &row : rows)
        EXPECT_EQ(content_of(utf8_path(out + "/" + row.expected)), "data of " + row.expected)
            << row.expected << "\n"
            << r.out << r.err;
    // Nothing outside the root.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);

    // Listed, tested and selected by the decoded name; the stored name no longer selects it.
    r = run({"-l", zip});
    EXPECT_TRUE(contains(r.out, "  Ωmega/Naïve-Ω.TXT\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "  naïve-Σ1.txt\n")) << r.out;
    EXPECT_TRUE(contains(r.out, " ^naive2.txt\n")) << r.out; // classic: folded and marked
    r = run({"-t", zip, "naïve-Σ1.txt", "NAIVE1.TXT"});
    EXPECT_TRUE(contains(r.out, "testing: naïve-Σ1.txt")) << r.out;
    EXPECT_TRUE(contains(r.err, "caution: filename not matched:  NAIVE1.TXT")) << r.err;
}

// --- Times -------------------------------------------------------------------------------------

struct TimeRow {
    std::string name;
    Bytes extra, local_extra;
    Times expected; // NO_TIME: the MS-DOS time (modified) or not set (accessed)
};

TEST_F(NamesAndTimes, ExtendedAndNtfsTimesToTheSecond) {
    constexpr int32_t M = 1234567891, A = 1300000001; // odd seconds: finer than MS-DOS time
    std::vector<TimeRow> rows = {
        // The directory entry's timestamp holds the modification time alone; the local one
        // may add the access time.
        {"ut.txt", extended_time_field(3, {M}), extended_time_field(3, {M, A}), {M, A}},
        {"ut-central.txt", extended_time_field(1, {M}), {}, {M, NO_TIME}},
        {"ut-local-wins.txt",
         extended_time_field(1, {M - 3600}),
         extended_time_field(1, {M}),
         {M, NO_TIME}},
        {"ntfs.txt", ntfs_time_field(ntfs_ticks(M) + 9999999, ntfs_ticks(A), 0), {}, {M, A}},
        {"ntfs-local.txt", {}, ntfs_time_field(ntfs_ticks(M), 0, 0), {M, NO_TIME}},
        // Fields that do not hold what they claim: the MS-DOS time.
        {"ut-short.txt", extra_block(0x5455, {1, 0x12}), {}, {NO_TIME, NO_TIME}},
        {"ntfs-no-tag.txt", extra_block(0x000a, Bytes(8, 0)), {}, {NO_TIME, NO_TIME}},
        {"ntfs-bad-tag.txt",
         extra_block(0x000a, {0, 0, 0, 0, 1, 0, 200, 0}),
         {},
         {NO_TIME, NO_TIME}},
    };
    // A time before 1970 (the C runtime's status query under Wine reads none such back).
    if (!ON_WINDOWS)
        rows.push_back({"ut-before-1970.txt",
                        extended_time_field(1, {-86400 * 365}),
                        {},
                        {-86400 * 365, NO_TIME}});
    Archive a;
    for (const TimeRow &row : rows) {
        Member m = stored_member(row.name, row.name);
        m.extra = row.extra;
        m.local_extra = row.local_extra;
        a.members.push_back(m);
    }
    const std::string zip = write_zip(dir + "/times.zip", a);
    RunResult r = run({zip, "-d", out});
    ASSERT_EQ(r.status, 0) << r.err;
    const int64_t dos_time = times_of(utf8_path(out + "/ut-short.txt")).modified;
    EXPECT_EQ(dos_time % 2, 0);
    for (const TimeRow &row : rows) {
        Times got = times_of(utf8_path(out + "/" + row.name)); // before any read moves atime
        EXPECT_EQ(got.modified, row.expected.modified == NO_TIME ? dos_time : row.expected.modified)
            << row.name;
        if (row.expected.accessed != NO_TIME) {
            EXPECT_EQ(got.accessed, row.expected.accessed) << row.name;
        }
    }
    // Listings show the MS-DOS date and time as ever.
    r = run({"-l", zip, "ut.txt"});
    EXPECT_TRUE(contains(r.out, "01-01-02  12:00")) << r.out;

    // -u compares an existing file with the member's true time: a file newer than its MS-DOS
    // time but older than its extended time is replaced, one as new as that is kept.
    fs::path target = utf8_path(out + "/ut-central.txt");
    for (int64_t existing : {int64_t{M} - 3600, int64_t{M} + 1}) {
        std::ofstream(target, std::ios::binary | std::ios::trunc) << "existing";
        auto at = std::chrono::file_clock::from_sys(
            std::chrono::system_clock::from_time_t(static_cast<std::time_t>(existing)));
        fs::last_write_time(target, at);
        r = run({"-u", "-o", zip, "ut-central.txt", "-d", out});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(content_of(target), existing < M ? "ut-central.txt" : "existing") << existing;
    }
}

// --- Unix modes --------------------------------------------------------------------------------

#ifndef _WIN32
struct ModeRow {
    std::string name;
    uint8_t host;
    uint32_t mode;     // st_mode in the external attributes' high half
    unsigned expected; // the file's permission bits under the umask 027
};

TEST_F(NamesAndTimes, UnixPermissionsUnderTheUmaskWithoutSpecialBits) {
    const std::vector<ModeRow> rows = {
        {"exec", 3, 0100755, 0750},       {"private", 3, 0100600, 0600},
        {"read-only", 3, 0100444, 0440},  {"untyped", 3, 0000755, 0750},
        {"setuid", 3, 0104755, 0750},     {"setgid-sticky", 3, 0103777, 0750},
        {"link", 3, 0120777, 0640}, // a plain file holding the link text, the host's mode
        {"msdos-made", 0, 0100755, 0640},
    };
    Archive a;
    for (const ModeRow &row : rows) {
        Member m = stored_member(row.name, "text of " + row.name);
        m.host_made_by = row.host;
        m.external_attributes = (row.mode << 16) | 0x20;
        a.members.push_back(m);
    }
    const std::string zip = write_zip(dir + "/modes.zip", a);
    const mode_t before = ::umask(027);
    RunResult r = run({zip, "-d", out});
    // A replacement gets the member's mode, not the file's it replaces.
    fs::permissions(out + "/exec", fs::perms(0600));
    RunResult again = run({"-o", zip, "exec", "-d", out});
    ::umask(before);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(again.status, 0) << again.err;
    for (const ModeRow &row : rows) {
        struct stat st;
        ASSERT_EQ(::lstat((out + "/" + row.name).c_str(), &st), 0) << row.name;
        EXPECT_TRUE(S_ISREG(st.st_mode)) << row.name;
        EXPECT_EQ(st.st_mode & 07777, row.expected) << row.name;
        EXPECT_EQ(read_text(out + "/" + row.name), "text of " + row.name);
    }
}
#endif

// --- The peers' archives -----------------------------------------------------------------------

// Every file of a peer's expected tree comes out byte for byte, under its name with the
// replacements made where the tree's names spell the archive's Unicode ones in ASCII.
void expect_tree(const std::string &tree, const std::string &out,
                 const std::vector<std::pair<std::string, std::string>> &spelled) {
    int files = 0;
    for (const auto &entry : fs::recursive_directory_iterator(utf8_path(tree))) {
        if (!entry.is_regular_file()) continue;
        std::u8string relative = fs::relative(entry.path(), utf8_path(tree)).generic_u8string();
        std::string name(relative.begin(), relative.end());
        for (const auto &[ascii, unicode] : spelled)
            if (size_t at = name.find(ascii); at != std::string::npos)
                name.replace(at, ascii.size(), unicode);
        EXPECT_EQ(content_of(utf8_path(out + "/" + name)), content_of(entry.path())) << name;
        ++files;
    }
    EXPECT_GT(files, 0) << tree;
}

TEST_F(NamesAndTimes, PeerArchivesWithUnicodeNamesAndTimes) {
    struct Peer {
        std::string archive;
        std::string file; // a file it holds (UTF-8)
        int64_t modified; // its time by the peer's suite, or -1 to check the name alone
    };
    const std::vector<Peer> peers = {
        {"go/testdata/utf8-7zip.zip", "世界", -1},
        {"go/testdata/utf8-winrar.zip", "世界", -1},
        {"go/testdata/utf8-winzip.zip", "世界", -1},
        {"libarchive/test_read_format_zip_filename_utf8_jp.zip", "表だよ/漢字.txt", -1},
        {"libarchive/test_read_format_zip_filename_utf8_ru.zip", "ПРИВЕТ", -1},
        {"go/testdata/time-7zip.zip", "test.txt", 1509509517},
        {"go/testdata/time-winrar.zip", "test.txt", 1509509517},
        {"go/testdata/time-winzip.zip", "test.txt", 1509509517},
        {"go/testdata/time-go.zip", "test.txt", 1509509517},
        {"go/testdata/time-22738.zip", "file", 946684800},
    };
    for (const Peer &peer : peers) {
        const std::string into = out + "/" + fs::path(peer.archive).stem().string();
        RunResult r = run({"-o", peer_archive(peer.archive), "-d", into});
        EXPECT_EQ(r.status, 0) << peer.archive << "\n" << r.err;
        const fs::path file = utf8_path(into + "/" + peer.file);
        EXPECT_TRUE(fs::exists(file)) << peer.archive << " " << peer.file;
        if (peer.modified >= 0) {
            EXPECT_EQ(times_of(file).modified, peer.modified) << peer.archive;
        }
    }
    // The trees the peer's suite expects beside its archives.
    for (const char *name : {"unicode"}) {
        const std::string into = out + "/" + name;
        RunResult r =
            run({peer_archive(std::string("yauzl/success/") + name + ".zip"), "-d", into});
        EXPECT_EQ(r.status, 0) << name << "\n" << r.err;
        expect_tree(peer_archive(std::string("yauzl/success/") + name), into,
                    {{"Katilot", "Kätilöt"}, {"Mista ", "Mistä "}});
    }
}

} // namespace
