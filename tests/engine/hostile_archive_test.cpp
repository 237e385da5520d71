// Hostile archives and careless use, end to end through engine_main: whatever an archive says, the
// engine never replaces a good file with a damaged member, never writes over the archive it
// reads, never writes more or less than a member declares, never decompresses data that two
// members share, and never passes raw control characters to the terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "engine/engine.h"
#include "tests/support/deflate_writer.h"
#include "tests/support/engine_call_test.h"
#include "tests/support/legacy_encoders.h"
#include "tests/support/scripted_replace_policy.h"
#include "tests/support/zip_builder.h"

using namespace qeltest;
namespace fs = std::filesystem;

namespace {

// Where the i-th central directory entry of a built archive starts.
size_t central_entry(const Bytes &zip, int i) {
    for (size_t at = 0; at + 4 <= zip.size(); ++at)
        if (zip[at] == 'P' && zip[at + 1] == 'K' && zip[at + 2] == 1 && zip[at + 3] == 2 &&
            i-- == 0)
            return at;
    return zip.size();
}

void put32(Bytes &zip, size_t at, uint32_t value) {
    for (int k = 0; k < 4; ++k) zip[at + k] = static_cast<unsigned char>(value >> (8 * k));
}

void put16(Bytes &zip, size_t at, uint16_t value) {
    zip[at] = static_cast<unsigned char>(value);
    zip[at + 1] = static_cast<unsigned char>(value >> 8);
}

size_t count_of(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::vector<std::string> folder_entries(const std::string &folder) {
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool writable(const std::string &path) {
    return (fs::status(path).permissions() & fs::perms::owner_write) != fs::perms::none;
}

using Hostile = EngineCallTest;

// A deflated member of `length` bytes of 'a': one literal and matches of 258.
Member deflated_run(const std::string &name, unsigned length) {
    DeflateWriter w;
    w.fixed_header(true);
    w.fixed_literal('a');
    unsigned made = 1;
    for (; made + 258 <= length; made += 258) w.fixed_match(258, 1);
    for (; made < length; ++made) w.fixed_literal('a');
    w.fixed_end();
    return compressed_member(name, 8, 0, Bytes(length, 'a'), w.finish());
}

// --- A failed member never replaces a good file ------------------------------------------------

TEST_F(Hostile, DamagedMemberLeavesTheFileItWouldReplace) {
    Member bad_crc = stored_member("crc.txt", "damaged contents");
    bad_crc.override_crc = true;
    bad_crc.crc = 0x12345678;
    Member bad_data = stored_member("data.txt", "abc");
    bad_data.method = 8;
    bad_data.compressed = {0x07, 0x00}; // a block of the invalid type 3
    Member too_long = stored_member("long.txt", "0123456789");
    too_long.override_size = true;
    too_long.size = 4;
    Archive a;
    a.members = {bad_crc, bad_data, too_long, stored_member("good.txt", "replaced")};
    std::string zip = write_zip(dir + "/damaged.zip", a);

    for (bool by_question : {false, true}) {
        for (const char *name : {"crc.txt", "data.txt", "long.txt", "good.txt"})
            write_file(out + "/" + name, std::string("precious"));
        // A read-only file keeps its contents and its read-only state too.
        fs::permissions(out + "/crc.txt",
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
        scripted_policy().answer = true;
        RunResult r = by_question ? run({zip, "-d", out}) : run({"-o", zip, "-d", out});
        EXPECT_EQ(r.status, 2) << r.err;
        for (const char *name : {"crc.txt", "data.txt", "long.txt"})
            EXPECT_EQ(read_text(out + "/" + name), "precious") << name << " " << by_question;
        EXPECT_FALSE(writable(out + "/crc.txt"));
        EXPECT_EQ(read_text(out + "/good.txt"), "replaced");
        // Nothing is left beside them.
        EXPECT_EQ(folder_entries(out),
                  (std::vector<std::string>{"crc.txt", "data.txt", "good.txt", "long.txt"}));
        fs::permissions(out + "/crc.txt", fs::perms::owner_write, fs::perm_options::add);
    }
}

TEST_F(Hostile, TheArchiveIsNeverAnOutput) {
    Archive a;
    a.members = {stored_member("self.zip", "not an archive"), stored_member("other.txt", "o")};
    std::string zip = write_zip(out + "/self.zip", a);
    Bytes before = read_file(zip);
    // The same file under another spelling of its name.
    RunResult r = run({"-o", out + "/../out/self.zip", "-d", out});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(contains(r.err, "self.zip")) << r.err;
    EXPECT_EQ(read_file(zip), before);
    EXPECT_EQ(read_text(out + "/other.txt"), "o");
}

// --- The name that is written is the name that was listed --------------------------------------

TEST_F(Hostile, LocalNameMustBeTheListedName) {
    Archive a;
    a.members = {stored_member("listed.txt", "L"), stored_member("other.txt", "O")};
    Bytes zip = build_zip(a);
    std::string local_name = "hidden.txt";
    std::copy(local_name.begin(), local_name.end(), zip.begin() + 30);
    std::string path = dir + "/renamed.zip";
    write_file(path, zip);

    RunResult r = run({path, "-d", out});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(contains(r.err, "hidden.txt")) << r.err;
    EXPECT_FALSE(file_exists(out + "/listed.txt"));
    EXPECT_FALSE(file_exists(out + "/hidden.txt"));
    EXPECT_EQ(read_text(out + "/other.txt"), "O");
    // Neither name selects it for writing; testing reports it.
    r = run({"-o", path, "hidden.txt", "listed.txt", "-d", out});
    EXPECT_FALSE(file_exists(out + "/hidden.txt"));
    EXPECT_FALSE(file_exists(out + "/listed.txt"));
    EXPECT_EQ(run({"-t", path}).status, 2);
}

// --- Sizes and overlaps that lie ----------------------------------------------------------------

// Output stops at the declared size, and falls short of it only as a failure, whatever the CRC
// says, in extraction, testing and on standard output.
TEST_F(Hostile, DeclaredSizeBoundsTheOutput) {
    Member over = deflated_run("over.bin", 10000); // declared 100: its CRC is that of all 10000
    over.override_size = true;
    over.size = 100;
    Member stored_over = stored_member("stored.bin", std::string(50, 's'));
    stored_over.override_size = true;
    stored_over.size = 10;
    Member short_one = stored_member("short.bin", "0123456789"); // declared 20, CRC matching
    short_one.override_size = true;
    short_one.size = 20;
    Archive a;
    a.members = {over, stored_over, short_one, stored_member("fine.txt", "fine")};
    std::string zip = write_zip(dir + "/sizes.zip", a);

    RunResult r = run({zip, "-d", out});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(count_of(r.err, "bad length"), 3u) << r.err;
    EXPECT_EQ(read_file(out + "/over.bin").size(), 100u);
    EXPECT_EQ(read_file(out + "/stored.bin").size(), 10u);
    EXPECT_EQ(read_text(out + "/fine.txt"), "fine");

    r = run({"-t", zip});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(count_of(r.out + r.err, "bad length"), 3u) << r.out << r.err;

    r = run({"-p", zip});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, std::string(100, 'a') + std::string(10, 's') + "0123456789fine");
    r = run({"-c", zip});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(count_of(r.err, "bad length"), 3u) << r.err;
}

// Where the first member's fields lie: in its local header and in its directory entry.
constexpr size_t LOCAL_METHOD = 8, LOCAL_CRC = 14, LOCAL_COMPRESSED = 18, LOCAL_SIZE = 22;
constexpr size_t CENTRAL_METHOD = 10, CENTRAL_CRC = 16, CENTRAL_SIZE = 24;

// A local header that contradicts the directory describes a damaged member, whichever of the two
// is right: it is neither tested as sound nor written, and the next member is.
TEST_F(Hostile, LocalHeaderMustAgreeWithTheDirectory) {
    const Member big = deflated_run("m.bin", 10000);
    const Member stored = stored_member("m.bin", "0123456789");
    struct Row {
        const char *what;
        const Member &member;
        void (*lie)(Bytes &zip, size_t central);
    };
    const Row rows[] = {
        // Listed as 10 bytes, decoded to 10,000 by the local header's size.
        {"size", big, [](Bytes &z, size_t c) { put32(z, c + CENTRAL_SIZE, 10); }},
        {"local size", stored, [](Bytes &z, size_t) { put32(z, LOCAL_SIZE, 4); }},
        // The listed CRC is wrong; the local one matches the data.
        {"CRC", stored, [](Bytes &z, size_t c) { put32(z, c + CENTRAL_CRC, 0x12345678); }},
        {"compressed size", stored, [](Bytes &z, size_t) { put32(z, LOCAL_COMPRESSED, 8); }},
        // Listed as deflated, stored in the local header.
        {"method", stored, [](Bytes &z, size_t c) { put16(z, c + CENTRAL_METHOD, 8); }},
        {"local method", stored, [](Bytes &z, size_t) { put16(z, LOCAL_METHOD, 8); }},
    };
    for (const Row &row : rows) {
        Archive a;
        a.members = {row.member, stored_member("next.txt", "next")};
        Bytes zip = build_zip(a);
        row.lie(zip, central_entry(zip, 0));
        std::string path = dir + "/lies.zip";
        write_file(path, zip);
        fs::remove_all(out);
        RunResult r = run({path, "-d", out});
        EXPECT_EQ(r.status, 2) << row.what << "\n" << r.err;
        EXPECT_FALSE(file_exists(out + "/m.bin")) << row.what;
        EXPECT_EQ(read_text(out + "/next.txt"), "next") << row.what;
        r = run({"-t", path});
        EXPECT_EQ(r.status, 2) << row.what << "\n" << r.out;
        EXPECT_EQ(count_of(r.out, " OK\n"), 1u) << row.what << "\n" << r.out;
    }
}

// Sizes and CRC after the data: the directory's sizes are the member's for every method, and a
// descriptor that contradicts the directory's CRC is damage.
TEST_F(Hostile, DataDescriptorsAgreeWithTheDirectory) {
    const Bytes text = to_bytes(std::string(3000, 'q') + "tail of the member");
    Member imploded = compressed_member("imploded.txt", 6, 0, text, implode_encode(text, 0));
    Member reduced = compressed_member("reduced.txt", 3, 0, text, reduce_encode(text, 2));
    Member stored = stored_member("stored.txt", "streamed");
    for (Member *m : {&imploded, &reduced, &stored}) m->data_descriptor = true;
    Archive a;
    a.members = {imploded, reduced, stored};
    Bytes zip = build_zip(a);
    std::string path = write_zip(dir + "/streamed.zip", a);
    RunResult r = run({path, "-d", out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(out + "/imploded.txt"), text);
    EXPECT_EQ(read_file(out + "/reduced.txt"), text);
    EXPECT_EQ(run({"-t", path}).status, 0);

    // The last member's descriptor (signature, CRC, sizes) before the directory names another CRC.
    put32(zip, central_entry(zip, 0) - 12, 0x0BADC0DE);
    write_file(path, zip);
    fs::remove_all(out);
    r = run({path, "-d", out});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(contains(r.err, " data descriptor CRC 0badc0de")) << r.err;
    EXPECT_EQ(read_file(out + "/reduced.txt"), text);
    r = run({"-t", path});
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_EQ(count_of(r.out, " OK\n"), 2u) << r.out;
}

TEST_F(Hostile, OverlappingMembersAreRefusedBeforeDecoding) {
    Archive a;
    a.members = {stored_member("a.txt", "alpha"), stored_member("b.txt", "bravo"),
                 stored_member("c.txt", "charlie")};
    Bytes plain = build_zip(a);

    // Two directory entries share one member's data: the second entry of b points at a's.
    Member twin = stored_member("a.txt", "alpha");
    Archive twins;
    twins.members = {twin, twin, stored_member("c.txt", "charlie")};
    Bytes shared = build_zip(twins);
    put32(shared, central_entry(shared, 1) + 42, 0);

    // a's data runs into b's header.
    Bytes running = plain;
    put32(running, 18, 40);
    put32(running, central_entry(running, 0) + 20, 40);

    // Of two entries sharing one local header only the second is refused; of two members whose
    // data overlap, both.
    for (const Bytes *zip : {&shared, &running}) {
        const bool first_kept = zip == &shared;
        std::string path = dir + "/overlap.zip";
        write_file(path, *zip);
        fs::remove_all(out);
        RunResult r = run({path, "-d", out});
        EXPECT_EQ(r.status, 3) << r.err;
        EXPECT_EQ(file_exists(out + "/a.txt"), first_kept) << r.err;
        EXPECT_FALSE(file_exists(out + "/b.txt")) << r.err;
        EXPECT_EQ(read_text(out + "/c.txt"), "charlie");
        EXPECT_TRUE(contains(r.err, "a.txt")) << r.err;
        r = run({"-t", path});
        EXPECT_EQ(r.status, 3) << r.out << r.err;
        EXPECT_EQ(count_of(r.out, " OK\n"), first_kept ? 2u : 1u) << r.out;
    }

    // Data in front of the archive moves every member alike: nothing overlaps.
    Archive prefixed = a;
    prefixed.prefix = Bytes(100, 'x');
    std::string path = write_zip(dir + "/prefixed.zip", prefixed);
    fs::remove_all(out);
    RunResult r = run({path, "-d", out});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(read_text(out + "/b.txt"), "bravo");
}

// --- Command lines ------------------------------------------------------------------------------

TEST_F(Hostile, DashDWithoutAFolderIsABadCommandLine) {
    Archive a;
    a.members = {stored_member("stray.txt", "s")};
    std::string zip = write_zip(dir + "/d.zip", a);
    // No folder, or an empty name for one.
    for (const auto &line : {std::vector<std::string>{zip, "-d"}, {zip, "-d", ""}}) {
        fs::path saved = fs::current_path();
        fs::current_path(out);
        RunResult r = run(line);
        fs::current_path(saved);
        EXPECT_EQ(r.status, 10) << line.size();
        EXPECT_TRUE(contains(r.err, "must specify directory to which to extract with -d option"));
        EXPECT_TRUE(contains(r.err, "Usage: unzip"));
        EXPECT_TRUE(folder_entries(out).empty());
    }
}

// --- Names and comments on the terminal ---------------------------------------------------------

// Where text shown on a terminal could steer it: a C0 control other than a line feed (or the
// form feed that the detailed report puts before each entry of its own), or a C1
// control, raw (0x80..0x9F outside a UTF-8 character) or UTF-8 encoded (C2 80..C2 9F). The
// offset of the first one, or npos.
size_t steering_byte(const std::string &text) {
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 && c != '\n' && c != '\f') return i;
        if (c >= 0x80 && c <= 0x9F) return i;
        if (c == 0xC2 && i + 1 < text.size() &&
            (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80)
            return i;
        // A sound UTF-8 character is passed over whole: its continuation bytes are no controls.
        size_t more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        size_t k = 1;
        while (k <= more && i + k < text.size() &&
               (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80)
            ++k;
        if (k == more + 1) i += more;
    }
    return std::string::npos;
}

TEST_F(Hostile, ControlCharactersNeverReachTheTerminal) {
    Member named = stored_member("esc\x1b[2J.txt", "ok");
    named.comment = "member \x07 comment \x9b"
                    "1m \xc2\x85 end";
    Member bad = stored_member("bell\x07\r.txt", "bad");
    bad.override_crc = true;
    bad.crc = 1;
    Member secret = stored_member("hide\x1b]0;x\x07.txt", "s");
    secret.flags = 1;
    Member c1 = stored_member("c1\x9b"
                              "2J\xc2\x9b"
                              "3m.txt",
                              "c");
    Member sound = stored_member("gr\xc3\xbc\xc3\x9f"
                                 "e\xe2\x82\xac.txt",
                                 "u"); // UTF-8 text
    sound.host_made_by = 3;
    Archive a;
    a.members = {named, bad, secret, c1, sound};
    a.comment = "note\x07\x1b[0m\r\nline two\x08 \x9d"
                "0;t\x9c";
    std::string zip = write_zip(dir + "/names.zip", a);

    std::vector<std::vector<std::string>> runs = {
        {"-t", zip}, {"-qq", "-t", zip}, {"-v", zip},
        {"-z", zip}, {"-c", zip, "b*"},  {"-o", zip, "-d", out},
        {"-Z", zip}, {"-Z", "-v", zip},  {"-Z", "-2", zip}};
    for (const auto &args : runs) {
        RunResult r = run(args);
        std::string shown = r.out + r.err;
        if (args[0] == "-c") shown.erase(shown.find("bad"), 3); // the member's data itself
        size_t at = steering_byte(shown);
        EXPECT_EQ(at, std::string::npos) << args[0] << " " << args[1] << ": byte "
                                         << int(static_cast<unsigned char>(shown[at])) << " in\n"
                                         << shown;
    }
    RunResult r = run({"-t", zip});
    EXPECT_TRUE(contains(r.out, "esc^[[2J.txt")) << r.out; // both cases: the name keeps them
    EXPECT_TRUE(contains(r.out + r.err, "bell^G^M.txt")) << r.out << r.err;
    EXPECT_TRUE(contains(r.err, "hide^[]0;x^G.txt")) << r.err;
    // A C1 control is shown as its seven-bit form, ESC and a character: CSI as ^[[.
    EXPECT_TRUE(contains(r.out, "c1^[[2J^[[3m.txt")) << r.out;
    EXPECT_TRUE(contains(r.out, "gr\xc3\xbc\xc3\x9f"
                                "e\xe2\x82\xac.txt"))
        << r.out;
    EXPECT_TRUE(contains(r.out, "note^G^[[0m\nline two^H ^[]0;t^[\\")) << r.out;
    r = run({"-v", zip});
    EXPECT_TRUE(contains(r.out, "comment ^[[1m ^[E end")) << r.out;
}

// --- Reports ------------------------------------------------------------------------------------

TEST_F(Hostile, ReportShortLineYearsHaveTwoDigits) {
    Member y2020 = stored_member("2020.txt", "");
    y2020.mod_date = ((2020 - 1980) << 9) | (3 << 5) | 4;
    Member y1999 = stored_member("1999.txt", "");
    y1999.mod_date = ((1999 - 1980) << 9) | (12 << 5) | 31;
    Archive a;
    a.members = {y2020, y1999}; // (2002 as "02": tests/engine/report_test.cpp)
    std::string zip = write_zip(dir + "/years.zip", a);
    RunResult r = run_engine({"zipinfo", zip});
    EXPECT_TRUE(contains(r.out, " 4-Mar-20 12:00 2020.txt\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "31-Dec-99 12:00 1999.txt\n")) << r.out;
}

} // namespace
