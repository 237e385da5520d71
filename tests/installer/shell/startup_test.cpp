// The start-up: the folder it works in, the language by archive, the platform check, the
// existing installation and the dialog it opens.
#include <filesystem>

#include "tests/installer/installer_fixture.h"

using namespace qeltest;

#ifndef _WIN32

namespace {

class Startup : public InstallerTest {
  protected:
    std::string base;
    CurrentFolderGuard folder;
    void SetUp() override {
        InstallerTest::SetUp();
        base = scratch_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        headless_set_program_path(base + "\\SETUP.EXE");
    }
    void put_archive(const std::string &name) {
        Archive archive;
        write_file(base + "/" + name, build_zip(archive));
    }
    // The one dialog the start-up opened: its caption.
    std::string dialog_caption() {
        std::vector<OsWindow> dialogs = headless_dialogs();
        return dialogs.size() == 1 ? headless_window(dialogs[0]).text : "(no dialog)";
    }
};

} // namespace

TEST_F(Startup, EnglishWinsAndTheProgramFolderBecomesCurrent) {
    put_archive("INSTALL.FIL");
    put_archive("INSTALLD.FIL");
    std::filesystem::current_path("/"); // started from elsewhere, as by a shortcut
    // A dialog that ends without an installation: cancelled before it began.
    EXPECT_EQ(installer_main(nullptr, nullptr, "", 1), SETUP_EXIT_CANCELLED_BEFORE);
    ASSERT_EQ(headless_chdirs().size(), 1u);
    EXPECT_EQ(headless_chdirs()[0], base + "\\");
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(base));
    EXPECT_EQ(settings.language, 0);
    EXPECT_STREQ(settings.archive_name, "INSTALL.FIL");
    EXPECT_EQ(dialog_caption(), "QEL Install V3.10");
    // The progress bar's class came first; the dialog is gone again and nothing was said.
    ASSERT_EQ(headless_classes().size(), 1u);
    EXPECT_EQ(headless_classes()[0].name, "ProgressBar");
    EXPECT_EQ(headless_classes()[0].style, 0u);
    EXPECT_EQ(headless_classes()[0].icon_id, 0);
    EXPECT_TRUE(headless_destroyed(headless_dialogs()[0]));
    EXPECT_EQ(settings.main_dialog, nullptr);
    EXPECT_TRUE(headless_boxes().empty());
}

TEST_F(Startup, OnlyTheFrenchArchive) {
    put_archive("INSTALLF.FIL");
    EXPECT_EQ(run_installer((base + "\\SETUP.EXE").c_str()), SETUP_EXIT_CANCELLED_BEFORE);
    EXPECT_EQ(settings.language, 2);
    EXPECT_STREQ(settings.archive_name, "INSTALLF.FIL");
    EXPECT_EQ(dialog_caption(), "Installation de QEL V3.10");
}

TEST_F(Startup, NoArchiveSaysSoInEnglish) {
    put_archive("INSTALL.ZIP");
    EXPECT_EQ(run_installer((base + "\\SETUP.EXE").c_str()), SETUP_EXIT_NOT_STARTED);
    ASSERT_EQ(headless_boxes().size(), 1u);
    EXPECT_EQ(headless_boxes()[0].caption, "Error");
    EXPECT_EQ(headless_boxes()[0].text, "Sorry, no files to install!");
    EXPECT_EQ(headless_boxes()[0].style, 0x24u);
    EXPECT_EQ(headless_boxes()[0].owner, nullptr);
    EXPECT_TRUE(headless_dialogs().empty());
    EXPECT_TRUE(headless_classes().empty());
}

TEST_F(Startup, PlatformCheck) {
    put_archive("INSTALLD.FIL");
    headless_set_sys_value(OS_SYS_KIND, OS_SYS_KIND_NT);
    headless_set_sys_value(OS_SYS_VERSION, 351); // Windows NT 3.51
    EXPECT_EQ(run_installer((base + "\\SETUP.EXE").c_str()), SETUP_EXIT_NOT_STARTED);
    ASSERT_EQ(headless_boxes().size(), 1u);
    EXPECT_EQ(headless_boxes()[0].caption, "Fehler");
    EXPECT_EQ(headless_boxes()[0].text, message_text(MSG_NEEDS_NT4));
    EXPECT_TRUE(headless_dialogs().empty());

    // Windows 95 reports an older version number: it is not checked.
    reset_installer();
    put_archive("INSTALLD.FIL");
    headless_set_sys_value(OS_SYS_KIND, 1);
    headless_set_sys_value(OS_SYS_VERSION, 3);
    run_installer((base + "\\SETUP.EXE").c_str());
    EXPECT_TRUE(headless_boxes().empty());
    EXPECT_EQ(dialog_caption(), "QEL Installation V3.10");
}

TEST_F(Startup, RecordedInstallationTicksTheBox) {
    put_archive("INSTALL.FIL");
    headless_set_setting("Quelvator ", "HomePath", base + "/NOWHERE");
    run_installer((base + "\\SETUP.EXE").c_str());
    EXPECT_EQ(settings.already_installed, 1);
    ASSERT_EQ(headless_dialogs().size(), 1u);
    EXPECT_TRUE(headless_control(headless_dialogs()[0], CTRL_ALREADY_INSTALLED).checked);
    // The application name has its trailing blank: "Quelvator" alone is not it.
    reset_installer();
    put_archive("INSTALL.FIL");
    headless_set_setting("Quelvator", "HomePath", base);
    run_installer((base + "\\SETUP.EXE").c_str());
    EXPECT_EQ(settings.already_installed, 0);
}

TEST_F(Startup, UnknownProgramPathStaysInTheCurrentFolder) {
    std::filesystem::current_path(base);
    put_archive("INSTALL.FIL");
    headless_set_program_path("");
    EXPECT_EQ(installer_main(nullptr, nullptr, "", 1), SETUP_EXIT_CANCELLED_BEFORE);
    EXPECT_TRUE(headless_chdirs().empty());
    EXPECT_EQ(dialog_caption(), "QEL Install V3.10");
}

#endif
