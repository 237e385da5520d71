// The install sequence on the worker: files, carried-over settings, shortcuts and the report,
// and its cancelled and failed endings.
#include <cstdio>
#include <filesystem>

#include "tests/installer/installer_fixture.h"

using namespace qeltest;

#ifndef _WIN32

namespace {

constexpr char SHELL_FOLDERS[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
                                 "Folders";

Member stored(const std::string &name, const std::string &text) {
    Member m;
    m.host_made_by = 3; // names keep their case
    m.name = name;
    m.data = to_bytes(text);
    return m;
}

class InstallSequence : public InstallerTest {
  protected:
    std::string base, dest, programs;
    CurrentFolderGuard folder;
    OsWindow dialog = nullptr;

    void SetUp() override {
        InstallerTest::SetUp();
        base = scratch_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::current_path(base); // the installer's folder
        dest = base + "/QEL";
        programs = base + "/Start Menu/Programs";
        std::filesystem::create_directories(programs);
        headless_set_registry(SHELL_FOLDERS, "Programs", programs + "\\");
        write_archive({stored("QEL.EXE", "program"),
                       stored("OPTIONS/STANDARD.QPA", "QPA3.10\nOptsPath=\"x\"\n"),
                       stored("LOG/", ""), stored("SCRIPT/first.qrx", "script")});
        write_file(base + "/README.DOC", "read me\r\n");
        write_file(base + "/PROBLEMS.DOC", "problems\r\n");
        write_file(base + "/VORTAMIX.DLL", "runtime");
        copy_path(settings.archive_name, "INSTALL.FIL");
    }
    void write_archive(const std::vector<Member> &members) {
        Archive archive;
        archive.members = members;
        write_file(base + "/INSTALL.FIL", build_zip(archive));
    }
    void open_dialog(int language = 0) {
        dialog = load_main_dialog(language);
        headless_type(dialog, CTRL_DESTINATION, dest);
    }
    // Runs the worker on this thread, quietly.
    void run_worker() {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        worker_entry(nullptr);
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
    }
    std::vector<std::string> box_texts() {
        std::vector<std::string> out;
        for (const RecordedBox &box : headless_boxes()) out.push_back(box.text);
        return out;
    }
    const RecordedShortcut *shortcut(const std::string &description) {
        for (const RecordedShortcut &link : headless_shortcuts())
            if (link.description == description) return &link;
        return nullptr;
    }
    std::string text_of(const std::string &path) {
        Bytes data = read_file(path);
        return std::string(data.begin(), data.end());
    }
};

} // namespace

TEST_F(InstallSequence, FreshInstallationInEnglish) {
    open_dialog();
    run_worker();
    // Extracted, routed, copied and rewritten.
    EXPECT_EQ(text_of(dest + "/QEL.EXE"), "program");
    EXPECT_EQ(text_of(dest + "/SCRIPT/first.qrx"), "script");
    EXPECT_TRUE(std::filesystem::is_directory(dest + "/LOG"));
    EXPECT_EQ(text_of(dest + "/README.DOC"), "read me\r\n");
    EXPECT_EQ(text_of(dest + "/PROBLEMS.DOC"), "problems\r\n");
    EXPECT_EQ(text_of(dest + "/VORTAMIX.DLL"), "runtime");
    EXPECT_FALSE(file_exists(dest + "/QELINTRO.DOC")); // missing beside the installer: skipped
    EXPECT_EQ(text_of(dest + "/OPTIONS/STANDARD.QPA"), "QPA3.10\nOptsPath=\"OPTIONS\"\n");

    // The start-menu folder and its twelve links.
    std::string menu = programs + "\\QEL for Windows NT";
    EXPECT_TRUE(std::filesystem::is_directory(host(menu)));
    ASSERT_EQ(headless_shortcuts().size(), 12u);
    const RecordedShortcut *product = shortcut("QEL");
    ASSERT_NE(product, nullptr);
    EXPECT_EQ(product->link_file, menu + "\\QEL.LNK");
    EXPECT_EQ(product->target, dest + "\\QEL.EXE");
    EXPECT_EQ(product->arguments, "");
    EXPECT_EQ(product->working_folder, dest);
    EXPECT_EQ(product->icon_file, ""); // the program's own icon
    // No NOTEPAD.EXE on the search path: the document itself is the target.
    const RecordedShortcut *readme = shortcut("Readme.doc");
    ASSERT_NE(readme, nullptr);
    EXPECT_EQ(readme->link_file, menu + "\\Readme.doc.LNK");
    EXPECT_EQ(readme->target, dest + "\\README.DOC");
    EXPECT_EQ(readme->arguments, "");
    EXPECT_EQ(readme->icon_file, dest + "\\inst_doc.ico");
    const RecordedShortcut *order = shortcut("Order from Modem Express");
    ASSERT_NE(order, nullptr);
    EXPECT_EQ(order->link_file, menu + "\\Order from Modem Express.LNK");
    EXPECT_EQ(order->target, dest + "\\QEL.EXE");
    EXPECT_EQ(order->arguments, "/ORDER:2");
    EXPECT_EQ(order->icon_file, dest + "\\order_me.ico");
    EXPECT_TRUE(file_exists(host(menu) + "/QEL.LNK"));
    EXPECT_EQ(headless_com_begins(), 1);
    EXPECT_EQ(headless_com_ends(), 1);

    // The report, the bar at 100 and the finish message as the last word.
    EXPECT_EQ(box_texts(), std::vector<std::string>{message_text(MSG_ALL_PROCESSED)});
    EXPECT_EQ(headless_boxes()[0].owner, dialog);
    EXPECT_EQ(field_text(dialog, CTRL_STATUS), "Installation complete");
    EXPECT_EQ(headless_control(dialog, CTRL_PROGRESS).extra, 100);
    ASSERT_FALSE(headless_posts().empty());
    EXPECT_EQ(headless_posts().back().message, MSG_INSTALL_FINISHED);
    EXPECT_EQ(headless_posts().back().window, dialog);
}

TEST_F(InstallSequence, NotepadOnTheSearchPathOpensTheDocuments) {
    write_file(base + "/NOTEPAD.EXE", "editor");
    open_dialog();
    run_worker();
    const RecordedShortcut *readme = shortcut("Readme.doc");
    ASSERT_NE(readme, nullptr);
    EXPECT_NE(readme->target.find("NOTEPAD.EXE"), std::string::npos) << readme->target;
    EXPECT_EQ(readme->arguments, "README.DOC");
}

TEST_F(InstallSequence, GermanOnWindows95) {
    headless_set_sys_value(OS_SYS_KIND, 1);
    headless_add_module("CAPI2032.DLL");
    open_dialog(1);
    run_worker();
    // The folder name leaves the OEM catalogue as a window-code-page name.
    std::string menu = programs + "\\QEL f\xFCr Windows'95";
    EXPECT_TRUE(std::filesystem::is_directory(host(menu)));
    const RecordedShortcut *order = shortcut("Bestellen bei Datafon Versand");
    ASSERT_NE(order, nullptr);
    EXPECT_EQ(order->link_file, menu + "\\Bestellen bei Datafon Versand.LNK");
    // The final box, then the note for ISDN users (a CAPI driver is installed).
    EXPECT_EQ(box_texts(), (std::vector<std::string>{message_text(MSG_ALL_PROCESSED),
                                                     message_text(MSG_ISDN_NOTE)}));
    EXPECT_EQ(headless_boxes()[0].caption, "Information");
}

TEST_F(InstallSequence, CancelledBeforeTheFirstMember) {
    open_dialog();
    settings.cancel_requested = 1;
    run_worker();
    EXPECT_FALSE(file_exists(dest + "/QEL.EXE"));
    EXPECT_TRUE(headless_shortcuts().empty());
    EXPECT_FALSE(file_exists(dest + "/README.DOC"));
    EXPECT_EQ(box_texts(), std::vector<std::string>{std::string(message_text(MSG_INSTALL_ABORTED)) +
                                                    "\r\r" + message_text(MSG_INSTALL_UNDONE)});
    EXPECT_EQ(headless_boxes()[0].style, 0x28u);
    EXPECT_EQ(headless_posts().back().message, MSG_INSTALL_FINISHED);
}

TEST_F(InstallSequence, EngineFailureEndsWithTheErrorBox) {
    write_file(base + "/INSTALL.FIL", "not an archive at all");
    open_dialog();
    run_worker();
    EXPECT_EQ(worker_state.install_failed, 1);
    EXPECT_EQ(box_texts(), std::vector<std::string>{std::string(message_text(MSG_INSTALL_ERROR)) +
                                                    "\r\rThe archive " + settings.archive_name +
                                                    " could not be read (error 9).\r\r" +
                                                    message_text(MSG_INSTALL_UNDONE)});
    EXPECT_EQ(headless_boxes()[0].caption, "Error");
    EXPECT_TRUE(headless_shortcuts().empty());
    EXPECT_EQ(headless_posts().back().message, MSG_INSTALL_FINISHED);
}

// Without the programs folder no folder is made at a drive's root, and the final box does not
// claim a start-menu entry.
TEST_F(InstallSequence, UnknownProgramsFolderMakesNoMenuAndSaysSo) {
    headless_fail_registry(true);
    open_dialog();
    run_worker();
    EXPECT_TRUE(file_exists(dest + "/QEL.EXE"));
    EXPECT_TRUE(headless_shortcuts().empty());
    EXPECT_EQ(headless_com_begins(), 0);
    for (const std::string &probe : headless_file_probes())
        EXPECT_EQ(probe.find("\\QEL for Windows"), std::string::npos) << probe;
    EXPECT_EQ(box_texts(), std::vector<std::string>{message_text(MSG_ALL_PROCESSED_NO_MENU)});
}

// COM that does not start is not ended; no link can be made and the report says so.
TEST_F(InstallSequence, ComThatDoesNotStartIsNotEnded) {
    headless_fail_com(true);
    open_dialog();
    run_worker();
    EXPECT_EQ(headless_com_begins(), 0);
    EXPECT_EQ(headless_com_ends(), 0);
    EXPECT_TRUE(headless_shortcuts().empty());
    EXPECT_EQ(box_texts(), std::vector<std::string>{message_text(MSG_ALL_PROCESSED_NO_MENU)});
}

// A link whose name would not fit is skipped, never saved under a cut name.
TEST_F(InstallSequence, LinkNamesThatDoNotFitAreSkipped) {
    // The menu folder's name leaves room for "\\QEL.LNK" but not for the resellers' links.
    size_t folder_length = 259 - 20, menu_name = std::string("\\QEL for Windows NT").size();
    ASSERT_LT(programs.size() + 1 + menu_name, folder_length);
    std::string deep =
        programs + "/" + std::string(folder_length - programs.size() - 1 - menu_name, 'p');
    std::filesystem::create_directories(deep);
    headless_set_registry(SHELL_FOLDERS, "Programs", deep);
    open_dialog();
    run_worker();
    ASSERT_FALSE(headless_shortcuts().empty()); // "QEL.LNK" and the short ones still fit
    for (const RecordedShortcut &link : headless_shortcuts()) {
        EXPECT_LT(link.link_file.size(), 260u);
        EXPECT_EQ(link.link_file.substr(link.link_file.size() - 4), ".LNK") << link.link_file;
    }
    EXPECT_EQ(shortcut("Order from QEL Software Direct"), nullptr);
}

TEST_F(InstallSequence, EarlierInstallationCarriedOverAsTheBoxesAllow) {
    std::string old_install = base + "/OLD";
    std::filesystem::create_directories(old_install + "/OPTIONS");
    std::filesystem::create_directories(old_install + "/SCRIPT");
    write_file(old_install + "/OPTIONS/QELPATH.DAT",
               "QEL2.10\nDOWNLOAD\nx\nUPLOAD\nx\nLOG\nSCRIPT\nOPTIONS\n");
    write_file(old_install + "/OPTIONS/QELPHONE.FEE", "fees");
    write_file(old_install + "/SCRIPT/mine.qrx", "my script");
    write_file(old_install + "/PHONEBK", "my phones");
    open_dialog();
    headless_click(dialog, CTRL_ALREADY_INSTALLED);
    headless_type(dialog, CTRL_EXISTING_PATH, old_install);
    headless_type(dialog, CTRL_DESTINATION, dest);
    ASSERT_TRUE(headless_control(dialog, CTRL_COPY_OPTIONS).enabled);
    // Scripts: ticked but disabled, so nothing is copied.
    os_EnableWindow(os_SubWin(dialog, CTRL_COPY_SCRIPTS), 0);
    run_worker();
    // Version 2.10 is below 2.90: the old names are converted on the way.
    EXPECT_EQ(text_of(dest + "/OPTIONS/standard.fee"), "fees");
    std::string settings_file = headless_host_path((dest + "\\OPTIONS\\standard.qpa").c_str());
    EXPECT_EQ(text_of(settings_file).substr(0, 8), "QEL2.10\n"); // the old path file, converted
    EXPECT_FALSE(file_exists(dest + "/SCRIPT/mine.qrx"));
    EXPECT_EQ(text_of(dest + "/PHONEBK"), "my phones");
}

// What only the record's fingerprint can tell: a file changed to the same size is the user's
// and stays. A record with a line it does not know is trusted in nothing.
TEST_F(InstallSequence, UninstallKeepsFilesChangedToTheSameSize) {
    headless_set_program_path(dest + "\\SETUP.EXE"); // the setup runs from the destination
    open_dialog();
    run_worker();
    char value[PATH_SIZE] = "";
    uint32_t length = sizeof value;
    ASSERT_EQ(os_IniMgr(OS_INI_READ, OS_INI_UNINSTALL_STORE, UNINSTALL_ENTRY, "UninstallString",
                        value, &length),
              1);
    EXPECT_EQ(std::string(value), "\"" + dest + "\\SETUP.EXE\" /UNINSTALL");
    write_file(dest + "/QEL.EXE", "PROGRAM"); // as long as the archive's "program"
    shell_state.command.silent = true;

    EXPECT_EQ(run_uninstall(), SETUP_EXIT_INSTALLED);
    EXPECT_EQ(text_of(dest + "/QEL.EXE"), "PROGRAM");
    for (const char *made :
         {"SCRIPT/first.qrx", "README.DOC", "OPTIONS/STANDARD.QPA", INSTALL_RECORD_NAME})
        EXPECT_FALSE(file_exists(dest + "/" + made)) << made;
    EXPECT_FALSE(std::filesystem::exists(dest + "/SCRIPT"));
    EXPECT_FALSE(std::filesystem::exists(programs + "/QEL for Windows NT"));
    EXPECT_EQ(os_IniMgr(OS_INI_READ, OS_INI_UNINSTALL_STORE, UNINSTALL_ENTRY, "DisplayName", value,
                        &length),
              0);

    // A sound line naming the file as it is now, then one that is not the record's.
    RecordedFile now{dest + "\\QEL.EXE"};
    ASSERT_TRUE(file_fingerprint(now.path, now));
    char line[PATH_SIZE + 40];
    std::snprintf(line, sizeof line, "file\t%s\t%llu\t%08x\n", now.path.c_str(),
                  static_cast<unsigned long long>(now.size), now.crc);
    write_file(dest + "/" + INSTALL_RECORD_NAME,
               std::string("QEL install record 1\n") + line + "remove everything\n");
    EXPECT_EQ(run_uninstall(), SETUP_EXIT_NOT_STARTED);
    EXPECT_TRUE(file_exists(dest + "/QEL.EXE"));
}

#endif
