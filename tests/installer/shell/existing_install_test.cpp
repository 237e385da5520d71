// Reading an existing installation's settings files and deriving the new folders.
#include "tests/installer/installer_fixture.h"

using namespace qeltest;

namespace {

class ExistingInstall : public InstallerTest {
  protected:
    std::string dir;
    std::string option_file, path_file;
    void SetUp() override {
        InstallerTest::SetUp();
        dir = scratch_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        copy_path(settings.existing_path, dir.c_str());
        std::filesystem::create_directories(dir + "/OPTIONS");
        option_file = win_path(dir, "OPTIONS\\STANDARD.QPA");
        path_file = win_path(dir, "OPTIONS\\QELPATH.DAT");
    }
    int read() { return read_existing_settings(option_file.c_str(), path_file.c_str()); }
};

} // namespace

TEST_F(ExistingInstall, KeyLayoutReadsFoldersByPrefix) {
    write_file(host(option_file), "QPA3.10\n"
                                  "DownloadPath=\"D:\\DL\"\n"
                                  "uploadpath=\"UP\"\n"
                                  "Other=\"x\"\n"
                                  "CapturePath=\"LOGS\"\n"
                                  "ScriptPath=\"SCR\"\n"
                                  "OptsPath=\"OPT1\"\n"
                                  "OptsPath=\"OPT2\"\n");
    EXPECT_EQ(read(), 1);
    EXPECT_STREQ(settings.existing_version, "3.10");
    EXPECT_EQ(settings.existing_is_beta, 0);
    EXPECT_STREQ(settings.old_download_dir, "D:\\DL");
    EXPECT_STREQ(settings.old_upload_dir, "UP");
    EXPECT_STREQ(settings.old_log_dir, "LOGS");
    EXPECT_STREQ(settings.old_script_dir, "SCR");
    EXPECT_STREQ(settings.old_options_dir, "OPT2"); // the last of two wins
    EXPECT_EQ(std::string(settings.old_options_path), win_path(dir, "OPT2"));
    EXPECT_EQ(std::string(settings.old_script_path), win_path(dir, "SCR"));
}

TEST_F(ExistingInstall, KeyLayoutMissingKeysKeepDefaults) {
    write_file(host(option_file), "QPA2.55\nCapturePath=\"C:\\ELSEWHERE\\LOG\"");
    EXPECT_EQ(read(), 1);
    EXPECT_EQ(settings.existing_is_beta, 1);
    EXPECT_STREQ(settings.old_download_dir, "DOWNLOAD");
    // The last line has no line end: its closing quote goes, nothing else.
    EXPECT_STREQ(settings.old_log_dir, "C:\\ELSEWHERE\\LOG");
}

TEST_F(ExistingInstall, KeyLayoutBetaRange) {
    for (auto [version, beta] : {std::pair{"2.50", 1}, {"2.99", 1}, {"2.49", 0}, {"3.10", 0}}) {
        write_file(host(option_file), std::string("QPA") + version + "\n");
        read();
        EXPECT_EQ(settings.existing_is_beta, beta) << version;
    }
}

TEST_F(ExistingInstall, FixedLayoutBeforeAndAfter250) {
    write_file(host(path_file), "DAT2.10\nDL\nx\nUP\ny\nLG\nSC\nOP\n");
    EXPECT_EQ(read(), 1);
    EXPECT_STREQ(settings.existing_version, "2.10");
    EXPECT_EQ(settings.existing_is_beta, 0);
    EXPECT_STREQ(settings.old_download_dir, "DL");
    EXPECT_STREQ(settings.old_upload_dir, "UP");
    EXPECT_STREQ(settings.old_log_dir, "LG");
    EXPECT_STREQ(settings.old_script_dir, "SC");
    EXPECT_STREQ(settings.old_options_dir, "OP");

    write_file(host(path_file), "DAT2.60\nDL\nx\nUP\ny\nLG\nextra\nSC\nOP\n");
    EXPECT_EQ(read(), 1);
    EXPECT_STREQ(settings.old_script_dir, "SC");
    EXPECT_STREQ(settings.old_options_dir, "OP");
}

TEST_F(ExistingInstall, FixedLayoutBetaRanges) {
    for (auto [version, beta] : {std::pair{"2.07", 1},
                                 {"1.99", 1},
                                 {"2.06", 1},
                                 {"2.09", 1},
                                 {"2.10", 0},
                                 {"2.05", 0},
                                 {"2.00", 0}}) {
        write_file(host(path_file), std::string("DAT") + version + "\n");
        read();
        EXPECT_EQ(settings.existing_is_beta, beta) << version;
    }
}

TEST_F(ExistingInstall, FixedLayoutShortFileEmptiesMissingFields) {
    write_file(host(path_file), "DAT2.10\nDL\n");
    EXPECT_EQ(read(), 1);
    EXPECT_STREQ(settings.old_download_dir, "DL");
    EXPECT_STREQ(settings.old_upload_dir, "");
    EXPECT_STREQ(settings.old_options_dir, "");
}

TEST_F(ExistingInstall, OptionFileWinsOverPathFile) {
    write_file(host(option_file), "QPA3.10\nOptsPath=\"A\"\n");
    write_file(host(path_file), "DAT2.10\nDL\nx\nUP\ny\nLG\nSC\nOP\n");
    read();
    EXPECT_STREQ(settings.old_options_dir, "A");
    EXPECT_STREQ(settings.existing_version, "3.10");
}

TEST_F(ExistingInstall, NeitherFileLeavesDefaults) {
    copy_path(settings.existing_version, "2.10");
    EXPECT_EQ(read(), 0);
    EXPECT_STREQ(settings.existing_version, "");
    EXPECT_STREQ(settings.old_options_path, "");
}

TEST_F(ExistingInstall, ResetOldDirsKeepsVersion) {
    copy_path(settings.old_log_dir, "X");
    copy_path(settings.old_options_path, "Y");
    copy_path(settings.existing_version, "2.10");
    settings.existing_migratable = 1;
    reset_old_dirs();
    EXPECT_STREQ(settings.old_log_dir, "LOG");
    EXPECT_STREQ(settings.old_options_path, "");
    EXPECT_EQ(settings.existing_migratable, 0);
    EXPECT_STREQ(settings.existing_version, "2.10");
}

TEST(DerivePaths, DefaultsBelowDestination) {
    reset_installer();
    char out[PATH_SIZE];
    derive_user_path("C:\\NEW", out, "LOG");
    EXPECT_STREQ(out, "C:\\NEW\\LOG");
    derive_user_path("D:\\", out, "OPTIONS");
    EXPECT_STREQ(out, "D:\\OPTIONS");
    derive_user_path("", out, "SCRIPT");
    EXPECT_STREQ(out, "");
}

TEST(DerivePaths, FoldersInsideAndOutsideTheOldInstallation) {
    reset_installer();
    copy_path(settings.existing_path, "C:\\QEL");
    char out[PATH_SIZE];
    derive_user_path("D:\\NEW", out, "E:\\SCRIPTS");
    EXPECT_STREQ(out, "E:\\SCRIPTS");
    derive_user_path("D:\\NEW", out, "c:\\qel\\SCRIPT\\MINE");
    EXPECT_STREQ(out, "D:\\NEW\\SCRIPT\\MINE");
    // A sibling folder that merely starts with the same letters is outside.
    derive_user_path("D:\\NEW", out, "C:\\QELX\\LOG");
    EXPECT_STREQ(out, "C:\\QELX\\LOG");
    EXPECT_EQ(is_foreign_absolute("\\TOP"), 1);
    EXPECT_EQ(is_foreign_absolute("REL"), 0);
    copy_path(settings.existing_path, "");
    EXPECT_EQ(is_foreign_absolute("E:\\SCRIPTS"), 0);
    reset_installer();
}

// Without an existing installation an absolute old folder has nothing to be relative to: it
// stays as it is instead of becoming D:\NEW\C:\LOG.
TEST(DerivePaths, AbsoluteFolderWithoutExistingInstallation) {
    reset_installer();
    char out[PATH_SIZE];
    derive_user_path("D:\\NEW", out, "C:\\LOG");
    EXPECT_STREQ(out, "C:\\LOG");
    derive_user_path("D:\\NEW", out, "\\LOG");
    EXPECT_STREQ(out, "\\LOG");
    derive_user_path("D:\\NEW", out, "LOG");
    EXPECT_STREQ(out, "D:\\NEW\\LOG");
    reset_installer();
}

#ifndef _WIN32
TEST(ShortPaths, ExamplesOfTheDialog) {
    reset_installer();
    headless_set_cwd("D:\\WORK\\SUB");
    char path[PATH_SIZE] = "c:x";
    expand_short_path(path);
    EXPECT_STREQ(path, "c:\\x");
    std::snprintf(path, sizeof path, "\\ab");
    expand_short_path(path);
    EXPECT_STREQ(path, "D:\\ab");
    std::snprintf(path, sizeof path, "..\\");
    expand_short_path(path);
    EXPECT_STREQ(path, "D:\\WORK\\");
    std::snprintf(path, sizeof path, "abc");
    expand_short_path(path);
    EXPECT_STREQ(path, "D:\\WORK\\SUB\\abc");

    headless_set_cwd("D:\\WORK");
    std::snprintf(path, sizeof path, "..\\");
    expand_short_path(path);
    EXPECT_STREQ(path, "D:\\");
    headless_set_cwd("D:\\");
    std::snprintf(path, sizeof path, "abc");
    expand_short_path(path);
    EXPECT_STREQ(path, "D:\\abc");
    reset_installer();
}
#endif
