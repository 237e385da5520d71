// zip64 archives through engine_main: the zip64 end record and its locator, the zip64 extra field
// in both headers, streamed members with 8-byte descriptors, more than 65,535 members, sizes past
// 4 GiB in the listings, and zip64 records that lie.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "tests/support/deflate_writer.h"
#include "tests/support/engine_call_test.h"
#include "tests/support/zip_builder.h"

using namespace qeltest;
namespace fs = std::filesystem;

namespace {

using Zip64 = EngineCallTest;

Member zip64_member(const std::string &name, const std::string &text) {
    Member m = stored_member(name, text);
    m.zip64 = true;
    return m;
}

// A deflated zip64 member: "abc" as one fixed block.
Member zip64_deflated(const std::string &name) {
    DeflateWriter w;
    w.fixed_header(true);
    for (char c : std::string("abc")) w.fixed_literal(static_cast<unsigned char>(c));
    w.fixed_end();
    Member m = compressed_member(name, 8, 0, to_bytes("abc"), w.finish());
    m.zip64 = true;
    m.version_needed = 45;
    return m;
}

// What an archive is, and what extracting and testing it must give: the status, and every file
// (name and contents) that comes out.
struct Row {
    const char *what;
    std::function<Archive()> archive;
    int status;
    std::vector<std::pair<std::string, std::string>> files;
};

TEST_F(Zip64, ArchivesExtractAndTestAsTheirRecordsSay) {
    const Row rows[] = {
        {"zip64 extra fields, classic end record",
         [] {
             Archive a;
             a.members = {zip64_member("a.txt", "alpha"), zip64_deflated("b.txt")};
             return a;
         },
         0,
         {{"a.txt", "alpha"}, {"b.txt", "abc"}}},
        {"zip64 end record and locator",
         [] {
             Archive a;
             a.members = {zip64_member("a.txt", "alpha"), stored_member("c.txt", "classic")};
             a.zip64 = true;
             return a;
         },
         0,
         {{"a.txt", "alpha"}, {"c.txt", "classic"}}},
        {"data in front shifts the zip64 offsets alike",
         [] {
             Archive a;
             a.members = {zip64_member("a.txt", "alpha")};
             a.zip64 = true;
             a.prefix = Bytes(1000, 'X');
             return a;
         },
         1,
         {{"a.txt", "alpha"}}},
        {"streamed with an 8-byte data descriptor",
         [] {
             Member m = zip64_member("s.txt", "streamed");
             m.data_descriptor = true;
             Archive a;
             a.members = {m, zip64_member("t.txt", "after")};
             a.zip64 = true;
             return a;
         },
         0,
         {{"s.txt", "streamed"}, {"t.txt", "after"}}},
        {"a zip64 size that is not the data's",
         [] {
             Member m = zip64_member("big.txt", "short");
             m.override_size64 = true;
             m.size64 = 5000000000ull;
             Archive a;
             a.members = {m};
             return a;
         },
         2,
         {{"big.txt", "short"}}}, // a new file keeps what a damaged member gave
        {"a zip64 record claiming 2^60 entries",
         [] {
             Archive a;
             a.members = {zip64_member("a.txt", "alpha")};
             a.zip64 = true;
             a.zip64_entries = 1ull << 60;
             return a;
         },
         3,
         {{"a.txt", "alpha"}}},
    };
    for (const Row &row : rows) {
        fs::remove_all(out);
        fs::create_directories(out);
        std::string zip = write_zip(dir + "/row.zip", row.archive());
        RunResult r = run({zip, "-d", out});
        EXPECT_EQ(r.status, row.status) << row.what << "\n" << r.err;
        size_t count = 0;
        for (const auto &e : fs::recursive_directory_iterator(out)) count += e.is_regular_file();
        EXPECT_EQ(count, row.files.size()) << row.what;
        for (const auto &[name, text] : row.files)
            EXPECT_EQ(read_text(out + "/" + name), text) << row.what << " " << name;
        EXPECT_EQ(run({"-t", zip}).status, row.status) << row.what;
    }
}

// A zip64 extra field that lacks the value the header leaves to it, or holds one of 2^62 or more,
// leaves the header's all ones: the member is refused, the archive is read on.
TEST_F(Zip64, ExtraFieldsThatLieAreRefused) {
    for (bool huge : {false, true}) {
        Member m = zip64_member("bad.txt", "bad");
        // The central block's first value (the size) is the only one left, or is 2^63.
        Bytes block = {1, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0x80};
        if (!huge) block = {1, 0, 0, 0};
        m.zip64 = false;
        m.override_size = true;
        m.size = UINT32_MAX;
        m.extra = block;
        Archive a;
        a.members = {m, stored_member("good.txt", "good")};
        std::string zip = write_zip(dir + "/lie.zip", a);
        fs::remove_all(out);
        RunResult r = run({zip, "-d", out});
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_TRUE(contains(r.err, "bad length 3  (should be 4294967295)")) << r.err;
        EXPECT_EQ(read_text(out + "/good.txt"), "good");
    }
}

// More than 65,535 members: every one extracted and listed, counted in full.
TEST_F(Zip64, SeventyThousandMembers) {
    constexpr unsigned COUNT = 70000;
    Archive a;
    a.zip64 = true;
    a.members.reserve(COUNT);
    for (unsigned i = 0; i < COUNT; ++i)
        a.members.push_back(stored_member("d" + std::to_string(i % 70) + "/m" + std::to_string(i),
                                          std::to_string(i)));
    std::string zip = write_zip(dir + "/many.zip", a);
    RunResult r = run({"-qq", zip, "-d", out});
    EXPECT_EQ(r.status, 0) << r.err;
    size_t count = 0;
    for (const auto &e : fs::recursive_directory_iterator(out)) count += e.is_regular_file();
    EXPECT_EQ(count, COUNT);
    EXPECT_EQ(read_text(out + "/d69/m69999"), "69999");
    r = run({"-l", zip});
    EXPECT_EQ(r.status, 0) << r.err;
    uint64_t total = 0;
    for (unsigned i = 0; i < COUNT; ++i) total += std::to_string(i).size();
    EXPECT_TRUE(contains(r.out, " ------                    -------\n " + std::to_string(total) +
                                    "                    70000  \n"))
        << r.out.substr(r.out.size() - 200);
}

// The listings and the detailed report show sizes past 4 GiB whole, in columns widened only by
// the value itself.
TEST_F(Zip64, ListingsShowSizesPastFourGigabytes) {
    Member m = zip64_deflated("huge.bin");
    m.override_size64 = true;
    m.size64 = 5000000000ull;
    Archive a;
    a.members = {m, stored_member("small.txt", "small")};
    a.zip64 = true;
    std::string zip = write_zip(dir + "/huge.zip", a);
    RunResult r = run({"-v", zip});
    EXPECT_TRUE(contains(r.out, "5000000000  Defl:N       5  100%")) << r.out;
    EXPECT_TRUE(contains(r.out, "\n5000000005              10  100%")) << r.out;
    r = run({"-l", zip});
    EXPECT_TRUE(contains(r.out, "5000000000  01-01-02")) << r.out;
    r = run_engine({"zipinfo", "-v", zip});
    EXPECT_TRUE(
        contains(r.out, "uncompressed size:                                5000000000 bytes"))
        << r.out;
    r = run_engine({"zipinfo", zip});
    EXPECT_TRUE(contains(r.out, "5000000000 bx")) << r.out;
    EXPECT_TRUE(contains(r.out, "2 files, 5000000005 bytes uncompressed, 10 bytes compressed"))
        << r.out;
}

} // namespace
