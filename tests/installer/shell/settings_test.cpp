// The settings record's initial values and join_path.
#include <cstring>

#include "tests/installer/installer_fixture.h"

using namespace qeltest;

using Settings = InstallerTest;

TEST_F(Settings, InitialValues) {
    EXPECT_EQ(settings.language, 0);
    EXPECT_EQ(settings.copy_options, 1);
    EXPECT_EQ(settings.copy_phonebook, 1);
    EXPECT_EQ(settings.copy_scripts, 1);
    EXPECT_STREQ(settings.old_log_dir, "LOG");
    EXPECT_STREQ(settings.old_options_dir, "OPTIONS");
    EXPECT_STREQ(settings.old_script_dir, "SCRIPT");
    EXPECT_STREQ(settings.old_upload_dir, "UPLOAD");
    EXPECT_STREQ(settings.old_download_dir, "DOWNLOAD");
    EXPECT_STREQ(settings.destination_path, "");
    EXPECT_STREQ(settings.existing_version, "");
    EXPECT_EQ(settings.cancel_requested.load(), 0);
    EXPECT_EQ(settings.worker_started, 0);
    EXPECT_EQ(settings.main_dialog, nullptr);
}

TEST_F(Settings, JoinPathAddsOneBackslash) {
    char out[PATH_SIZE];
    join_path(out, "C:\\QEL", "LOG");
    EXPECT_STREQ(out, "C:\\QEL\\LOG");
    join_path(out, "C:\\", "LOG");
    EXPECT_STREQ(out, "C:\\LOG");
    join_path(out, "", "LOG");
    EXPECT_STREQ(out, "\\LOG");
}

TEST_F(Settings, JoinPathIntoItsOwnFolder) {
    char buffer[PATH_SIZE] = "C:\\QEL";
    join_path(buffer, buffer, "OPTIONS\\STANDARD.QPA");
    EXPECT_STREQ(buffer, "C:\\QEL\\OPTIONS\\STANDARD.QPA");
}

TEST_F(Settings, JoinPathNeverOverflows) {
    std::string folder(250, 'a');
    std::string name(100, 'b');
    char out[PATH_SIZE + 16];
    std::memset(out, 'x', sizeof out);
    join_path(out, folder.c_str(), name.c_str());
    EXPECT_EQ(std::strlen(out), static_cast<size_t>(PATH_SIZE - 1));
    EXPECT_EQ(out[PATH_SIZE], 'x'); // nothing written past the path buffer
}
