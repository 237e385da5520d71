// Inputs that once broke the engine: each must list, test and extract to a plain status.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "tests/support/zip_builder.h"

using namespace qeltest;

namespace {

std::vector<std::string> regression_inputs() {
    std::vector<std::string> inputs;
    std::filesystem::path folder =
        std::filesystem::path(QEL_SOURCE_DIR) / "tests/engine/regressions";
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension() != ".md")
            inputs.push_back(entry.path().generic_string());
    return inputs;
}

// The statuses the engine may return at all.
bool is_engine_status(int status) {
    for (int known : {0, 1, 2, 3, 4, 5, 9, 10, 11, 50, 51, 76, 77, 78})
        if (status == known) return true;
    return false;
}

} // namespace

TEST(Regressions, EveryInputEndsWithAStatus) {
    std::vector<std::string> inputs = regression_inputs();
    ASSERT_FALSE(inputs.empty());
    std::string out = scratch_dir("regressions");
    for (const std::string &input : inputs) {
        for (const char *option : {"-l", "-v", "-t", "-z"}) {
            // Named before the run: a sanitizer report during a captured run is not shown.
            std::printf("regression input %s %s\n", option, input.c_str());
            std::fflush(stdout);
            RunResult r = run_engine({"unzip", option, input});
            EXPECT_TRUE(is_engine_status(r.status)) << input << " " << option << ": " << r.status;
        }
        RunResult r = run_engine({"unzip", "-o", input, "-d", out});
        EXPECT_TRUE(is_engine_status(r.status)) << input << " extraction: " << r.status;
    }
}

// The directory's offset plus its size exceeds 31 bits: reported as an error, not misread.
TEST(Regressions, DirectoryEndBeyondTwoGigabytes) {
    Archive a;
    Member m;
    m.name = "a.txt";
    m.data = to_bytes("alpha\n");
    a.members.push_back(m);
    Bytes zip = build_zip(a);
    size_t offset_field = zip.size() - 22 + 16;
    zip[offset_field + 0] = 0xF0;
    zip[offset_field + 1] = 0xFF;
    zip[offset_field + 2] = 0xFF;
    zip[offset_field + 3] = 0x7F;
    std::string path = scratch_dir("regressions_offset") + "/far.zip";
    write_file(path, zip);
    for (const char *option : {"-l", "-v", "-t"}) {
        RunResult r = run_engine({"unzip", option, path});
        EXPECT_GE(r.status, 2) << option << "\n" << r.out << r.err;
        EXPECT_TRUE(is_engine_status(r.status)) << option << ": " << r.status;
    }
}

// A one-byte member that claims 4 GB compressed: the verbose ratio is clamped and printed.
TEST(Regressions, HugeCompressedSizeRatio) {
    Archive a;
    Member m;
    m.name = "tiny";
    m.data = to_bytes("x");
    a.members.push_back(m);
    Bytes zip = build_zip(a);
    for (size_t i = 0; i + 4 <= zip.size(); ++i) {
        if (zip[i] == 'P' && zip[i + 1] == 'K' && zip[i + 2] == 1 && zip[i + 3] == 2) {
            for (size_t k = 0; k < 4; ++k) zip[i + 20 + k] = 0xFF;
            break;
        }
    }
    std::string path = scratch_dir("regressions_ratio") + "/huge.zip";
    write_file(path, zip);
    RunResult r = run_engine({"unzip", "-v", path});
    EXPECT_NE(r.out.find("-214748365%"), std::string::npos) << r.out << r.err;
    EXPECT_TRUE(is_engine_status(r.status)) << r.status;
}

// An imploded member claims far more compressed bytes than the archive file holds: its data
// would run over the central directory, so it is refused before anything of it is decoded,
// instead of reading the end of the file forever.
TEST(Regressions, ArchiveEndingInsideAnImplodedMember) {
    Archive a;
    Member m;
    m.name = "big.txt";
    m.method = 6;
    m.data = to_bytes("x");
    m.compressed = Bytes(40, 0x5A);
    m.override_crc = true;
    a.members.push_back(m);
    Bytes zip = build_zip(a);
    // Claim 256 MB compressed and 4 GB uncompressed in the local header.
    for (size_t at : {size_t(18), size_t(22)}) {
        zip[at + 0] = 0;
        zip[at + 1] = 0;
        zip[at + 2] = 0;
        zip[at + 3] = at == 18 ? 0x10 : 0xF0;
    }
    std::string dir = scratch_dir("regress_implode_eof");
    write_file(dir + "/eof.zip", zip);
    RunResult r = run_engine({"unzip", "-t", dir + "/eof.zip"});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("big.txt"), std::string::npos) << r.err;
}
