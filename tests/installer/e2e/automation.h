// Win32 automation of another program's windows, for the end-to-end driver of SETUP.EXE: start
// the program, find its windows by class and caption, read and set texts, press buttons, answer
// message boxes, read control states, hold its threads still and photograph the screen.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

// --- Checks and the driver's report -----------------------------------------------------------

// Records one check: prints "ok" or "FAIL" with what was expected and what was seen.
bool check(bool passed, const std::string &what, const std::string &seen = "");
bool check_equal(const std::string &what, const std::string &expected, const std::string &seen);
void note(const std::string &line);
int failed_checks();

// A failure after which the scenario cannot go on: reports it, ends the program under test and
// leaves the driver with exit code 1.
[[noreturn]] void fatal(const std::string &what);

// Text with its control characters and bytes above 126 written as \r, \x84 and so on.
std::string printable(const std::string &text);

// --- The program under test -------------------------------------------------------------------

struct Program {
    HANDLE process = nullptr;
    DWORD id = 0;
    DWORD main_thread = 0;
};

// Starts a program with `arguments` in `current_folder`, its standard output and error going
// to the end of `output_file` (when one is named); fatal when it cannot start.
Program start_program(const std::string &path, const std::string &arguments,
                      const std::string &current_folder, const std::string &output_file = "");
// Waits for the program's end; true with its exit code when it ended within `seconds`.
bool wait_for_exit(const Program &program, int seconds, DWORD *exit_code);
bool has_exited(const Program &program);
// Ends the program at once (after a failed scenario) and forgets it.
void kill_program(Program &program);
// The program fatal() ends.
void watch_program(const Program *program);

// --- Windows ----------------------------------------------------------------------------------

std::string class_of(HWND window);
// A window's text, asked of its own thread (WM_GETTEXT), so edit fields give what they show.
std::string text_of(HWND window);
// The top-level windows of a process, in z-order (topmost first), optionally of one class.
std::vector<HWND> top_windows(DWORD process_id, const char *window_class = nullptr);
// Polls until `found` returns a window or `seconds` pass; null then.
HWND wait_for(const std::function<HWND()> &found, int seconds);
// Polls until `done` holds or `seconds` pass.
bool wait_until(const std::function<bool()> &done, int seconds);

// Lets the window's thread handle everything sent to it so far, and paint (two round trips).
bool settle(HWND window);

// --- Controls ---------------------------------------------------------------------------------

HWND child(HWND parent, int id);
// Replaces an edit field's text the way a program does (WM_SETTEXT).
void set_text(HWND field, const std::string &text);
// Types into an edit field as a user does: selects everything, then one character at a time.
void type_text(HWND field, const std::string &text);
// Clicks a button (posted, so that a handler that opens a box does not hold the driver).
void press(HWND button);
// Clicks a button and returns when its handler has run (for handlers that return at once).
void click(HWND button);
// Asks a window to close as its close box does.
void close_window(HWND window);
bool is_checked(HWND button);
bool is_enabled(HWND window);
bool is_visible(HWND window);
// The window that has the keyboard focus on the thread.
HWND focus_of(DWORD thread_id);
// The first 32-bit value of a window's extra bytes (a progress bar's position).
uint32_t window_value(HWND window);
RECT window_rect(HWND window);

// --- Message boxes ----------------------------------------------------------------------------

struct MessageBoxSeen {
    HWND window = nullptr;
    std::string caption;
    std::string text;
};
// The next message box of the process (a dialog of class #32770 other than `besides`); an
// empty record when none appeared within `seconds`.
MessageBoxSeen wait_for_box(DWORD process_id, HWND besides, int seconds);
// Answers a box with IDOK, IDYES or IDNO (a WM_COMMAND posted to the box: under Wine a button
// click does not reach a message box) and waits until it has gone.
void answer_box(const MessageBoxSeen &box, int answer);
// Brings a window to the front and activates it.
void activate(HWND window);
// Moves a window so that its top-left corner lies at x, y of the screen.
void move_window(HWND window, int x, int y);

// --- Threads and pictures ---------------------------------------------------------------------

// Suspends (or resumes) every thread of the process except one.
int hold_threads(DWORD process_id, DWORD except_thread, bool hold);
// What a rectangle of the screen shows.
struct ScreenPicture {
    RECT area{};
    std::vector<uint32_t> pixels; // top row first, 0x00RRGGBB
    // The colour at screen point x, y; CLR_INVALID outside the area.
    COLORREF at(int x, int y) const;
};
ScreenPicture take_picture(const RECT &area);
// Writes a picture as a 24-bit BMP file.
bool save_picture_bmp(const ScreenPicture &picture, const std::string &bmp_path);
bool save_screen_area(const RECT &area, const std::string &bmp_path);

// --- Files ------------------------------------------------------------------------------------

bool read_file(const std::string &path, std::string *data);
bool write_file(const std::string &path, const std::string &data);
bool file_exists(const std::string &path);
bool folder_exists(const std::string &path);
// Removes a file or a whole folder tree; true when nothing is left.
bool remove_tree(const std::string &path);
bool make_folders(const std::string &path);
// The names in a folder (files and folders, without "." and ".."), sorted.
std::vector<std::string> folder_names(const std::string &folder);

} // namespace e2e
