// The main dialog on the headless layer: initialisation, the handlers, validation, the states
// from editing to ended, and the worker it starts.
#include <cctype>
#include <cstring>
#include <filesystem>

#include "tests/installer/installer_fixture.h"

using namespace qeltest;

#ifndef _WIN32

namespace {

constexpr int USER_PATH_FIELDS[] = {CTRL_LOG_PATH, CTRL_OPTIONS_PATH, CTRL_SCRIPT_PATH,
                                    CTRL_UPLOAD_PATH, CTRL_DOWNLOAD_PATH};

class MainDialog : public InstallerTest {
  protected:
    std::string base;
    void SetUp() override {
        InstallerTest::SetUp();
        base = scratch_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    // An existing installation with the key-layout option file of the given version.
    std::string make_installation(const std::string &name, const std::string &version,
                                  const std::string &capture = "LOG") {
        std::string folder = base + "/" + name;
        std::filesystem::create_directories(folder + "/OPTIONS");
        write_file(folder + "/OPTIONS/STANDARD.QPA",
                   "QPA" + version + "\nCapturePath=\"" + capture + "\"\nOptsPath=\"OPTIONS\"\n");
        return folder;
    }
    int posts_of(uint32_t kind) {
        int count = 0;
        for (const RecordedPost &post : headless_posts()) count += post.message == kind;
        return count;
    }
};

} // namespace

TEST_F(MainDialog, FreshDialogInEnglish) {
    OsWindow dialog = load_main_dialog(0);
    ASSERT_NE(dialog, nullptr);
    HeadlessWindowState shown = headless_window(dialog);
    EXPECT_EQ(shown.text, "QEL Install V3.10");
    EXPECT_TRUE(shown.visible);
    // No existing installation: both paths empty, the focus on the destination.
    EXPECT_EQ(field_text(dialog, CTRL_EXISTING_PATH), "");
    EXPECT_EQ(field_text(dialog, CTRL_DESTINATION), "");
    EXPECT_EQ(headless_focus_id(dialog), CTRL_DESTINATION);
    EXPECT_FALSE(headless_control(dialog, CTRL_ALREADY_INSTALLED).checked);
    EXPECT_FALSE(headless_control(dialog, CTRL_EXISTING_PATH).enabled);
    EXPECT_FALSE(headless_control(dialog, CTRL_EXISTING_LABEL).enabled);
    for (int id : {CTRL_COPY_OPTIONS, CTRL_COPY_PHONEBOOK, CTRL_COPY_SCRIPTS}) {
        EXPECT_TRUE(headless_control(dialog, id).checked) << id;
        EXPECT_FALSE(headless_control(dialog, id).enabled) << id;
    }
    for (int id : {CTRL_EXISTING_PATH, CTRL_DESTINATION, CTRL_LOG_PATH, CTRL_OPTIONS_PATH,
                   CTRL_SCRIPT_PATH, CTRL_UPLOAD_PATH, CTRL_DOWNLOAD_PATH})
        EXPECT_EQ(headless_control(dialog, id).text_limit, 259) << id;
    // The progress bar was told its range once; nothing was asked.
    ASSERT_FALSE(headless_sent_messages().empty());
    EXPECT_EQ(headless_sent_messages()[0].message, PROGRESS_SETRANGE);
    EXPECT_EQ(headless_sent_messages()[0].second, 0x320000);
    EXPECT_TRUE(headless_boxes().empty());
    EXPECT_TRUE(headless_posts().empty());
}

TEST_F(MainDialog, CaptionsAndWidthsOfTheOtherLanguages) {
    OsWindow german = load_main_dialog(1);
    EXPECT_EQ(headless_window(german).text, "QEL Installation V3.10");
    // The German template widens the copy boxes: 175 dialog units are 263 pixels at 6 per 4.
    EXPECT_EQ(headless_control(german, CTRL_COPY_PHONEBOOK).position.width, 263);
    EXPECT_EQ(headless_control(german, CTRL_COPY_OPTIONS).text, "Vorhandene QEL-Optionen \xFC"
                                                                "bernehmen");
    reset_installer();
    OsWindow french = load_main_dialog(2);
    EXPECT_EQ(headless_window(french).text, "Installation de QEL V3.10");
    EXPECT_EQ(headless_control(french, CTRL_ALREADY_INSTALLED).text,
              "QEL est d\xE9j\xE0 install\xE9");
    EXPECT_EQ(headless_control(french, CTRL_COPY_PHONEBOOK).position.width, 260);
}

TEST_F(MainDialog, PicturesHangFromTheTopOfTheInstalledBox) {
    // Small fonts: the check boxes' top edges are less than 210 pixels apart.
    OsWindow dialog = load_main_dialog(0);
    HeadlessWindowState installed = headless_control(dialog, CTRL_ALREADY_INSTALLED);
    HeadlessWindowState phone = headless_control(dialog, CTRL_COPY_PHONEBOOK);
    int top = installed.position.y + installed.position.height;
    ASSERT_LT(top - (phone.position.y + phone.position.height), 210);
    HeadlessWindowState large = headless_control(dialog, CTRL_PICTURE_LARGE);
    HeadlessWindowState small = headless_control(dialog, CTRL_PICTURE_SMALL);
    EXPECT_FALSE(large.visible);
    EXPECT_TRUE(small.visible);
    EXPECT_EQ(small.position.x, phone.position.x);
    EXPECT_EQ(small.position.width, 200);
    EXPECT_EQ(small.position.height, 180);
    EXPECT_EQ(small.position.y + small.position.height, top);
    EXPECT_EQ(large.position.width, 230);
    EXPECT_EQ(large.position.y + large.position.height, top);

    // Large fonts stretch the dialog: then the larger picture fits and is shown.
    reset_installer();
    headless_set_dialog_units(8, 16);
    dialog = load_main_dialog(0);
    EXPECT_TRUE(headless_control(dialog, CTRL_PICTURE_LARGE).visible);
    EXPECT_FALSE(headless_control(dialog, CTRL_PICTURE_SMALL).visible);
}

TEST_F(MainDialog, DestinationDerivesTheUserPaths) {
    OsWindow dialog = load_main_dialog(0);
    ASSERT_TRUE(headless_type(dialog, CTRL_DESTINATION, "D:\\QEL"));
    EXPECT_EQ(field_text(dialog, CTRL_LOG_PATH), "D:\\QEL\\LOG");
    EXPECT_EQ(field_text(dialog, CTRL_OPTIONS_PATH), "D:\\QEL\\OPTIONS");
    EXPECT_EQ(field_text(dialog, CTRL_SCRIPT_PATH), "D:\\QEL\\SCRIPT");
    EXPECT_EQ(field_text(dialog, CTRL_UPLOAD_PATH), "D:\\QEL\\UPLOAD");
    EXPECT_EQ(field_text(dialog, CTRL_DOWNLOAD_PATH), "D:\\QEL\\DOWNLOAD");
    EXPECT_STREQ(settings.download_path, "D:\\QEL\\DOWNLOAD");
    // A user's own entry is replaced on the next change of the destination.
    ASSERT_TRUE(headless_type(dialog, CTRL_LOG_PATH, "X:\\MYLOGS"));
    ASSERT_TRUE(headless_type(dialog, CTRL_DESTINATION, "E:\\QEL2\\"));
    EXPECT_EQ(field_text(dialog, CTRL_LOG_PATH), "E:\\QEL2\\LOG");
    ASSERT_TRUE(headless_type(dialog, CTRL_DESTINATION, ""));
    for (int id : USER_PATH_FIELDS) EXPECT_EQ(field_text(dialog, id), "") << id;
    // The read-only options field takes no typing.
    EXPECT_FALSE(headless_type(dialog, CTRL_OPTIONS_PATH, "x"));
}

TEST_F(MainDialog, ShortEntriesAndFloppyDrives) {
    headless_set_cwd("D:\\WORK\\QEL");
    OsWindow dialog = load_main_dialog(0);
    headless_type(dialog, CTRL_DESTINATION, "c:x");
    EXPECT_EQ(field_text(dialog, CTRL_DESTINATION), "c:\\x");
    EXPECT_EQ(field_text(dialog, CTRL_LOG_PATH), "c:\\x\\LOG");
    headless_type(dialog, CTRL_DESTINATION, "\\ab");
    EXPECT_EQ(field_text(dialog, CTRL_DESTINATION), "D:\\ab");
    // Entries relative to the setup's own folder stay as typed (Install refuses them).
    headless_type(dialog, CTRL_DESTINATION, "..\\");
    EXPECT_EQ(field_text(dialog, CTRL_DESTINATION), "..\\");
    headless_type(dialog, CTRL_DESTINATION, "new");
    EXPECT_EQ(field_text(dialog, CTRL_DESTINATION), "new");
    headless_type(dialog, CTRL_DESTINATION, "qel4");
    EXPECT_EQ(field_text(dialog, CTRL_DESTINATION), "qel4"); // four characters: as typed

    // Floppy drives are refused by emptying the fields.
    headless_type(dialog, CTRL_DESTINATION, "A:\\QEL");
    EXPECT_EQ(field_text(dialog, CTRL_DESTINATION), "");
    EXPECT_EQ(field_text(dialog, CTRL_LOG_PATH), "");
    ASSERT_TRUE(headless_click(dialog, CTRL_ALREADY_INSTALLED));
    headless_type(dialog, CTRL_EXISTING_PATH, "b:\\old");
    EXPECT_EQ(field_text(dialog, CTRL_EXISTING_PATH), "");
    EXPECT_EQ(field_text(dialog, CTRL_DESTINATION), "");
    EXPECT_TRUE(headless_boxes().empty());
}

TEST_F(MainDialog, RecordedInstallationAndTheCopyBoxes) {
    std::string old_install = make_installation("OldQel", "3.00");
    headless_set_setting("Quelvator ", "HomePath", old_install);
    settings.already_installed = 1; // as the start-up sets it
    OsWindow dialog = load_main_dialog(0);
    std::string shown = field_text(dialog, CTRL_EXISTING_PATH);
    std::string lower = old_install;
    for (char &c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(shown, lower);
    EXPECT_TRUE(headless_control(dialog, CTRL_ALREADY_INSTALLED).checked);
    EXPECT_TRUE(headless_control(dialog, CTRL_EXISTING_PATH).enabled);
    // The destination follows the existing installation; the paths are equal, nothing to copy.
    EXPECT_EQ(field_text(dialog, CTRL_DESTINATION), lower);
    EXPECT_EQ(field_text(dialog, CTRL_LOG_PATH), lower + "\\LOG");
    EXPECT_EQ(settings.existing_migratable, 1);
    EXPECT_EQ(headless_focus_id(dialog), CTRL_DESTINATION);
    for (int id : {CTRL_COPY_OPTIONS, CTRL_COPY_PHONEBOOK, CTRL_COPY_SCRIPTS})
        EXPECT_FALSE(headless_control(dialog, id).enabled) << id;

    // Another destination: every box whose paths now differ can be used.
    headless_type(dialog, CTRL_DESTINATION, base + "/NEW");
    for (int id : {CTRL_COPY_OPTIONS, CTRL_COPY_PHONEBOOK, CTRL_COPY_SCRIPTS})
        EXPECT_TRUE(headless_control(dialog, id).enabled) << id;
    // Changing the existing path no longer moves a destination of the user's own.
    headless_type(dialog, CTRL_EXISTING_PATH, old_install + "/");
    EXPECT_EQ(field_text(dialog, CTRL_DESTINATION), base + "/NEW");

    // Unticking "already installed" empties and disables the existing path.
    ASSERT_TRUE(headless_click(dialog, CTRL_ALREADY_INSTALLED));
    EXPECT_EQ(settings.already_installed, 0);
    EXPECT_FALSE(headless_control(dialog, CTRL_EXISTING_PATH).enabled);
    EXPECT_FALSE(headless_control(dialog, CTRL_EXISTING_LABEL).enabled);
    EXPECT_EQ(field_text(dialog, CTRL_EXISTING_PATH), "");
    EXPECT_EQ(settings.existing_migratable, 0);
    EXPECT_FALSE(headless_control(dialog, CTRL_COPY_PHONEBOOK).enabled);
}

TEST_F(MainDialog, TickedButEmptyExistingPathFocusesIt) {
    headless_set_setting("Other", "HomePath", "x");
    settings.already_installed = 1;
    OsWindow dialog = load_main_dialog(0);
    EXPECT_EQ(headless_focus_id(dialog), CTRL_EXISTING_PATH);
}

TEST_F(MainDialog, DestinationFollowsTheTypedExistingPath) {
    OsWindow dialog = load_main_dialog(0);
    headless_click(dialog, CTRL_ALREADY_INSTALLED);
    headless_type(dialog, CTRL_EXISTING_PATH, "C:\\Q");
    EXPECT_EQ(field_text(dialog, CTRL_DESTINATION), "C:\\Q");
    headless_type(dialog, CTRL_EXISTING_PATH, "C:\\QE");
    EXPECT_EQ(field_text(dialog, CTRL_DESTINATION), "C:\\QE");
    headless_type(dialog, CTRL_DESTINATION, "D:\\MINE");
    headless_type(dialog, CTRL_EXISTING_PATH, "C:\\QEL");
    EXPECT_EQ(field_text(dialog, CTRL_DESTINATION), "D:\\MINE");
}

// Every empty field in the order of the checks: its message and its focus.
TEST_F(MainDialog, ValidationOrderAndFocus) {
    struct Case {
        int emptied;
        const char *message;
    };
    const Case cases[] = {
        {CTRL_DESTINATION, "Destination path is empty"}, {CTRL_LOG_PATH, "Logfile path is empty"},
        {CTRL_SCRIPT_PATH, "Script path is empty"},      {CTRL_UPLOAD_PATH, "Upload path is empty"},
        {CTRL_DOWNLOAD_PATH, "Download path is empty"},
    };
    for (const Case &c : cases) {
        reset_installer();
        OsWindow dialog = load_main_dialog(0);
        headless_type(dialog, CTRL_DESTINATION, base + "/QEL");
        headless_type(dialog, c.emptied, "");
        ASSERT_TRUE(headless_click(dialog, CTRL_INSTALL));
        ASSERT_EQ(headless_boxes().size(), 1u) << c.message;
        EXPECT_EQ(headless_boxes()[0].text, c.message);
        EXPECT_EQ(headless_boxes()[0].caption, "Information");
        EXPECT_EQ(headless_boxes()[0].style, 0x28u);
        EXPECT_EQ(headless_focus_id(dialog), c.emptied) << c.message;
        EXPECT_EQ(settings.worker_started, 0);
        EXPECT_TRUE(headless_control(dialog, CTRL_INSTALL).enabled);
    }
    // Two empty fields: the earlier check speaks.
    reset_installer();
    OsWindow both = load_main_dialog(0);
    headless_type(both, CTRL_DESTINATION, base + "/QEL");
    headless_type(both, CTRL_UPLOAD_PATH, "");
    headless_type(both, CTRL_LOG_PATH, "");
    headless_click(both, CTRL_INSTALL);
    ASSERT_EQ(headless_boxes().size(), 1u);
    EXPECT_EQ(headless_boxes()[0].text, "Logfile path is empty");
    EXPECT_EQ(headless_focus_id(both), CTRL_LOG_PATH);
    // The read-only options path: emptied by the program only.
    reset_installer();
    OsWindow dialog = load_main_dialog(0);
    headless_type(dialog, CTRL_DESTINATION, base + "/QEL");
    os_SetWindowText(os_SubWin(dialog, CTRL_OPTIONS_PATH), "");
    headless_click(dialog, CTRL_INSTALL);
    ASSERT_EQ(headless_boxes().size(), 1u);
    EXPECT_EQ(headless_boxes()[0].text, "Option path is empty");
    EXPECT_EQ(headless_focus_id(dialog), CTRL_OPTIONS_PATH);
}

TEST_F(MainDialog, BetaInstallationAsksFirstAndNoChangesNothing) {
    std::string old_install = make_installation("Beta", "2.55");
    OsWindow dialog = load_main_dialog(0);
    headless_click(dialog, CTRL_ALREADY_INSTALLED);
    headless_type(dialog, CTRL_EXISTING_PATH, old_install);
    EXPECT_EQ(settings.existing_is_beta, 1);
    headless_type(dialog, CTRL_DESTINATION, ""); // even an empty destination: the question first
    headless_queue_answers({0});
    headless_click(dialog, CTRL_INSTALL);
    ASSERT_EQ(headless_boxes().size(), 1u);
    EXPECT_EQ(headless_boxes()[0].text, message_text(MSG_UPGRADE_FROM_BETA));
    EXPECT_EQ(headless_boxes()[0].style, 0x91u); // Yes/No, No the default
    EXPECT_EQ(settings.worker_started, 0);
    EXPECT_TRUE(headless_control(dialog, CTRL_INSTALL).enabled);
    // Yes goes on to the checks.
    headless_queue_answers({1});
    headless_click(dialog, CTRL_INSTALL);
    ASSERT_EQ(headless_boxes().size(), 3u);
    EXPECT_EQ(headless_boxes()[2].text, "Destination path is empty");
}

TEST_F(MainDialog, CancelBeforeInstallEndsWithoutQuestion) {
    OsWindow dialog = load_main_dialog(0);
    ASSERT_TRUE(headless_click(dialog, CTRL_CANCEL));
    EXPECT_EQ(settings.cancel_requested, 1);
    EXPECT_EQ(os_ProcessDlg(dialog), 0);
    EXPECT_TRUE(headless_dismissed(dialog));
    EXPECT_TRUE(headless_boxes().empty());
    EXPECT_EQ(posts_of(MSG_INSTALL_FINISHED), 1);
}

TEST_F(MainDialog, CloseBoxRunsCancelOnce) {
    OsWindow dialog = load_main_dialog(0);
    headless_close(dialog);
    EXPECT_EQ(posts_of(MSG_INSTALL_FINISHED), 1);
    EXPECT_EQ(os_ProcessDlg(dialog), 0);
    EXPECT_TRUE(headless_boxes().empty());
}

// Window messages that share a number with one of the installer's kinds are passed on: they
// must neither end the dialog nor press a button.
TEST_F(MainDialog, RawWindowMessagesAreNotTheInstallersOwn) {
    OsWindow dialog = load_main_dialog(0);
    for (uint32_t raw : {0x20u, 0x29u, 0x30u, 0x3Bu, 0x401u, 0x402u})
        main_dialog_proc(dialog, raw, CTRL_INSTALL, 0);
    EXPECT_TRUE(headless_boxes().empty());
    EXPECT_TRUE(headless_posts().empty());
    EXPECT_FALSE(headless_dismissed(dialog));
    EXPECT_EQ(settings.cancel_requested, 0);
    // The worker's finish message, posted through the layer, is the installer's.
    headless_queue_answers({0});
    os_PostMsg(dialog, MSG_INSTALL_FINISHED, 0, 0);
    EXPECT_EQ(os_ProcessDlg(dialog), 0);
    ASSERT_EQ(headless_boxes().size(), 1u);
    EXPECT_EQ(headless_boxes()[0].text, message_text(MSG_READ_DOCS));
}

TEST_F(MainDialog, InstallRunsTheWorkerThenOffersTheDocuments) {
    CurrentFolderGuard folder;
    std::filesystem::current_path(base);
    Archive archive;
    Member exe;
    exe.name = "QEL.EXE";
    exe.host_made_by = 3; // keeps its case
    exe.data = to_bytes("program");
    archive.members = {exe};
    write_file(base + "/INSTALL.FIL", build_zip(archive));
    copy_path(settings.archive_name, "INSTALL.FIL");
    OsWindow dialog = load_main_dialog(0);
    headless_type(dialog, CTRL_DESTINATION, base + "/QEL");
    headless_queue_answers({0, 0, 0}); // No to the documentation question
    testing::internal::CaptureStderr();
    ASSERT_TRUE(headless_click(dialog, CTRL_INSTALL));
    EXPECT_EQ(settings.worker_started, 1);
    EXPECT_FALSE(headless_control(dialog, CTRL_INSTALL).enabled);
    EXPECT_TRUE(headless_control(dialog, CTRL_CANCEL).enabled);
    EXPECT_EQ(headless_focus_id(dialog), CTRL_DESTINATION);
    // The modal loop waits for the worker, which ends by posting its finish message.
    EXPECT_EQ(os_ProcessDlg(dialog), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(file_exists(base + "/QEL/QEL.EXE"));
    ASSERT_GE(headless_boxes().size(), 2u);
    EXPECT_EQ(headless_boxes().back().text, message_text(MSG_READ_DOCS));
    EXPECT_EQ(headless_boxes().back().style, 0x11u);
    EXPECT_EQ(field_text(dialog, CTRL_STATUS), "Installation complete");
    EXPECT_EQ(headless_control(dialog, CTRL_PROGRESS).extra, 100);
    // Once started, Install does nothing more.
    EXPECT_FALSE(headless_click(dialog, CTRL_INSTALL));
    main_dialog_proc(dialog, WM_COMMAND, CTRL_INSTALL, 0);
    EXPECT_EQ(posts_of(MSG_INSTALL_FINISHED), 1);
}

// Yes to the documents: the dialog stays while they are shown; Cancel there changes nothing; the
// last document closed ends it.
TEST_F(MainDialog, ViewingTheDocumentsAfterTheInstallation) {
    CurrentFolderGuard folder;
    std::filesystem::current_path(base);
    write_file(base + "/INSTALL.FIL", build_zip(Archive{}));
    write_file(base + "/PROBLEMS.DOC", "problems");
    write_file(base + "/README.DOC", "read me");
    copy_path(settings.archive_name, "INSTALL.FIL");
    OsWindow dialog = load_main_dialog(0);
    headless_type(dialog, CTRL_DESTINATION, base + "/QEL");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    headless_click(dialog, CTRL_INSTALL);
    headless_join_threads();
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    headless_queue_answers({1});          // the worker has reported: Yes to the documents
    EXPECT_EQ(os_ProcessDlg(dialog), -1); // no worker left, nothing queued: it would wait
    std::vector<OsWindow> windows = headless_created_windows();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_FALSE(headless_dismissed(dialog));
    EXPECT_TRUE(headless_click(dialog, CTRL_CANCEL));
    EXPECT_EQ(settings.cancel_requested, 1);
    EXPECT_EQ(posts_of(MSG_INSTALL_FINISHED), 1); // only the worker's
    headless_close(windows[1]);
    EXPECT_FALSE(headless_dismissed(dialog));
    headless_close(windows[0]);
    EXPECT_TRUE(headless_dismissed(dialog));
}

// Once the worker runs, the choices are the worker's: typing and ticking change nothing it reads.
TEST_F(MainDialog, HandlersLeaveTheChoicesAloneOnceTheWorkerRuns) {
    std::string old_install = make_installation("Old", "3.00");
    OsWindow dialog = load_main_dialog(0);
    headless_click(dialog, CTRL_ALREADY_INSTALLED);
    headless_type(dialog, CTRL_EXISTING_PATH, old_install);
    headless_type(dialog, CTRL_DESTINATION, base + "/NEW");
    ASSERT_TRUE(headless_control(dialog, CTRL_COPY_OPTIONS).enabled);
    settings.worker_started = 1; // as right after Install
    InstallSettings before;
    std::memcpy(before.destination_path, settings.destination_path, PATH_SIZE);
    std::memcpy(before.log_path, settings.log_path, PATH_SIZE);
    std::memcpy(before.existing_path, settings.existing_path, PATH_SIZE);

    headless_type(dialog, CTRL_DESTINATION, "X:\\ELSEWHERE");
    headless_type(dialog, CTRL_EXISTING_PATH, "Y:\\OTHER");
    headless_type(dialog, CTRL_SCRIPT_PATH, "Z:\\S");
    headless_click(dialog, CTRL_ALREADY_INSTALLED);
    os_SetWindowText(os_SubWin(dialog, CTRL_OPTIONS_PATH), "Z:\\O");
    EXPECT_STREQ(settings.destination_path, before.destination_path);
    EXPECT_STREQ(settings.log_path, before.log_path);
    EXPECT_STREQ(settings.existing_path, before.existing_path);
    EXPECT_STREQ(settings.options_path, (base + "/NEW\\OPTIONS").c_str());
    EXPECT_EQ(settings.already_installed, 1);
    EXPECT_EQ(settings.existing_migratable, 1);
    for (int id : {CTRL_COPY_OPTIONS, CTRL_COPY_PHONEBOOK, CTRL_COPY_SCRIPTS})
        EXPECT_TRUE(headless_control(dialog, id).enabled) << id;
    EXPECT_TRUE(headless_boxes().empty());
}

TEST_F(MainDialog, WorkerThatCannotStartEndsAsAFailedInstallation) {
    OsWindow dialog = load_main_dialog(0);
    headless_type(dialog, CTRL_DESTINATION, base + "/QEL");
    headless_fail_threads(true);
    headless_queue_answers({0}); // No to the documentation question
    headless_click(dialog, CTRL_INSTALL);
    ASSERT_EQ(headless_boxes().size(), 1u);
    EXPECT_EQ(headless_boxes()[0].text, message_text(MSG_INSTALL_ERROR));
    EXPECT_EQ(headless_boxes()[0].style, 0x24u);
    EXPECT_EQ(settings.worker_started, 1);
    EXPECT_FALSE(headless_control(dialog, CTRL_INSTALL).enabled);
    EXPECT_EQ(os_ProcessDlg(dialog), 0); // it does not wait for a worker that never came
    ASSERT_EQ(headless_boxes().size(), 2u);
    EXPECT_EQ(headless_boxes()[1].text, message_text(MSG_READ_DOCS));
}

// An emptied existing path reads nothing from the current drive's root ("\OPTIONS\...").
TEST_F(MainDialog, EmptyExistingPathReadsNoRootFiles) {
    std::string old_install = make_installation("Old", "3.00", "C:\\ELSEWHERE\\LOG");
    OsWindow dialog = load_main_dialog(0);
    headless_click(dialog, CTRL_ALREADY_INSTALLED);
    headless_type(dialog, CTRL_EXISTING_PATH, old_install);
    headless_type(dialog, CTRL_DESTINATION, "D:\\NEW");
    EXPECT_EQ(field_text(dialog, CTRL_LOG_PATH), "C:\\ELSEWHERE\\LOG");
    headless_type(dialog, CTRL_EXISTING_PATH, "");
    for (const std::string &probe : headless_file_probes()) EXPECT_NE(probe[0], '\\') << probe;
    EXPECT_EQ(settings.existing_migratable, 0);
    headless_type(dialog, CTRL_DESTINATION, "D:\\NEW2");
    EXPECT_EQ(field_text(dialog, CTRL_LOG_PATH), "D:\\NEW2\\LOG");
}

#endif
