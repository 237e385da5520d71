// The OS layer without a screen: dialogs built from the dialog table, windows and drawing held in
// memory, boxes answered from a script, threads real. Tests drive it through headless.h.
#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <thread>

#include "platform/common/message_map.h"
#include "platform/headless/headless.h"
#include "resources/main_dialog.h"

namespace {

struct Window {
    Window *parent = nullptr;
    int id = 0;
    std::string window_class; // "#32770" for a dialog, "" for a bare window's control
    uint32_t style = 0;
    std::string text;
    bool enabled = true;
    bool visible = false;
    bool checked = false;
    bool destroyed = false;
    bool children_on_demand = false; // a bare window: os_SubWin makes any control it is asked for
    int text_limit = 0;
    OsWinPos position{};
    OsDialogProc dialog_procedure = nullptr;
    OsWindowProc window_procedure = nullptr;
    int32_t extra = 0;
    int invalidations = 0;
    bool dismissed = false;
    intptr_t result = 0;
    std::deque<RecordedPost> queue;
    std::vector<std::unique_ptr<Window>> children;
};

struct WindowClass {
    std::string name; // lower case
    OsWindowProc procedure;
};

// One drawing object: a brush (solid or from a pattern) or a bitmap.
struct GdiObject {
    bool is_bitmap;
    BrushKind brush;
    COLORREF colour;
    int bitmap_id;
};

struct State {
    std::recursive_mutex lock;
    std::condition_variable_any changed; // a message was posted or a thread ended
    std::deque<int> answers;
    int fallback = 0;
    std::vector<RecordedBox> boxes;
    std::vector<RecordedPost> posts;
    std::vector<RecordedAssert> asserts;
    std::vector<std::unique_ptr<Window>> windows; // top-level windows, destroyed ones included
    std::vector<OsWindow> created_windows;
    std::vector<OsWindow> dialogs;
    Window *focus = nullptr;
    std::vector<WindowClass> classes;
    std::vector<RegisteredClass> class_records;
    std::vector<SentMessage> sent;
    std::map<std::string, std::string> settings; // "application\nkey" -> value
    std::map<OsSysValue, int32_t> sys_values;
    std::string cwd = "C:\\QEL";
    std::vector<std::string> modules;
    std::vector<std::thread> threads;
    int live_threads = 0;
    bool fail_threads = false;
    int base_x = 6, base_y = 13; // "MS Sans Serif" 8 at 96 dots per inch
    std::set<GdiObject *> gdi_live;
    int gdi_created = 0, gdi_deleted = 0;
    std::vector<RecordedFill> fills;
};

State &state() {
    static State s;
    return s;
}

using Guard = std::lock_guard<std::recursive_mutex>;

// Whether the dialog procedure now running on this thread passed its message on.
struct DispatchState {
    bool default_called = false;
};
DispatchState &dispatch() {
    thread_local DispatchState d;
    return d;
}

Window *as_window(OsWindow window) {
    return static_cast<Window *>(window);
}

std::string lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

void set_default_sys_values(State &s) {
    s.sys_values = {{OS_SYS_VERSION, 400},
                    {OS_SYS_KIND, OS_SYS_KIND_NT},
                    {OS_SYS_FRAME_HEIGHT, 4},
                    {OS_SYS_CAPTION_HEIGHT, 20},
                    {OS_SYS_SCREEN_WIDTH, 1024},
                    {OS_SYS_SCREEN_HEIGHT, 768},
                    {OS_SYS_HIGHLIGHT_COLOUR, 0x800000}};
}

int32_t sys_value(OsSysValue index) {
    auto found = state().sys_values.find(index);
    return found == state().sys_values.end() ? 0 : found->second;
}

int32_t dialog_x(int units) {
    return (units * state().base_x + 2) / 4;
}
int32_t dialog_y(int units) {
    return (units * state().base_y + 4) / 8;
}

bool is_class(const Window *w, const char *name) {
    return lower(w->window_class) == lower(name);
}

bool is_edit(const Window *w) {
    return is_class(w, "Edit") || (w->window_class.empty() && w->text_limit > 0);
}

bool is_push_button(const Window *w) {
    return is_class(w, "Button") && (w->style & 0xF) <= 1;
}

bool is_check_box(const Window *w) {
    return is_class(w, "Button") && (w->style & 0xF) == 3;
}

OsWindowProc class_procedure(const std::string &name) {
    for (const WindowClass &c : state().classes)
        if (c.name == lower(name)) return c.procedure;
    return nullptr;
}

Window *child_by_id(Window *parent, int id, bool destroyed_too = false) {
    for (auto &child : parent->children)
        if (child->id == id && (destroyed_too || !child->destroyed)) return child.get();
    return nullptr;
}

// Delivers a message to a dialog procedure; `handled` tells whether it kept the message.
intptr_t deliver_to_dialog(Window *dialog, uint32_t message, uintptr_t first, intptr_t second,
                           bool *handled = nullptr) {
    if (dialog == nullptr || dialog->dialog_procedure == nullptr) {
        if (handled) *handled = false;
        return 0;
    }
    bool saved = dispatch().default_called;
    dispatch().default_called = false;
    intptr_t result = dialog->dialog_procedure(dialog, message, first, second);
    if (handled) *handled = !dispatch().default_called;
    dispatch().default_called = saved;
    return result;
}

// Delivers a message the way SendMessageA would: to the window's own procedure.
intptr_t deliver(Window *w, uint32_t message, uintptr_t first, intptr_t second) {
    if (w == nullptr) return 0;
    if (w->dialog_procedure) return deliver_to_dialog(w, message, first, second);
    if (w->window_procedure) return w->window_procedure(w, message, first, second);
    return 0;
}

void notify_parent(Window *control, uint16_t code) {
    Window *parent = control->parent;
    if (parent == nullptr) return;
    uintptr_t first = static_cast<uint16_t>(control->id) | (static_cast<uintptr_t>(code) << 16);
    deliver(parent, WM_COMMAND, first, reinterpret_cast<intptr_t>(control));
}

void destroy(Window *w) {
    {
        Guard guard(state().lock);
        if (w->destroyed) return;
        w->destroyed = true;
        w->visible = false;
    }
    deliver(w, WM_DESTROY, 0, 0);
    for (auto &child : w->children) destroy(child.get());
    Guard guard(state().lock);
    for (Window *f = state().focus; f; f = f->parent)
        if (f == w) state().focus = nullptr;
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

bool deliver_entry(Search *search, OsFindRecord *record) {
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

int template_language(uint32_t template_id) {
    for (int language = 0; language < 3; ++language)
        if (DIALOG_TEMPLATE_IDS[language] == static_cast<int>(template_id)) return language;
    return -1;
}

// Builds the dialog of a template from the dialog table, hidden, at the screen's top left.
// Like Windows, it fails when a control's window class is not registered.
Window *build_dialog(int language) {
    State &s = state();
    auto dialog = std::make_unique<Window>();
    dialog->window_class = "#32770";
    dialog->style = DIALOG_STYLE;
    dialog->text = DIALOG_CAPTIONS[language];
    dialog->position.width = dialog_x(DIALOG_WIDTH);
    dialog->position.height = dialog_y(DIALOG_HEIGHT);
    dialog->position.y = flip_y(sys_value(OS_SYS_SCREEN_HEIGHT), 0, dialog->position.height);
    for (const DialogControl &c : DIALOG_CONTROLS) {
        bool system_class = lower(c.window_class) == "button" ||
                            lower(c.window_class) == "static" || lower(c.window_class) == "edit";
        if (!system_class && class_procedure(c.window_class) == nullptr) return nullptr;
        auto control = std::make_unique<Window>();
        control->parent = dialog.get();
        control->id = c.id;
        control->window_class = c.window_class;
        control->window_procedure = class_procedure(c.window_class);
        control->style = c.style[language];
        control->text = c.text[language];
        control->visible = (control->style & WS_VISIBLE) != 0;
        control->position.x = dialog_x(c.x[language]);
        control->position.width = dialog_x(c.width[language]);
        control->position.height = dialog_y(c.height);
        control->position.y =
            flip_y(dialog->position.height, dialog_y(c.y), control->position.height);
        dialog->children.push_back(std::move(control));
    }
    s.windows.push_back(std::move(dialog));
    return s.windows.back().get();
}

} // namespace

// --- Test controls ----------------------------------------------------------------------------

void headless_reset_files();

void headless_reset() {
    headless_join_threads();
    headless_reset_files();
    State &s = state();
    Guard guard(s.lock);
    s.answers.clear();
    s.fallback = 0;
    s.boxes.clear();
    s.posts.clear();
    s.asserts.clear();
    s.windows.clear();
    s.created_windows.clear();
    s.dialogs.clear();
    s.focus = nullptr;
    s.classes.clear();
    s.class_records.clear();
    s.sent.clear();
    s.settings.clear();
    set_default_sys_values(s);
    s.cwd = "C:\\QEL";
    s.modules.clear();
    s.fail_threads = false;
    s.base_x = 6;
    s.base_y = 13;
    for (GdiObject *object : s.gdi_live) delete object;
    s.gdi_live.clear();
    s.gdi_created = s.gdi_deleted = 0;
    s.fills.clear();
}

void headless_queue_answers(const std::vector<int> &answers) {
    Guard guard(state().lock);
    state().answers.insert(state().answers.end(), answers.begin(), answers.end());
}

void headless_set_fallback_answer(int answer) {
    Guard guard(state().lock);
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
    Guard guard(state().lock);
    state().windows.push_back(std::make_unique<Window>());
    state().windows.back()->children_on_demand = true;
    return state().windows.back().get();
}

void headless_set_setting(const std::string &application, const std::string &key,
                          const std::string &value) {
    Guard guard(state().lock);
    state().settings[lower(application) + "\n" + lower(key)] = value;
}

void headless_set_sys_value(OsSysValue index, int32_t value) {
    Guard guard(state().lock);
    state().sys_values[index] = value;
}

void headless_set_cwd(const std::string &cwd) {
    Guard guard(state().lock);
    state().cwd = cwd;
}

void headless_add_module(const std::string &name) {
    Guard guard(state().lock);
    state().modules.push_back(lower(name));
}

void headless_set_dialog_units(int base_x, int base_y) {
    Guard guard(state().lock);
    state().base_x = base_x;
    state().base_y = base_y;
}

void headless_join_threads() {
    std::vector<std::thread> threads;
    {
        Guard guard(state().lock);
        threads.swap(state().threads);
    }
    for (std::thread &t : threads) t.join();
}

void headless_fail_threads(bool fail) {
    Guard guard(state().lock);
    state().fail_threads = fail;
}

HeadlessWindowState headless_window(OsWindow window) {
    Guard guard(state().lock);
    HeadlessWindowState out;
    Window *w = as_window(window);
    if (w == nullptr) return out;
    out.exists = !w->destroyed;
    out.window_class = w->window_class;
    out.text = w->text;
    out.style = w->style;
    out.enabled = w->enabled;
    out.visible = w->visible;
    out.checked = w->checked;
    out.focused = state().focus == w;
    out.text_limit = w->text_limit;
    out.position = w->position;
    out.extra = w->extra;
    out.invalidations = w->invalidations;
    return out;
}

HeadlessWindowState headless_control(OsWindow dialog, int id) {
    Guard guard(state().lock);
    Window *d = as_window(dialog);
    return headless_window(d ? child_by_id(d, id, true) : nullptr); // also after the end
}

int headless_focus_id(OsWindow dialog) {
    Guard guard(state().lock);
    Window *f = state().focus;
    return f && f->parent == as_window(dialog) ? f->id : 0;
}

int headless_dialog_width(OsWindow dialog) {
    return as_window(dialog)->position.width;
}
int headless_dialog_height(OsWindow dialog) {
    return as_window(dialog)->position.height;
}

bool headless_dismissed(OsWindow dialog) {
    Guard guard(state().lock);
    return as_window(dialog)->dismissed;
}

bool headless_destroyed(OsWindow window) {
    Guard guard(state().lock);
    return as_window(window)->destroyed;
}

bool headless_click(OsWindow dialog, int id) {
    Window *control = nullptr;
    {
        Guard guard(state().lock);
        Window *d = as_window(dialog);
        control = d ? child_by_id(d, id) : nullptr;
        if (control == nullptr || !control->enabled || !control->visible || !d->enabled)
            return false;
        if (!is_push_button(control) && !is_check_box(control)) return false;
        if (is_check_box(control)) control->checked = !control->checked;
        state().focus = control;
    }
    notify_parent(control, BN_CLICKED);
    return true;
}

bool headless_type(OsWindow dialog, int id, const std::string &text) {
    Window *control = nullptr;
    {
        Guard guard(state().lock);
        Window *d = as_window(dialog);
        control = d ? child_by_id(d, id) : nullptr;
        if (control == nullptr || !is_edit(control) || !control->enabled || !control->visible ||
            (control->style & ES_READONLY))
            return false;
        control->text = text;
        if (control->text_limit > 0 && control->text.size() > size_t(control->text_limit))
            control->text.resize(static_cast<size_t>(control->text_limit));
        state().focus = control;
    }
    notify_parent(control, EN_CHANGE);
    return true;
}

void headless_close(OsWindow window) {
    Window *w = as_window(window);
    if (w == nullptr || w->destroyed) return;
    if (w->dialog_procedure) {
        bool handled = false;
        deliver_to_dialog(w, WM_CLOSE, 0, 0, &handled);
        // A dialog that leaves the close request to Windows gets the Cancel button's command.
        if (!handled) {
            Window *cancel = nullptr;
            {
                Guard guard(state().lock);
                cancel = child_by_id(w, IDCANCEL);
            }
            deliver_to_dialog(w, WM_COMMAND, IDCANCEL, reinterpret_cast<intptr_t>(cancel));
        }
        return;
    }
    deliver(w, WM_CLOSE, 0, 0);
}

void headless_paint(OsWindow window) {
    deliver(as_window(window), WM_PAINT, 0, 0);
}

std::vector<OsWindow> headless_dialogs() {
    Guard guard(state().lock);
    return state().dialogs;
}

std::vector<OsWindow> headless_created_windows() {
    Guard guard(state().lock);
    return state().created_windows;
}

const std::vector<RegisteredClass> &headless_classes() {
    return state().class_records;
}

const std::vector<SentMessage> &headless_sent_messages() {
    return state().sent;
}

const std::vector<RecordedFill> &headless_fills() {
    return state().fills;
}

void headless_clear_fills() {
    Guard guard(state().lock);
    state().fills.clear();
}

GdiCounts headless_gdi_counts() {
    Guard guard(state().lock);
    return {state().gdi_created, state().gdi_deleted, static_cast<int>(state().gdi_live.size())};
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
    Guard guard(state().lock);
    if (state().fail_threads) return 0;
    ++state().live_threads;
    state().threads.emplace_back([routine, argument] {
        routine(argument);
        Guard inner(state().lock);
        --state().live_threads;
        state().changed.notify_all();
    });
    return 1;
}

// --- System values, current folder, assertions ------------------------------------------------

int32_t os_QuerySysValue(OsSysValue index) {
    Guard guard(state().lock);
    return sys_value(index);
}

int os_QueryCWD(char *buffer, uint32_t size) {
    Guard guard(state().lock);
    if (buffer == nullptr || size == 0) return 0;
    std::snprintf(buffer, size, "%s", state().cwd.c_str());
    return 1;
}

void _os_AssertMsg(const char *text, const char *source, int line) {
    Guard guard(state().lock);
    state().asserts.push_back({text ? text : "", source ? source : "", line});
}

// --- Dialogs and messages ---------------------------------------------------------------------

OsWindow os_LoadDlg(OsWindow, OsWindow, OsDialogProc procedure, OsModule, uint32_t template_id,
                    void *parameter) {
    Window *dialog = nullptr;
    {
        Guard guard(state().lock);
        int language = template_language(template_id);
        if (language < 0) return nullptr;
        dialog = build_dialog(language);
        if (dialog == nullptr) return nullptr;
        dialog->dialog_procedure = procedure;
        state().dialogs.push_back(dialog);
    }
    for (auto &child : dialog->children)
        if (child->window_procedure) deliver(child.get(), WM_CREATE, 0, 0);
    // Windows hands the dialog its font before the initialisation.
    deliver_to_dialog(dialog, WM_SETFONT, 0, 1);
    deliver_to_dialog(dialog, WM_INITDIALOG, 0, reinterpret_cast<intptr_t>(parameter));
    return dialog;
}

// Delivers posted messages until the dialog is dismissed. While a thread of the program is
// alive it waits for its messages; with none left, nothing more can come and it returns -1
// (a real dialog would now wait for the user).
intptr_t os_ProcessDlg(OsWindow dialog) {
    Window *w = as_window(dialog);
    if (w == nullptr) return -1;
    State &s = state();
    for (;;) {
        RecordedPost post{};
        {
            std::unique_lock<std::recursive_mutex> guard(s.lock);
            if (w->dismissed) return w->result;
            if (w->queue.empty()) {
                if (s.live_threads == 0) return -1;
                s.changed.wait(guard);
                continue;
            }
            post = w->queue.front();
            w->queue.pop_front();
        }
        deliver_to_dialog(w, post.message, post.first, post.second);
    }
}

void os_DismissDlg(OsWindow dialog, intptr_t result) {
    Guard guard(state().lock);
    if (Window *w = as_window(dialog)) {
        w->dismissed = true;
        w->result = result;
    }
    state().changed.notify_all();
}

void os_TranslateMsg(TranslatedMsg *record, OsWindow, uint32_t message, uintptr_t first,
                     intptr_t second) {
    CommandSender sender = CommandSender::none;
    if (message == WM_COMMAND && second != 0) {
        Guard guard(state().lock);
        const Window *control = reinterpret_cast<const Window *>(second);
        if (is_push_button(control))
            sender =
                control->enabled ? CommandSender::push_button : CommandSender::disabled_push_button;
        else if (is_check_box(control))
            sender = CommandSender::check_box;
        else if (is_edit(control))
            sender = CommandSender::edit;
        else
            sender = CommandSender::other_control;
    }
    *record = translate_message(message, first, second, sender);
}

intptr_t os_DefDlgProc(OsWindow, uint32_t, uintptr_t, intptr_t) {
    dispatch().default_called = true;
    return 0;
}

// What DefWindowProcA does for the messages the program's windows leave to it.
intptr_t os_DefWinProc(OsWindow window, uint32_t message, uintptr_t, intptr_t) {
    if (message == WM_CLOSE) os_DestroyWindow(window);
    return 0;
}

int os_PostMsg(OsWindow window, uint32_t message, uintptr_t first, intptr_t second) {
    Guard guard(state().lock);
    Window *w = as_window(window);
    if (w == nullptr || w->destroyed) return 0;
    state().posts.push_back({window, message, first, second});
    w->queue.push_back({window, posted_message_number(message), first, second});
    state().changed.notify_all();
    return 1;
}

int os_MessageBox(OsWindow owner, const char *caption, const char *text, uint32_t style) {
    Guard guard(state().lock);
    State &s = state();
    s.boxes.push_back({owner, caption ? caption : "", text ? text : "", style});
    if (s.answers.empty()) return s.fallback;
    int answer = s.answers.front();
    s.answers.pop_front();
    return answer;
}

// --- Controls and windows ---------------------------------------------------------------------

OsWindow os_SubWin(OsWindow parent, int id) {
    Guard guard(state().lock);
    Window *p = as_window(parent);
    if (p == nullptr) return nullptr;
    if (Window *found = child_by_id(p, id)) return found;
    if (!p->children_on_demand) return nullptr;
    auto child = std::make_unique<Window>();
    child->parent = p;
    child->id = id;
    child->visible = true;
    p->children.push_back(std::move(child));
    return p->children.back().get();
}

int os_QueryWindowText(OsWindow window, uint32_t size, char *buffer) {
    Guard guard(state().lock);
    if (buffer == nullptr || size == 0) return 0;
    Window *w = as_window(window);
    std::snprintf(buffer, size, "%s", w ? w->text.c_str() : "");
    return static_cast<int>(std::strlen(buffer));
}

// Like WM_SETTEXT, the text limit does not apply; an edit field then reports the change.
int os_SetWindowText(OsWindow window, const char *text) {
    Window *w = as_window(window);
    if (w == nullptr) return 0;
    bool notify = false;
    {
        Guard guard(state().lock);
        if (w->destroyed) return 0;
        w->text = text ? text : "";
        notify = w->parent && is_edit(w);
    }
    if (notify) notify_parent(w, EN_CHANGE);
    return 1;
}

int os_IsButtonChecked(OsWindow dialog, int id) {
    Window *w = as_window(os_SubWin(dialog, id));
    Guard guard(state().lock);
    return w && w->checked ? 1 : 0;
}

int os_CheckControl(OsWindow dialog, int id, int state_on) {
    Window *w = as_window(os_SubWin(dialog, id));
    Guard guard(state().lock);
    if (w) w->checked = state_on != 0;
    return w ? 1 : 0;
}

int os_EnableWindow(OsWindow window, int on) {
    Guard guard(state().lock);
    Window *w = as_window(window);
    if (w == nullptr) return 0;
    w->enabled = on != 0;
    if (!w->enabled && state().focus == w) state().focus = nullptr; // a disabled field loses it
    return 1;
}

int os_IsWindowEnabled(OsWindow window) {
    Guard guard(state().lock);
    Window *w = as_window(window);
    return w && w->enabled ? 1 : 0;
}

int os_ShowWindow(OsWindow window, int visible) {
    Guard guard(state().lock);
    if (Window *w = as_window(window)) w->visible = visible != 0;
    return 1;
}

int os_SetFocus(OsWindow window) {
    Guard guard(state().lock);
    Window *w = as_window(window);
    if (w == nullptr || w->destroyed) return 0;
    state().focus = w;
    return 1;
}

// The headless fields keep no caret of their own: text is typed whole, so it stands at the end.
int os_ContrlMgr(OsWindow control, int request, int value, int) {
    Guard guard(state().lock);
    Window *w = as_window(control);
    if (w == nullptr) return 0;
    switch (request) {
    case OS_EDIT_LIMIT:
        w->text_limit = value;
        return 1;
    case OS_EDIT_QUERY_SELECTION: {
        int end = static_cast<int>(w->text.size());
        return end | end << 16;
    }
    case OS_EDIT_SELECT:
        return 1;
    default:
        return 0;
    }
}

int os_DestroyWindow(OsWindow window) {
    Window *w = as_window(window);
    if (w == nullptr || headless_destroyed(w)) return 0;
    destroy(w);
    return 1;
}

int os_SetFontNameSize(OsWindow, const char *) {
    return 1;
}

// --- Geometry ---------------------------------------------------------------------------------

int os_QueryWinPos(OsWindow window, OsWinPos *position) {
    Guard guard(state().lock);
    Window *w = as_window(window);
    if (w == nullptr || position == nullptr) return 0;
    *position = w->position;
    return 1;
}

int os_SetWinPos(OsWindow window, intptr_t, int32_t x, int32_t y, int32_t width, int32_t height,
                 uint32_t flags) {
    Window *w = as_window(window);
    if (w == nullptr) return 0;
    bool resized = false;
    {
        Guard guard(state().lock);
        if (flags & OS_POS_SIZE) {
            resized = w->position.width != width || w->position.height != height;
            w->position.width = width;
            w->position.height = height;
        }
        if (flags & OS_POS_MOVE) {
            w->position.x = x;
            w->position.y = y;
        }
        if (flags & OS_POS_SHOW) w->visible = true;
        w->position.flags = flags;
    }
    if (resized && w->window_procedure)
        deliver(w, WM_SIZE, 0,
                static_cast<intptr_t>((static_cast<uint32_t>(height) << 16) |
                                      (static_cast<uint32_t>(width) & 0xFFFF)));
    return 1;
}

// The window's own rectangle: left and bottom 0, right its width, top its height.
int os_QueryWinRect(OsWindow window, OsRect *rectangle) {
    Guard guard(state().lock);
    Window *w = as_window(window);
    if (w == nullptr || rectangle == nullptr) return 0;
    *rectangle = {0, 0, w->position.width, w->position.height};
    return 1;
}

int os_QueryWinClRect(OsWindow window, OsRect *rectangle) {
    return os_QueryWinRect(window, rectangle);
}

int os_CenterWinOverWin(OsWindow over, OsWindow window, int) {
    Guard guard(state().lock);
    Window *w = as_window(window);
    if (w == nullptr) return 0;
    int32_t area_width = sys_value(OS_SYS_SCREEN_WIDTH),
            area_height = sys_value(OS_SYS_SCREEN_HEIGHT);
    if (Window *o = as_window(over)) {
        area_width = o->position.width;
        area_height = o->position.height;
    }
    w->position.x = (area_width - w->position.width) / 2;
    w->position.y = (area_height - w->position.height) / 2;
    return 1;
}

// --- Painting ---------------------------------------------------------------------------------

OsPaint *os_BeginPaint(OsWindow window, int, int) {
    auto *paint = new OsPaint{};
    paint->window = window;
    paint->device_context = window; // drawing calls know the window by its "device"
    return paint;
}

void os_EndPaint(OsPaint *paint) {
    delete paint;
}

void os_NiceRCL(const OsRect *, OsPaint *, int) {}

int os_InvalidateRcl(OsWindow window, const OsRect *, int) {
    Guard guard(state().lock);
    if (Window *w = as_window(window)) ++w->invalidations;
    return 1;
}

HBRUSH CreateSolidBrush(COLORREF colour) {
    Guard guard(state().lock);
    auto *object = new GdiObject{false, BrushKind::solid, colour, 0};
    state().gdi_live.insert(object);
    ++state().gdi_created;
    return reinterpret_cast<HBRUSH>(object);
}

HBITMAP LoadBitmapA(HINSTANCE, LPCSTR name) {
    int id = static_cast<int>(reinterpret_cast<uintptr_t>(name));
    if (id != BITMAP_CHECKER && id != BITMAP_TERMINAL_LARGE && id != BITMAP_TERMINAL_SMALL)
        return nullptr;
    Guard guard(state().lock);
    auto *object = new GdiObject{true, BrushKind::pattern, 0, id};
    state().gdi_live.insert(object);
    ++state().gdi_created;
    return reinterpret_cast<HBITMAP>(object);
}

HBRUSH CreatePatternBrush(HBITMAP bitmap) {
    Guard guard(state().lock);
    auto *from = reinterpret_cast<GdiObject *>(bitmap);
    if (from == nullptr || !state().gdi_live.count(from) || !from->is_bitmap) return nullptr;
    auto *object = new GdiObject{false, BrushKind::pattern, 0, from->bitmap_id};
    state().gdi_live.insert(object);
    ++state().gdi_created;
    return reinterpret_cast<HBRUSH>(object);
}

BOOL DeleteObject(HGDIOBJ handle) {
    Guard guard(state().lock);
    auto *object = static_cast<GdiObject *>(handle);
    if (!state().gdi_live.erase(object)) return 0;
    delete object;
    ++state().gdi_deleted;
    return 1;
}

int FillRect(HDC device, const RECT *rectangle, HBRUSH brush) {
    Guard guard(state().lock);
    auto *object = reinterpret_cast<GdiObject *>(brush);
    if (rectangle == nullptr || !state().gdi_live.count(object) || object->is_bitmap) return 0;
    state().fills.push_back({reinterpret_cast<OsWindow>(device), *rectangle, object->brush,
                             object->colour, object->bitmap_id});
    return 1;
}

LONG SetWindowLongA(HWND window, int index, LONG value) {
    Guard guard(state().lock);
    Window *w = as_window(window);
    if (w == nullptr || index != 0) return 0;
    LONG previous = w->extra;
    w->extra = value;
    return previous;
}

LONG GetWindowLongA(HWND window, int index) {
    Guard guard(state().lock);
    Window *w = as_window(window);
    return w && index == 0 ? w->extra : 0;
}

// --- Window classes and windows of the program ------------------------------------------------

uint16_t plat_register_class(const char *name, OsWindowProc procedure, uint32_t style,
                             int icon_id) {
    Guard guard(state().lock);
    State &s = state();
    if (name == nullptr || class_procedure(name) != nullptr) return 0; // already registered
    s.classes.push_back({lower(name), procedure});
    s.class_records.push_back({name, style, icon_id});
    return static_cast<uint16_t>(0xC000 + s.classes.size());
}

OsWindow plat_create_window(const char *window_class, const char *title, uint32_t style, int32_t x,
                            int32_t y, int32_t width, int32_t height, OsWindow parent, int id) {
    Window *w = nullptr;
    {
        Guard guard(state().lock);
        State &s = state();
        std::string name = lower(window_class ? window_class : "");
        OsWindowProc procedure = class_procedure(name);
        if (procedure == nullptr && name != "edit" && name != "static" && name != "button")
            return nullptr;
        auto created = std::make_unique<Window>();
        created->window_class = window_class;
        created->text = title ? title : "";
        created->style = style;
        created->id = id;
        created->window_procedure = procedure;
        created->visible = (style & WS_VISIBLE) != 0;
        if (x == CW_USEDEFAULT) x = y = 0;
        if (width == CW_USEDEFAULT) {
            width = 640;
            height = 480;
        }
        created->position.x = x;
        created->position.width = width;
        created->position.height = height;
        Window *p = as_window(parent);
        created->parent = p;
        created->position.y =
            flip_y(p ? p->position.height : sys_value(OS_SYS_SCREEN_HEIGHT), y, height);
        if (p) {
            p->children.push_back(std::move(created));
            w = p->children.back().get();
        } else {
            s.windows.push_back(std::move(created));
            w = s.windows.back().get();
            s.created_windows.push_back(w);
        }
    }
    if (w->window_procedure && deliver(w, WM_CREATE, 0, 0) == -1) {
        destroy(w);
        return nullptr;
    }
    return w;
}

intptr_t plat_send_message(OsWindow window, uint32_t message, uintptr_t first, intptr_t second) {
    Window *w = as_window(window);
    {
        Guard guard(state().lock);
        state().sent.push_back({window, message, first, second});
        if (w == nullptr || w->destroyed) return 0;
    }
    return deliver(w, message, first, second);
}

// --- Settings store, directory search, modules -----------------------------------------------

int os_IniMgr(OsIniRequest request, int store, const char *application, const char *key,
              char *buffer, uint32_t *length) {
    if (application == nullptr) return 0;
    Guard guard(state().lock);
    // The Uninstall store's entries live beside the settings, their names behind the store.
    std::string prefix = store == OS_INI_UNINSTALL_STORE ? "uninstall\n" : "";
    std::string entry = prefix + lower(application) + "\n";
    auto &settings = state().settings;
    if (request != OS_INI_READ && store != OS_INI_UNINSTALL_STORE) return 0;
    if (request == OS_INI_DELETE) {
        size_t removed = 0;
        for (auto it = settings.begin(); it != settings.end();)
            if (key ? it->first == entry + lower(key) : it->first.rfind(entry, 0) == 0) {
                it = settings.erase(it);
                ++removed;
            } else {
                ++it;
            }
        return removed > 0 ? 1 : 0;
    }
    if (key == nullptr) return 0;
    if (request == OS_INI_WRITE) {
        if (buffer == nullptr) return 0;
        settings[entry + lower(key)] = buffer;
        return 1;
    }
    auto found = settings.find(entry + lower(key));
    if (found == settings.end()) return 0;
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
        return deliver_entry(search, record) ? 0 : 1;
    }
    case OS_FIND_NEXT:
        if (search == nullptr) return 1;
        return deliver_entry(search, record) ? 0 : 1;
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
    Guard guard(state().lock);
    auto &modules = state().modules;
    auto found = std::find(modules.begin(), modules.end(), lower(name));
    return found == modules.end() ? nullptr : &*found;
}

void os_FreeModule(OsModule) {}
