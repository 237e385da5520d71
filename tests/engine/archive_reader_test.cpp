// Finding the end record, offset compensation, multi-disk refusal, comments and long names.
#include <gtest/gtest.h>

#include <string>

#include "engine/engine.h"
#include "tests/support/zip_builder.h"

using namespace qeltest;

namespace {

std::string make_archive(const std::string &dir, const std::string &file, const Archive &a) {
    return write_zip(dir + "/" + file, a);
}

} // namespace

TEST(Comment, EscapeAndCrLfAreShownReadably) {
    std::string dir = scratch_dir("comment_esc");
    Archive a;
    a.members.push_back(stored_member("a.txt", "hello"));
    a.comment = std::string("line one\r\nline \x1b[1mtwo\r\n") + std::string(1, '\0') + "hidden";
    std::string path = make_archive(dir, "c.zip", a);
    RunResult r = run_engine({"unzip", "-z", path});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Archive:  " + path + "\nline one\nline ^[[1mtwo\n\n");
}

TEST(Comment, LongestCommentIsFoundAndShown) {
    std::string dir = scratch_dir("comment_long");
    Archive a;
    a.members.push_back(stored_member("a.txt", "hello"));
    a.comment = std::string(65535, 'c');
    std::string path = make_archive(dir, "long.zip", a);
    RunResult r = run_engine({"unzip", "-qz", path});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, std::string(65535, 'c') + "\n");
}

TEST(Comment, CommentIsShownBeforeListingUnlessQuiet) {
    std::string dir = scratch_dir("comment_list");
    Archive a;
    a.members.push_back(stored_member("a.txt", "hello"));
    a.comment = "Greetings";
    std::string path = make_archive(dir, "g.zip", a);
    RunResult loud = run_engine({"unzip", "-l", path});
    EXPECT_TRUE(contains(loud.out, "Greetings\n")) << loud.out;
    RunResult quiet = run_engine({"unzip", "-lq", path});
    EXPECT_FALSE(contains(quiet.out, "Greetings")) << quiet.out;
}

TEST(EndRecord, SignatureStraddlingBlockBoundaryIsFound) {
    // Size the comment so that the end signature starts 2 bytes before a 2048-byte boundary
    // (counted from the end of the file), so that it is completed from the hold area.
    std::string dir = scratch_dir("straddle");
    Archive a;
    a.members.push_back(stored_member("a.txt", "hello"));
    Bytes bare = build_zip(a);
    size_t record = bare.size() - 22; // position of the signature without a comment
    // Pick a file size S with S mod 2048 = tail > 18 such that record = S - tail - 2.
    // S = record + 22 + comment; tail = S - (record + 2) => tail = 20 + comment.
    // Then the signature begins at block end - 2 when (record + 2) is a multiple of 2048.
    size_t pad = (2048 - (record + 2) % 2048) % 2048;
    Archive b = a;
    b.prefix = Bytes(pad, 'x');
    b.comment = std::string(100, 'k');
    Bytes data = build_zip(b);
    ASSERT_EQ((pad + record + 2) % 2048, 0u);
    std::string path = dir + "/s.zip";
    write_file(path, data);
    RunResult r = run_engine({"unzip", "-l", path});
    EXPECT_EQ(r.status, pad ? 1 : 0) << r.err;
    EXPECT_TRUE(contains(r.out, "a.txt")) << r.out << r.err;
}

TEST(EndRecord, SignatureNearestTheEndWins) {
    // A second end record inside the comment lies nearer the end of the file, so it is the one
    // taken: it describes an empty archive.
    std::string dir = scratch_dir("two_sigs");
    Archive a;
    a.members.push_back(stored_member("a.txt", "hello"));
    Bytes decoy = {'P', 'K', 5, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    a.comment = std::string(decoy.begin(), decoy.end());
    std::string path = make_archive(dir, "d.zip", a);
    RunResult r = run_engine({"unzip", "-lq", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "warning [" + path + "]:  zipfile is empty\n")) << r.err;
    EXPECT_FALSE(contains(r.out, "a.txt")) << r.out;
}

TEST(EndRecord, NotAZipFile) {
    std::string dir = scratch_dir("not_zip");
    std::string path = dir + "/plain.zip";
    write_file(path, std::string(5000, 'z'));
    RunResult r = run_engine({"unzip", "-l", path});
    EXPECT_EQ(r.status, 9);
    EXPECT_TRUE(contains(
        r.err, "  End-of-central-directory signature not found.  Either this file is not\n"))
        << r.err;
    // The retry with ".zip" finds nothing either, and says that the first file had no directory.
    EXPECT_TRUE(contains(r.err, "unzip:  can't find zipfile directory in " + path +
                                    ",\n        and can't find " + path + ".zip, period.\n"))
        << r.err;
    EXPECT_TRUE(contains(r.err, "No zipfiles found.\n")) << r.err;
}

TEST(Offsets, PrependedBytesAreCompensated) {
    std::string dir = scratch_dir("prepended");
    Archive a;
    a.members.push_back(stored_member("a.txt", "hello"));
    a.members.push_back(stored_member("b.txt", "world"));
    a.prefix = Bytes(100, 0xEE);
    std::string path = make_archive(dir, "p.zip", a);
    RunResult r = run_engine({"unzip", "-l", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(
        contains(r.err, "warning [" + path +
                            "]:  extra 100 bytes at beginning or within zipfile\n  (attempting "
                            "to process anyway)\n"))
        << r.err;
    EXPECT_TRUE(contains(r.out, "b.txt")) << r.out;
}

TEST(Offsets, NullDirectoryOffsetIsRecovered) {
    std::string dir = scratch_dir("null_offset");
    Archive a;
    a.members.push_back(stored_member("a.txt", "hello"));
    a.null_directory_offset = true;
    std::string path = make_archive(dir, "n.zip", a);
    RunResult r = run_engine({"unzip", "-l", path});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(
        contains(r.err, "]:  NULL central directory offset\n  (attempting to process anyway)\n"))
        << r.err;
    EXPECT_TRUE(contains(r.out, "a.txt")) << r.out;
}

TEST(Offsets, MissingBytesAreReported) {
    std::string dir = scratch_dir("missing");
    Archive a;
    a.members.push_back(stored_member("a.txt", "hello"));
    Bytes data = build_zip(a);
    data.erase(data.begin(), data.begin() + 10); // cut the start of the first local header
    std::string path = dir + "/m.zip";
    write_file(path, data);
    RunResult r = run_engine({"unzip", "-l", path});
    EXPECT_TRUE(
        contains(r.err, "]:  missing 10 bytes in zipfile\n  (attempting to process anyway)\n"))
        << r.err;
    EXPECT_GE(r.status, 2);
}

TEST(Disks, MultiDiskArchiveIsRefused) {
    std::string dir = scratch_dir("multidisk");
    Archive a;
    a.members.push_back(stored_member("a.txt", "hello"));
    a.this_disk = 2;
    a.directory_disk = 2;
    std::string path = make_archive(dir, "md.zip", a);
    RunResult r = run_engine({"unzip", "-l", path});
    EXPECT_EQ(r.status, 11);
    EXPECT_TRUE(contains(r.err, "\nerror [" + path +
                                    "]:  zipfile is part of multi-disk archive\n  (sorry, not yet "
                                    "supported).\n"))
        << r.err;
}

TEST(Disks, TwoPartArchiveIsProcessedWithWarning) {
    std::string dir = scratch_dir("twopart");
    Archive a;
    a.members.push_back(stored_member("a.txt", "hello"));
    a.this_disk = 1;
    a.directory_disk = 1;
    std::string path = make_archive(dir, "tp.zip", a);
    RunResult r = run_engine({"unzip", "-l", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(
        contains(r.err, "     Warning:  zipfile claims to be second disk of a two-part archive;\n"))
        << r.err;
    EXPECT_TRUE(contains(r.out, "a.txt"));
}

TEST(Empty, TwentyTwoByteArchiveWarns) {
    std::string dir = scratch_dir("empty");
    Archive a;
    std::string path = make_archive(dir, "e.zip", a);
    ASSERT_EQ(read_file(path).size(), 22u);
    RunResult r = run_engine({"unzip", "-l", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "warning [" + path + "]:  zipfile is empty\n")) << r.err;
}

TEST(Names, ThreeHundredByteNameIsTruncatedAndSkippedExactly) {
    std::string dir = scratch_dir("longname");
    Archive a;
    std::string long_name(300, 'n');
    a.members.push_back(stored_member(long_name, "first"));
    a.members.push_back(stored_member("after.txt", "second"));
    for (auto &m : a.members) m.host_made_by = 3; // no case folding
    std::string path = make_archive(dir, "ln.zip", a);
    RunResult r = run_engine({"unzip", "-l", path});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(contains(r.err, "warning:  filename too long--truncating.\n[ " +
                                    std::string(260, 'n') + " ]\n"))
        << r.err;
    EXPECT_TRUE(contains(r.out, "after.txt")) << r.out;
}

TEST(Names, DosNamesFoldToLowerCaseUnlessKeepCase) {
    std::string dir = scratch_dir("fold");
    Archive a;
    a.members.push_back(stored_member("README.TXT", "x"));
    Member unix_member = stored_member("MixedCase.txt", "y");
    unix_member.host_made_by = 3;
    a.members.push_back(unix_member);
    std::string path = make_archive(dir, "f.zip", a);
    RunResult folded = run_engine({"unzip", "-l", path});
    EXPECT_TRUE(contains(folded.out, "  ^readme.txt\n")) << folded.out;
    EXPECT_TRUE(contains(folded.out, "   MixedCase.txt\n")) << folded.out;
    EXPECT_TRUE(contains(folded.out, " Length    Date    Time    Name (\"^\" ==> case\n"))
        << folded.out;
    RunResult kept = run_engine({"unzip", "-lU", path});
    EXPECT_TRUE(contains(kept.out, "   README.TXT\n")) << kept.out;
    EXPECT_TRUE(
        contains(kept.out, " Length    Date    Time    Name\n ------    ----    ----    ----\n"))
        << kept.out;
}

TEST(Names, ControlCharactersAreMadeVisible) {
    std::string dir = scratch_dir("ctl");
    Archive a;
    Member m = stored_member("tab\there", "x");
    m.host_made_by = 3;
    a.members.push_back(m);
    std::string path = make_archive(dir, "t.zip", a);
    RunResult r = run_engine({"unzip", "-l", path});
    EXPECT_TRUE(contains(r.out, "tab^Ihere\n")) << r.out;
}

TEST(CentralDirectory, ReportedLengthTooLongIsCompensated) {
    // The directory size claims 5 bytes more than it has: the computed displacement is -5... so
    // make the record claim an offset 7 bytes too far instead, with no data in front.
    std::string dir = scratch_dir("too_long");
    Archive a;
    a.members.push_back(stored_member("a.txt", "hello"));
    Bytes data = build_zip(a);
    size_t record = data.size() - 22;
    // directory size field at record + 12: shrink it by 7 so that the displacement is +7.
    uint32_t size = data[record + 12] | (data[record + 13] << 8);
    size -= 7;
    data[record + 12] = static_cast<unsigned char>(size);
    data[record + 13] = static_cast<unsigned char>(size >> 8);
    std::string path = dir + "/tl.zip";
    write_file(path, data);
    RunResult r = run_engine({"unzip", "-l", path});
    EXPECT_TRUE(contains(r.err, "]:  reported length of central directory is\n  -7 bytes too long"))
        << r.err;
    EXPECT_TRUE(contains(r.out, "a.txt")) << r.out;
    EXPECT_EQ(r.status, 2);
}

TEST(CentralDirectory, DirectoryNotFoundIsSevere) {
    std::string dir = scratch_dir("no_dir");
    Archive a;
    a.members.push_back(stored_member("a.txt", "hello"));
    Bytes data = build_zip(a);
    size_t record = data.size() - 22;
    size_t directory = data[record + 16] | (data[record + 17] << 8);
    data[directory + 2] = 9; // the directory's first signature is damaged
    std::string path = dir + "/nd.zip";
    write_file(path, data);
    RunResult r = run_engine({"unzip", "-l", path});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(contains(r.err, "]:  start of central directory not found;\n  zipfile corrupt.\n"))
        << r.err;
}
