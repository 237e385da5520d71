// Test controls of the headless OS layer: scripted answers, recorded boxes, in-memory stores,
// dialogs built from the dialog table, user actions, and records of what the seams were asked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/os_layer.h"
#include "platform/win_api.h"

struct RecordedBox {
    OsWindow owner;
    std::string caption;
    std::string text;
    uint32_t style;
};

struct RecordedPost {
    OsWindow window;
    uint32_t message;
    uintptr_t first;
    intptr_t second;
};

struct RecordedAssert {
    std::string text;
    std::string source;
    int line;
};

// Forgets every answer, box, window, class, setting, registry value, module, drawing object,
// shortcut and assertion, and waits for the threads still running.
void headless_reset();

// Answers of the next message boxes, in order; when they run out, boxes answer `fallback`.
void headless_queue_answers(const std::vector<int> &answers);
void headless_set_fallback_answer(int answer);
const std::vector<RecordedBox> &headless_boxes();
const std::vector<RecordedPost> &headless_posts();
const std::vector<RecordedAssert> &headless_asserts();

// A bare top-level window (a dialog without template); controls appear on first use of an id.
OsWindow headless_new_window();

void headless_set_setting(const std::string &application, const std::string &key,
                          const std::string &value);
void headless_set_registry(const std::string &key, const std::string &name,
                           const std::string &value);
// Makes RegCreateKeyA fail (as without rights to the key).
void headless_fail_registry(bool fail);
void headless_set_sys_value(OsSysValue index, int32_t value);
void headless_set_cwd(const std::string &cwd);
void headless_add_module(const std::string &name);
// Pixels per 4 horizontal and per 8 vertical dialog units (the dialog font's measures).
void headless_set_dialog_units(int base_x, int base_y);

// --- Threads ----------------------------------------------------------------------------------
// Waits for every thread started with os_CreateThread.
void headless_join_threads();
// Makes os_CreateThread fail (as when the system has no room for another thread).
void headless_fail_threads(bool fail);

// --- Dialogs and windows ----------------------------------------------------------------------
// What a test can see of a control (or of any window).
struct HeadlessWindowState {
    bool exists = false;
    std::string window_class;
    std::string text;
    uint32_t style = 0;
    bool enabled = false;
    bool visible = false;
    bool checked = false;
    bool focused = false;
    int text_limit = 0;
    OsWinPos position{}; // pixels, y upward from the parent's bottom edge
    int32_t extra = 0;   // the window's extra bytes (index 0)
    int invalidations = 0;
};
HeadlessWindowState headless_window(OsWindow window);
HeadlessWindowState headless_control(OsWindow dialog, int id);
// The id of the dialog's control that has the focus; 0 when none of them.
int headless_focus_id(OsWindow dialog);
// The pixel size of the dialog's client area.
int headless_dialog_width(OsWindow dialog);
int headless_dialog_height(OsWindow dialog);
// True when os_DismissDlg has ended the dialog's modal loop.
bool headless_dismissed(OsWindow dialog);
bool headless_destroyed(OsWindow window);

// User actions; each returns false (and does nothing) when a user could not do it: a control
// that does not exist, is hidden or disabled, or an edit field that is read-only.
bool headless_click(OsWindow dialog, int id); // toggles an auto check box first
bool headless_type(OsWindow dialog, int id, const std::string &text);
// The close box of a dialog or window (a dialog that leaves WM_CLOSE alone gets IDCANCEL).
void headless_close(OsWindow window);
// Delivers WM_PAINT to a window of a registered class.
void headless_paint(OsWindow window);

// Dialogs made by os_LoadDlg, in order, also destroyed ones.
std::vector<OsWindow> headless_dialogs();
// Top-level windows made with plat_create_window, in creation order, also destroyed ones.
std::vector<OsWindow> headless_created_windows();

struct RegisteredClass {
    std::string name;
    uint32_t style;
    int icon_id;
};
const std::vector<RegisteredClass> &headless_classes();

struct SentMessage {
    OsWindow window;
    uint32_t message;
    uintptr_t first;
    intptr_t second;
};
const std::vector<SentMessage> &headless_sent_messages();

// --- Drawing ----------------------------------------------------------------------------------
enum class BrushKind { solid, pattern };
struct RecordedFill {
    OsWindow window; // whose paint made it
    RECT rectangle;
    BrushKind brush;
    COLORREF colour;    // of a solid brush
    int pattern_bitmap; // resource id behind a pattern brush
};
const std::vector<RecordedFill> &headless_fills();
void headless_clear_fills();
struct GdiCounts {
    int created;
    int deleted;
    int live; // created and not yet deleted
};
GdiCounts headless_gdi_counts();

// --- Files, program, shortcuts ---------------------------------------------------------------
// The program's path that plat_program_path reports ("" makes it fail).
void headless_set_program_path(const std::string &path);
// The folders given to plat_chdir, in order (the layer really changes to them).
const std::vector<std::string> &headless_chdirs();
// Every path that plat_exists or plat_fopen looked at, as the installer wrote it.
const std::vector<std::string> &headless_file_probes();

struct RecordedShortcut {
    std::string link_file, target, arguments, working_folder, description, icon_file;
};
const std::vector<RecordedShortcut> &headless_shortcuts();
// COM: how often it was begun and ended; plat_com_begin fails when told to.
void headless_fail_com(bool fail);
int headless_com_begins();
int headless_com_ends();

// The host path of an installer path: backslashes become slashes, case as found on disk.
std::string headless_host_path(const char *path);
