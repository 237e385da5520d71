// Rewriting the path settings file for the new folders, in both layouts.
#include "tests/installer/installer_fixture.h"

using namespace qeltest;

namespace {

class PathSettings : public InstallerTest {
  protected:
    std::string dest, options, file;
    void SetUp() override {
        InstallerTest::SetUp();
        std::string base =
            scratch_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        dest = base + "/QEL";
        std::filesystem::create_directories(dest + "/OPTIONS");
        options = win_path(dest, "OPTIONS");
        copy_path(settings.destination_path, dest.c_str());
        copy_path(settings.options_path, options.c_str());
        copy_path(settings.download_path, "E:\\DL");
        copy_path(settings.upload_path, win_path(dest, "UPLOAD").c_str());
        copy_path(settings.log_path, win_path(dest, "LOG").c_str());
        copy_path(settings.script_path, dest.c_str());
        file = host(win_path(options, "STANDARD.QPA"));
    }
    std::string rewrite(const std::string &text) {
        write_file(file, text);
        update_path_settings("OPTIONS\\STANDARD.QPA");
        Bytes out = read_file(file);
        std::string result;
        for (unsigned char c : out)
            if (c != '\r') result += static_cast<char>(c); // text mode writes CR LF on Windows
        return result;
    }
};

} // namespace

TEST_F(PathSettings, RelativeToDestination) {
    copy_path(settings.destination_path, "C:\\QEL");
    EXPECT_STREQ(relative_to_destination("C:\\QEL\\DOWNLOAD"), "DOWNLOAD");
    EXPECT_STREQ(relative_to_destination("c:\\qel"), "");
    EXPECT_STREQ(relative_to_destination("D:\\DL"), "D:\\DL");
    EXPECT_STREQ(relative_to_destination("C:\\QELX\\LOG"), "C:\\QELX\\LOG");
    copy_path(settings.destination_path, "C:\\");
    EXPECT_STREQ(relative_to_destination("C:\\LOG"), "LOG");
}

TEST_F(PathSettings, KeyLayoutRewritesEveryKeyLine) {
    std::string out = rewrite("QPA3.10\n"
                              "DownloadPath=\"old\"\n"
                              "Speed=\"9600\"\n"
                              "OptsPathX=\"old\" trailing\n"
                              "CapturePath=\"a\"\n"
                              "CapturePath=\"b\"\n"
                              "ScriptPath=\"s\"\n"
                              "UploadPath=\"u\"\n");
    EXPECT_EQ(out, "QPA3.10\n"
                   "DownloadPath=\"E:\\DL\"\n"
                   "Speed=\"9600\"\n"
                   "OptsPathX=OPTIONS\"\n"
                   "CapturePath=\"LOG\"\n"
                   "CapturePath=\"LOG\"\n"
                   "ScriptPath=\"\"\n"
                   "UploadPath=\"UPLOAD\"\n");
    EXPECT_FALSE(file_exists(host(win_path(options, "STANDARD.TMP"))));
}

TEST_F(PathSettings, FixedLayoutWritesFolderLines) {
    std::string out =
        rewrite("QPA2.10\nold dl\nkeep3\nold up\nkeep5\nold log\nold scr\nold opt\nrest\n");
    EXPECT_EQ(out, "QPA2.10\nE:\\DL\nkeep3\nUPLOAD\nkeep5\nLOG\n\nOPTIONS\nrest\n");
}

TEST_F(PathSettings, FixedLayoutShortFileGetsEveryFolderLine) {
    std::string out = rewrite("QPA2.10\nold dl\n");
    EXPECT_EQ(out, "QPA2.10\nE:\\DL\n\nUPLOAD\n\nLOG\n\nOPTIONS\n");
}

TEST_F(PathSettings, MissingFileIsLeftAlone) {
    update_path_settings("OPTIONS\\STANDARD.QPA");
    EXPECT_FALSE(file_exists(file));
    EXPECT_FALSE(file_exists(host(win_path(options, "STANDARD.TMP"))));
}

#ifndef _WIN32
TEST_F(PathSettings, NameWithoutBackslashIsAnAssertion) {
    write_file(file, "QPA3.10\nOptsPath=\"x\"\n");
    update_path_settings("STANDARD.QPA");
    ASSERT_EQ(headless_asserts().size(), 1u);
    EXPECT_EQ(headless_asserts()[0].text, "strchr(name, '\\\\') != NULL");
    EXPECT_EQ(headless_asserts()[0].source, "imisc");
    EXPECT_EQ(headless_asserts()[0].line, 399);
    Bytes out = read_file(file);
    EXPECT_EQ(std::string(out.begin(), out.end()), "QPA3.10\nOptsPath=\"x\"\n");
}

TEST_F(PathSettings, StatusLineShowsUpdating) {
    settings.main_dialog = headless_new_window();
    settings.language = 1;
    rewrite("QPA3.10\n");
    char text[100];
    os_QueryWindowText(os_SubWin(settings.main_dialog, 309), sizeof text, text);
    EXPECT_STREQ(text, "Aktualisieren der Pfadinformationen");
}
#endif
