// Single and tree copies with old-name conversion, obsolete files and the programs folder.
#include <cstdlib>

#include "platform/win_api.h"
#include "tests/installer/installer_fixture.h"

using namespace qeltest;

namespace {

class FileOps : public InstallerTest {
  protected:
    std::string base;
    void SetUp() override {
        InstallerTest::SetUp();
        base = scratch_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    std::string text_of(const std::string &path) {
        Bytes data = read_file(path);
        return std::string(data.begin(), data.end());
    }
};

} // namespace

TEST_F(FileOps, CopyFileConvertsOldNamesInRenameMode) {
    std::filesystem::create_directories(base + "/OLD/OPTIONS");
    std::filesystem::create_directories(base + "/NEW/options");
    std::filesystem::create_directories(base + "/NEW/OPT");
    write_file(base + "/OLD/OPTIONS/QELPATH.DAT", "paths");
    char target[PATH_SIZE];
    copy_path(target, win_path(base, "NEW\\OPTIONS\\QELPATH.DAT").c_str());
    std::string source = win_path(base, "OLD\\OPTIONS\\QELPATH.DAT");
    copy_file(source.c_str(), target, 1);
    EXPECT_EQ(std::string(target), win_path(base, "NEW\\options\\standard.qpa"));
    EXPECT_EQ(text_of(base + "/NEW/options/standard.qpa"), "paths");

    copy_path(target, win_path(base, "NEW\\OPT\\QELPATH.DAT").c_str());
    copy_file(source.c_str(), target, 1);
    EXPECT_EQ(std::string(target), win_path(base, "NEW\\OPT\\QELPATH.DAT"));
    EXPECT_TRUE(file_exists(base + "/NEW/OPT/QELPATH.DAT"));

    copy_path(target, win_path(base, "NEW\\options\\standard").c_str());
    copy_file(source.c_str(), target, 1);
    EXPECT_EQ(std::string(target), win_path(base, "NEW\\options\\standard.qel"));
    copy_path(target, win_path(base, "NEW\\options\\standard.qel").c_str());
    copy_file(source.c_str(), target, 1);
    EXPECT_EQ(std::string(target), win_path(base, "NEW\\options\\standard.qel"));
    // Without rename mode the name stays.
    copy_path(target, win_path(base, "NEW\\options\\qelpath.dat").c_str());
    copy_file(source.c_str(), target, 0);
    EXPECT_TRUE(file_exists(base + "/NEW/options/qelpath.dat"));
}

TEST_F(FileOps, CopyTreeCopiesFoldersAndFilesSkippingDotFolders) {
    std::filesystem::create_directories(base + "/SRC/sub/deeper");
    std::filesystem::create_directories(base + "/SRC/.hidden");
    write_file(base + "/SRC/a.txt", "a");
    write_file(base + "/SRC/.profile", "dot");
    write_file(base + "/SRC/sub/b.txt", "b");
    write_file(base + "/SRC/sub/deeper/c.txt", "c");
    write_file(base + "/SRC/.hidden/h.txt", "h");
    EXPECT_EQ(copy_tree(win_path(base, "SRC").c_str(), win_path(base, "DST").c_str(), 0), 1);
    EXPECT_EQ(text_of(base + "/DST/a.txt"), "a");
    EXPECT_EQ(text_of(base + "/DST/.profile"), "dot");
    EXPECT_EQ(text_of(base + "/DST/sub/b.txt"), "b");
    EXPECT_EQ(text_of(base + "/DST/sub/deeper/c.txt"), "c");
    EXPECT_FALSE(file_exists(base + "/DST/.hidden"));
}

// A later step that copies onto one of this run's backups moves the backup on to a free name.
TEST_F(FileOps, CopiesNeverOverwriteThisRunsBackups) {
    std::filesystem::create_directories(base + "/NEW");
    write_file(base + "/NEW/STANDARD.0PA", "this run's backup");
    write_file(base + "/NEW/STANDARD.1PA", "an older backup");
    write_file(base + "/old.0pa", "copied over");
    std::string original = win_path(base, "NEW\\STANDARD.QPA");
    worker_state.backups = {{original, backup_name(original.c_str())}};
    char target[PATH_SIZE];
    copy_path(target, win_path(base, "NEW\\STANDARD.0PA").c_str());
    copy_file(win_path(base, "old.0pa").c_str(), target, 0);
    EXPECT_EQ(text_of(base + "/NEW/STANDARD.0PA"), "copied over");
    EXPECT_EQ(text_of(base + "/NEW/STANDARD.1PA"), "an older backup");
    EXPECT_EQ(text_of(base + "/NEW/STANDARD.2PA"), "this run's backup");
    EXPECT_EQ(worker_state.backups[0].backup, backup_name(original.c_str(), '2'));
}

TEST_F(FileOps, CopyTreeRenameModeConvertsOptionNames) {
    std::filesystem::create_directories(base + "/OLD/OPTIONS");
    write_file(base + "/OLD/OPTIONS/QEL.KEY", "keys");
    write_file(base + "/OLD/OPTIONS/OTHER.TXT", "other");
    std::filesystem::create_directories(base + "/NEW");
    EXPECT_EQ(copy_tree(win_path(base, "OLD\\OPTIONS").c_str(),
                        win_path(base, "NEW\\OPTIONS").c_str(), 1),
              1);
    EXPECT_EQ(text_of(base + "/NEW/OPTIONS/standard.qky"), "keys");
    EXPECT_FALSE(file_exists(base + "/NEW/OPTIONS/QEL.KEY"));
    EXPECT_EQ(text_of(base + "/NEW/OPTIONS/OTHER.TXT"), "other");
}

TEST_F(FileOps, CopyTreeDoesNothingForEqualOrEmptyFolders) {
    std::filesystem::create_directories(base + "/QEL/OPTIONS");
    write_file(base + "/QEL/OPTIONS/a", "a");
    EXPECT_EQ(copy_tree(win_path(base, "QEL\\OPTIONS").c_str(),
                        win_path(base, "QEL\\options").c_str(), 1),
              0);
    EXPECT_EQ(copy_tree("", win_path(base, "X").c_str(), 0), 0);
    EXPECT_EQ(copy_tree(win_path(base, "QEL").c_str(), "", 0), 0);
    EXPECT_FALSE(file_exists(base + "/X"));
}

TEST_F(FileOps, CopyTreeStopsWhenTargetCannotBeCreated) {
    std::filesystem::create_directories(base + "/SRC");
    write_file(base + "/SRC/a", "a");
    EXPECT_EQ(copy_tree(win_path(base, "SRC").c_str(), win_path(base, "NO\\SUCH\\DST").c_str(), 0),
              0);
}

TEST_F(FileOps, DeleteOldFilesModeZeroCopiesToNewNames) {
    std::filesystem::create_directories(base + "/options");
    std::filesystem::create_directories(base + "/script");
    write_file(base + "/options/qelphone.opt", "phone");
    write_file(base + "/script/qelevent.cmd", "event");
    delete_old_files(base.c_str(), 0);
    EXPECT_EQ(text_of(base + "/options/standard.qph"), "phone");
    EXPECT_EQ(text_of(base + "/script/qelevent.qrx"), "event");
    EXPECT_TRUE(file_exists(base + "/options/qelphone.opt")); // copied, not moved
    EXPECT_FALSE(file_exists(base + "/options/standard.qel"));
}

TEST_F(FileOps, ObsoleteListShape) {
    int folders = 0;
    for (int i = 0; i < OBSOLETE_FILES; ++i) {
        ASSERT_NE(obsolete_files[i], nullptr);
        if (obsolete_files[i][0] == '!') ++folders;
    }
    EXPECT_EQ(obsolete_files[OBSOLETE_FILES], nullptr);
    EXPECT_EQ(folders, 1);
    for (int i = 0; i < 6; ++i) EXPECT_STREQ(obsolete_files[i], name_conversions[i].old_name);
    EXPECT_STREQ(obsolete_files[21], "script\\qelevent.cmd");
    EXPECT_STREQ(obsolete_files[24], "download\\dummy.tmp");
}

#ifndef _WIN32
TEST_F(FileOps, DeleteOldFilesModeOneRemovesObsoleteFiles) {
    settings.main_dialog = headless_new_window();
    std::filesystem::create_directories(base + "/options");
    std::filesystem::create_directories(base + "/log");
    std::filesystem::create_directories(base + "/script/demo");
    write_file(base + "/options/qel.key", "k");
    write_file(base + "/options/standard.qky", "keep");
    write_file(base + "/log/dummy.tmp", "");
    write_file(base + "/QEL.HLP", "");
    for (int i = 13; i < 20; ++i) write_file(host(win_path(base, obsolete_files[i])), "s");
    delete_old_files(base.c_str(), 1);
    EXPECT_FALSE(file_exists(base + "/options/qel.key"));
    EXPECT_FALSE(file_exists(base + "/log/dummy.tmp"));
    EXPECT_FALSE(file_exists(base + "/QEL.HLP"));
    EXPECT_FALSE(file_exists(base + "/script/demo")); // emptied, then removed
    EXPECT_TRUE(file_exists(base + "/options/standard.qky"));
    EXPECT_TRUE(file_exists(base + "/log"));
    char text[100];
    os_QueryWindowText(os_SubWin(settings.main_dialog, 309), sizeof text, text);
    EXPECT_STREQ(text, "Searching and deleting old files");
}

TEST_F(FileOps, SampleFolderWithUserFilesStays) {
    std::filesystem::create_directories(base + "/script/demo");
    write_file(base + "/script/demo/login.cmd", "s");
    write_file(base + "/script/demo/mine.cmd", "user");
    delete_old_files(base.c_str(), 1);
    EXPECT_FALSE(file_exists(base + "/script/demo/login.cmd"));
    EXPECT_TRUE(file_exists(base + "/script/demo/mine.cmd"));
    delete_old_files(base.c_str(), 7); // unknown mode: nothing
    EXPECT_TRUE(file_exists(base + "/script/demo/mine.cmd"));
}

TEST_F(FileOps, ProgramsFolderExpandedWithoutTrailingBackslash) {
    setenv("QELTEST_PROFILE", "C:\\Users\\ann", 1);
    headless_set_registry("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                          "Programs", "%QELTEST_PROFILE%\\Start Menu\\Programs\\");
    char out[PATH_SIZE];
    EXPECT_EQ(query_programs_folder(out, sizeof out), 1);
    EXPECT_STREQ(out, "C:\\Users\\ann\\Start Menu\\Programs");
}

TEST_F(FileOps, ProgramsFolderMissingOrUnreadable) {
    char out[PATH_SIZE] = "garbage";
    EXPECT_EQ(query_programs_folder(out, sizeof out), 0);
    EXPECT_STREQ(out, "");
    headless_set_registry("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                          "Programs", "C:\\P");
    headless_fail_registry(true);
    EXPECT_EQ(query_programs_folder(out, sizeof out), 0);
    headless_fail_registry(false);
    char small[4];
    EXPECT_EQ(query_programs_folder(small, sizeof small), 0); // does not fit: nothing
    EXPECT_STREQ(small, "");
}
#endif
