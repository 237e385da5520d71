// The OS layer on Win32: dialogs run through a wrapper that speaks Windows' dialog protocol,
// messages translated for the installer, boxes, geometry with the layer's upward y, painting,
// the settings store, directory search, modules, threads, and the program's window classes.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/common/message_map.h"
#include "platform/os_layer.h"
#include "platform/win_api.h"

static_assert(TM_EDIT_CHANGED != EN_CHANGE, "the installer's edit notification is its own");

namespace {

struct DialogBinding {
    HWND dialog;
    OsDialogProc procedure;
};

struct ClassBinding {
    ATOM atom;
    OsWindowProc procedure;
};

struct ModalLoop {
    HWND dialog;
    bool ended;
    intptr_t result;
};

struct FontEntry {
    std::string font_text; // "8.Courier"
    HFONT font;
};

// Everything the layer keeps. Dialogs and windows live on the main thread; the worker only sets
// texts, sends to the progress bar, posts and shows boxes, which touch none of this.
struct Win32Layer {
    HINSTANCE instance = nullptr;
    std::vector<DialogBinding> dialogs;
    OsDialogProc dialog_being_created = nullptr;
    std::vector<ClassBinding> classes;
    std::vector<ModalLoop> modal_loops;
    bool default_called = false; // the procedure now running passed its message on
    HWND text_being_set = nullptr;
    std::vector<FontEntry> fonts;
};

Win32Layer &layer() {
    static Win32Layer l;
    return l;
}

HWND as_hwnd(OsWindow window) {
    return static_cast<HWND>(window);
}

bool has_class(HWND window, const char *name) {
    char found[32] = {};
    return window && GetClassNameA(window, found, sizeof found) > 0 && lstrcmpiA(found, name) == 0;
}

bool is_child(HWND window) {
    return (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) != 0;
}

// The height of what a window's y is measured in: its parent's client area, or the screen.
int parent_height(HWND window) {
    HWND parent = GetParent(window);
    if (parent && is_child(window)) {
        RECT client{};
        GetClientRect(parent, &client);
        return client.bottom;
    }
    return GetSystemMetrics(SM_CYSCREEN);
}

CommandSender command_sender(HWND control) {
    if (control == nullptr) return CommandSender::none;
    if (has_class(control, "Button")) {
        LONG type = GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK;
        if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON)
            return IsWindowEnabled(control) ? CommandSender::push_button
                                            : CommandSender::disabled_push_button;
        return CommandSender::check_box;
    }
    if (has_class(control, "Edit")) return CommandSender::edit;
    return CommandSender::other_control;
}

OsDialogProc dialog_procedure(HWND dialog) {
    for (const DialogBinding &binding : layer().dialogs)
        if (binding.dialog == dialog) return binding.procedure;
    return nullptr;
}

// Windows calls this for every message of a dialog made by os_LoadDlg. The installer's
// procedure answers in its own terms (1 after the initialisation, 0 after any other message it
// handled, os_DefDlgProc's result otherwise); this turns that into Windows' protocol.
INT_PTR CALLBACK dialog_entry(HWND dialog, UINT message, WPARAM first, LPARAM second) {
    Win32Layer &l = layer();
    OsDialogProc procedure = dialog_procedure(dialog);
    if (procedure == nullptr && l.dialog_being_created) {
        procedure = l.dialog_being_created;
        l.dialogs.push_back({dialog, procedure});
    }
    if (procedure == nullptr) return FALSE;
    // The layer reports a text it sets itself, once, after the text is in place.
    if (message == WM_COMMAND && HIWORD(first) == EN_CHANGE && l.text_being_set &&
        reinterpret_cast<HWND>(second) == l.text_being_set)
        return TRUE;

    bool outer_default = l.default_called;
    l.default_called = false;
    intptr_t result = procedure(dialog, message, first, second);
    bool handled = !l.default_called;
    l.default_called = outer_default;

    if (message == WM_NCDESTROY)
        for (size_t i = 0; i < l.dialogs.size(); ++i)
            if (l.dialogs[i].dialog == dialog) {
                l.dialogs.erase(l.dialogs.begin() + static_cast<long>(i));
                break;
            }
    if (!handled) return FALSE;
    // The procedure places the focus itself during its initialisation; keep it there.
    if (message == WM_INITDIALOG) return FALSE;
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, result);
    return TRUE;
}

// The window procedure of every class registered with plat_register_class.
LRESULT CALLBACK window_entry(HWND window, UINT message, WPARAM first, LPARAM second) {
    ATOM atom = static_cast<ATOM>(GetClassWord(window, GCW_ATOM));
    for (const ClassBinding &binding : layer().classes)
        if (binding.atom == atom) return binding.procedure(window, message, first, second);
    return DefWindowProcA(window, message, first, second);
}

struct ThreadStart {
    OsThreadRoutine routine;
    void *argument;
};

DWORD WINAPI thread_entry(LPVOID parameter) {
    ThreadStart start = *static_cast<ThreadStart *>(parameter);
    delete static_cast<ThreadStart *>(parameter);
    start.routine(start.argument);
    return 0;
}

// Painting: the record the layer hands out while a window paints.
struct PaintState {
    OsPaint paint;
    PAINTSTRUCT ps;
};

void fill_find_record(const WIN32_FIND_DATAA &data, OsFindRecord *record) {
    std::snprintf(record->name, sizeof record->name, "%s", data.cFileName);
    record->attributes = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? OS_ATTR_FOLDER : 0;
}

BOOL CALLBACK ask_to_close(HWND window, LPARAM) {
    if (IsWindowVisible(window)) PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

void release_fonts() {
    for (FontEntry &entry : layer().fonts) DeleteObject(entry.font);
    layer().fonts.clear();
}

} // namespace

// --- Life cycle and threads -------------------------------------------------------------------

// (instance, ".", 0) starts the layer for the program's module; (-1, 0, 0) shuts it down.
int os_Initialize(intptr_t instance, const char *, int) {
    if (instance == -1) {
        release_fonts();
        return 1;
    }
    layer().instance = reinterpret_cast<HINSTANCE>(instance);
    return 1;
}

int os_InitWinThread(OsThreadRecord *record, int, int) {
    if (record) std::memset(record, 0, sizeof *record);
    return 1;
}

void os_CleanupWinThread(OsThreadRecord *) {}

int os_CreateThread(OsThreadRoutine routine, void *argument) {
    auto *start = new ThreadStart{routine, argument};
    HANDLE thread = CreateThread(nullptr, 0, thread_entry, start, 0, nullptr);
    if (thread == nullptr) {
        delete start;
        return 0;
    }
    CloseHandle(thread);
    return 1;
}

// --- System values, current folder, assertions ------------------------------------------------

int32_t os_QuerySysValue(OsSysValue index) {
    switch (index) {
    case OS_SYS_VERSION: {
        DWORD version = GetVersion();
        return static_cast<int32_t>((version & 0xFF) * 100 + ((version >> 8) & 0xFF));
    }
    case OS_SYS_KIND:
        return (GetVersion() & 0x80000000u) ? 1 : OS_SYS_KIND_NT;
    case OS_SYS_FRAME_HEIGHT:
        return GetSystemMetrics(SM_CYFRAME);
    case OS_SYS_CAPTION_HEIGHT:
        return GetSystemMetrics(SM_CYCAPTION);
    case OS_SYS_SCREEN_WIDTH:
        return GetSystemMetrics(SM_CXSCREEN);
    case OS_SYS_SCREEN_HEIGHT:
        return GetSystemMetrics(SM_CYSCREEN);
    case OS_SYS_HIGHLIGHT_COLOUR:
        return static_cast<int32_t>(GetSysColor(COLOR_HIGHLIGHT));
    default:
        return 0;
    }
}

int os_QueryCWD(char *buffer, uint32_t size) {
    if (buffer == nullptr || size == 0) return 0;
    DWORD got = GetCurrentDirectoryA(size, buffer);
    if (got == 0 || got >= size) {
        buffer[0] = '\0';
        return 0;
    }
    return 1;
}

void _os_AssertMsg(const char *text, const char *source, int line) {
    char message[600];
    std::snprintf(message, sizeof message, "Assertion failed: %s\rFile %s, line %d",
                  text ? text : "", source ? source : "", line);
    MessageBoxA(nullptr, message, "Assertion", MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

// --- Dialogs and messages ---------------------------------------------------------------------

OsWindow os_LoadDlg(OsWindow parent, OsWindow owner, OsDialogProc procedure, OsModule resources,
                    uint32_t template_id, void *parameter) {
    HINSTANCE module = resources ? static_cast<HINSTANCE>(resources) : layer().instance;
    layer().dialog_being_created = procedure;
    HWND dialog =
        CreateDialogParamA(module, MAKEINTRESOURCEA(template_id), as_hwnd(owner ? owner : parent),
                           dialog_entry, reinterpret_cast<LPARAM>(parameter));
    layer().dialog_being_created = nullptr;
    return dialog;
}

// Runs the dialog until os_DismissDlg. A WM_QUIT on the way asks every window of this thread
// to close (the dialog runs its Cancel, the document windows go), and is posted again once
// the dialog has ended, so that whoever runs the next loop sees it too.
intptr_t os_ProcessDlg(OsWindow dialog) {
    HWND window = as_hwnd(dialog);
    if (window == nullptr || !IsWindow(window)) return -1;
    layer().modal_loops.push_back({window, false, 0});
    size_t index = layer().modal_loops.size() - 1;
    bool quit = false;
    WPARAM quit_code = 0;
    MSG message;
    while (!layer().modal_loops[index].ended) {
        BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == -1) break;
        if (got == 0) {
            if (!quit) EnumThreadWindows(GetCurrentThreadId(), ask_to_close, 0);
            quit = true;
            quit_code = message.wParam;
            if (!IsWindow(window)) break;
            continue;
        }
        if (!IsDialogMessageA(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    intptr_t result = layer().modal_loops[index].result;
    layer().modal_loops.resize(index);
    if (quit) PostQuitMessage(static_cast<int>(quit_code));
    return result;
}

void os_DismissDlg(OsWindow dialog, intptr_t result) {
    for (ModalLoop &loop : layer().modal_loops)
        if (loop.dialog == as_hwnd(dialog)) {
            loop.ended = true;
            loop.result = result;
        }
    PostMessageA(as_hwnd(dialog), WM_NULL, 0, 0); // wakes the modal loop
}

void os_TranslateMsg(TranslatedMsg *record, OsWindow, uint32_t message, uintptr_t first,
                     intptr_t second) {
    CommandSender sender = CommandSender::none;
    if (message == WM_COMMAND) sender = command_sender(reinterpret_cast<HWND>(second));
    *record = translate_message(message, first, second, sender);
}

// A dialog procedure's "not handled": Windows' own dialog handling then does the rest.
intptr_t os_DefDlgProc(OsWindow, uint32_t, uintptr_t, intptr_t) {
    layer().default_called = true;
    return 0;
}

intptr_t os_DefWinProc(OsWindow window, uint32_t message, uintptr_t first, intptr_t second) {
    return DefWindowProcA(as_hwnd(window), message, first, second);
}

int os_PostMsg(OsWindow window, uint32_t message, uintptr_t first, intptr_t second) {
    return PostMessageA(as_hwnd(window), posted_message_number(message), first, second) ? 1 : 0;
}

// Texts arrive as the window code page shows them (the catalogue converts its own texts).
int os_MessageBox(OsWindow owner, const char *caption, const char *text, uint32_t style) {
    int answer = MessageBoxA(as_hwnd(owner), text ? text : "", caption ? caption : "",
                             message_box_flags(style));
    return answer == IDYES ? MB_ANSWER_YES : 0;
}

// --- Controls and windows ---------------------------------------------------------------------

OsWindow os_SubWin(OsWindow parent, int id) {
    return GetDlgItem(as_hwnd(parent), id);
}

int os_QueryWindowText(OsWindow window, uint32_t size, char *buffer) {
    if (buffer == nullptr || size == 0) return 0;
    buffer[0] = '\0';
    return GetWindowTextA(as_hwnd(window), buffer, static_cast<int>(size));
}

// An edit field set on its own thread reports the change exactly once, after the text is in:
// Windows' own notification during the set is held back by dialog_entry.
int os_SetWindowText(OsWindow window, const char *text) {
    HWND hwnd = as_hwnd(window);
    if (hwnd == nullptr) return 0;
    bool own_edit = has_class(hwnd, "Edit") && GetParent(hwnd) &&
                    GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId();
    if (!own_edit) return SetWindowTextA(hwnd, text ? text : "") ? 1 : 0;
    HWND outer = layer().text_being_set;
    layer().text_being_set = hwnd;
    BOOL done = SetWindowTextA(hwnd, text ? text : "");
    layer().text_being_set = outer;
    SendMessageA(GetParent(hwnd), WM_COMMAND,
                 MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(hwnd)), EN_CHANGE),
                 reinterpret_cast<LPARAM>(hwnd));
    return done ? 1 : 0;
}

int os_IsButtonChecked(OsWindow dialog, int id) {
    return IsDlgButtonChecked(as_hwnd(dialog), id) == BST_CHECKED ? 1 : 0;
}

int os_CheckControl(OsWindow dialog, int id, int state) {
    return CheckDlgButton(as_hwnd(dialog), id, state ? BST_CHECKED : BST_UNCHECKED) ? 1 : 0;
}

int os_EnableWindow(OsWindow window, int on) {
    EnableWindow(as_hwnd(window), on ? TRUE : FALSE);
    return 1;
}

int os_IsWindowEnabled(OsWindow window) {
    return IsWindowEnabled(as_hwnd(window)) ? 1 : 0;
}

int os_ShowWindow(OsWindow window, int visible) {
    ShowWindow(as_hwnd(window), visible ? SW_SHOW : SW_HIDE);
    return 1;
}

int os_SetFocus(OsWindow window) {
    SetFocus(as_hwnd(window));
    return GetFocus() == as_hwnd(window) ? 1 : 0;
}

int os_ContrlMgr(OsWindow control, int request, int value, int extra) {
    HWND field = as_hwnd(control);
    switch (request) {
    case OS_EDIT_LIMIT:
        SendMessageA(field, EM_LIMITTEXT, static_cast<WPARAM>(value), 0);
        return 1;
    case OS_EDIT_QUERY_SELECTION:
        return static_cast<int>(SendMessageA(field, EM_GETSEL, 0, 0));
    case OS_EDIT_SELECT:
        SendMessageA(field, EM_SETSEL, static_cast<WPARAM>(value), static_cast<LPARAM>(extra));
        return 1;
    default:
        return 0;
    }
}

int os_DestroyWindow(OsWindow window) {
    return DestroyWindow(as_hwnd(window)) ? 1 : 0;
}

// Font given as "points.Name", for example "8.Courier". One font object per text, shared by
// every window that asks for it and released when the layer shuts down.
int os_SetFontNameSize(OsWindow window, const char *font_text) {
    if (font_text == nullptr) return 0;
    HFONT font = nullptr;
    for (const FontEntry &entry : layer().fonts)
        if (entry.font_text == font_text) font = entry.font;
    if (font == nullptr) {
        int points = std::atoi(font_text);
        const char *name = std::strchr(font_text, '.');
        name = name ? name + 1 : font_text;
        HDC screen = GetDC(nullptr);
        int height = -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
        ReleaseDC(nullptr, screen);
        font = CreateFontA(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0,
                           FIXED_PITCH | FF_MODERN, name);
        if (font == nullptr) return 0;
        layer().fonts.push_back({font_text, font});
    }
    SendMessageA(as_hwnd(window), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    return 1;
}

// --- Geometry (y upward: a window's y is its bottom edge above its parent's bottom) ----------

int os_QueryWinPos(OsWindow window, OsWinPos *position) {
    HWND hwnd = as_hwnd(window);
    RECT r{};
    if (position == nullptr || !GetWindowRect(hwnd, &r)) return 0;
    if (GetParent(hwnd) && is_child(hwnd))
        MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT *>(&r), 2);
    position->flags = 0;
    position->width = r.right - r.left;
    position->height = r.bottom - r.top;
    position->x = r.left;
    position->y = flip_y(parent_height(hwnd), r.top, position->height);
    return 1;
}

int os_SetWinPos(OsWindow window, intptr_t behind, int32_t x, int32_t y, int32_t width,
                 int32_t height, uint32_t flags) {
    HWND hwnd = as_hwnd(window);
    UINT swp = SWP_NOZORDER;
    if (!(flags & OS_POS_SIZE)) swp |= SWP_NOSIZE;
    if (!(flags & OS_POS_MOVE)) swp |= SWP_NOMOVE;
    if (flags & OS_POS_SHOW) swp |= SWP_SHOWWINDOW;
    if (!(flags & OS_POS_ACTIVATE)) swp |= SWP_NOACTIVATE;
    HWND after = nullptr;
    if (behind == OS_PLACE_ON_TOP) {
        after = HWND_TOP;
        swp &= ~static_cast<UINT>(SWP_NOZORDER);
    }
    int top = 0;
    if (flags & OS_POS_MOVE) {
        int h = height;
        if (!(flags & OS_POS_SIZE)) {
            RECT r{};
            GetWindowRect(hwnd, &r);
            h = r.bottom - r.top;
        }
        top = flip_y(parent_height(hwnd), y, h);
    }
    return SetWindowPos(hwnd, after, x, top, width, height, swp) ? 1 : 0;
}

// The window's own rectangle in the upward axis: left and bottom 0, right its width, top its
// height.
int os_QueryWinRect(OsWindow window, OsRect *rectangle) {
    RECT r{};
    if (rectangle == nullptr || !GetClientRect(as_hwnd(window), &r)) return 0;
    *rectangle = {r.left, 0, r.right, r.bottom - r.top};
    return 1;
}

int os_QueryWinClRect(OsWindow window, OsRect *rectangle) {
    return os_QueryWinRect(window, rectangle);
}

int os_CenterWinOverWin(OsWindow over, OsWindow window, int) {
    RECT area{}, r{};
    if (over)
        GetWindowRect(as_hwnd(over), &area);
    else
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    GetWindowRect(as_hwnd(window), &r);
    int x = area.left + ((area.right - area.left) - (r.right - r.left)) / 2;
    int y = area.top + ((area.bottom - area.top) - (r.bottom - r.top)) / 2;
    return SetWindowPos(as_hwnd(window), nullptr, x, y, 0, 0,
                        SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)
               ? 1
               : 0;
}

// --- Painting (rectangles use the upward y of the layer) -------------------------------------

OsPaint *os_BeginPaint(OsWindow window, int, int) {
    auto *state = new PaintState{};
    state->paint.window = window;
    state->paint.device_context = BeginPaint(as_hwnd(window), &state->ps);
    return &state->paint;
}

void os_EndPaint(OsPaint *paint) {
    if (paint == nullptr) return;
    auto *state = reinterpret_cast<PaintState *>(paint);
    EndPaint(as_hwnd(paint->window), &state->ps);
    delete state;
}

// Frame line: style -1 sunken (shadow top and left), 1 raised. The pens live for one call.
void os_NiceRCL(const OsRect *rectangle, OsPaint *paint, int style) {
    if (rectangle == nullptr || paint == nullptr) return;
    HDC dc = static_cast<HDC>(paint->device_context);
    RECT client{};
    GetClientRect(as_hwnd(paint->window), &client);
    int top = client.bottom - rectangle->top, bottom = client.bottom - rectangle->bottom - 1;
    int left = rectangle->left, right = rectangle->right - 1;
    HPEN dark = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
    HPEN light = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
    HGDIOBJ old = SelectObject(dc, style < 0 ? dark : light);
    MoveToEx(dc, left, bottom, nullptr);
    LineTo(dc, left, top);
    LineTo(dc, right, top);
    SelectObject(dc, style < 0 ? light : dark);
    LineTo(dc, right, bottom);
    LineTo(dc, left, bottom);
    SelectObject(dc, old);
    DeleteObject(dark);
    DeleteObject(light);
}

int os_InvalidateRcl(OsWindow window, const OsRect *, int erase) {
    return InvalidateRect(as_hwnd(window), nullptr, erase ? TRUE : FALSE) ? 1 : 0;
}

// --- Settings store, directory search, modules -----------------------------------------------

// The settings store is the Windows user profile (WIN.INI section of the application), where
// the product records its "HomePath".
namespace {

constexpr const char UNINSTALL_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// The Uninstall store: one registry key per application below the user's Uninstall key.
int uninstall_store(OsIniRequest request, const char *application, const char *key, char *buffer,
                    uint32_t *length) {
    std::string entry = std::string(UNINSTALL_KEY) + "\\" + application;
    HKEY handle = nullptr;
    if (request == OS_INI_DELETE && key == nullptr)
        return RegDeleteKeyA(HKEY_CURRENT_USER, entry.c_str()) == ERROR_SUCCESS ? 1 : 0;
    LONG opened = request == OS_INI_WRITE
                      ? RegCreateKeyExA(HKEY_CURRENT_USER, entry.c_str(), 0, nullptr, 0, KEY_WRITE,
                                        nullptr, &handle, nullptr)
                      : RegOpenKeyExA(HKEY_CURRENT_USER, entry.c_str(), 0,
                                      request == OS_INI_READ ? KEY_READ : KEY_WRITE, &handle);
    if (opened != ERROR_SUCCESS) return 0;
    LONG result = ERROR_INVALID_PARAMETER;
    if (request == OS_INI_WRITE && buffer) {
        result = RegSetValueExA(handle, key, 0, REG_SZ, reinterpret_cast<const BYTE *>(buffer),
                                static_cast<DWORD>(std::strlen(buffer) + 1));
    } else if (request == OS_INI_DELETE) {
        result = RegDeleteValueA(handle, key);
    } else if (request == OS_INI_READ && buffer && length && *length > 0) {
        DWORD type = 0, size = *length - 1;
        result =
            RegQueryValueExA(handle, key, nullptr, &type, reinterpret_cast<BYTE *>(buffer), &size);
        buffer[result == ERROR_SUCCESS && size < *length ? size : 0] = '\0';
        *length = static_cast<uint32_t>(std::strlen(buffer));
    }
    RegCloseKey(handle);
    return result == ERROR_SUCCESS ? 1 : 0;
}

} // namespace

int os_IniMgr(OsIniRequest request, int store, const char *application, const char *key,
              char *buffer, uint32_t *length) {
    if (application == nullptr) return 0;
    if (store == OS_INI_UNINSTALL_STORE)
        return uninstall_store(request, application, key, buffer, length);
    if (request != OS_INI_READ || key == nullptr) return 0;
    // A key exists when neither of two different defaults comes back.
    char probe[8];
    GetProfileStringA(application, key, "\x01?", probe, sizeof probe);
    if (std::strcmp(probe, "\x01?") == 0) {
        GetProfileStringA(application, key, "\x02?", probe, sizeof probe);
        if (std::strcmp(probe, "\x02?") == 0) return 0;
    }
    if (buffer && length && *length > 0)
        *length = GetProfileStringA(application, key, "", buffer, *length);
    return 1;
}

int os_FileFindMgr(int operation, OsFindRecord *record) {
    if (record == nullptr) return 1;
    WIN32_FIND_DATAA data{};
    switch (operation) {
    case OS_FIND_START: {
        if (record->search) FindClose(static_cast<HANDLE>(record->search));
        record->search = nullptr;
        HANDLE handle = FindFirstFileA(record->name, &data);
        if (handle == INVALID_HANDLE_VALUE) return 1;
        record->search = handle;
        fill_find_record(data, record);
        return 0;
    }
    case OS_FIND_NEXT:
        if (record->search == nullptr || !FindNextFileA(static_cast<HANDLE>(record->search), &data))
            return 1;
        fill_find_record(data, record);
        return 0;
    case OS_FIND_END:
        if (record->search) FindClose(static_cast<HANDLE>(record->search));
        record->search = nullptr;
        return 0;
    default:
        return 1;
    }
}

OsModule os_LoadModule(const char *name) {
    return name ? LoadLibraryA(name) : nullptr;
}

void os_FreeModule(OsModule module) {
    if (module) FreeLibrary(static_cast<HMODULE>(module));
}

// --- Window classes and windows of the program ------------------------------------------------

uint16_t plat_register_class(const char *name, OsWindowProc procedure, uint32_t style,
                             int icon_id) {
    HINSTANCE instance = layer().instance ? layer().instance : GetModuleHandleA(nullptr);
    WNDCLASSA window_class{};
    window_class.style = style;
    window_class.lpfnWndProc = window_entry;
    window_class.cbWndExtra = 4;
    window_class.hInstance = instance;
    window_class.hIcon = icon_id ? LoadIconA(instance, MAKEINTRESOURCEA(icon_id)) : nullptr;
    if (window_class.hIcon == nullptr)
        window_class.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
    window_class.lpszClassName = name;
    ATOM atom = RegisterClassA(&window_class);
    if (atom) layer().classes.push_back({atom, procedure});
    return atom;
}

OsWindow plat_create_window(const char *window_class, const char *title, uint32_t style, int32_t x,
                            int32_t y, int32_t width, int32_t height, OsWindow parent, int id) {
    HINSTANCE instance = layer().instance ? layer().instance : GetModuleHandleA(nullptr);
    HMENU menu = parent ? reinterpret_cast<HMENU>(static_cast<intptr_t>(id)) : nullptr;
    return CreateWindowExA(0, window_class, title, style, x, y, width, height, as_hwnd(parent),
                           menu, instance, nullptr);
}

intptr_t plat_send_message(OsWindow window, uint32_t message, uintptr_t first, intptr_t second) {
    return SendMessageA(as_hwnd(window), message, first, second);
}
