// The Win32 layer with real windows (under Wine's display-free driver, or on Windows): the
// compiled dialog templates against the table, the pictures, the dialog protocol, the modal
// loop, the y axis, the progress bar's drawing objects, fonts and shell links.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include <objbase.h>
#include <objidl.h>
#include <shlguid.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <string>
#include <vector>

#include "installer/shell/shell.h"
#include "platform/win_api.h"
#include "resources/main_dialog.h"
#include "tests/support/zip_builder.h"

namespace {

HINSTANCE module() {
    return GetModuleHandleA(nullptr);
}

std::wstring wide_1252(const char *text) {
    wchar_t out[512] = {};
    MultiByteToWideChar(1252, 0, text, -1, out, 512);
    return out;
}

// Reads a compiled dialog template (DLGTEMPLATE and its items).
class TemplateReader {
  public:
    explicit TemplateReader(const void *data) : base_(static_cast<const BYTE *>(data)) {}
    uint16_t word() {
        uint16_t value;
        std::memcpy(&value, base_ + at_, 2);
        at_ += 2;
        return value;
    }
    uint32_t dword() {
        uint32_t value;
        std::memcpy(&value, base_ + at_, 4);
        at_ += 4;
        return value;
    }
    std::wstring text() {
        std::wstring out;
        for (uint16_t c = word(); c != 0; c = word()) out += static_cast<wchar_t>(c);
        return out;
    }
    // A string, or an ordinal written as "#n"; empty when neither.
    std::wstring name() {
        uint16_t first = word();
        if (first == 0xFFFF) return L"#" + std::to_wstring(word());
        if (first == 0) return L"";
        at_ -= 2;
        return text();
    }
    void align() { at_ = (at_ + 3) & ~size_t{3}; }

  private:
    const BYTE *base_;
    size_t at_ = 0;
};

std::wstring class_name(const std::wstring &stored) {
    if (stored == L"#128") return L"Button";
    if (stored == L"#129") return L"Edit";
    if (stored == L"#130") return L"Static";
    return stored;
}

// A dialog procedure that notes what the layer made of every message.
struct Recorder {
    std::vector<TranslatedMsg> seen;
    bool dismiss_on_close = false;
};
Recorder &recorder() {
    static Recorder r;
    return r;
}

intptr_t recording_proc(OsWindow dialog, uint32_t message, uintptr_t first, intptr_t second) {
    TranslatedMsg t{};
    os_TranslateMsg(&t, dialog, message, first, second);
    switch (t.kind) {
    case TM_INIT:
        recorder().seen.push_back(t);
        os_SetWinPos(dialog, OS_PLACE_ON_TOP, 0, 0, 0, 0, OS_POS_SHOW | OS_POS_ACTIVATE);
        os_SetFocus(os_SubWin(dialog, CTRL_DESTINATION));
        return 1;
    case TM_CLOSE:
        recorder().seen.push_back(t);
        if (recorder().dismiss_on_close) os_DismissDlg(dialog, 5);
        return 0;
    case TM_COMMAND:
    case TM_CONTROL:
    case MSG_INSTALL_FINISHED:
        recorder().seen.push_back(t);
        return 0;
    default:
        return os_DefDlgProc(dialog, message, first, second);
    }
}

int seen(uint32_t kind, int id = -1, int notification = -1) {
    int count = 0;
    for (const TranslatedMsg &t : recorder().seen)
        count += t.kind == kind && (id < 0 || t.id == id) &&
                 (notification < 0 || t.notification == notification);
    return count;
}

void pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

class Win32Layer : public ::testing::Test {
  protected:
    HWND dialog = nullptr;
    static void SetUpTestSuite() {
        os_Initialize(reinterpret_cast<intptr_t>(module()), ".", 0);
        shell_state.instance = module();
        register_installer_class("ProgressBar", progress_bar_proc, 0, 0);
    }
    void SetUp() override {
        recorder() = Recorder{};
        dialog = static_cast<HWND>(
            os_LoadDlg(nullptr, nullptr, recording_proc, nullptr, DIALOG_TEMPLATE_IDS[0], nullptr));
        ASSERT_NE(dialog, nullptr) << "no dialog: is there a display driver (Wine: null)?";
    }
    void TearDown() override {
        if (dialog && IsWindow(dialog)) DestroyWindow(dialog);
        pump();
    }
};

} // namespace

TEST(Win32Resources, DialogTemplatesMatchTheTable) {
    for (int language = 0; language < 3; ++language) {
        HRSRC found = FindResourceA(module(), MAKEINTRESOURCEA(DIALOG_TEMPLATE_IDS[language]),
                                    reinterpret_cast<LPCSTR>(RT_DIALOG));
        ASSERT_NE(found, nullptr) << DIALOG_TEMPLATE_IDS[language];
        TemplateReader read(LockResource(LoadResource(module(), found)));
        EXPECT_EQ(read.dword(), DIALOG_STYLE);
        read.dword(); // extended style
        uint16_t count = read.word();
        ASSERT_EQ(count, DIALOG_CONTROL_COUNT);
        read.word();
        read.word();
        EXPECT_EQ(read.word(), DIALOG_WIDTH);
        EXPECT_EQ(read.word(), DIALOG_HEIGHT);
        EXPECT_EQ(read.name(), L""); // no menu
        EXPECT_EQ(read.name(), L""); // the dialog class
        EXPECT_EQ(read.text(), wide_1252(DIALOG_CAPTIONS[language]));
        EXPECT_EQ(read.word(), DIALOG_FONT_POINTS);
        EXPECT_EQ(read.text(), wide_1252(DIALOG_FONT_NAME));
        for (const DialogControl &c : DIALOG_CONTROLS) {
            read.align();
            EXPECT_EQ(read.dword(), c.style[language]) << c.id;
            read.dword();
            EXPECT_EQ(read.word(), c.x[language]) << c.id;
            EXPECT_EQ(read.word(), c.y) << c.id;
            EXPECT_EQ(read.word(), c.width[language]) << c.id;
            EXPECT_EQ(read.word(), c.height) << c.id;
            EXPECT_EQ(read.word(), static_cast<uint16_t>(c.id));
            // Class names are compared without regard to case, as Windows looks them up.
            EXPECT_EQ(_wcsicmp(class_name(read.name()).c_str(), wide_1252(c.window_class).c_str()),
                      0)
                << c.id;
            std::wstring title = read.name();
            if (c.kind == DLG_PICTURE)
                EXPECT_EQ(title, L"#" + std::to_wstring(c.bitmap)) << c.id;
            else
                EXPECT_EQ(title, wide_1252(c.text[language])) << c.id;
            uint16_t extra = read.word();
            for (uint16_t i = 0; i < extra; i += 2) read.word();
        }
    }
}

TEST(Win32Resources, PicturesAndIcon) {
    struct Picture {
        int id, width, height;
    };
    for (Picture p : {Picture{BITMAP_CHECKER, 4, 4}, Picture{BITMAP_TERMINAL_LARGE, 230, 210},
                      Picture{BITMAP_TERMINAL_SMALL, 200, 180}}) {
        HBITMAP bitmap = LoadBitmapA(module(), MAKEINTRESOURCEA(p.id));
        ASSERT_NE(bitmap, nullptr) << p.id;
        BITMAP info{};
        GetObjectA(bitmap, sizeof info, &info);
        EXPECT_EQ(info.bmWidth, p.width) << p.id;
        EXPECT_EQ(info.bmHeight, p.height) << p.id;
        if (p.id == BITMAP_CHECKER) {
            HDC memory = CreateCompatibleDC(nullptr);
            HGDIOBJ old = SelectObject(memory, bitmap);
            EXPECT_EQ(GetPixel(memory, 0, 0), RGB(128, 128, 128)); // the top left pixel is dark
            EXPECT_EQ(GetPixel(memory, 1, 0), RGB(192, 192, 192));
            EXPECT_EQ(GetPixel(memory, 0, 1), RGB(192, 192, 192));
            EXPECT_EQ(GetPixel(memory, 3, 3), RGB(128, 128, 128));
            SelectObject(memory, old);
            DeleteDC(memory);
        }
        DeleteObject(bitmap);
    }
    EXPECT_NE(LoadIconA(module(), MAKEINTRESOURCEA(ICON_SETUP)), nullptr);
}

TEST_F(Win32Layer, InitialisationKeepsItsFocus) {
    EXPECT_EQ(seen(TM_INIT), 1);
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, CTRL_DESTINATION));
    // The font arrives before the initialisation (WM_SETFONT is 0x30): it is no notification.
    // The only one is the destination field's news that it has the focus.
    for (const TranslatedMsg &t : recorder().seen) {
        if (t.kind != TM_CONTROL) continue;
        EXPECT_EQ(t.id, CTRL_DESTINATION);
        EXPECT_EQ(t.notification, EN_SETFOCUS);
    }
}

TEST_F(Win32Layer, SetTextReportsOneChange) {
    os_SetWindowText(os_SubWin(dialog, CTRL_EXISTING_PATH), "C:\\QEL");
    EXPECT_EQ(seen(TM_CONTROL, CTRL_EXISTING_PATH, TM_EDIT_CHANGED), 1);
    char text[PATH_SIZE];
    os_QueryWindowText(os_SubWin(dialog, CTRL_EXISTING_PATH), sizeof text, text);
    EXPECT_STREQ(text, "C:\\QEL");
    // The user's own typing reports through Windows' notification.
    SendMessageA(GetDlgItem(dialog, CTRL_DESTINATION), WM_CHAR, 'x', 0);
    EXPECT_EQ(seen(TM_CONTROL, CTRL_DESTINATION, TM_EDIT_CHANGED), 1);
}

TEST_F(Win32Layer, CloseBoxIsOneCloseRequest) {
    SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    pump();
    EXPECT_EQ(seen(TM_CLOSE), 1);
    EXPECT_EQ(seen(TM_COMMAND, CTRL_CANCEL), 0); // handled: no Cancel command on top
}

TEST_F(Win32Layer, OnlyTheLayersPostIsTheFinishMessage) {
    SendMessageA(dialog, 0x402, 0, 0); // DM_REPOSITION to Windows
    SendMessageA(dialog, 0x401, 0, 0);
    EXPECT_EQ(seen(MSG_INSTALL_FINISHED), 0);
    os_PostMsg(dialog, MSG_INSTALL_FINISHED, 0, 0);
    pump();
    EXPECT_EQ(seen(MSG_INSTALL_FINISHED), 1);
}

TEST_F(Win32Layer, DisabledButtonIssuesNoCommand) {
    HWND install = GetDlgItem(dialog, CTRL_INSTALL);
    EnableWindow(install, FALSE);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(CTRL_INSTALL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(install));
    EXPECT_EQ(seen(TM_COMMAND, CTRL_INSTALL), 0);
    EnableWindow(install, TRUE);
    SendMessageA(install, BM_CLICK, 0, 0);
    pump();
    EXPECT_EQ(seen(TM_COMMAND, CTRL_INSTALL), 1);
    SendMessageA(GetDlgItem(dialog, CTRL_COPY_OPTIONS), BM_CLICK, 0, 0);
    pump();
    EXPECT_EQ(seen(TM_CONTROL, CTRL_COPY_OPTIONS), 1);
}

TEST_F(Win32Layer, ModalLoopPassesTheQuitOn) {
    recorder().dismiss_on_close = true;
    PostQuitMessage(7);
    EXPECT_EQ(os_ProcessDlg(dialog), 5); // the quit closed the dialog through its handler
    EXPECT_EQ(seen(TM_CLOSE), 1);
    MSG message{};
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 7u);
}

TEST_F(Win32Layer, UpwardYAxis) {
    RECT client{};
    GetClientRect(dialog, &client);
    HWND bar = GetDlgItem(dialog, CTRL_PROGRESS);
    RECT r{};
    GetWindowRect(bar, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&r), 2);
    OsWinPos position{};
    ASSERT_TRUE(os_QueryWinPos(bar, &position));
    EXPECT_EQ(position.x, r.left);
    EXPECT_EQ(position.width, r.right - r.left);
    EXPECT_EQ(position.y, client.bottom - r.bottom); // the bottom edge, counted upward

    os_SetWinPos(bar, 0, 10, 20, 100, 30, OS_POS_SIZE | OS_POS_MOVE);
    GetWindowRect(bar, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&r), 2);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.bottom, client.bottom - 20);
    EXPECT_EQ(r.top, client.bottom - 50);
    os_QueryWinPos(bar, &position);
    EXPECT_EQ(position.y, 20);
    EXPECT_EQ(position.height, 30);

    // A top-level window counts from the screen's bottom edge.
    int screen = GetSystemMetrics(SM_CYSCREEN);
    GetWindowRect(dialog, &r);
    os_SetWinPos(dialog, 0, 40, 100, 0, 0, OS_POS_MOVE);
    RECT moved{};
    GetWindowRect(dialog, &moved);
    EXPECT_EQ(moved.left, 40);
    EXPECT_EQ(moved.bottom, screen - 100);
    EXPECT_EQ(moved.bottom - moved.top, r.bottom - r.top);
}

// Paints with all but a hundred drawing-object slots taken: a paint that kept even one object
// would run out long before a thousand paints are done.
TEST_F(Win32Layer, ProgressBarPaintsWithoutKeepingObjects) {
    OsWindow bar =
        plat_create_window("ProgressBar", "", WS_POPUP | WS_VISIBLE, 0, 0, 591, 16, nullptr, 0);
    ASSERT_NE(bar, nullptr);
    HWND window = static_cast<HWND>(bar);
    std::vector<HBRUSH> ballast;
    while (ballast.size() < 200000) {
        HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
        if (brush == nullptr) break;
        ballast.push_back(brush);
    }
    for (int i = 0; i < 100 && !ballast.empty(); ++i) {
        DeleteObject(ballast.back());
        ballast.pop_back();
    }
    for (int i = 0; i < 1000; ++i) {
        plat_send_message(bar, PROGRESS_SETPOS, static_cast<uintptr_t>(i % 101), 0);
        UpdateWindow(window);
    }
    HBRUSH probe = CreateSolidBrush(RGB(4, 5, 6));
    EXPECT_NE(probe, nullptr) << "drawing objects were kept by the paints";
    if (probe) DeleteObject(probe);
    for (HBRUSH brush : ballast) DeleteObject(brush);

    // What the last paint (position 99: 19 segments) left on the screen.
    plat_send_message(bar, PROGRESS_SETPOS, 50, 0);
    UpdateWindow(window);
    HDC device = GetDC(window);
    EXPECT_EQ(GetPixel(device, 3 + 5, 8), GetSysColor(COLOR_HIGHLIGHT)); // segment 0
    COLORREF unlit = GetPixel(device, 3 + 5 * 58 + 5, 8);                // segment 10
    EXPECT_TRUE(unlit == RGB(128, 128, 128) || unlit == RGB(192, 192, 192)) << std::hex << unlit;
    ReleaseDC(window, device);
    DestroyWindow(window);
}

TEST_F(Win32Layer, OneFontPerTextReleasedAtTheEnd) {
    OsWindow first = os_SubWin(dialog, CTRL_LOG_PATH), second = os_SubWin(dialog, CTRL_UPLOAD_PATH);
    ASSERT_TRUE(os_SetFontNameSize(first, "8.Courier"));
    ASSERT_TRUE(os_SetFontNameSize(second, "8.Courier"));
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(static_cast<HWND>(first), WM_GETFONT, 0, 0));
    EXPECT_EQ(font,
              reinterpret_cast<HFONT>(SendMessageA(static_cast<HWND>(second), WM_GETFONT, 0, 0)));
    EXPECT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
    DestroyWindow(dialog);
    dialog = nullptr;
    os_Initialize(-1, nullptr, 0); // the layer shuts down: its fonts go
    EXPECT_EQ(GetObjectType(font), 0u);
    os_Initialize(reinterpret_cast<intptr_t>(module()), ".", 0);
}

TEST(Win32Shortcuts, SavedAndReadBack) {
    std::string folder = qeltest::scratch_dir("Win32Shortcuts");
    std::replace(folder.begin(), folder.end(), '/', '\\');
    std::string link_file = folder + "\\Readme.doc.LNK";
    ASSERT_TRUE(plat_com_begin());
    ShortcutRequest request{link_file.c_str(), "C:\\QEL\\README.DOC", "/x",
                            "C:\\QEL",         "Readme.doc",          "C:\\QEL\\inst_doc.ico"};
    ASSERT_EQ(plat_save_shortcut(request), SHORTCUT_SAVED);

    IShellLinkA *link = nullptr;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_IShellLinkA, reinterpret_cast<void **>(&link))));
    IPersistFile *file = nullptr;
    ASSERT_TRUE(
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&file))));
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, link_file.c_str(), -1, wide, MAX_PATH);
    ASSERT_TRUE(SUCCEEDED(file->Load(wide, STGM_READ)));
    char text[MAX_PATH] = "";
    int icon_index = -1;
    link->GetArguments(text, sizeof text);
    EXPECT_STREQ(text, "/x");
    link->GetDescription(text, sizeof text);
    EXPECT_STREQ(text, "Readme.doc");
    link->GetWorkingDirectory(text, sizeof text);
    EXPECT_STREQ(text, "C:\\QEL");
    link->GetIconLocation(text, sizeof text, &icon_index);
    EXPECT_STREQ(text, "C:\\QEL\\inst_doc.ico");
    EXPECT_EQ(icon_index, 0);
    file->Release();
    link->Release();

    // A name that does not fit the wide buffer is never saved, not even cut.
    std::string long_name = folder + "\\" + std::string(300, 'n') + ".LNK";
    request.link_file = long_name.c_str();
    EXPECT_EQ(plat_save_shortcut(request), SHORTCUT_NAME_FAILED);
    plat_com_end();
}

// The catalogue's OEM letters reach the windows as window-code-page letters.
TEST(Win32Catalogue, AccentsInTheWindowCodePage) {
    int saved = settings.language;
    settings.language = 1;
    std::wstring shown = wide_1252(message_text(MSG_ALL_PROCESSED));
    settings.language = saved;
    EXPECT_NE(shown.find(L"Startmen\u00FC"), std::wstring::npos);
}

#endif
