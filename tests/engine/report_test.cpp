// The detailed archive report (zipinfo mode), end to end through engine_main.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/engine.h"
#include "tests/support/zip_builder.h"

using namespace qeltest;

namespace {

// A member whose stored bytes are a stand-in: the report never decompresses.
Member packed(const std::string &name, uint16_t method, uint16_t flags, size_t size,
              size_t packed_size) {
    return compressed_member(name, method, flags, Bytes(size, 'a'), Bytes(packed_size, 0x55));
}

std::string write_archive(const std::string &test, const Archive &archive,
                          const std::string &file = "a.zip") {
    return write_zip(scratch_dir("report_" + test) + "/" + file, archive);
}

// Runs the engine from the archive's folder, so that the archive can be named briefly.
RunResult run_in(const std::string &folder, const std::vector<std::string> &args) {
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    RunResult r = run_engine(args);
    std::filesystem::current_path(previous);
    return r;
}

std::string folder_of(const std::string &path) {
    return std::filesystem::path(path).parent_path().generic_string();
}

// The first output line that ends with the given member name.
std::string line_of(const std::string &out, const std::string &name) {
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        std::string line = out.substr(start, end - start);
        if (line.size() >= name.size() &&
            line.compare(line.size() - name.size(), name.size(), name) == 0)
            return line;
        start = end + 1;
    }
    return "";
}

Archive two_members() {
    Archive a;
    a.members.push_back(stored_member("RUN.BAT", "hello"));
    Member readme = stored_member("README.TXT", "some text\r\n");
    readme.internal_attributes = 1;
    readme.external_attributes = 0x21;
    a.members.push_back(readme);
    return a;
}

} // namespace

TEST(Report, DefaultFormatIsShortLinesWithHeaderAndTotals) {
    std::string path = write_archive("default", two_members());
    RunResult r = run_in(folder_of(path), {"zipinfo", "a.zip"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::string size = std::to_string(read_file(path).size());
    EXPECT_EQ(r.out, "Archive:  a.zip   " + size +
                         " bytes   2 files\n"
                         "-rwxa--     2.0 fat       5 b- stor  1-Jan-02 12:00 RUN.BAT\n"
                         "-r--a--     2.0 fat      11 t- stor  1-Jan-02 12:00 README.TXT\n"
                         "2 files, 16 bytes uncompressed, 16 bytes compressed:  0.0%\n");
}

TEST(Report, ReadOnlyArchiveFlagsAndHiddenSystemDirectoryColumns) {
    Archive a;
    Member m = stored_member("X", "");
    m.external_attributes = 0x37; // read-only, hidden, system, directory, archive
    a.members.push_back(m);
    std::string path = write_archive("fatbits", a);
    RunResult r = run_engine({"zipinfo", "-s", path});
    EXPECT_EQ(line_of(r.out, "X").substr(0, 15), "dr--ahs     2.0");
}

TEST(Report, ShortFormAndUnixProgramNames) {
    std::string path = write_archive("names", two_members());
    RunResult viaZ = run_engine({"unzip", "-Z", path});
    RunResult viaII = run_engine({"ii", path});
    RunResult viaZipinfo = run_engine({"/usr/local/bin/ZIPinfo.exe", path});
    EXPECT_EQ(viaZ.status, 0);
    EXPECT_EQ(viaZ.out, viaII.out);
    EXPECT_EQ(viaZ.out, viaZipinfo.out);
    EXPECT_TRUE(contains(viaZ.out, "RUN.BAT\n"));
}

TEST(Report, ExecutableExtensionsOnlyOnFatHosts) {
    Archive a;
    for (const char *name :
         {"a.com", "B.EXE", "c.Btm", "d.cmd", "e.batch", "f.txt", "g.co", "noext"})
        a.members.push_back(stored_member(name, "x"));
    Member unix_bat = stored_member("u.bat", "x");
    unix_bat.host_made_by = 3;
    unix_bat.external_attributes = 0100644u << 16;
    a.members.push_back(unix_bat);
    std::string path = write_archive("exec", a);
    RunResult r = run_engine({"zipinfo", path});
    for (const char *name : {"a.com", "B.EXE", "c.Btm", "d.cmd", "e.batch"})
        EXPECT_EQ(line_of(r.out, name).substr(0, 7), "-rwxa--") << name;
    for (const char *name : {"f.txt", "g.co", "noext"})
        EXPECT_EQ(line_of(r.out, name).substr(0, 7), "-rw-a--") << name;
    EXPECT_EQ(line_of(r.out, "u.bat").substr(0, 10), "-rw-r--r--");
}

TEST(Report, VolumeLabelShowsV) {
    Archive a;
    Member label = stored_member("MYDISK  .LBL", "");
    label.external_attributes = 0x08;
    a.members.push_back(label);
    std::string path = write_archive("label", a);
    RunResult r = run_engine({"zipinfo", path});
    EXPECT_EQ(r.status, 0) << r.err;
    // The dot after the eighth character of a label is not part of its name.
    EXPECT_EQ(line_of(r.out, "MYDISK  LBL"),
              "Vrw----     2.0 fat       0 b- stor  1-Jan-02 12:00 MYDISK  LBL");
    // The volume-label bit means nothing for a Unix member.
    Archive b;
    Member unix_member = stored_member("NOTLABEL.X", "");
    unix_member.host_made_by = 3;
    unix_member.external_attributes = (0100644u << 16) | 0x08;
    b.members.push_back(unix_member);
    RunResult u = run_engine({"zipinfo", write_archive("label_unix", b)});
    EXPECT_TRUE(
        contains(u.out, "-rw-r--r--  2.0 unx       0 b- stor  1-Jan-02 12:00 NOTLABEL.X\n"));
}

TEST(Report, UnixModesWithSpecialBits) {
    struct Case {
        uint32_t mode;
        const char *text;
    };
    const Case cases[] = {
        {0104755, "-rwsr-xr-x"}, {0104644, "-rwSr--r--"}, {0102755, "-rwxr-sr-x"},
        {0102745, "-rwxr-lr-x"}, {041777, "drwxrwxrwt"},  {041776, "drwxrwxrwT"},
        {0120777, "lrwxrwxrwx"}, {060640, "brw-r-----"},  {020600, "crw-------"},
        {010600, "prw-------"},  {0140755, "srwxr-xr-x"}, {0170000, "?---------"},
    };
    Archive a;
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        Member m = stored_member("file" + std::to_string(i), "");
        m.host_made_by = 3;
        m.version_made_by = 23;
        m.external_attributes = cases[i].mode << 16;
        a.members.push_back(m);
    }
    std::string path = write_archive("unix", a);
    RunResult r = run_engine({"zipinfo", path});
    EXPECT_EQ(r.status, 0) << r.err;
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
        EXPECT_EQ(line_of(r.out, "file" + std::to_string(i)).substr(0, 19),
                  std::string(cases[i].text) + "  2.3 unx");
}

TEST(Report, VmsAndAmigaAttributes) {
    Archive a;
    Member vms = stored_member("VMS.DAT", "");
    vms.host_made_by = 2;
    vms.external_attributes = 0750u << 16;
    a.members.push_back(vms);
    Member vms_full = stored_member("FULL.DAT", "");
    vms_full.host_made_by = 2;
    vms_full.external_attributes = 0777u << 16;
    a.members.push_back(vms_full);
    Member amiga = stored_member("amiga", "");
    amiga.host_made_by = 1;
    amiga.external_attributes = ((2u << 10) | 0xA5u) << 16;
    a.members.push_back(amiga);
    std::string path = write_archive("vms", a);
    RunResult r = run_engine({"zipinfo", path});
    EXPECT_EQ(line_of(r.out, "VMS.DAT"),
              "RWED,RE,    2.0 vms       0 b- stor  1-Jan-02 12:00 VMS.DAT");
    // Three full groups leave no room for the version.
    EXPECT_EQ(line_of(r.out, "FULL.DAT"),
              "RWED,RWED,RWED  vms       0 b- stor  1-Jan-02 12:00 FULL.DAT");
    EXPECT_EQ(line_of(r.out, "amiga"), "dh-p--w-d   2.0 ami       0 b- stor  1-Jan-02 12:00 amiga");

    RunResult v = run_engine({"zipinfo", "-v", path});
    EXPECT_TRUE(
        contains(v.out, "  VMS file attributes (000750 octal):               (RWED,RWED,RE,)\n"));
    EXPECT_TRUE(contains(v.out, "  Amiga file attributes (004245 octal):             dh-p--w-d\n"));
}

TEST(Report, NamesFormatsAndHeaderTotalsRequests) {
    Archive a = two_members();
    a.comment = "the comment";
    std::string path = write_archive("names_formats", a);
    std::string folder = folder_of(path);
    std::string size = std::to_string(read_file(path).size());

    RunResult one = run_in(folder, {"zipinfo", "-z1", "a.zip"});
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.out, "RUN.BAT\nREADME.TXT\n"); // no header, totals or comment

    RunResult two = run_in(folder, {"zipinfo", "-2", "a.zip"});
    EXPECT_EQ(two.out, "RUN.BAT\nREADME.TXT\n");
    RunResult two_ht = run_in(folder, {"zipinfo", "-2", "-h", "-t", "-z", "a.zip"});
    EXPECT_EQ(two_ht.out, "Archive:  a.zip   " + size +
                              " bytes   2 files\nthe comment\n"
                              "RUN.BAT\nREADME.TXT\n"
                              "2 files, 16 bytes uncompressed, 16 bytes compressed:  0.0%\n");

    RunResult h = run_in(folder, {"zipinfo", "-h", "a.zip"});
    EXPECT_EQ(h.out, "Archive:  a.zip   " + size + " bytes   2 files\n");
    RunResult t = run_in(folder, {"zipinfo", "-t", "a.zip"});
    EXPECT_EQ(t.out, "2 files, 16 bytes uncompressed, 16 bytes compressed:  0.0%\n");
    RunResult neither = run_in(folder, {"zipinfo", "-s-h--t", "a.zip"});
    EXPECT_EQ(neither.out, "-rwxa--     2.0 fat       5 b- stor  1-Jan-02 12:00 RUN.BAT\n"
                           "-r--a--     2.0 fat      11 t- stor  1-Jan-02 12:00 README.TXT\n");
}

TEST(Report, RatioAndCompressedSizeColumns) {
    Archive a;
    a.members.push_back(packed("big.txt", 8, 0, 3000, 1000));
    a.members.push_back(packed("grown", 8, 0, 1000, 1030));
    std::string path = write_archive("columns", a);
    RunResult m = run_engine({"zipinfo", "-m", path});
    EXPECT_EQ(m.status, 0) << m.err;
    EXPECT_EQ(line_of(m.out, "big.txt"),
              "-rw-a--     2.0 fat    3000 b- 67% defN  1-Jan-02 12:00 big.txt");
    EXPECT_EQ(line_of(m.out, "grown"),
              "-rw-a--     2.0 fat    1000 b- -2% defN  1-Jan-02 12:00 grown");
    EXPECT_TRUE(
        contains(m.out, "2 files, 4000 bytes uncompressed, 2030 bytes compressed:  49.3%\n"));
    RunResult l = run_engine({"zipinfo", "-l", path});
    EXPECT_EQ(line_of(l.out, "big.txt"),
              "-rw-a--     2.0 fat    3000 b-    1000 defN  1-Jan-02 12:00 big.txt");
    RunResult grew = run_engine({"zipinfo", "-t", path, "grown"});
    EXPECT_EQ(grew.out, "-rw-a--     2.0 fat    1000 b- defN  1-Jan-02 12:00 grown\n"
                        "1 file, 1000 bytes uncompressed, 1030 bytes compressed:  -3.0%\n");
}

TEST(Report, MemberNamesAfterArchiveSelectAndDropHeaderAndTotals) {
    Archive a = two_members();
    a.members.push_back(stored_member("other.dat", "1234"));
    std::string path = write_archive("select", a);
    RunResult r =
        run_engine({"zipinfo", path, "*.BAT", "*.TXT", "nothing*", "-x", "README*", "gone"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "-rwxa--     2.0 fat       5 b- stor  1-Jan-02 12:00 RUN.BAT\n");
    EXPECT_TRUE(contains(r.err, "caution: filename not matched:  nothing*\n"));
    EXPECT_TRUE(contains(r.err, "caution: excluded filename not matched:  gone\n"));
    EXPECT_FALSE(contains(r.err, "README*"));

    // Matching is case-sensitive in the report.
    RunResult lower = run_engine({"zipinfo", path, "run.bat"});
    EXPECT_EQ(lower.out, "");
    EXPECT_TRUE(contains(lower.err, "caution: filename not matched:  run.bat\n"));

    // Asking explicitly brings header and totals back.
    RunResult ht = run_engine({"zipinfo", "-ht", path, "RUN.BAT"});
    EXPECT_TRUE(contains(ht.out, "Archive:  "));
    EXPECT_TRUE(contains(ht.out, "1 file, 5 bytes uncompressed, 5 bytes compressed:  0.0%\n"));
    // -h alone with names is the short format, header only.
    RunResult h = run_engine({"zipinfo", "-h", path, "RUN.BAT"});
    EXPECT_TRUE(contains(h.out, "Archive:  "));
    EXPECT_TRUE(contains(h.out, "RUN.BAT\n"));
    EXPECT_FALSE(contains(h.out, "1 file,"));
}

TEST(Report, NegatedFormatLetterFallsBackToShortFormat) {
    std::string path = write_archive("negated", two_members());
    RunResult plain = run_engine({"zipinfo", path});
    RunResult negated_v = run_engine({"zipinfo", "--v", path});
    RunResult cancelled = run_engine({"zipinfo", "-v-", "-v", "-h", path}); // count carries over
    EXPECT_EQ(negated_v.status, 0);
    EXPECT_EQ(negated_v.out, plain.out);
    EXPECT_EQ(cancelled.out, plain.out);
    // A format chosen by an earlier call does not stay chosen.
    run_engine({"zipinfo", "-v", path});
    EXPECT_EQ(run_engine({"zipinfo", path}).out, plain.out);
    run_engine({"zipinfo", "-1", path});
    EXPECT_EQ(run_engine({"zipinfo", "-h", path}).out.rfind("Archive:  ", 0), 0u);
}

TEST(Report, BadOptionsAndMissingArchiveShowTheUsage) {
    RunResult bad = run_engine({"zipinfo", "-q", "x.zip"});
    EXPECT_EQ(bad.status, 10);
    EXPECT_EQ(bad.err.rfind("QEL Setup archive report 2.0 of 7 February 1994\n", 0), 0u) << bad.err;
    EXPECT_TRUE(contains(bad.err, "\nmain listing-format options:"));
    EXPECT_EQ(bad.out, "");
    RunResult none = run_engine({"unzip", "-Z", "-v"});
    EXPECT_EQ(none.status, 0);
    EXPECT_TRUE(contains(none.out, "\nmain listing-format options:"));
}

TEST(Report, ArchiveNamesOf39CharactersUseTheShortHeader) {
    const std::string long_name = std::string(35, 'n') + ".zip";  // 39 characters
    const std::string short_name = std::string(34, 'n') + ".zip"; // 38 characters
    std::string path = write_archive("name39", two_members(), long_name);
    std::string folder = folder_of(path);
    write_file(folder + "/" + short_name, read_file(path));
    std::string size = std::to_string(read_file(path).size());
    RunResult r39 = run_in(folder, {"zipinfo", "-h", long_name});
    EXPECT_EQ(r39.out, "Archive:  " + long_name + "   " + size + "   2\n");
    RunResult r38 = run_in(folder, {"zipinfo", "-h", short_name});
    EXPECT_EQ(r38.out, "Archive:  " + short_name + "   " + size + " bytes   2 files\n");
    Archive single;
    single.members.push_back(stored_member("one", "1"));
    write_file(folder + "/1.zip", build_zip(single));
    EXPECT_TRUE(contains(run_in(folder, {"zipinfo", "-h", "1.zip"}).out, " bytes   1 file\n"));
}

TEST(Report, EncryptedMembersCountTwelveBytesLess) {
    Archive a;
    Member text = packed("secret.txt", 8, 1, 200, 112);
    text.internal_attributes = 1;
    a.members.push_back(text);
    a.members.push_back(packed("secret.bin", 0, 1, 88, 100));
    std::string path = write_archive("encrypted", a);
    RunResult m = run_engine({"zipinfo", "-m", path});
    EXPECT_EQ(m.status, 0) << m.err;
    EXPECT_EQ(line_of(m.out, "secret.txt"),
              "-rw-a--     2.0 fat     200 T- 50% defN  1-Jan-02 12:00 secret.txt");
    EXPECT_EQ(line_of(m.out, "secret.bin"),
              "-rw-a--     2.0 fat      88 B-  0% stor  1-Jan-02 12:00 secret.bin");
    EXPECT_TRUE(contains(m.out, "2 files, 288 bytes uncompressed, 188 bytes compressed:  34.7%\n"));
    RunResult l = run_engine({"zipinfo", "-l", path});
    EXPECT_EQ(line_of(l.out, "secret.txt"),
              "-rw-a--     2.0 fat     200 T-     112 defN  1-Jan-02 12:00 secret.txt");
    RunResult v = run_engine({"zipinfo", "-v", path});
    EXPECT_TRUE(contains(v.out, "  file security status:                             encrypted\n"));
    EXPECT_TRUE(contains(v.out, "  compressed size:                                  112 bytes\n"));
}

TEST(Report, EncryptedMemberSmallerThanItsHeaderCountsZero) {
    Archive a;
    a.members.push_back(packed("tiny", 0, 1, 5, 5));
    std::string path = write_archive("encrypted_tiny", a);
    RunResult r = run_engine({"zipinfo", "-t", path});
    EXPECT_EQ(r.out, "1 file, 5 bytes uncompressed, 0 bytes compressed:  100.0%\n");
}

TEST(Report, MethodAbbreviationsAndNames) {
    Archive a;
    a.members.push_back(packed("imp0", 6, 0, 10, 5));
    a.members.push_back(packed("imp2", 6, 2, 10, 5));
    a.members.push_back(packed("imp4", 6, 4, 10, 5));
    a.members.push_back(packed("imp6", 6, 6, 10, 5));
    a.members.push_back(packed("def0", 8, 0, 10, 5));
    a.members.push_back(packed("def2", 8, 2, 10, 5));
    a.members.push_back(packed("def4", 8, 4, 10, 5));
    a.members.push_back(packed("def6", 8, 6, 10, 5));
    a.members.push_back(packed("m10", 10, 0, 10, 5));
    a.members.push_back(packed("m1", 1, 0, 10, 5));
    a.members.push_back(packed("m3", 3, 0, 10, 5));
    a.members.push_back(packed("m7", 7, 0, 10, 5));
    std::string path = write_archive("methods", a);
    RunResult r = run_engine({"zipinfo", path});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::pair<const char *, const char *> expected[] = {
        {"imp0", "i4:2"}, {"imp2", "i8:2"}, {"imp4", "i4:3"}, {"imp6", "i8:3"},
        {"def0", "defN"}, {"def2", "defX"}, {"def4", "defF"}, {"def6", "defS"},
        {"m10", "u010"},  {"m1", "shrk"},   {"m3", "re:2"},   {"m7", "tokn"}};
    for (const auto &[name, method] : expected)
        EXPECT_EQ(line_of(r.out, name).substr(31, 4), method) << line_of(r.out, name);

    RunResult v = run_engine({"zipinfo", "-v", path});
    const std::string dictionary = "  size of sliding dictionary (implosion):           ";
    const std::string trees = "  number of Shannon-Fano trees (implosion):         ";
    const std::string subtype = "  compression sub-type (deflation):                 ";
    EXPECT_TRUE(contains(v.out, dictionary + "4K\n" + trees + "2\n"));
    EXPECT_TRUE(contains(v.out, dictionary + "8K\n" + trees + "2\n"));
    EXPECT_TRUE(contains(v.out, dictionary + "4K\n" + trees + "3\n"));
    EXPECT_TRUE(contains(v.out, dictionary + "8K\n" + trees + "3\n"));
    for (const char *name : {"normal", "maximum", "fast", "superfast"})
        EXPECT_TRUE(contains(v.out, subtype + name + "\n")) << name;
    EXPECT_TRUE(
        contains(v.out, "  compression method:                               unknown (10)\n"));
    EXPECT_TRUE(contains(
        v.out, "  compression method:                               reduced (factor 2)\n"));
    EXPECT_TRUE(contains(v.out, "  compression method:                               tokenized\n"));
}

TEST(Report, DataDescriptorMembersShowXAndL) {
    Archive a;
    Member plain = stored_member("plain", "abc");
    plain.data_descriptor = true;
    a.members.push_back(plain);
    Member with_extra = stored_member("extra", "abc");
    with_extra.data_descriptor = true;
    with_extra.extra = {0x55, 0x54, 0x01, 0x00, 0x00};
    a.members.push_back(with_extra);
    Member extra_only = stored_member("xonly", "abc");
    extra_only.extra = {0x55, 0x54, 0x01, 0x00, 0x00};
    a.members.push_back(extra_only);
    std::string path = write_archive("descriptor", a);
    RunResult r = run_engine({"zipinfo", path});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(line_of(r.out, "plain").substr(28, 2), "bl");
    EXPECT_EQ(line_of(r.out, "extra").substr(28, 2), "bX");
    EXPECT_EQ(line_of(r.out, "xonly").substr(28, 2), "bx");
    RunResult v = run_engine({"zipinfo", "-v", path, "plain"});
    EXPECT_TRUE(contains(v.out, "  extended local header:                            yes\n"));
}

TEST(Report, VerboseReportIsExact) {
    Archive a;
    Member m = stored_member("dir/file.txt", "hello world");
    m.host_made_by = 3;
    m.version_made_by = 30;
    m.version_needed = 10;
    m.internal_attributes = 1;
    m.external_attributes = (0100644u << 16) | 0x01;
    m.mod_date = static_cast<uint16_t>(((2002 - 1980) << 9) | (3 << 5) | 15);
    m.mod_time = static_cast<uint16_t>((13 << 11) | (5 << 5) | 21);
    m.comment = "a file comment";
    a.members.push_back(m);
    std::string path = write_archive("verbose", a);
    Bytes bytes = read_file(path);
    RunResult r = run_in(folder_of(path), {"zipinfo", "-v", "a.zip"});
    EXPECT_EQ(r.status, 0) << r.err;
    char crc[16];
    std::snprintf(crc, sizeof crc, "%.8lx",
                  static_cast<unsigned long>(crc32_of(std::string("hello world"))));
    // local header 30 + 12 + 11 = 53; central entry 46 + 12 + 14 = 72; end record at 125.
    std::string expected =
        "Archive:  a.zip   " + std::to_string(bytes.size()) +
        " bytes   1 file\n"
        "\nEnd-of-central-directory record:\n"
        "-------------------------------\n\n"
        "  Actual offset of end-of-central-dir record:         125 (0000007Dh)\n"
        "  Expected offset of end-of-central-dir record:       125 (0000007Dh)\n"
        "  (based on the length of the central directory and its expected offset)\n\n"
        "  This zipfile constitutes the sole disk of a single-part archive; its\n"
        "  central directory contains 1 entry.  The central directory is 72\n"
        "  (00000048h) bytes long, and its (expected) offset in bytes from the\n"
        "  beginning of the zipfile is 53 (00000035h).\n\n"
        "  There is no zipfile comment.\n"
        "\f\nCentral directory entry #0:\n"
        "---------------------------\n\n"
        "\n  host operating system (created on):               Unix\n"
        "  version of encoding software:                     3.0\n"
        "  minimum operating system compatibility required:  MS-DOS, OS/2 or NT FAT\n"
        "  minimum software version required to extract:     1.0\n"
        "  compression method:                               none (stored)\n"
        "  file security status:                             not encrypted\n"
        "  extended local header:                            no\n"
        "  file last modified on:                            2002 Mar 15 13:05:42\n"
        "  32-bit CRC value (hex):                           " +
        std::string(crc) +
        "\n"
        "  compressed size:                                  11 bytes\n"
        "  uncompressed size:                                11 bytes\n"
        "  length of filename:                               12 characters\n"
        "  length of extra field:                            0 bytes\n"
        "  length of file comment:                           14 characters\n"
        "  disk number on which file begins:                 disk 0\n"
        "  apparent file type:                               text\n"
        "  Unix file attributes (100644 octal):              -rw-r--r--\n"
        "  MS-DOS file attributes (01 hex):                  read-only\n"
        "  offset of local header from start of archive:     0 (00000000h) bytes\n"
        "\n"
        "------------------------- file comment begins ----------------------------\n"
        "a file comment\n"
        "-------------------------- file comment ends -----------------------------\n"
        "\n";
    EXPECT_EQ(r.out, expected);

    RunResult s = run_engine({"zipinfo", path});
    EXPECT_EQ(line_of(s.out, "dir/file.txt"),
              "-rw-r--r--  3.0 unx      11 t- stor 15-Mar-02 13:05 dir/file.txt");
}

TEST(Report, VerboseFatAttributesExtraFieldsAndTotals) {
    Archive a;
    Member fat = stored_member("FAT.TXT", "x");
    fat.external_attributes = 0x123F; // every MS-DOS bit, and some above them
    fat.extra = {0x09, 0x00, 0x04, 0x00, 0x10, 0x27, 0x00, 0x00}; // OS/2 EAs, 10000 bytes
    a.members.push_back(fat);
    Member unknown = stored_member("UNK.TXT", "y");
    unknown.external_attributes = 0;
    unknown.extra = {0x09, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00}; // tag 9 of size 0
    a.members.push_back(unknown);
    Member hidden = stored_member("HID.TXT", "z");
    hidden.host_made_by = 11;
    hidden.external_attributes = 0x02;
    hidden.extra = {0x09, 0x00}; // too short for its value
    a.members.push_back(hidden);
    std::string path = write_archive("verbose_fat", a);
    RunResult r = run_engine({"zipinfo", "-v", "-t", path});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(
        contains(r.out, "  non-MSDOS external file attributes:               000012 hex\n"));
    EXPECT_TRUE(contains(
        r.out, "  MS-DOS file attributes (3F hex):                  rdo hid sys lab dir arc\n"));
    EXPECT_TRUE(contains(r.out, "  MS-DOS file attributes (00 hex):                  none\n"));
    EXPECT_TRUE(contains(r.out, "  MS-DOS file attributes (02 hex):                  hid \n"));
    EXPECT_TRUE(contains(r.out, "  host operating system (created on):               NT NTFS\n"));
    EXPECT_TRUE(contains(r.out,
                         "\n  This file has 10000 bytes of OS/2 EA's in the local extra field.\n"
                         "  (May not match OS/2 \"dir\" amount due to storage method.)\n\n"
                         "  There is no file comment.\n"));
    size_t unknown_lines = 0;
    for (size_t p = r.out.find("There is an unknown extra field"); p != std::string::npos;
         p = r.out.find("There is an unknown extra field", p + 1))
        ++unknown_lines;
    EXPECT_EQ(unknown_lines, 2u);
    EXPECT_TRUE(contains(r.out, "\f\nCentral directory entry #2:\n"));
    EXPECT_TRUE(contains(r.out, "3 files, 3 bytes uncompressed, 3 bytes compressed:  0.0%\n\n"));
}

TEST(Report, VerboseArchiveCommentAndMultiPartDescription) {
    Archive a = two_members();
    a.comment = "line one\r\nline two";
    a.this_disk = 1;
    a.directory_disk = 1;
    std::string path = write_archive("verbose_comment", a);
    RunResult r = run_engine({"zipinfo", "-v", path});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out,
                         "  This zipfile constitutes disk 1 of a multi-part archive.  The central\n"
                         "  directory starts on disk 1; 2 of its entries are contained within\n"
                         "  this zipfile, out of a total of 2 entries.  The entire central\n"));
    EXPECT_TRUE(contains(
        r.out, "  The zipfile comment is 18 bytes long and contains the following text:\n\n"
               "======================== zipfile comment begins ==========================\n"
               "line one\nline two\n"
               "========================= zipfile comment ends ===========================\n"));
    // Short format shows the comment only with -z.
    EXPECT_FALSE(contains(run_engine({"zipinfo", path}).out, "line one"));
    EXPECT_TRUE(contains(run_engine({"zipinfo", "-z", path}).out, "line one\nline two\n"));
}

TEST(Report, TruncatedArchiveCommentIsAWarning) {
    Archive a = two_members();
    a.comment = std::string(40, 'c');
    std::string path = write_archive("truncated_comment", a);
    Bytes bytes = read_file(path);
    bytes.resize(bytes.size() - 10);
    write_file(path, bytes);
    RunResult v = run_engine({"zipinfo", "-v", path});
    EXPECT_EQ(v.status, 1);
    EXPECT_TRUE(contains(v.out, "\n  The zipfile comment is truncated.\n"));
    EXPECT_TRUE(contains(v.out, "Central directory entry #1:"));
    RunResult z = run_engine({"zipinfo", "-z", path});
    EXPECT_EQ(z.status, 1);
    EXPECT_TRUE(contains(z.err, "\ncaution:  zipfile comment truncated\n"));
}

TEST(Report, DatesWithImpossibleMonthsAndLargeVersions) {
    Archive a;
    Member zero = stored_member("zero", "");
    zero.mod_date = static_cast<uint16_t>((10 << 9) | (0 << 5) | 5);
    a.members.push_back(zero);
    Member thirteen = stored_member("thirteen", "");
    thirteen.mod_date = static_cast<uint16_t>((10 << 9) | (15 << 5) | 31);
    thirteen.mod_time = 0xFFFF;
    a.members.push_back(thirteen);
    Member modern = stored_member("modern", "");
    modern.version_made_by = 105;
    modern.host_made_by = 30; // beyond the host table
    modern.external_attributes = 0100600u << 16;
    a.members.push_back(modern);
    std::string path = write_archive("dates", a);
    RunResult r = run_engine({"zipinfo", path});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(line_of(r.out, "zero"), "-rw-a--     2.0 fat       0 b- stor  5-?\?\?-90 12:00 zero");
    EXPECT_EQ(line_of(r.out, "thirteen"),
              "-rw-a--     2.0 fat       0 b- stor 31-?\?\?-90 31:63 thirteen");
    EXPECT_EQ(line_of(r.out, "modern"),
              "-rw-------  10.5 ???       0 b- stor  1-Jan-02 12:00 modern");
    RunResult v = run_engine({"zipinfo", "-v", path});
    EXPECT_TRUE(contains(
        v.out, "  file last modified on:                            1990 ??? 5 12:00:00\n"));
    EXPECT_TRUE(contains(v.out, "  host operating system (created on):               unknown\n"));
    EXPECT_TRUE(contains(v.out, "  version of encoding software:                     10.5\n"));
}

TEST(Report, NamelessMemberDoesNotShowThePreviousName) {
    Archive a;
    a.members.push_back(stored_member("first", "1"));
    a.members.push_back(stored_member("", "2"));
    std::string path = write_archive("nameless", a);
    RunResult r = run_engine({"zipinfo", "-1", path});
    EXPECT_EQ(r.out, "first\n\n");
}

TEST(Report, ControlCharactersInNamesAreMadeVisible) {
    Archive a;
    a.members.push_back(stored_member("tab\there", "1"));
    RunResult r = run_engine({"zipinfo", "-1", write_archive("control", a)});
    EXPECT_EQ(r.out, "tab^Ihere\n");
}

TEST(Report, BrokenDirectoryEntryEndsTheReport) {
    Archive a = two_members();
    std::string path = write_archive("broken", a);
    Bytes bytes = read_file(path);
    // The second central header follows the first (46 + 7 name bytes) at the directory start.
    size_t directory = 30 + 7 + 5 + 30 + 10 + 11;
    ASSERT_EQ(bytes[directory + 46 + 7], 'P');
    bytes[directory + 46 + 7 + 2] = 9;
    write_file(path, bytes);
    RunResult r = run_engine({"zipinfo", "-t", path});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(
        contains(r.err, "error:  expected central file header signature not found (file #1).\n"));
    EXPECT_EQ(r.out, "");
}

TEST(Report, NotFoundMessageNamesTheArchiveWithoutHeaderLine) {
    std::string folder = scratch_dir("report_notzip");
    write_file(folder + "/junk.zip", std::string(100, 'j'));
    RunResult with_header = run_engine({"zipinfo", folder + "/junk.zip"});
    EXPECT_EQ(with_header.status, 9);
    EXPECT_EQ(with_header.err.find("[" + folder + "/junk.zip]\n"), std::string::npos);
    EXPECT_TRUE(contains(with_header.err, "  End-of-central-directory signature not found."));
    RunResult bare = run_engine({"zipinfo", "-1", folder + "/junk.zip"});
    EXPECT_TRUE(contains(bare.err, "[" + folder + "/junk.zip]\n  End-of-central-directory"));
}

TEST(Report, EveryCorpusArchiveReports) {
    int archives = 0;
    for (const auto &entry : std::filesystem::directory_iterator(corpus_path(""))) {
        std::string extension = entry.path().extension().string();
        if (extension != ".zip" && extension != ".ZIP") continue;
        ++archives;
        const std::string path = entry.path().string();
        // An archive without members is reported with a warning.
        const int expected = entry.path().filename() == "empty-with-comment.zip" ? 1 : 0;
        for (const char *format : {"-s", "-v", "-m", "-l", "-1", "-2ht"}) {
            RunResult r = run_engine({"zipinfo", format, path});
            EXPECT_EQ(r.status, expected) << path << " " << format << "\n" << r.err;
            EXPECT_FALSE(contains(r.err, "error:") || contains(r.err, "error ["))
                << path << " " << format << "\n"
                << r.err;
        }
    }
    EXPECT_GE(archives, 20);
    RunResult moby = run_engine({"zipinfo", "-1", corpus_path("moby-imploded.zip")});
    size_t lines = 0;
    for (char c : moby.out) lines += c == '\n';
    EXPECT_EQ(lines, 135u);
    RunResult scr = run_engine({"zipinfo", corpus_path("SCRNC102.ZIP")});
    EXPECT_EQ(line_of(scr.out, "COMPRESS.BAT"),
              "-rwxa--     2.0 fat    2063 t- defN  4-Apr-88 18:13 COMPRESS.BAT");
}
