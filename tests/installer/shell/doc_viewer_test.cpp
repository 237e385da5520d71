// The document viewer: which files open, where the windows go, and that the last one closed
// ends the dialog.
#include <filesystem>

#include "tests/installer/installer_fixture.h"

using namespace qeltest;

#ifndef _WIN32

namespace {

class DocViewer : public InstallerTest {
  protected:
    std::string base;
    CurrentFolderGuard folder;
    OsWindow dialog = nullptr;
    void SetUp() override {
        InstallerTest::SetUp();
        base = scratch_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::current_path(base); // the installer's folder, where the documents lie
        dialog = headless_new_window();
        settings.main_dialog = dialog;
    }
    std::string edit_text(OsWindow window) {
        return headless_window(os_SubWin(window, TEXT_FIELD_ID)).text;
    }
};

} // namespace

TEST_F(DocViewer, SevenCascadedWindowsInListOrder) {
    for (const DocumentFile &document : documentation_files)
        write_file(base + "/" + document.file_name, std::string("text of ") + document.file_name);
    show_doc_files();
    std::vector<OsWindow> windows = headless_created_windows();
    ASSERT_EQ(windows.size(), 7u);
    ASSERT_EQ(headless_classes().size(), 1u);
    EXPECT_EQ(headless_classes()[0].name, "ShowTextWindow");
    EXPECT_EQ(headless_classes()[0].icon_id, 0);
    // Screen 1024 x 768; a step of caption 20 plus frame 4 pixels.
    for (size_t i = 0; i < windows.size(); ++i) {
        int n = static_cast<int>(i) + 1;
        HeadlessWindowState window = headless_window(windows[i]);
        EXPECT_EQ(window.text, documentation_files[i].file_name);
        EXPECT_EQ(window.style, static_cast<uint32_t>(WS_OVERLAPPEDWINDOW));
        EXPECT_TRUE(window.visible);
        EXPECT_EQ(window.position.x, 24 * n);
        EXPECT_EQ(window.position.width, 768);
        EXPECT_EQ(window.position.height, 576);
        // Its top edge lies n steps below the screen's top.
        EXPECT_EQ(768 - (window.position.y + window.position.height), 24 * n);
        EXPECT_EQ(edit_text(windows[i]),
                  std::string("text of ") + documentation_files[i].file_name);
        HeadlessWindowState field = headless_window(os_SubWin(windows[i], TEXT_FIELD_ID));
        EXPECT_EQ(field.style, static_cast<uint32_t>(WS_CHILD | WS_VISIBLE | WS_VSCROLL |
                                                     WS_HSCROLL | ES_MULTILINE | ES_READONLY));
    }
    EXPECT_EQ(headless_window(windows.back()).text, "README.DOC");
    EXPECT_FALSE(headless_dismissed(dialog));

    // Closing in any order: only the last one ends the dialog.
    for (size_t i : {3u, 0u, 6u, 1u, 5u, 2u}) {
        headless_close(windows[i]);
        EXPECT_TRUE(headless_destroyed(windows[i]));
        EXPECT_FALSE(headless_dismissed(dialog));
    }
    headless_close(windows[4]);
    EXPECT_TRUE(headless_dismissed(dialog));
}

TEST_F(DocViewer, OnlyTheReadmeAndLaterWindowsContinueTheCascade) {
    write_file(base + "/README.DOC", "read me");
    show_doc_files();
    ASSERT_EQ(headless_created_windows().size(), 1u);
    OsWindow first = headless_created_windows()[0];
    EXPECT_EQ(headless_window(first).position.x, 24);
    // Another round in the same run goes on from where the cascade stood.
    show_doc_files();
    ASSERT_EQ(headless_created_windows().size(), 2u);
    EXPECT_EQ(headless_window(headless_created_windows()[1]).position.x, 48);
    EXPECT_EQ(headless_classes().size(), 1u); // registered once
    headless_close(first);
    EXPECT_FALSE(headless_dismissed(dialog));
    headless_close(headless_created_windows()[1]);
    EXPECT_TRUE(headless_dismissed(dialog));
}

TEST_F(DocViewer, NoDocumentEndsTheDialogAtOnce) {
    show_doc_files();
    EXPECT_TRUE(headless_created_windows().empty());
    EXPECT_TRUE(headless_dismissed(dialog));
    EXPECT_TRUE(headless_boxes().empty());
}

TEST_F(DocViewer, LongFilesAreCutAndEmptyOnesShowEmpty) {
    std::string long_text(20000, 'x');
    for (size_t i = 0; i < long_text.size(); i += 100) long_text[i] = '\n';
    write_file(base + "/QELINTRO.DOC", long_text);
    write_file(base + "/PROBLEMS.DOC", "");
    show_doc_files();
    std::vector<OsWindow> windows = headless_created_windows();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(edit_text(windows[0]), long_text.substr(0, 16383));
    EXPECT_EQ(edit_text(windows[1]), "");
    EXPECT_EQ(headless_window(windows[1]).text, "PROBLEMS.DOC");
}

TEST_F(DocViewer, TheTextFieldCoversTheResizedWindow) {
    write_file(base + "/README.DOC", "r");
    show_doc_files();
    OsWindow window = headless_created_windows()[0];
    os_SetWinPos(window, 0, 0, 0, 300, 200, OS_POS_SIZE);
    HeadlessWindowState field = headless_window(os_SubWin(window, TEXT_FIELD_ID));
    EXPECT_EQ(field.position.width, 301);
    EXPECT_EQ(field.position.height, 202);
    EXPECT_EQ(field.position.x, -1);
    EXPECT_EQ(field.position.y, -1);
}

#endif
