// The OS layer's contract: every os_ call the installer makes, with the records they use.
#pragma once

#include <cstdint>

// Opaque handles of the layer; nullptr means "none".
using OsWindow = void *;
using OsModule = void *;
using OsInstance = void *;
using OsDialogProc = intptr_t (*)(OsWindow window, uint32_t message, uintptr_t first,
                                  intptr_t second);
// Window procedures of the installer's own classes get plain Windows messages, same shape.
using OsWindowProc = OsDialogProc;
using OsThreadRoutine = void (*)(void *argument);

// Per-thread state of the layer; filled by os_InitWinThread, released by os_CleanupWinThread.
struct OsThreadRecord {
    void *data[4];
};

// Directory search record: pattern in, found entry out.
constexpr uint32_t OS_ATTR_FOLDER = 8;
struct OsFindRecord {
    char name[260];
    uint32_t attributes;
    uint32_t reserved;
    void *search; // the layer's open search; the program never touches it
};
enum OsFindOp { OS_FIND_START = 0, OS_FIND_NEXT = 1, OS_FIND_END = 2 };

// What os_TranslateMsg makes of a window message.
struct TranslatedMsg {
    uint32_t kind;
    uint16_t id;
    uint16_t notification;
    uint32_t second;
};
constexpr uint32_t TM_INIT = 0x3B;
constexpr uint32_t TM_COMMAND = 0x20;
constexpr uint32_t TM_CONTROL = 0x30;
constexpr uint32_t TM_CLOSE = 0x29;
constexpr uint32_t MSG_INSTALL_FINISHED = 0x402;
// Every other window message arrives as TM_OTHER_BASE + its number, so that no Windows message
// can pass for one of the kinds above (WM_SETFONT is 0x30, DM_REPOSITION 0x402, ...).
constexpr uint32_t TM_OTHER_BASE = 0x10000;
// The notification of an edit field whose text changed (typed or set by the program).
constexpr uint16_t TM_EDIT_CHANGED = 4;

// Rectangle with y counted upward: bottom below top.
struct OsRect {
    int32_t left, bottom, right, top;
};
// Position record: flags, height, width, y (bottom edge, upward), x.
struct OsWinPos {
    uint32_t flags;
    int32_t height, width, y, x;
};
constexpr uint32_t OS_POS_SIZE = 1, OS_POS_MOVE = 2, OS_POS_SHOW = 8, OS_POS_ACTIVATE = 0x80;
constexpr intptr_t OS_PLACE_ON_TOP = 3; // "place behind" value of os_SetWinPos

// Paint record: the first field is the device context for drawing calls.
struct OsPaint {
    void *device_context;
    OsWindow window;
    unsigned char layer_state[72];
};

// Message-box styles and answer.
constexpr uint32_t MB_STYLE_INFO = 0x28;
constexpr uint32_t MB_STYLE_ERROR = 0x24;
constexpr uint32_t MB_STYLE_YES_NO = 0x11;
constexpr uint32_t MB_STYLE_RISKY = 0x80;
constexpr int MB_ANSWER_YES = 1;

// --- Life cycle and threads -------------------------------------------------------------------
int os_Initialize(intptr_t instance, const char *directory, int flags);
int os_InitWinThread(OsThreadRecord *record, int first, int second);
void os_CleanupWinThread(OsThreadRecord *record);
int os_CreateThread(OsThreadRoutine routine, void *argument);

// --- System values, current folder, assertions ------------------------------------------------
// What os_QuerySysValue reports, by index; measures in pixels.
enum OsSysValue {
    OS_SYS_VERSION = 0,         // the system's version x 100 (400 for 4.00)
    OS_SYS_KIND = 1,            // OS_SYS_KIND_NT on Windows NT
    OS_SYS_FRAME_HEIGHT = 7,    // a window frame's thickness
    OS_SYS_CAPTION_HEIGHT = 10, // a caption's height
    OS_SYS_SCREEN_WIDTH = 11,
    OS_SYS_SCREEN_HEIGHT = 12,
    OS_SYS_HIGHLIGHT_COLOUR = 17, // a Windows colour value
};
constexpr int32_t OS_SYS_KIND_NT = 4;
int32_t os_QuerySysValue(OsSysValue index);
// Current folder as "d:\rest"; 1 on success.
int os_QueryCWD(char *buffer, uint32_t size);
void _os_AssertMsg(const char *text, const char *source, int line);

// --- Dialogs and messages ---------------------------------------------------------------------
OsWindow os_LoadDlg(OsWindow parent, OsWindow owner, OsDialogProc procedure, OsModule resources,
                    uint32_t template_id, void *parameter);
intptr_t os_ProcessDlg(OsWindow dialog);
void os_DismissDlg(OsWindow dialog, intptr_t result);
void os_TranslateMsg(TranslatedMsg *record, OsWindow window, uint32_t message, uintptr_t first,
                     intptr_t second);
intptr_t os_DefDlgProc(OsWindow window, uint32_t message, uintptr_t first, intptr_t second);
intptr_t os_DefWinProc(OsWindow window, uint32_t message, uintptr_t first, intptr_t second);
int os_PostMsg(OsWindow window, uint32_t message, uintptr_t first, intptr_t second);
// Shows a box (styles above) and returns 1 when the user answered Yes.
int os_MessageBox(OsWindow owner, const char *caption, const char *text, uint32_t style);

// --- Controls and windows ---------------------------------------------------------------------
OsWindow os_SubWin(OsWindow parent, int id);
int os_QueryWindowText(OsWindow window, uint32_t size, char *buffer);
int os_SetWindowText(OsWindow window, const char *text);
int os_IsButtonChecked(OsWindow dialog, int id);
int os_CheckControl(OsWindow dialog, int id, int state);
int os_EnableWindow(OsWindow window, int on);
int os_IsWindowEnabled(OsWindow window);
int os_ShowWindow(OsWindow window, int visible);
int os_SetFocus(OsWindow window);
// Requests of os_ContrlMgr to an edit field: limit its text to `value` characters; report its
// selection (start in the low, end in the high 16 bits of the result); select the characters
// from `value` up to `extra` (both equal: the caret stands there).
enum OsControlRequest { OS_EDIT_LIMIT = 0, OS_EDIT_QUERY_SELECTION = 1, OS_EDIT_SELECT = 2 };
int os_ContrlMgr(OsWindow control, int request, int value, int extra);
int os_DestroyWindow(OsWindow window);
int os_SetFontNameSize(OsWindow window, const char *font);

// --- Geometry ---------------------------------------------------------------------------------
int os_QueryWinPos(OsWindow window, OsWinPos *position);
int os_SetWinPos(OsWindow window, intptr_t behind, int32_t x, int32_t y, int32_t width,
                 int32_t height, uint32_t flags);
int os_QueryWinRect(OsWindow window, OsRect *rectangle);
int os_QueryWinClRect(OsWindow window, OsRect *rectangle);
int os_CenterWinOverWin(OsWindow over, OsWindow window, int flags);

// --- Painting ---------------------------------------------------------------------------------
OsPaint *os_BeginPaint(OsWindow window, int first, int second);
void os_EndPaint(OsPaint *paint);
void os_NiceRCL(const OsRect *rectangle, OsPaint *paint, int style);
int os_InvalidateRcl(OsWindow window, const OsRect *rectangle, int erase);

// --- Settings store, directory search, modules -----------------------------------------------
// OS_INI_READ reads application/key of a store into buffer (length: size in, value length out);
// nonzero when the key exists. OS_INI_WRITE sets key to the text in buffer, OS_INI_DELETE
// removes key, or the whole application when key is null; both nonzero on success.
enum OsIniRequest { OS_INI_WRITE = 1, OS_INI_READ = 2, OS_INI_DELETE = 3 };
// The system's settings store, where the product records its home; read only.
constexpr int OS_INI_SYSTEM_STORE = 0;
// The user's list of programs that can be removed (the registry's Uninstall key): the
// application is the program's entry, its keys the entry's values.
constexpr int OS_INI_UNINSTALL_STORE = 1;
int os_IniMgr(OsIniRequest request, int store, const char *application, const char *key,
              char *buffer, uint32_t *length);
// 0 when an entry was delivered into the record, nonzero when there is none (more).
int os_FileFindMgr(int operation, OsFindRecord *record);
OsModule os_LoadModule(const char *name);
void os_FreeModule(OsModule module);
