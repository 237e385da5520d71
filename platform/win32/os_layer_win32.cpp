// The OS layer on Win32: message boxes, profile settings, directory search, windows, threads.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/os_layer.h"
#include "platform/win_api.h"

namespace {

HINSTANCE program_instance = nullptr;

constexpr int PROBE_SIZE = 8;

HWND as_hwnd(OsWindow window) {
    return static_cast<HWND>(window);
}

// Texts of this program are stored in the OEM code page; windows show ANSI.
std::string oem_to_ansi(const char *text) {
    std::string out = text ? text : "";
    if (!out.empty()) OemToCharBuffA(out.c_str(), &out[0], static_cast<DWORD>(out.size()));
    return out;
}

bool is_static_control(HWND window) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    return lstrcmpiA(name, "Static") == 0;
}

// Converts the layer's upward y (bottom edge from the parent's bottom) and Windows' downward y.
int parent_height(HWND window) {
    HWND parent = GetParent(window);
    if (parent && (GetWindowLongA(window, GWL_STYLE) & WS_CHILD)) {
        RECT client{};
        GetClientRect(parent, &client);
        return client.bottom;
    }
    return GetSystemMetrics(SM_CYSCREEN);
}

struct ThreadStart {
    OsThreadRoutine routine;
    void *argument;
};

DWORD WINAPI thread_trampoline(LPVOID parameter) {
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

} // namespace

// --- Life cycle and threads -------------------------------------------------------------------

int os_Initialize(intptr_t instance, const char *, int) {
    if (instance != -1) program_instance = reinterpret_cast<HINSTANCE>(instance);
    return 1;
}

int os_InitWinThread(OsThreadRecord *record, int, int) {
    if (record) std::memset(record, 0, sizeof *record);
    return 1;
}

void os_CleanupWinThread(OsThreadRecord *) {}

int os_CreateThread(OsThreadRoutine routine, void *argument) {
    auto *start = new ThreadStart{routine, argument};
    HANDLE thread = CreateThread(nullptr, 0, thread_trampoline, start, 0, nullptr);
    if (thread == nullptr) {
        delete start;
        return 0;
    }
    CloseHandle(thread);
    return 1;
}

// --- System values, current folder, assertions ------------------------------------------------

int32_t os_QuerySysValue(int index) {
    switch (index) {
    case 0: {
        DWORD version = GetVersion();
        return static_cast<int32_t>((version & 0xFF) * 100 + ((version >> 8) & 0xFF));
    }
    case 1:
        return (GetVersion() & 0x80000000u) ? 1 : 4;
    case 7:
        return GetSystemMetrics(SM_CYBORDER) + GetSystemMetrics(SM_CYFRAME);
    case 10:
        return GetSystemMetrics(SM_CYCAPTION);
    case 11:
        return GetSystemMetrics(SM_CXSCREEN);
    case 12:
        return GetSystemMetrics(SM_CYSCREEN);
    case 17:
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
    HINSTANCE module = resources ? static_cast<HINSTANCE>(resources) : program_instance;
    return CreateDialogParamA(module, MAKEINTRESOURCEA(template_id),
                              as_hwnd(owner ? owner : parent), reinterpret_cast<DLGPROC>(procedure),
                              reinterpret_cast<LPARAM>(parameter));
}

namespace {
struct ModalState {
    HWND dialog;
    bool ended;
    intptr_t result;
};
std::vector<ModalState> modal_stack;
} // namespace

intptr_t os_ProcessDlg(OsWindow dialog) {
    HWND window = as_hwnd(dialog);
    if (window == nullptr) return -1;
    modal_stack.push_back({window, false, 0});
    MSG message;
    while (!modal_stack.back().ended && GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    intptr_t result = modal_stack.back().result;
    modal_stack.pop_back();
    return result;
}

void os_DismissDlg(OsWindow dialog, intptr_t result) {
    for (ModalState &state : modal_stack)
        if (state.dialog == as_hwnd(dialog)) {
            state.ended = true;
            state.result = result;
        }
    PostMessageA(as_hwnd(dialog), WM_NULL, 0, 0); // wake the modal loop
}

void os_TranslateMsg(TranslatedMsg *record, OsWindow, uint32_t message, uintptr_t first,
                     intptr_t second) {
    std::memset(record, 0, sizeof *record);
    record->second = static_cast<uint32_t>(second);
    switch (message) {
    case WM_INITDIALOG:
        record->kind = TM_INIT;
        break;
    case WM_CLOSE:
        record->kind = TM_CLOSE;
        break;
    case WM_SYSCOMMAND:
        record->kind = (first & 0xFFF0) == SC_CLOSE ? TM_CLOSE : message;
        break;
    case WM_COMMAND: {
        record->id = LOWORD(first);
        record->notification = HIWORD(first);
        HWND control = reinterpret_cast<HWND>(second);
        LONG type = control ? (GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK) : BS_PUSHBUTTON;
        char name[16] = {};
        if (control) GetClassNameA(control, name, sizeof name);
        bool push = control == nullptr || (lstrcmpiA(name, "Button") == 0 &&
                                           (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON));
        record->kind = push ? TM_COMMAND : TM_CONTROL;
        break;
    }
    default:
        record->kind = message;
        break;
    }
}

intptr_t os_DefDlgProc(OsWindow, uint32_t, uintptr_t, intptr_t) {
    return 0; // a dialog procedure reports "not handled" and Windows does the rest
}

intptr_t os_DefWinProc(OsWindow window, uint32_t message, uintptr_t first, intptr_t second) {
    return DefWindowProcA(as_hwnd(window), message, first, second);
}

int os_PostMsg(OsWindow window, uint32_t message, uintptr_t first, intptr_t second) {
    return PostMessageA(as_hwnd(window), message, first, second) ? 1 : 0;
}

int os_MessageBox(OsWindow owner, const char *caption, const char *text, uint32_t style) {
    UINT flags = MB_SETFOREGROUND;
    if ((style & 0x0F) == (MB_STYLE_YES_NO & 0x0F) && (style & 0x10))
        flags |= MB_YESNO | MB_ICONQUESTION;
    else if ((style & 0x0F) == (MB_STYLE_ERROR & 0x0F))
        flags |= MB_OK | MB_ICONERROR;
    else
        flags |= MB_OK | MB_ICONINFORMATION;
    if (style & MB_STYLE_RISKY) flags |= MB_DEFBUTTON2;
    std::string shown_caption = oem_to_ansi(caption), shown_text = oem_to_ansi(text);
    int answer = MessageBoxA(as_hwnd(owner), shown_text.c_str(), shown_caption.c_str(), flags);
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

// Labels show the program's OEM texts (status line); edit fields hold paths as typed.
int os_SetWindowText(OsWindow window, const char *text) {
    HWND hwnd = as_hwnd(window);
    if (hwnd == nullptr) return 0;
    if (is_static_control(hwnd)) return SetWindowTextA(hwnd, oem_to_ansi(text).c_str()) ? 1 : 0;
    return SetWindowTextA(hwnd, text ? text : "") ? 1 : 0;
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
    return SetFocus(as_hwnd(window)) != nullptr ? 1 : 0;
}

int os_ContrlMgr(OsWindow control, int, int value, int) {
    SendMessageA(as_hwnd(control), EM_LIMITTEXT, static_cast<WPARAM>(value), 0);
    return 1;
}

int os_DestroyWindow(OsWindow window) {
    return DestroyWindow(as_hwnd(window)) ? 1 : 0;
}

// Font given as "points.Name", for example "8.Courier".
int os_SetFontNameSize(OsWindow window, const char *font) {
    if (font == nullptr) return 0;
    int points = std::atoi(font);
    const char *name = std::strchr(font, '.');
    name = name ? name + 1 : font;
    HDC screen = GetDC(nullptr);
    int height = -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    HFONT handle = CreateFontA(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0,
                               FIXED_PITCH | FF_MODERN, name);
    if (handle == nullptr) return 0;
    SendMessageA(as_hwnd(window), WM_SETFONT, reinterpret_cast<WPARAM>(handle), TRUE);
    return 1;
}

// --- Geometry ---------------------------------------------------------------------------------

int os_QueryWinPos(OsWindow window, OsWinPos *position) {
    HWND hwnd = as_hwnd(window);
    RECT r{};
    if (position == nullptr || !GetWindowRect(hwnd, &r)) return 0;
    HWND parent = GetParent(hwnd);
    if (parent && (GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD))
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&r), 2);
    position->flags = 0;
    position->width = r.right - r.left;
    position->height = r.bottom - r.top;
    position->x = r.left;
    position->y = parent_height(hwnd) - r.bottom;
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
    if (behind == 3) {
        after = HWND_TOP;
        swp &= ~static_cast<UINT>(SWP_NOZORDER);
    }
    int top = y;
    if (flags & OS_POS_MOVE) {
        int h = height;
        if (!(flags & OS_POS_SIZE)) {
            RECT r{};
            GetWindowRect(hwnd, &r);
            h = r.bottom - r.top;
        }
        top = parent_height(hwnd) - y - h;
    }
    return SetWindowPos(hwnd, after, x, top, width, height, swp) ? 1 : 0;
}

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

// Frame line: style -1 sunken (shadow top-left), 1 raised.
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
int os_IniMgr(int request, int, const char *application, const char *key, char *buffer,
              uint32_t *length) {
    if (request != 2 || application == nullptr || key == nullptr) return 0;
    // A key exists when neither of two different defaults comes back.
    char probe[PROBE_SIZE];
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

// --- C-runtime file access --------------------------------------------------------------------

std::FILE *plat_fopen(const char *path, const char *mode) {
    return std::fopen(path, mode);
}

int plat_exists(const char *path) {
    return path && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
}
