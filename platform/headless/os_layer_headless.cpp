// The OS layer without a screen: boxes answered from a script, windows and stores in memory.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>

#include "platform/headless/headless.h"

namespace {

constexpr uint32_t WM_CLOSE_MESSAGE = 0x10;
constexpr uint32_t WM_INITDIALOG_MESSAGE = 0x110;
constexpr uint32_t WM_COMMAND_MESSAGE = 0x111;
constexpr uint16_t EDIT_TEXT_CHANGED = 4;

struct Window {
    Window *parent = nullptr;
    int id = 0;
    std::string text;
    bool enabled = true;
    bool visible = false;
    bool checked = false;
    bool focused = false;
    int text_limit = 0;
    OsWinPos position{};
    OsDialogProc procedure = nullptr;
    bool dismissed = false;
    intptr_t result = 0;
    std::deque<RecordedPost> queue;
    std::map<int, std::unique_ptr<Window>> children;
};

struct State {
    std::recursive_mutex lock;
    std::deque<int> answers;
    int fallback = 0;
    std::vector<RecordedBox> boxes;
    std::vector<RecordedPost> posts;
    std::vector<RecordedAssert> asserts;
    std::vector<std::unique_ptr<Window>> windows;
    std::map<std::string, std::string> settings; // "application\nkey" -> value
    std::map<int, int32_t> sys_values;
    std::string cwd = "C:\\QEL";
    std::vector<std::string> modules;
    std::vector<std::thread> threads;
    OsPaint paint{};
};

State &state() {
    static State s;
    return s;
}

Window *as_window(OsWindow window) {
    return static_cast<Window *>(window);
}

std::string lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

void set_default_sys_values(State &s) {
    s.sys_values = {{0, 400}, {1, 4}, {7, 4}, {10, 20}, {11, 1024}, {12, 768}, {17, 0x800000}};
}

// Directory search over the real file system; the pattern's last component is matched
// the way the host's search matches it ("*.*" covers every name).
struct Search {
    DIR *dir = nullptr;
    std::string folder;
    std::string pattern;
};

bool pattern_match(const char *pattern, const char *name) {
    if (*pattern == '\0') return *name == '\0';
    if (*pattern == '*') {
        if (std::strcmp(pattern, "*.*") == 0) return true;
        for (const char *n = name;; ++n) {
            if (pattern_match(pattern + 1, n)) return true;
            if (*n == '\0') return false;
        }
    }
    if (*name == '\0') return false;
    if (*pattern == '?' || std::tolower(static_cast<unsigned char>(*pattern)) ==
                               std::tolower(static_cast<unsigned char>(*name)))
        return pattern_match(pattern + 1, name + 1);
    return false;
}

bool deliver(Search *search, OsFindRecord *record) {
    while (dirent *entry = readdir(search->dir)) {
        if (!pattern_match(search->pattern.c_str(), entry->d_name)) continue;
        std::snprintf(record->name, sizeof record->name, "%s", entry->d_name);
        struct stat info {};
        std::string full = search->folder + "/" + entry->d_name;
        record->attributes = 0;
        if (stat(full.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            record->attributes |= OS_ATTR_FOLDER;
        return true;
    }
    return false;
}

} // namespace

// --- Test controls ----------------------------------------------------------------------------

void headless_reset_registry();

void headless_reset() {
    headless_join_threads();
    headless_reset_registry();
    State &s = state();
    std::lock_guard<std::recursive_mutex> guard(s.lock);
    s.answers.clear();
    s.fallback = 0;
    s.boxes.clear();
    s.posts.clear();
    s.asserts.clear();
    s.windows.clear();
    s.settings.clear();
    set_default_sys_values(s);
    s.cwd = "C:\\QEL";
    s.modules.clear();
}

void headless_queue_answers(const std::vector<int> &answers) {
    std::lock_guard<std::recursive_mutex> guard(state().lock);
    state().answers.insert(state().answers.end(), answers.begin(), answers.end());
}

void headless_set_fallback_answer(int answer) {
    state().fallback = answer;
}
const std::vector<RecordedBox> &headless_boxes() {
    return state().boxes;
}
const std::vector<RecordedPost> &headless_posts() {
    return state().posts;
}
const std::vector<RecordedAssert> &headless_asserts() {
    return state().asserts;
}

OsWindow headless_new_window() {
    std::lock_guard<std::recursive_mutex> guard(state().lock);
    state().windows.push_back(std::make_unique<Window>());
    return state().windows.back().get();
}

void headless_set_setting(const std::string &application, const std::string &key,
                          const std::string &value) {
    std::lock_guard<std::recursive_mutex> guard(state().lock);
    state().settings[lower(application) + "\n" + lower(key)] = value;
}

void headless_set_sys_value(int index, int32_t value) {
    std::lock_guard<std::recursive_mutex> guard(state().lock);
    state().sys_values[index] = value;
}

void headless_set_cwd(const std::string &cwd) {
    std::lock_guard<std::recursive_mutex> guard(state().lock);
    state().cwd = cwd;
}

void headless_add_module(const std::string &name) {
    std::lock_guard<std::recursive_mutex> guard(state().lock);
    state().modules.push_back(lower(name));
}

void headless_join_threads() {
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::recursive_mutex> guard(state().lock);
        threads.swap(state().threads);
    }
    for (std::thread &t : threads) t.join();
}

// Backslashes become slashes, and each component that does not exist as written is looked up
// without regard to case, as Windows would find it.
std::string headless_host_path(const char *path) {
    std::string host = path ? path : "";
    std::replace(host.begin(), host.end(), '\\', '/');
    std::string resolved;
    size_t start = 0;
    if (!host.empty() && host[0] == '/') {
        resolved = "/";
        start = 1;
    }
    while (start <= host.size()) {
        size_t end = host.find('/', start);
        if (end == std::string::npos) end = host.size();
        std::string component = host.substr(start, end - start);
        std::string folder = resolved.empty() ? "." : resolved;
        struct stat info {};
        if (!component.empty() && stat((folder + "/" + component).c_str(), &info) != 0) {
            if (DIR *dir = opendir(folder.c_str())) {
                while (dirent *entry = readdir(dir))
                    if (lower(entry->d_name) == lower(component)) {
                        component = entry->d_name;
                        break;
                    }
                closedir(dir);
            }
        }
        resolved += component;
        if (end < host.size()) resolved += '/';
        start = end + 1;
    }
    return resolved;
}

// --- Life cycle and threads -------------------------------------------------------------------

int os_Initialize(intptr_t, const char *, int) {
    return 1;
}

int os_InitWinThread(OsThreadRecord *record, int, int) {
    if (record) std::memset(record, 0, sizeof *record);
    return 1;
}

void os_CleanupWinThread(OsThreadRecord *) {}

int os_CreateThread(OsThreadRoutine routine, void *argument) {
    std::lock_guard<std::recursive_mutex> guard(state().lock);
    state().threads.emplace_back(routine, argument);
    return 1;
}

// --- System values, current folder, assertions ------------------------------------------------

int32_t os_QuerySysValue(int index) {
    std::lock_guard<std::recursive_mutex> guard(state().lock);
    auto found = state().sys_values.find(index);
    return found == state().sys_values.end() ? 0 : found->second;
}

int os_QueryCWD(char *buffer, uint32_t size) {
    std::lock_guard<std::recursive_mutex> guard(state().lock);
    if (buffer == nullptr || size == 0) return 0;
    std::snprintf(buffer, size, "%s", state().cwd.c_str());
    return 1;
}

void _os_AssertMsg(const char *text, const char *source, int line) {
    std::lock_guard<std::recursive_mutex> guard(state().lock);
    state().asserts.push_back({text ? text : "", source ? source : "", line});
}

// --- Dialogs and messages ---------------------------------------------------------------------

OsWindow os_LoadDlg(OsWindow, OsWindow, OsDialogProc procedure, OsModule, uint32_t,
                    void *parameter) {
    Window *dialog = as_window(headless_new_window());
    dialog->procedure = procedure;
    if (procedure)
        procedure(dialog, WM_INITDIALOG_MESSAGE, 0, reinterpret_cast<intptr_t>(parameter));
    return dialog;
}

// Delivers queued messages until the dialog is dismissed or nothing is left to deliver.
intptr_t os_ProcessDlg(OsWindow dialog) {
    Window *w = as_window(dialog);
    if (w == nullptr) return -1;
    while (!w->dismissed) {
        RecordedPost post{};
        {
            std::lock_guard<std::recursive_mutex> guard(state().lock);
            if (w->queue.empty()) break;
            post = w->queue.front();
            w->queue.pop_front();
        }
        if (w->procedure) w->procedure(dialog, post.message, post.first, post.second);
    }
    return w->dismissed ? w->result : -1;
}

void os_DismissDlg(OsWindow dialog, intptr_t result) {
    if (Window *w = as_window(dialog)) {
        w->dismissed = true;
        w->result = result;
    }
}

void os_TranslateMsg(TranslatedMsg *record, OsWindow, uint32_t message, uintptr_t first,
                     intptr_t second) {
    std::memset(record, 0, sizeof *record);
    record->second = static_cast<uint32_t>(second);
    switch (message) {
    case WM_INITDIALOG_MESSAGE:
        record->kind = TM_INIT;
        break;
    case WM_CLOSE_MESSAGE:
        record->kind = TM_CLOSE;
        break;
    case WM_COMMAND_MESSAGE:
        record->id = static_cast<uint16_t>(first & 0xFFFF);
        record->notification = static_cast<uint16_t>((first >> 16) & 0xFFFF);
        // Push buttons (no control handle in this layer's commands) are commands.
        record->kind = second == 0 ? TM_COMMAND : TM_CONTROL;
        break;
    default:
        record->kind = message;
        break;
    }
}

intptr_t os_DefDlgProc(OsWindow, uint32_t, uintptr_t, intptr_t) {
    return 0;
}
intptr_t os_DefWinProc(OsWindow, uint32_t, uintptr_t, intptr_t) {
    return 0;
}

int os_PostMsg(OsWindow window, uint32_t message, uintptr_t first, intptr_t second) {
    std::lock_guard<std::recursive_mutex> guard(state().lock);
    state().posts.push_back({window, message, first, second});
    if (Window *w = as_window(window)) w->queue.push_back({window, message, first, second});
    return 1;
}

int os_MessageBox(OsWindow owner, const char *caption, const char *text, uint32_t style) {
    std::lock_guard<std::recursive_mutex> guard(state().lock);
    State &s = state();
    s.boxes.push_back({owner, caption ? caption : "", text ? text : "", style});
    if (s.answers.empty()) return s.fallback;
    int answer = s.answers.front();
    s.answers.pop_front();
    return answer;
}

// --- Controls and windows ---------------------------------------------------------------------

OsWindow os_SubWin(OsWindow parent, int id) {
    std::lock_guard<std::recursive_mutex> guard(state().lock);
    Window *p = as_window(parent);
    if (p == nullptr) return nullptr;
    std::unique_ptr<Window> &child = p->children[id];
    if (!child) {
        child = std::make_unique<Window>();
        child->parent = p;
        child->id = id;
    }
    return child.get();
}

int os_QueryWindowText(OsWindow window, uint32_t size, char *buffer) {
    std::lock_guard<std::recursive_mutex> guard(state().lock);
    if (buffer == nullptr || size == 0) return 0;
    Window *w = as_window(window);
    std::snprintf(buffer, size, "%s", w ? w->text.c_str() : "");
    return static_cast<int>(std::strlen(buffer));
}

int os_SetWindowText(OsWindow window, const char *text) {
    Window *w = as_window(window);
    if (w == nullptr) return 0;
    OsDialogProc notify = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(state().lock);
        w->text = text ? text : "";
        if (w->text_limit > 0 && w->text.size() > static_cast<size_t>(w->text_limit))
            w->text.resize(static_cast<size_t>(w->text_limit));
        // Edit fields (those given a text limit) report the change to their dialog.
        if (w->parent && w->text_limit > 0) notify = w->parent->procedure;
    }
    if (notify)
        notify(w->parent, WM_COMMAND_MESSAGE,
               static_cast<uintptr_t>(w->id) | (static_cast<uintptr_t>(EDIT_TEXT_CHANGED) << 16),
               reinterpret_cast<intptr_t>(w));
    return 1;
}

int os_IsButtonChecked(OsWindow dialog, int id) {
    Window *w = as_window(os_SubWin(dialog, id));
    return w && w->checked ? 1 : 0;
}

int os_CheckControl(OsWindow dialog, int id, int state_on) {
    Window *w = as_window(os_SubWin(dialog, id));
    if (w) w->checked = state_on != 0;
    return w ? 1 : 0;
}

int os_EnableWindow(OsWindow window, int on) {
    if (Window *w = as_window(window)) w->enabled = on != 0;
    return 1;
}

int os_IsWindowEnabled(OsWindow window) {
    Window *w = as_window(window);
    return w && w->enabled ? 1 : 0;
}

int os_ShowWindow(OsWindow window, int visible) {
    if (Window *w = as_window(window)) w->visible = visible != 0;
    return 1;
}

int os_SetFocus(OsWindow window) {
    if (Window *w = as_window(window)) w->focused = true;
    return 1;
}

int os_ContrlMgr(OsWindow control, int, int value, int) {
    if (Window *w = as_window(control)) w->text_limit = value;
    return 1;
}

int os_DestroyWindow(OsWindow window) {
    if (Window *w = as_window(window)) w->visible = false;
    return 1;
}

int os_SetFontNameSize(OsWindow, const char *) {
    return 1;
}

// --- Geometry ---------------------------------------------------------------------------------

int os_QueryWinPos(OsWindow window, OsWinPos *position) {
    Window *w = as_window(window);
    if (w == nullptr || position == nullptr) return 0;
    *position = w->position;
    return 1;
}

int os_SetWinPos(OsWindow window, intptr_t, int32_t x, int32_t y, int32_t width, int32_t height,
                 uint32_t flags) {
    Window *w = as_window(window);
    if (w == nullptr) return 0;
    if (flags & OS_POS_SIZE) {
        w->position.width = width;
        w->position.height = height;
    }
    if (flags & OS_POS_MOVE) {
        w->position.x = x;
        w->position.y = y;
    }
    if (flags & OS_POS_SHOW) w->visible = true;
    w->position.flags = flags;
    return 1;
}

int os_QueryWinRect(OsWindow window, OsRect *rectangle) {
    Window *w = as_window(window);
    if (w == nullptr || rectangle == nullptr) return 0;
    rectangle->left = w->position.x;
    rectangle->bottom = w->position.y;
    rectangle->right = w->position.x + w->position.width;
    rectangle->top = w->position.y + w->position.height;
    return 1;
}

int os_QueryWinClRect(OsWindow window, OsRect *rectangle) {
    Window *w = as_window(window);
    if (w == nullptr || rectangle == nullptr) return 0;
    *rectangle = {0, 0, w->position.width, w->position.height};
    return 1;
}

int os_CenterWinOverWin(OsWindow, OsWindow, int) {
    return 1;
}

// --- Painting ---------------------------------------------------------------------------------

OsPaint *os_BeginPaint(OsWindow window, int, int) {
    state().paint = OsPaint{};
    state().paint.window = window;
    return &state().paint;
}

void os_EndPaint(OsPaint *) {}
void os_NiceRCL(const OsRect *, OsPaint *, int) {}
int os_InvalidateRcl(OsWindow, const OsRect *, int) {
    return 1;
}

// --- Settings store, directory search, modules -----------------------------------------------

int os_IniMgr(int request, int, const char *application, const char *key, char *buffer,
              uint32_t *length) {
    if (request != 2 || application == nullptr || key == nullptr) return 0;
    std::lock_guard<std::recursive_mutex> guard(state().lock);
    auto found = state().settings.find(lower(application) + "\n" + lower(key));
    if (found == state().settings.end()) return 0;
    if (buffer && length && *length > 0) {
        std::snprintf(buffer, *length, "%s", found->second.c_str());
        *length = static_cast<uint32_t>(std::strlen(buffer));
    }
    return 1;
}

int os_FileFindMgr(int operation, OsFindRecord *record) {
    if (record == nullptr) return 1;
    Search *search = static_cast<Search *>(record->search);
    switch (operation) {
    case OS_FIND_START: {
        delete search;
        record->search = nullptr;
        std::string pattern = headless_host_path(record->name);
        auto slash = pattern.rfind('/');
        auto created = std::make_unique<Search>();
        created->folder = slash == std::string::npos ? "." : pattern.substr(0, slash);
        if (created->folder.empty()) created->folder = "/";
        created->pattern = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
        created->dir = opendir(created->folder.c_str());
        if (created->dir == nullptr) return 1;
        search = created.release();
        record->search = search;
        return deliver(search, record) ? 0 : 1;
    }
    case OS_FIND_NEXT:
        if (search == nullptr) return 1;
        return deliver(search, record) ? 0 : 1;
    case OS_FIND_END:
        if (search) {
            closedir(search->dir);
            delete search;
        }
        record->search = nullptr;
        return 0;
    default:
        return 1;
    }
}

OsModule os_LoadModule(const char *name) {
    if (name == nullptr) return nullptr;
    std::lock_guard<std::recursive_mutex> guard(state().lock);
    auto &modules = state().modules;
    auto found = std::find(modules.begin(), modules.end(), lower(name));
    return found == modules.end() ? nullptr : &*found;
}

void os_FreeModule(OsModule) {}
