// The document viewer: one cascaded read-only text window per documentation file; the program
// ends when the last of them is closed.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "installer/shell/shell.h"
#include "platform/win_api.h"

namespace {

constexpr const char TEXT_WINDOW_CLASS[] = "ShowTextWindow";
constexpr const char TEXT_FONT[] = "8.Courier";
constexpr uint32_t TEXT_FIELD_STYLE =
    WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY;

} // namespace

void show_doc_files() {
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[DOCUMENT_BUFFER_SIZE]);
    if (buffer) {
        for (const DocumentFile &document : documentation_files) {
            std::FILE *file = plat_fopen(document.file_name, "rb");
            if (file == nullptr) continue; // a missing document is skipped silently
            std::memset(buffer.get(), 0, DOCUMENT_BUFFER_SIZE);
            std::fread(buffer.get(), 1, DOCUMENT_BUFFER_SIZE - 1, file);
            open_text_window(buffer.get(), document.file_name);
            std::fclose(file);
        }
    }
    // Nothing to show: the dialog ends as after a No.
    if (shell_state.viewer.windows_open == 0) os_DismissDlg(settings.main_dialog, 0);
}

void open_text_window(const char *text, const char *title) {
    ViewerState &viewer = shell_state.viewer;
    if (viewer.windows_created == 0)
        register_installer_class(TEXT_WINDOW_CLASS, text_window_proc, 0, 0);
    int n = ++viewer.windows_created;
    OsWindow window =
        plat_create_window(TEXT_WINDOW_CLASS, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, 0);
    if (window == nullptr) return;
    int32_t screen_width = os_QuerySysValue(OS_SYS_SCREEN_WIDTH);
    int32_t screen_height = os_QuerySysValue(OS_SYS_SCREEN_HEIGHT);
    int32_t step = os_QuerySysValue(OS_SYS_CAPTION_HEIGHT) + os_QuerySysValue(OS_SYS_FRAME_HEIGHT);
    // Three quarters of the screen each way; window n lies n steps right of and below the
    // screen's top left corner (y counts upward to the window's bottom edge).
    os_SetWinPos(window, 0, step * n, screen_height / 4 - step * n, 3 * screen_width / 4,
                 3 * screen_height / 4, OS_POS_SIZE | OS_POS_MOVE | OS_POS_SHOW);
    os_SetWindowText(os_SubWin(window, TEXT_FIELD_ID), text);
}

intptr_t text_window_proc(OsWindow window, uint32_t message, uintptr_t first, intptr_t second) {
    switch (message) {
    case WM_CREATE: {
        ++shell_state.viewer.windows_open;
        OsRect client{};
        os_QueryWinClRect(window, &client);
        OsWindow field = plat_create_window("EDIT", "", TEXT_FIELD_STYLE, 0, 0, client.right,
                                            client.top, window, TEXT_FIELD_ID);
        if (field) os_SetFontNameSize(field, TEXT_FONT);
        return 0;
    }
    case WM_SIZE:
        if (OsWindow field = os_SubWin(window, TEXT_FIELD_ID)) {
            OsRect client{};
            os_QueryWinClRect(window, &client);
            os_SetWinPos(field, 0, -1, -1, client.right + 1, client.top + 2,
                         OS_POS_SIZE | OS_POS_MOVE);
        }
        return 0;
    case WM_CLOSE:
        os_DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        if (--shell_state.viewer.windows_open == 0) os_DismissDlg(settings.main_dialog, 0);
        return 0;
    default:
        return os_DefWinProc(window, message, first, second);
    }
}
