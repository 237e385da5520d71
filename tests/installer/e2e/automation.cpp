// Win32 automation of another program's windows: processes, windows, controls, message boxes,
// threads, screen pictures and the files the checks read.
#include "tests/installer/e2e/automation.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace e2e {

namespace {

constexpr int POLL_MILLISECONDS = 20;
constexpr UINT SEND_TIMEOUT_MS = 10000; // a program that does not answer in this time hangs

struct DriverState {
    int checks = 0;
    int failures = 0;
    const Program *watched = nullptr;
};

DriverState &driver() {
    static DriverState state;
    return state;
}

bool send(HWND window, UINT message, WPARAM first, LPARAM second, DWORD_PTR *result = nullptr) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(window, message, first, second, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS,
                               result ? result : &ignored) != 0;
}

} // namespace

// --- Checks -----------------------------------------------------------------------------------

std::string printable(const std::string &text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c < 32 || c > 126) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else
            out += static_cast<char>(c);
    }
    return out;
}

bool check(bool passed, const std::string &what, const std::string &seen) {
    ++driver().checks;
    if (!passed) ++driver().failures;
    std::printf("%s %s%s%s\n", passed ? "  ok  " : "  FAIL", printable(what).c_str(),
                seen.empty() ? "" : " -- saw: ", printable(seen).c_str());
    std::fflush(stdout);
    return passed;
}

namespace {

// A text for the report: printable, and a long one cut with its length said.
std::string quoted(const std::string &text) {
    constexpr size_t LONGEST = 160;
    std::string shown = printable(text.substr(0, LONGEST));
    if (text.size() > LONGEST)
        shown += "...\" (" + std::to_string(text.size()) + " bytes)";
    else
        shown += "\"";
    return "\"" + shown;
}

} // namespace

bool check_equal(const std::string &what, const std::string &expected, const std::string &seen) {
    if (expected == seen) return check(true, what + ": " + quoted(seen));
    return check(false, what + ": expected " + quoted(expected) + " -- saw: " + quoted(seen));
}

void note(const std::string &line) {
    std::printf("        %s\n", line.c_str());
    std::fflush(stdout);
}

int failed_checks() {
    return driver().failures;
}

void watch_program(const Program *program) {
    driver().watched = program;
}

void fatal(const std::string &what) {
    check(false, what);
    if (const Program *program = driver().watched)
        if (program->process && !has_exited(*program)) TerminateProcess(program->process, 3);
    std::printf("stopped after %d checks, %d failed\n", driver().checks, driver().failures);
    std::fflush(stdout);
    ExitProcess(1);
}

// --- Programs ---------------------------------------------------------------------------------

Program start_program(const std::string &path, const std::string &arguments,
                      const std::string &current_folder, const std::string &output_file) {
    std::string command = "\"" + path + "\"" + (arguments.empty() ? "" : " " + arguments);
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    HANDLE output = INVALID_HANDLE_VALUE;
    if (!output_file.empty()) {
        SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
        // Shared for writing too: the desktop process that Wine starts for a program may inherit
        // the handle and keep it after the program has ended.
        output =
            CreateFileA(output_file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        &inherited, OPEN_ALWAYS, 0, nullptr);
        if (output == INVALID_HANDLE_VALUE) fatal("open " + output_file + " for the output");
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nullptr;
        startup.hStdOutput = output;
        startup.hStdError = output;
    }
    PROCESS_INFORMATION started{};
    BOOL created = CreateProcessA(
        path.c_str(), line.data(), nullptr, nullptr, output != INVALID_HANDLE_VALUE, 0, nullptr,
        current_folder.empty() ? nullptr : current_folder.c_str(), &startup, &started);
    if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
    if (!created) fatal("start " + path + " (error " + std::to_string(GetLastError()) + ")");
    CloseHandle(started.hThread);
    Program program;
    program.process = started.hProcess;
    program.id = started.dwProcessId;
    program.main_thread = started.dwThreadId;
    return program;
}

bool wait_for_exit(const Program &program, int seconds, DWORD *exit_code) {
    if (WaitForSingleObject(program.process, static_cast<DWORD>(seconds) * 1000) != WAIT_OBJECT_0)
        return false;
    DWORD code = 0;
    GetExitCodeProcess(program.process, &code);
    if (exit_code) *exit_code = code;
    return true;
}

bool has_exited(const Program &program) {
    return WaitForSingleObject(program.process, 0) == WAIT_OBJECT_0;
}

void kill_program(Program &program) {
    if (program.process == nullptr) return;
    if (driver().watched && driver().watched->process == program.process)
        driver().watched = nullptr;
    if (!has_exited(program)) {
        TerminateProcess(program.process, 3);
        WaitForSingleObject(program.process, 10000);
    }
    CloseHandle(program.process);
    program = Program{};
}

// --- Windows ----------------------------------------------------------------------------------

std::string class_of(HWND window) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string text_of(HWND window) {
    DWORD_PTR length = 0;
    if (!send(window, WM_GETTEXTLENGTH, 0, 0, &length)) return "";
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    if (!send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), &copied))
        return "";
    text.resize(std::min<size_t>(copied, length));
    return text;
}

namespace {

struct WindowSearch {
    DWORD process_id;
    const char *window_class;
    std::vector<HWND> found;
};

BOOL CALLBACK collect_window(HWND window, LPARAM parameter) {
    auto *search = reinterpret_cast<WindowSearch *>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->process_id &&
        (search->window_class == nullptr || class_of(window) == search->window_class))
        search->found.push_back(window);
    return TRUE;
}

} // namespace

std::vector<HWND> top_windows(DWORD process_id, const char *window_class) {
    WindowSearch search{process_id, window_class, {}};
    EnumWindows(collect_window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND wait_for(const std::function<HWND()> &found, int seconds) {
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND window = found()) return window;
        if (GetTickCount() - start > static_cast<DWORD>(seconds) * 1000) return nullptr;
        Sleep(POLL_MILLISECONDS);
    }
}

bool wait_until(const std::function<bool()> &done, int seconds) {
    DWORD start = GetTickCount();
    for (;;) {
        if (done()) return true;
        if (GetTickCount() - start > static_cast<DWORD>(seconds) * 1000) return false;
        Sleep(POLL_MILLISECONDS);
    }
}

bool settle(HWND window) {
    // The first message is handled before any paint that is due; the second after it.
    return send(window, WM_NULL, 0, 0) && send(window, WM_NULL, 0, 0);
}

// --- Controls ---------------------------------------------------------------------------------

HWND child(HWND parent, int id) {
    return GetDlgItem(parent, id);
}

void set_text(HWND field, const std::string &text) {
    if (!send(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())))
        fatal("the program does not answer while its field is set to \"" + text + "\"");
}

void type_text(HWND field, const std::string &text) {
    send(field, EM_SETSEL, 0, -1);
    if (text.empty()) {
        send(field, WM_CHAR, VK_BACK, 0);
        return;
    }
    for (char c : text)
        if (!send(field, WM_CHAR, static_cast<unsigned char>(c), 1))
            fatal("the program does not answer while \"" + text + "\" is typed");
}

namespace {

// What a button tells its dialog when it is clicked; an automatic check box turns over first.
// (Sent to the dialog rather than simulated with the mouse: a window that is being activated
// at the same moment would take the mouse capture from the button and swallow the click.)
WPARAM clicked(HWND button) {
    LONG type = GetWindowLongA(button, GWL_STYLE) & BS_TYPEMASK;
    if (type == BS_AUTOCHECKBOX) send(button, BM_SETCHECK, is_checked(button) ? 0 : 1, 0);
    return MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(button)), BN_CLICKED);
}

} // namespace

void press(HWND button) {
    PostMessageA(GetParent(button), WM_COMMAND, clicked(button), reinterpret_cast<LPARAM>(button));
}

void click(HWND button) {
    if (!send(GetParent(button), WM_COMMAND, clicked(button), reinterpret_cast<LPARAM>(button)))
        fatal("the program does not answer a click");
}

void close_window(HWND window) {
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool is_checked(HWND button) {
    DWORD_PTR state = 0;
    send(button, BM_GETCHECK, 0, 0, &state);
    return state == BST_CHECKED;
}

bool is_enabled(HWND window) {
    return IsWindowEnabled(window) != 0;
}

bool is_visible(HWND window) {
    return IsWindowVisible(window) != 0;
}

HWND focus_of(DWORD thread_id) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(thread_id, &info) ? info.hwndFocus : nullptr;
}

uint32_t window_value(HWND window) {
    return static_cast<uint32_t>(GetWindowLongA(window, 0));
}

RECT window_rect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

// --- Message boxes ----------------------------------------------------------------------------

namespace {

BOOL CALLBACK collect_static_text(HWND window, LPARAM parameter) {
    auto *text = reinterpret_cast<std::string *>(parameter);
    if (class_of(window) == "Static" && text->empty()) *text = text_of(window);
    return TRUE;
}

} // namespace

MessageBoxSeen wait_for_box(DWORD process_id, HWND besides, int seconds) {
    MessageBoxSeen box;
    box.window = wait_for(
        [&]() -> HWND {
            for (HWND window : top_windows(process_id, "#32770"))
                if (window != besides && IsWindowVisible(window)) return window;
            return nullptr;
        },
        seconds);
    if (box.window == nullptr) return box;
    // A program still busy starting (a fresh Wine prefix on a loaded machine) does not answer
    // at once: every box of the setup has a caption, so one is waited for.
    wait_until([&] { return !(box.caption = text_of(box.window)).empty(); }, seconds);
    EnumChildWindows(box.window, collect_static_text, reinterpret_cast<LPARAM>(&box.text));
    return box;
}

void answer_box(const MessageBoxSeen &box, int answer) {
    PostMessageA(box.window, WM_COMMAND, static_cast<WPARAM>(answer), 0);
    if (!wait_until([&] { return !IsWindow(box.window); }, 30))
        fatal("the box \"" + box.caption + "\" does not go away when answered");
}

void activate(HWND window) {
    SetForegroundWindow(window);
    settle(window);
}

void move_window(HWND window, int x, int y) {
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// --- Threads and pictures ---------------------------------------------------------------------

int hold_threads(DWORD process_id, DWORD except_thread, bool hold) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != process_id || entry.th32ThreadID == except_thread) continue;
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
        if (thread == nullptr) continue;
        if ((hold ? SuspendThread(thread) : ResumeThread(thread)) != static_cast<DWORD>(-1))
            ++count;
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return count;
}

ScreenPicture take_picture(const RECT &area) {
    ScreenPicture picture;
    int width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return picture;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        if (BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY)) {
            GdiFlush();
            const auto *pixels = static_cast<const uint32_t *>(bits);
            picture.area = area;
            picture.pixels.assign(pixels, pixels + static_cast<size_t>(width) * height);
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return picture;
}

COLORREF ScreenPicture::at(int x, int y) const {
    int width = area.right - area.left;
    if (x < area.left || x >= area.right || y < area.top || y >= area.bottom) return CLR_INVALID;
    uint32_t pixel = pixels[static_cast<size_t>(y - area.top) * width + (x - area.left)];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

bool save_picture_bmp(const ScreenPicture &picture, const std::string &bmp_path) {
    int width = picture.area.right - picture.area.left;
    int height = picture.area.bottom - picture.area.top;
    if (picture.pixels.empty()) return false;
    DWORD row = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + row * static_cast<DWORD>(height);
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height; // bottom-up, as BMP files keep their rows
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = row * static_cast<DWORD>(height);
    std::string data(reinterpret_cast<const char *>(&file), sizeof file);
    data.append(reinterpret_cast<const char *>(&info), sizeof info);
    std::string line(row, '\0');
    for (int y = picture.area.bottom - 1; y >= picture.area.top; --y) {
        for (int x = 0; x < width; ++x) {
            COLORREF colour = picture.at(picture.area.left + x, y);
            line[3 * x] = static_cast<char>(GetBValue(colour));
            line[3 * x + 1] = static_cast<char>(GetGValue(colour));
            line[3 * x + 2] = static_cast<char>(GetRValue(colour));
        }
        data += line;
    }
    return write_file(bmp_path, data);
}

bool save_screen_area(const RECT &area, const std::string &bmp_path) {
    return save_picture_bmp(take_picture(area), bmp_path);
}

// --- Files ------------------------------------------------------------------------------------

bool read_file(const std::string &path, std::string *data) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    data->clear();
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr) != 0) && got > 0)
        data->append(buffer, got);
    CloseHandle(file);
    return ok;
}

bool write_file(const std::string &path, const std::string &data) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
              written == data.size();
    CloseHandle(file);
    return ok;
}

bool file_exists(const std::string &path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool folder_exists(const std::string &path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> folder_names(const std::string &folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

bool remove_tree(const std::string &path) {
    if (folder_exists(path)) {
        for (const std::string &name : folder_names(path)) remove_tree(path + "\\" + name);
        RemoveDirectoryA(path.c_str());
    } else if (file_exists(path)) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }
    return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool make_folders(const std::string &path) {
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    CreateDirectoryA(path.c_str(), nullptr);
    return folder_exists(path);
}

} // namespace e2e
