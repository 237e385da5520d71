// The scenarios: SETUP.EXE copied into a folder of the scenario's own with the demo product,
// started, driven through its dialog and boxes, and the installation checked afterwards: the
// files against the archive's members, the documents and libraries, the option file's path
// settings, the start-menu folder and its shortcuts read from their bytes, the settings store,
// and what every box and the status line said.
#include "tests/installer/e2e/scenarios.h"

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include "installer/worker/worker.h"
#include "resources/main_dialog.h"
#include "tests/installer/e2e/automation.h"
#include "tests/installer/e2e/shortcut_file.h"
#include "tests/support/zip_builder.h"

namespace e2e {

namespace {

constexpr int WAIT_SECONDS = 60; // longer than any step takes: only a hang gets this far
constexpr int ENGLISH = 0, GERMAN = 1, FRENCH = 2;
constexpr const char *archive_names[3] = {"INSTALL.FIL", "INSTALLD.FIL", "INSTALLF.FIL"};
constexpr const char *language_names[3] = {"English", "German", "French"};
constexpr int VIEWER_TEXT_LIMIT = DOCUMENT_BUFFER_SIZE - 1;
constexpr int LABEL_WITHOUT_ID = 0xFFFF;

// --- Expected texts ---------------------------------------------------------------------------

// The catalogue stores its texts in the OEM code page 437; windows show them in 1252.
std::string oem_to_1252(const char *oem) {
    wchar_t wide[1024];
    int n = MultiByteToWideChar(437, 0, oem, -1, wide, 1024);
    char out[1024];
    if (n <= 0 || WideCharToMultiByte(1252, 0, wide, -1, out, sizeof out, nullptr, nullptr) <= 0)
        return "";
    return out;
}

std::string catalogue_text(CatalogueId id, int language) {
    return oem_to_1252(catalogue[id].text[language]);
}

std::string formatted(CatalogueId id, int language, const std::string &argument) {
    std::string format = catalogue_text(id, language);
    char out[1024];
    std::snprintf(out, sizeof out, format.c_str(), argument.c_str());
    return out;
}

std::string lower(std::string text) {
    for (char &c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return text;
}

bool same_path(const std::string &a, const std::string &b) {
    return lower(a) == lower(b);
}

// A file's path as the installer's questions and boxes name it: the folder as typed, then the
// engine's name of a member made on MS-DOS (as the demo archive's are): folded to lower case.
std::string windows_file(const std::string &folder, const std::string &member_name) {
    return folder + "\\" + lower(member_name);
}

// --- The program under test -------------------------------------------------------------------

struct Setup {
    Program program;
    HWND dialog = nullptr;
    int language = ENGLISH;
    HWND control(int id) const { return child(dialog, id); }
};

std::string folder_of_plan(const ScenarioPlan &plan, const char *name) {
    return plan.work + "\\" + name;
}

bool copy_into(const std::string &from_folder, const std::string &to_folder,
               const std::string &name, const std::string &new_name = "") {
    return CopyFileA((from_folder + "\\" + name).c_str(),
                     (to_folder + "\\" + (new_name.empty() ? name : new_name)).c_str(), FALSE) != 0;
}

// A folder holding SETUP.EXE, the documents and libraries and, unless `with_archive` is false,
// the product archive under the language's name.
std::string setup_folder(const ScenarioPlan &plan, const char *name, int language,
                         bool with_archive = true) {
    std::string folder = folder_of_plan(plan, name);
    remove_tree(folder);
    if (!make_folders(folder)) fatal("make the set-up folder " + folder);
    bool copied = copy_into(plan.distribution, folder, "SETUP.EXE");
    for (const DocumentFile &document : documentation_files)
        copied = copy_into(plan.distribution, folder, document.file_name) && copied;
    for (const char *library : runtime_files)
        copied = copy_into(plan.distribution, folder, library) && copied;
    if (with_archive)
        copied =
            copy_into(plan.distribution, folder, "INSTALL.FIL", archive_names[language]) && copied;
    if (!copied) fatal("copy the distribution from " + plan.distribution + " to " + folder);
    return folder;
}

std::string dialog_caption(int language) {
    return std::string(DIALOG_CAPTIONS[language]) + VERSION_SUFFIX;
}

// Starts SETUP.EXE from another folder than its own (as from a shortcut).
Program start_setup_program(const std::string &folder) {
    static Program program;
    // What the engine and the worker write to their standard streams, for a look afterwards.
    program = start_program(folder + "\\SETUP.EXE", "", "C:\\", folder + "\\SETUP.LOG");
    watch_program(&program);
    return program;
}

Setup start_setup(const std::string &folder, int language) {
    Setup setup;
    setup.language = language;
    setup.program = start_setup_program(folder);
    std::string caption = dialog_caption(language);
    setup.dialog = wait_for(
        [&]() -> HWND {
            for (HWND window : top_windows(setup.program.id, "#32770"))
                if (is_visible(window) && text_of(window) == caption) return window;
            return nullptr;
        },
        WAIT_SECONDS);
    if (setup.dialog == nullptr) {
        MessageBoxSeen box = wait_for_box(setup.program.id, nullptr, 1);
        fatal("the " + std::string(language_names[language]) + " dialog \"" + caption +
              "\" appears" + (box.window ? " (a box said: " + box.text + ")" : ""));
    }
    check(true, "the dialog \"" + caption + "\" appears");
    activate(setup.dialog); // as for a user who started it: the driver has no window
    return setup;
}

// The next box: checks its caption and text, answers it.
void expect_box(Setup &setup, const std::string &caption, const std::string &text, int answer) {
    MessageBoxSeen box = wait_for_box(setup.program.id, setup.dialog, WAIT_SECONDS);
    if (box.window == nullptr) fatal("a box \"" + printable(text) + "\" appears");
    note("box [" + box.caption + "] " + printable(box.text));
    bool caption_right = check_equal("box caption", caption, box.caption);
    bool text_right = check_equal("box text", text, box.text);
    if (!caption_right || !text_right) {
        // A box the scenario did not expect: say what came instead and stop there.
        answer_box(box, answer == IDOK ? IDOK : IDNO);
        fatal("the boxes of the scenario come in the expected order");
    }
    answer_box(box, answer);
}

void expect_box(Setup &setup, CatalogueId caption, CatalogueId text, int answer) {
    expect_box(setup, catalogue_text(caption, setup.language), catalogue_text(text, setup.language),
               answer);
}

// The end of the program with the exit code of its outcome (installed unless said otherwise).
void expect_end(Setup &setup, DWORD expected = SETUP_EXIT_INSTALLED) {
    DWORD code = 99;
    bool ended = wait_for_exit(setup.program, WAIT_SECONDS, &code);
    check(ended && code == expected, "SETUP.EXE ends with exit code " + std::to_string(expected),
          ended ? "exit code " + std::to_string(code) : "still running");
    if (!ended) fatal("SETUP.EXE ends");
    kill_program(setup.program);
}

// The dialog handled everything up to now (after a box: the handler that asked has returned).
void settle_dialog(const Setup &setup) {
    if (!settle(setup.dialog)) fatal("the dialog answers");
}

std::string field(const Setup &setup, int id) {
    return text_of(setup.control(id));
}

HWND labels_without_id(const Setup &setup, int index) {
    int seen = 0;
    for (HWND window = GetWindow(setup.dialog, GW_CHILD); window;
         window = GetWindow(window, GW_HWNDNEXT))
        if (GetDlgCtrlID(window) == LABEL_WITHOUT_ID && seen++ == index) return window;
    return nullptr;
}

// --- The dialog's look ------------------------------------------------------------------------

// The dialog's font as the dialog manager makes it from the template for this screen.
HFONT make_dialog_font() {
    HDC screen = GetDC(nullptr);
    int height = -MulDiv(DIALOG_FONT_POINTS, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    return CreateFontA(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0,
                       DIALOG_FONT_NAME);
}

// Every label and check box has room for its whole text in the dialog's font: a label breaks a
// text wider than itself at a blank and the rest falls below its one line; a check box needs
// its box and a gap of half a digit's width before the text.
void check_texts_fit(const Setup &setup) {
    HDC screen = GetDC(nullptr);
    HFONT font = make_dialog_font();
    HGDIOBJ old = SelectObject(screen, font);
    INT digit = 0;
    GetCharWidth32A(screen, '0', '0', &digit);
    int box_room = GetSystemMetrics(SM_CXMENUCHECK) + digit / 2;
    int unnamed = 0;
    for (const DialogControl &control : DIALOG_CONTROLS) {
        bool label = control.kind == DLG_LABEL || control.kind == DLG_RIGHT_LABEL;
        if (!label && control.kind != DLG_AUTO_CHECK) continue;
        HWND window =
            control.id < 0 ? labels_without_id(setup, unnamed++) : setup.control(control.id);
        std::string text = text_of(window);
        if (text.empty()) continue;
        RECT place = window_rect(window);
        SIZE size{};
        GetTextExtentPoint32A(screen, text.c_str(), static_cast<int>(text.size()), &size);
        int room = place.right - place.left - (label ? 0 : box_room);
        check(size.cx <= room, "\"" + text + "\" fits its " + (label ? "label" : "check box"),
              std::to_string(size.cx) + " pixels of text in " + std::to_string(room));
    }
    SelectObject(screen, old);
    DeleteObject(font);
    ReleaseDC(nullptr, screen);
}

// Every text of the template in the dialog's language, the caption and the pictures' places.
void check_dialog_texts(const Setup &setup) {
    int language = setup.language;
    check_equal("caption", dialog_caption(language), text_of(setup.dialog));
    int unnamed = 0;
    for (const DialogControl &control : DIALOG_CONTROLS) {
        if (control.kind == DLG_EDIT || control.kind == DLG_PICTURE ||
            control.kind == DLG_PROGRESS || control.id == CTRL_STATUS)
            continue;
        HWND window =
            control.id < 0 ? labels_without_id(setup, unnamed++) : setup.control(control.id);
        check_equal("text of control " + std::to_string(control.id), control.text[language],
                    window ? text_of(window) : "(no such control)");
    }
    // Both pictures hang from the top edge of check box 300, at the left of check box 304; the
    // large one shows when there are 210 pixels between the two boxes' top edges.
    RECT installed = window_rect(setup.control(CTRL_ALREADY_INSTALLED));
    RECT phone_book = window_rect(setup.control(CTRL_COPY_PHONEBOOK));
    bool large = phone_book.top - installed.top >= 210;
    HWND shown = setup.control(large ? CTRL_PICTURE_LARGE : CTRL_PICTURE_SMALL);
    HWND hidden = setup.control(large ? CTRL_PICTURE_SMALL : CTRL_PICTURE_LARGE);
    check(is_visible(shown) && !is_visible(hidden),
          std::string("only the ") + (large ? "large" : "small") + " picture shows");
    RECT picture = window_rect(shown);
    char seen[96];
    std::snprintf(seen, sizeof seen, "picture at %ld,%ld size %ldx%ld", picture.left, picture.top,
                  picture.right - picture.left, picture.bottom - picture.top);
    check(picture.left == phone_book.left && picture.top == installed.top &&
              picture.right - picture.left == (large ? 230 : 200) &&
              picture.bottom - picture.top == (large ? 210 : 180),
          "the picture hangs from check box 300 above check box 304", seen);
    check_texts_fit(setup);
}

// The state of a dialog without an existing installation, before anything was typed.
void check_fresh_dialog(const Setup &setup) {
    check(!is_checked(setup.control(CTRL_ALREADY_INSTALLED)), "\"already installed\" unchecked");
    check(!is_enabled(setup.control(CTRL_EXISTING_PATH)) &&
              !is_enabled(setup.control(CTRL_EXISTING_LABEL)),
          "existing path and its label disabled");
    for (int id : {CTRL_COPY_OPTIONS, CTRL_COPY_PHONEBOOK, CTRL_COPY_SCRIPTS})
        check(!is_enabled(setup.control(id)) && is_checked(setup.control(id)),
              "copy box " + std::to_string(id) + " checked and disabled");
    for (int id : {CTRL_EXISTING_PATH, CTRL_DESTINATION, CTRL_LOG_PATH, CTRL_OPTIONS_PATH,
                   CTRL_SCRIPT_PATH, CTRL_UPLOAD_PATH, CTRL_DOWNLOAD_PATH})
        check_equal("field " + std::to_string(id) + " empty", "", field(setup, id));
    check(focus_of(setup.program.main_thread) == setup.control(CTRL_DESTINATION),
          "the focus is on the destination field");
    check(is_enabled(setup.control(CTRL_INSTALL)), "Install enabled");
    check(window_value(setup.control(CTRL_PROGRESS)) == 0, "progress bar at 0");
    check_equal("status line", "", field(setup, CTRL_STATUS));
}

// --- Folders of an installation ---------------------------------------------------------------

struct Folders {
    std::string destination, log, options, script, upload, download;
};

Folders folders_below(const std::string &destination) {
    return {destination,
            destination + "\\LOG",
            destination + "\\OPTIONS",
            destination + "\\SCRIPT",
            destination + "\\UPLOAD",
            destination + "\\DOWNLOAD"};
}

// Types the destination and checks the five user folders derived from it.
void type_destination(Setup &setup, const Folders &folders) {
    type_text(setup.control(CTRL_DESTINATION), folders.destination);
    check_equal("destination field", folders.destination, field(setup, CTRL_DESTINATION));
    const std::pair<int, const std::string *> derived[] = {{CTRL_LOG_PATH, &folders.log},
                                                           {CTRL_OPTIONS_PATH, &folders.options},
                                                           {CTRL_SCRIPT_PATH, &folders.script},
                                                           {CTRL_UPLOAD_PATH, &folders.upload},
                                                           {CTRL_DOWNLOAD_PATH, &folders.download}};
    for (const auto &[id, folder] : derived)
        check_equal("derived field " + std::to_string(id), *folder, field(setup, id));
}

void save_picture(const ScenarioPlan &plan, const RECT &area, const char *name) {
    if (plan.pictures.empty()) return;
    Sleep(300); // the display shows what was painted
    std::string path = plan.pictures + "\\" + name + ".bmp";
    check(save_screen_area(area, path), std::string("screenshot ") + name);
}

// Waits until the worker has taken over (the Install button is disabled).
void wait_for_installation(Setup &setup) {
    if (!wait_until([&] { return !is_enabled(setup.control(CTRL_INSTALL)); }, WAIT_SECONDS))
        fatal("Install starts the installation (the button is disabled)");
    check(true, "Install disabled once the installation runs");
}

void start_installation(Setup &setup) {
    press(setup.control(CTRL_INSTALL));
    wait_for_installation(setup);
}

// Photographs the dialog while the worker is held part-way through the archive. Best effort:
// an installation that passes before the bar is caught part-lit is only noted.
void photograph_progress(const ScenarioPlan &plan, Setup &setup, const char *name) {
    if (plan.pictures.empty()) return;
    HWND bar = setup.control(CTRL_PROGRESS);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < WAIT_SECONDS * 1000u) {
        uint32_t position = window_value(bar);
        if (position >= 100 || has_exited(setup.program)) break;
        if (position == 0) {
            SwitchToThread();
            continue;
        }
        hold_threads(setup.program.id, setup.program.main_thread, true);
        position = window_value(bar);
        if (position > 0 && position < 100) {
            settle_dialog(setup);
            save_picture(plan, window_rect(setup.dialog), name);
            note("installation held at " + std::to_string(position) + "% for the screenshot");
        }
        hold_threads(setup.program.id, setup.program.main_thread, false);
        return;
    }
    note("the installation passed before the progress bar could be photographed part-lit");
}

// The boxes of a finished installation: the report, the backups note with the backups' paths,
// the note for ISDN users when an ISDN driver is there, and the question about the documents.
void expect_report(Setup &setup, bool backups, bool read_documents,
                   const std::vector<std::string> &backup_paths = {}) {
    MessageBoxSeen box = wait_for_box(setup.program.id, setup.dialog, WAIT_SECONDS);
    if (box.window) { // the worker's last words stand on the status line and the bar
        check_equal("status line at the end", catalogue_text(MSG_INSTALL_COMPLETE, setup.language),
                    field(setup, CTRL_STATUS));
        check(window_value(setup.control(CTRL_PROGRESS)) == 100, "progress bar at 100",
              std::to_string(window_value(setup.control(CTRL_PROGRESS))));
    }
    expect_box(setup, CAPTION_INFO, MSG_ALL_PROCESSED, IDOK);
    if (backups) { // the note, then where the backups are
        std::string text = catalogue_text(MSG_BACKUPS_MADE, setup.language) + "\r";
        for (const std::string &path : backup_paths) text += "\r" + path;
        expect_box(setup, catalogue_text(CAPTION_INFO, setup.language), text, IDOK);
    }
    if (HMODULE capi = LoadLibraryA("CAPI2032.DLL")) {
        FreeLibrary(capi);
        expect_box(setup, CAPTION_INFO, MSG_ISDN_NOTE, IDOK);
    }
    expect_box(setup, CAPTION_INFO, MSG_READ_DOCS, read_documents ? IDYES : IDNO);
}

// --- Checks of what was installed -------------------------------------------------------------

std::string read_or_empty(const std::string &path) {
    std::string data;
    if (!read_file(path, &data)) return "(missing)";
    return data;
}

// The archive's members as paths relative to the product folder, with backslashes.
void list_members(const std::string &folder, const std::string &prefix,
                  std::vector<std::string> *out) {
    for (const std::string &name : folder_names(folder)) {
        std::string path = folder + "\\" + name, relative = prefix + name;
        if (folder_exists(path))
            list_members(path, relative + "\\", out);
        else
            out->push_back(relative);
    }
}

// Where a member goes: its first folder chooses a user folder (its sub-folders kept); a member
// outside them lands in the destination without its folders.
std::string installed_path(const Folders &folders, const std::string &member) {
    size_t cut = member.find('\\');
    if (cut != std::string::npos) {
        std::string first = lower(member.substr(0, cut)), rest = member.substr(cut + 1);
        const std::pair<const char *, const std::string *> routes[] = {
            {"log", &folders.log},
            {"options", &folders.options},
            {"script", &folders.script},
            {"upload", &folders.upload},
            {"download", &folders.download}};
        for (const auto &[name, base] : routes)
            if (first == name) return *base + "\\" + rest;
    }
    size_t name = member.find_last_of('\\');
    return folders.destination + "\\" + member.substr(name == std::string::npos ? 0 : name + 1);
}

// Files whose content the scenario expects to differ from the archive's (kept or copied over).
using ExpectedContents = std::map<std::string, std::string>;

// Every member in its place with the archive's bytes, except the option file (checked with its
// rewritten paths), the placeholders that the setup deletes wherever they were routed, and the
// files of `kept`.
void check_members(const ScenarioPlan &plan, const Folders &folders,
                   const ExpectedContents &kept = {}) {
    std::vector<std::string> members;
    list_members(plan.product, "", &members);
    check(members.size() > 10, "the product holds its members",
          std::to_string(members.size()) + " members");
    int same = 0;
    for (const std::string &member : members) {
        std::string path = installed_path(folders, member);
        if (same_path(member, "OPTIONS\\STANDARD.QPA")) continue;
        if (lower(member).find("dummy.tmp") != std::string::npos) {
            check(!file_exists(path) && folder_exists(path.substr(0, path.rfind('\\'))),
                  "placeholder deleted where it was routed, its folder kept: " + path);
            continue;
        }
        auto expected = kept.find(path);
        std::string data = read_or_empty(path);
        if (expected != kept.end()) {
            check(data == expected->second, "kept or copied over: " + path, data.substr(0, 60));
            continue;
        }
        std::string original;
        read_file(plan.product + "\\" + member, &original);
        if (data == original)
            ++same;
        else
            check(false, "installed with the archive's bytes: " + path,
                  data == "(missing)" ? data : std::to_string(data.size()) + " bytes differ");
    }
    check(same > 0, std::to_string(same) + " members installed byte for byte");
}

// The documents and runtime libraries copied from beside the setup.
void check_copied_files(const ScenarioPlan &plan, const std::string &destination) {
    std::vector<std::string> names;
    for (const DocumentFile &document : documentation_files) names.push_back(document.file_name);
    for (const char *library : runtime_files) names.push_back(library);
    int same = 0;
    for (const std::string &name : names) {
        std::string original;
        read_file(plan.distribution + "\\" + name, &original);
        if (read_or_empty(destination + "\\" + name) == original)
            ++same;
        else
            check(false, "copied beside the program: " + name);
    }
    check(same == static_cast<int>(names.size()),
          std::to_string(same) + " documents and libraries copied beside the program");
}

// The text of a folder as the option file stores it: relative inside the destination.
std::string stored_folder(const std::string &folder, const std::string &destination) {
    if (folder.size() >= destination.size() &&
        same_path(folder.substr(0, destination.size()), destination)) {
        std::string rest = folder.substr(destination.size());
        if (rest.empty()) return rest;
        if (rest[0] == '\\') return rest.substr(1);
    }
    return folder;
}

std::vector<std::string> text_lines(const std::string &data) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : data) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back(); // written in text mode
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// The option file: `original` with its five folder settings rewritten for `folders`.
void check_path_settings(const Folders &folders, const std::string &original) {
    std::vector<std::string> expected = text_lines(original);
    const std::pair<const char *, const std::string *> keys[] = {
        {"DownloadPath", &folders.download},
        {"UploadPath", &folders.upload},
        {"CapturePath", &folders.log},
        {"ScriptPath", &folders.script},
        {"OptsPath", &folders.options}};
    for (size_t i = 1; i < expected.size(); ++i)
        for (const auto &[key, folder] : keys)
            if (lower(expected[i]).rfind(lower(key), 0) == 0) {
                expected[i] = expected[i].substr(0, std::strlen(key) + 2) +
                              stored_folder(*folder, folders.destination) + "\"";
                break;
            }
    std::vector<std::string> seen = text_lines(read_or_empty(folders.options + "\\STANDARD.QPA"));
    std::string want, got;
    for (const std::string &line : expected) want += line + "\n";
    for (const std::string &line : seen) got += line + "\n";
    check_equal("STANDARD.QPA with the folders rewritten", want, got);
}

std::string programs_folder() {
    char path[MAX_PATH] = "";
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PROGRAMS, nullptr, 0, path)))
        fatal("find the start menu's programs folder");
    return path;
}

std::string start_menu_folder(int language) {
    char name[MAX_PATH];
    std::snprintf(name, sizeof name, catalogue_text(TEXT_FOLDER_NAME, language).c_str(), " NT");
    return programs_folder() + "\\" + name;
}

void remove_start_menu_folders() {
    for (int language : {ENGLISH, GERMAN, FRENCH}) remove_tree(start_menu_folder(language));
}

std::string display_name(const ShortcutRow &row, int language) {
    std::string name = row.display_name[0] == '!'
                           ? catalogue_text(TEXT_ORDER_FROM, language) + (row.display_name + 1)
                           : row.display_name;
    if (name[0] >= 'a' && name[0] <= 'z') name[0] = static_cast<char>(name[0] - 32);
    return name;
}

// The start-menu folder in the user's language with a link per row: the product, one per
// document (through Notepad), one per reseller; each read from its bytes.
void check_shortcuts(const std::string &destination, int language) {
    std::string folder = start_menu_folder(language);
    if (!check(folder_exists(folder), "start-menu folder \"" + folder + "\"")) return;
    int links = 0;
    for (const ShortcutRow *row = shortcut_rows; row->display_name; ++row, ++links) {
        std::string name = display_name(*row, language);
        std::string bytes;
        if (!read_file(folder + "\\" + name + ".LNK", &bytes)) {
            check(false, "link " + name + ".LNK is there");
            continue;
        }
        ShortcutFile link = read_shortcut(bytes);
        if (!link.valid) {
            check(false, "link " + name + ".LNK reads", link.problem);
            continue;
        }
        // The product's own program, or Notepad found on the search path.
        std::string target =
            row->target[0] == '!' ? destination + "\\" + (row->target + 1) : link.target;
        std::string found = lower(link.target);
        bool notepad = found.size() > 12 && found.substr(found.size() - 12) == "\\notepad.exe";
        std::string icon = row->icon_file[0] ? destination + "\\" + row->icon_file : "";
        bool right = link.target == target && (row->target[0] == '!' || notepad) &&
                     file_exists(link.target) && link.arguments == row->arguments &&
                     link.working_folder == destination && link.description == name &&
                     link.icon_location == icon && (icon.empty() || file_exists(icon));
        check(right,
              "link " + name + ".LNK: " + link.target +
                  (link.arguments.empty() ? "" : " " + link.arguments) + ", in " +
                  link.working_folder + (icon.empty() ? "" : ", icon " + link.icon_location),
              right ? ""
                    : "expected " + target + " " + row->arguments + ", in " + destination +
                          ", icon \"" + icon + "\", description \"" + name + "\" (saw \"" +
                          link.description + "\")");
    }
    check(folder_names(folder).size() == static_cast<size_t>(links),
          std::to_string(links) + " links and nothing else in the start-menu folder",
          std::to_string(folder_names(folder).size()) + " entries");
}

std::string home_path_setting() {
    char value[MAX_PATH] = "";
    GetProfileStringA(HOME_APPLICATION, HOME_KEY, "(none)", value, sizeof value);
    return value;
}

void set_home_path(const char *value) {
    WriteProfileStringA(HOME_APPLICATION, HOME_KEY, value);
    WriteProfileStringA(nullptr, nullptr, nullptr); // writes the profile out
}

// Removes the setting. Wine does not find a key to delete in a section whose name ends with a
// blank, as "Quelvator " does, so the section is also taken out of WIN.INI's text.
void clear_home_path() {
    set_home_path(nullptr);
    if (home_path_setting() == "(none)") return;
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, sizeof windows);
    std::string path = std::string(windows) + "\\win.ini", text, kept;
    read_file(path, &text);
    bool inside = false;
    for (const std::string &line : text_lines(text)) {
        if (!line.empty() && line[0] == '[')
            inside = line == "[" + std::string(HOME_APPLICATION) + "]";
        if (!inside) kept += line + "\r\n";
    }
    write_file(path, kept);
    if (home_path_setting() != "(none)") fatal("remove the HomePath setting from WIN.INI");
}

constexpr char REMOVAL_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QEL";

// A value of the product's entry in the user's Uninstall key; "(none)" when it is not there.
std::string removal_entry(const char *value) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, REMOVAL_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "(none)";
    char data[2 * MAX_PATH] = "";
    DWORD size = sizeof data - 1, type = 0;
    LONG read = RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE *>(data), &size);
    RegCloseKey(key);
    return read == ERROR_SUCCESS && type == REG_SZ ? data : "(none)";
}

// What a run that installed nothing leaves: no destination, no start-menu folder in any
// language, the settings store as it was, no entry for removal.
void check_nothing_installed(const std::string &destination) {
    check(!folder_exists(destination), "nothing installed in " + destination);
    check_equal("no entry for removal", "(none)", removal_entry("DisplayName"));
    for (int language : {ENGLISH, GERMAN, FRENCH})
        check(!folder_exists(start_menu_folder(language)),
              std::string("no ") + language_names[language] + " start-menu folder");
    check_equal("settings store untouched", "(none)", home_path_setting());
}

// --- The document viewer ----------------------------------------------------------------------

// Seven cascaded text windows with the documents' first 16,383 bytes, README.DOC on top;
// closing them in any order ends SETUP.EXE with the last.
void check_document_viewer(const ScenarioPlan &plan, Setup &setup, const std::string &folder) {
    std::vector<HWND> windows;
    wait_until(
        [&] {
            windows = top_windows(setup.program.id, "ShowTextWindow");
            return windows.size() == DOCUMENT_COUNT;
        },
        WAIT_SECONDS);
    if (!check(windows.size() == DOCUMENT_COUNT, "seven document windows open",
               std::to_string(windows.size())))
        fatal("the document viewer shows the documents");
    settle(windows[0]);
    check_equal("the top window", "README.DOC", text_of(windows[0]));
    std::map<std::string, HWND> by_title;
    for (HWND window : windows) by_title[text_of(window)] = window;
    RECT previous{};
    int step = 0;
    for (int n = 0; n < DOCUMENT_COUNT; ++n) {
        const char *name = documentation_files[n].file_name;
        auto found = by_title.find(name);
        if (!check(found != by_title.end(), std::string("a window titled ") + name)) continue;
        std::string original;
        read_file(folder + "\\" + name, &original);
        original = original.substr(0, VIEWER_TEXT_LIMIT);
        HWND text = child(found->second, TEXT_FIELD_ID);
        check(text && text_of(text) == original, std::string(name) + " shown in full",
              text ? text_of(text).substr(0, 40) : "no text field");
        RECT place = window_rect(found->second);
        if (n == 1) step = place.left - previous.left;
        if (n >= 1)
            check(step > 0 && place.left - previous.left == step &&
                      place.top - previous.top == step,
                  std::string(name) + " cascades one step below and right of the one before");
        previous = place;
    }
    check(IsWindow(setup.dialog) && !is_enabled(setup.control(CTRL_INSTALL)),
          "the dialog stays, Install disabled, while documents are open");
    click(setup.control(CTRL_CANCEL));
    settle_dialog(setup);
    check(IsWindow(setup.dialog) && top_windows(setup.program.id, "ShowTextWindow").size() ==
                                        static_cast<size_t>(DOCUMENT_COUNT),
          "Cancel while documents are open ends nothing");
    if (!plan.pictures.empty()) {
        activate(windows[0]);
        RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        save_picture(plan, screen, "setup-documents");
    }
    // Closing: the middle first, the top one last but one, the first one last.
    const int order[DOCUMENT_COUNT] = {3, 1, 4, 6, 2, 5, 0};
    for (int i = 0; i < DOCUMENT_COUNT; ++i) {
        HWND window = by_title[documentation_files[order[i]].file_name];
        close_window(window);
        wait_until([&] { return !IsWindow(window); }, WAIT_SECONDS);
        if (i < DOCUMENT_COUNT - 1) {
            settle(setup.dialog);
            check(!has_exited(setup.program) && IsWindow(setup.dialog),
                  std::string("SETUP.EXE runs on after closing ") +
                      documentation_files[order[i]].file_name);
        }
    }
    expect_end(setup);
}

// --- The installed program --------------------------------------------------------------------

// Starts a link's target the way the shell would and reads what the demo program says.
void check_product_runs(const std::string &link_path, const std::string &expected_line) {
    std::string bytes;
    read_file(link_path, &bytes);
    ShortcutFile link = read_shortcut(bytes);
    if (!check(link.valid, "the product's link reads", link.problem)) return;
    Program product = start_program(link.target, link.arguments, link.working_folder);
    HWND window = wait_for(
        [&]() -> HWND {
            for (HWND w : top_windows(product.id, "QelDemoTerminal"))
                if (is_visible(w)) return w;
            return nullptr;
        },
        WAIT_SECONDS);
    std::string text = window ? text_of(child(window, 100)) : "";
    check(window != nullptr && text.find(expected_line) != std::string::npos,
          "QEL.EXE started from its link says \"" + expected_line + "\"", text);
    for (const char *library : runtime_files)
        check(text.find(std::string(library) + " - ") != std::string::npos &&
                  text.find("(demo stand-in)") != std::string::npos,
              std::string("QEL.EXE found ") + library + " beside it");
    if (window) close_window(window);
    DWORD code = 0;
    check(wait_for_exit(product, WAIT_SECONDS, &code), "QEL.EXE ends when closed");
    kill_program(product);
}

// --- Scenarios --------------------------------------------------------------------------------

std::string destination_of(const ScenarioPlan &plan) {
    return plan.destination.empty() ? plan.work + "\\QEL" : plan.destination;
}

void begin(const ScenarioPlan &plan) {
    remove_tree(plan.work);
    if (!plan.destination.empty()) remove_tree(plan.destination);
    if (!make_folders(plan.work)) fatal("make the scenario's folder " + plan.work);
    if (!plan.pictures.empty()) make_folders(plan.pictures);
    remove_start_menu_folders();
    clear_home_path();
    RegDeleteKeyA(HKEY_CURRENT_USER, REMOVAL_KEY);
}

// The start of a fresh run: SETUP.EXE copied with the archive of the language and started, its
// dialog checked as it first shows, the destination typed in.
Setup start_fresh(const ScenarioPlan &plan, int language, const Folders &folders,
                  std::string *setup_folder_out) {
    begin(plan);
    *setup_folder_out = setup_folder(plan, "SETUP", language);
    Setup setup = start_setup(*setup_folder_out, language);
    check_dialog_texts(setup);
    check_fresh_dialog(setup);
    type_destination(setup, folders);
    return setup;
}

// The setup's copy and the install record in the destination, and the entry for removal that
// starts that copy.
void check_removal_entry(const ScenarioPlan &plan, const std::string &destination) {
    std::string setup, copy;
    read_file(plan.distribution + "\\SETUP.EXE", &setup);
    check(read_or_empty(destination + "\\SETUP.EXE") == setup, "the setup copied beside it");
    check(file_exists(destination + "\\" + INSTALL_RECORD_NAME), "the install record written");
    check_equal("entry for removal: name", "QEL terminal", removal_entry("DisplayName"));
    check_equal("entry for removal: version", "3.10", removal_entry("DisplayVersion"));
    check_equal("entry for removal: publisher", "QEL Software", removal_entry("Publisher"));
    check_equal("entry for removal: location", destination, removal_entry("InstallLocation"));
    check_equal("entry for removal: command", "\"" + destination + "\\SETUP.EXE\" /UNINSTALL",
                removal_entry("UninstallString"));
}

// A finished installation: the archive's members (with the archive's option file rewritten),
// the documents and libraries, the start-menu folder and the settings store untouched, the entry
// for removal.
void check_installation(const ScenarioPlan &plan, const Folders &folders, int language) {
    check_members(plan, folders);
    check_copied_files(plan, folders.destination);
    std::string original;
    read_file(plan.product + "\\OPTIONS\\STANDARD.QPA", &original);
    check_path_settings(folders, original);
    check_shortcuts(folders.destination, language);
    check_equal("settings store untouched", "(none)", home_path_setting());
    check_removal_entry(plan, folders.destination);
}

// A fresh English installation, a log folder of the user's choice outside it, the report, all
// seven documents in the viewer, and the installed program started from its links.
void fresh_english(const ScenarioPlan &plan) {
    Folders folders = folders_below(destination_of(plan));
    std::string folder;
    Setup setup = start_fresh(plan, ENGLISH, folders, &folder);
    // A log folder the user picked outside the destination.
    folders.log = folders.destination + "-LOGS";
    remove_tree(folders.log);
    type_text(setup.control(CTRL_LOG_PATH), folders.log);
    for (int id : {CTRL_COPY_OPTIONS, CTRL_COPY_PHONEBOOK, CTRL_COPY_SCRIPTS})
        check(!is_enabled(setup.control(id)),
              "copy box " + std::to_string(id) + " stays disabled without an installation");
    save_picture(plan, window_rect(setup.dialog), "setup-english");

    start_installation(setup);
    photograph_progress(plan, setup, "setup-installing");
    expect_report(setup, false, true);
    check_document_viewer(plan, setup, folder);

    check_installation(plan, folders, ENGLISH);
    std::string links = start_menu_folder(ENGLISH);
    check_product_runs(links + "\\QEL.LNK", "Program folder: " + folders.destination);
    check_product_runs(links + "\\" + display_name(shortcut_rows[1 + DOCUMENT_COUNT + 2], ENGLISH) +
                           ".LNK",
                       "please order QEL from Modem Express");
}

// German or French: the dialog's and the boxes' texts with their accents, the folder named in
// the language.
void other_language(const ScenarioPlan &plan, int language) {
    Folders folders = folders_below(destination_of(plan));
    std::string folder;
    Setup setup = start_fresh(plan, language, folders, &folder);
    save_picture(plan, window_rect(setup.dialog),
                 language == GERMAN ? "setup-german" : "setup-french");
    start_installation(setup);
    expect_report(setup, false, false);
    expect_end(setup);
    check_installation(plan, folders, language);
    check(!folder_exists(start_menu_folder(ENGLISH)), "no English start-menu folder");
    // The folder's name as Windows stores it, compared in UTF-16.
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(1252, 0, start_menu_folder(language).c_str(), -1, wide, MAX_PATH);
    std::wstring expected_tail =
        language == GERMAN ? L"\\QEL f\u00fcr Windows NT" : L"\\QEL sous Windows NT";
    std::wstring path = wide;
    check(path.size() > expected_tail.size() &&
              path.compare(path.size() - expected_tail.size(), expected_tail.size(),
                           expected_tail) == 0 &&
              GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES,
          std::string("the start-menu folder is named in ") + language_names[language]);
}

void german(const ScenarioPlan &plan) {
    other_language(plan, GERMAN);
}

void french(const ScenarioPlan &plan) {
    other_language(plan, FRENCH);
}

// Installs again over an installation whose phone book, scripts and option files the user
// changed: one question for all option files, one per protected file; what is overwritten is
// backed up first, a file answered No is kept; files of earlier releases are deleted. The
// destination's name has an accented letter and a blank, which the fields, the questions and
// the links keep as typed.
void second_install(const ScenarioPlan &plan) {
    begin(plan);
    std::string folder = setup_folder(plan, "SETUP", ENGLISH);
    Folders folders = folders_below(plan.work + "\\QEL B\xFCro"); // "QEL Büro" in code page 1252
    {
        Setup first = start_setup(folder, ENGLISH);
        type_destination(first, folders);
        start_installation(first);
        expect_report(first, false, false);
        expect_end(first);
    }
    // The user's own changes, and leftovers of an earlier release.
    const std::string phone_book = "my own phone book\r\nHome;0471 9999;33600;ANSI-BBS;\r\n";
    const std::string event_script = "/* my event script */\r\nreturn 0\r\n";
    const std::string transfer_script = "/* my transfer script */\r\nreturn 0\r\n";
    const std::string options = "QPA3.10\nPort=\"COM4\"\nOptsPath=\"OPTIONS\"\n";
    const std::string keys = "QKY3.10\nF1=My help\n";
    std::string toolbar = read_or_empty(folders.options + "\\STANDARD.QTB");
    bool written = write_file(folders.destination + "\\PHONEBK", phone_book) &&
                   write_file(folders.script + "\\QELEVENT.QRX", event_script) &&
                   write_file(folders.script + "\\QELXFER.QRX", transfer_script) &&
                   write_file(folders.options + "\\STANDARD.QPA", options) &&
                   write_file(folders.options + "\\STANDARD.QKY", keys) &&
                   write_file(folders.destination + "\\QEL.HLP", "old help") &&
                   make_folders(folders.destination + "\\script\\demo") &&
                   write_file(folders.destination + "\\script\\demo\\login.cmd", "old sample");
    if (!written) fatal("change the first installation's files");

    Setup setup = start_setup(folder, ENGLISH);
    type_destination(setup, folders);
    start_installation(setup);
    expect_box(setup, CAPTION_INFO, MSG_OVERWRITE_OPTIONS, IDYES);
    const std::pair<std::string, int> questions[] = {
        {windows_file(folders.destination, "PHONEBK"), IDNO},
        {windows_file(folders.script, "QELEVENT.QRX"), IDYES},
        {windows_file(folders.script, "QELXFER.QRX"), IDNO}};
    for (const auto &[path, answer] : questions)
        expect_box(setup, catalogue_text(CAPTION_INFO, ENGLISH),
                   formatted(MSG_OVERWRITE_FILE, ENGLISH, path), answer);
    expect_report(setup, true, false,
                  {windows_file(folders.options, "STANDARD.0PA"),
                   windows_file(folders.options, "STANDARD.0KY"),
                   windows_file(folders.options, "STANDARD.0TB"),
                   windows_file(folders.script, "QELEVENT.0RX")});
    expect_end(setup);

    check_members(plan, folders,
                  {{folders.destination + "\\PHONEBK", phone_book},
                   {folders.script + "\\QELXFER.QRX", transfer_script}});
    const std::pair<std::string, std::string> backups[] = {
        {folders.script + "\\QELEVENT.0RX", event_script},
        {folders.options + "\\STANDARD.0PA", options},
        {folders.options + "\\STANDARD.0KY", keys},
        {folders.options + "\\STANDARD.0TB", toolbar}};
    for (const auto &[path, data] : backups)
        check(read_or_empty(path) == data, "backup made before the overwrite: " + path);
    for (const std::string &path :
         {folders.destination + "\\PHONEB0", folders.script + "\\QELXFER.0RX"})
        check(!file_exists(path), "no backup of a file answered No: " + path);
    std::string original;
    read_file(plan.product + "\\OPTIONS\\STANDARD.QPA", &original);
    check_path_settings(folders, original);
    check(!file_exists(folders.destination + "\\QEL.HLP") &&
              !folder_exists(folders.destination + "\\script\\demo"),
          "files of earlier releases deleted");
    check_shortcuts(folders.destination, ENGLISH);
    check_equal("settings store untouched", "(none)", home_path_setting());
}

// Cancel before the installation, by the button and by the close box: the program ends at
// once, without a question, and installs nothing. With INSTALL.FIL and INSTALLD.FIL both
// there, English is chosen.
void cancel_before(const ScenarioPlan &plan) {
    begin(plan);
    std::string folder = setup_folder(plan, "SETUP", ENGLISH);
    copy_into(plan.distribution, folder, "INSTALL.FIL", "INSTALLD.FIL");
    Folders folders = folders_below(destination_of(plan));
    for (bool close_box : {false, true}) {
        Setup setup = start_setup(folder, ENGLISH);
        type_destination(setup, folders);
        if (close_box)
            close_window(setup.dialog);
        else
            click(setup.control(CTRL_CANCEL));
        expect_end(setup, SETUP_EXIT_CANCELLED_BEFORE);
        note(std::string("after ") + (close_box ? "the close box:" : "Cancel:"));
        check_nothing_installed(folders.destination);
    }
}

// Cancel during the installation: while the worker asks about the user's phone book, Cancel is
// pressed; the member is answered, the worker stops after it and says so, the program ends
// without the document question. Meanwhile the progress bar stands part-way.
void cancel_during(const ScenarioPlan &plan) {
    begin(plan);
    std::string folder = setup_folder(plan, "SETUP", ENGLISH);
    Folders folders = folders_below(destination_of(plan));
    const std::string phone_book = "my own phone book\r\n";
    if (!make_folders(folders.destination) ||
        !write_file(folders.destination + "\\PHONEBK", phone_book))
        fatal("make the user's phone book");

    Setup setup = start_setup(folder, ENGLISH);
    type_destination(setup, folders);
    start_installation(setup);
    MessageBoxSeen box = wait_for_box(setup.program.id, setup.dialog, WAIT_SECONDS);
    if (box.window == nullptr) fatal("the question about the phone book appears");
    check_equal(
        "question",
        formatted(MSG_OVERWRITE_FILE, ENGLISH, windows_file(folders.destination, "PHONEBK")),
        box.text);
    check_equal("status line during the installation", "phonebk", field(setup, CTRL_STATUS));
    uint32_t position = window_value(setup.control(CTRL_PROGRESS));
    check(position > 0 && position < 100, "the progress bar stands part-way",
          std::to_string(position));
    if (!plan.pictures.empty()) {
        RECT dialog = window_rect(setup.dialog);
        move_window(box.window, dialog.left, dialog.bottom + 8); // out of the picture
        settle_dialog(setup);
        save_picture(plan, dialog, "setup-question");
    }
    click(setup.control(CTRL_CANCEL)); // its handler returns at once: nothing to wait for
    settle_dialog(setup);
    check(IsWindow(setup.dialog) && !has_exited(setup.program),
          "Cancel during the installation waits for the worker");
    answer_box(box, IDNO);
    expect_box(setup, catalogue_text(CAPTION_INFO, ENGLISH),
               catalogue_text(MSG_INSTALL_ABORTED, ENGLISH) + "\r\r" +
                   catalogue_text(MSG_INSTALL_UNDONE, ENGLISH),
               IDOK);
    expect_end(setup, SETUP_EXIT_CANCELLED_DURING);

    // The members extracted before the cancel and their folders are gone again.
    check(folder_names(folders.destination) == std::vector<std::string>{"PHONEBK"},
          "the destination holds only what was there before");
    check_equal("the user's phone book kept", phone_book,
                read_or_empty(folders.destination + "\\PHONEBK"));
    check(!folder_exists(start_menu_folder(ENGLISH)), "no start-menu folder");
    check_equal("settings store untouched", "(none)", home_path_setting());
    check_equal("no entry for removal", "(none)", removal_entry("DisplayName"));
}

// No archive beside the program: an English error box, no dialog, exit code 1.
void no_archive(const ScenarioPlan &plan) {
    begin(plan);
    std::string folder = setup_folder(plan, "SETUP", ENGLISH, false);
    Setup setup;
    setup.program = start_setup_program(folder);
    expect_box(setup, "Error", "Sorry, no files to install!", IDOK);
    check(top_windows(setup.program.id, "#32770").empty(), "no dialog");
    expect_end(setup, SETUP_EXIT_NOT_STARTED);
    check_nothing_installed(destination_of(plan));
}

// Each empty field in turn: its message, the focus on it, nothing started; the fields are
// checked in their order, so that every earlier one is filled.
void empty_fields(const ScenarioPlan &plan) {
    begin(plan);
    std::string folder = setup_folder(plan, "SETUP", ENGLISH);
    Setup setup = start_setup(folder, ENGLISH);
    Folders folders = folders_below(destination_of(plan));
    const std::pair<int, CatalogueId> fields[] = {
        {CTRL_DESTINATION, MSG_DEST_EMPTY},     {CTRL_LOG_PATH, MSG_LOG_EMPTY},
        {CTRL_OPTIONS_PATH, MSG_OPTIONS_EMPTY}, {CTRL_SCRIPT_PATH, MSG_SCRIPT_EMPTY},
        {CTRL_UPLOAD_PATH, MSG_UPLOAD_EMPTY},   {CTRL_DOWNLOAD_PATH, MSG_DOWNLOAD_EMPTY}};
    for (const auto &[id, message] : fields) {
        type_destination(setup, folders);
        set_text(setup.control(id), "");
        press(setup.control(CTRL_INSTALL));
        expect_box(setup, CAPTION_INFO, message, IDOK);
        settle_dialog(setup);
        check(focus_of(setup.program.main_thread) == setup.control(id),
              "the focus is on the empty field " + std::to_string(id));
        check(is_enabled(setup.control(CTRL_INSTALL)), "Install stays enabled");
    }
    press(setup.control(CTRL_CANCEL));
    expect_end(setup, SETUP_EXIT_CANCELLED_BEFORE);
    check_nothing_installed(folders.destination);
}

// An existing installation of a beta release, recorded in the settings store: the dialog shows
// it, Install asks the beta question; No changes nothing; into a new folder with Yes, the
// options, scripts and phone book are carried over with the old names converted.
void beta_existing(const ScenarioPlan &plan) {
    begin(plan);
    std::string old_folder = plan.work + "\\OldQel";
    const std::string old_options = "QPA2.55\nDownloadPath=\"DOWNLOAD\"\nUploadPath=\"UPLOAD\"\n"
                                    "CapturePath=\"LOG\"\nScriptPath=\"SCRIPT\"\n"
                                    "OptsPath=\"OPTIONS\"\nPort=\"COM1\"\n";
    const std::string old_settings = "old standard settings\r\n";
    const std::string old_keys = "old key bindings\r\n";
    const std::string old_event = "/* old event script */\r\n";
    const std::string old_login = "/* my own login script */\r\n";
    const std::string old_phone_book = "old phone book\r\n";
    bool made = make_folders(old_folder + "\\OPTIONS") && make_folders(old_folder + "\\SCRIPT") &&
                write_file(old_folder + "\\OPTIONS\\STANDARD.QPA", old_options) &&
                write_file(old_folder + "\\OPTIONS\\STANDARD", old_settings) &&
                write_file(old_folder + "\\OPTIONS\\QEL.KEY", old_keys) &&
                write_file(old_folder + "\\SCRIPT\\QELEVENT.CMD", old_event) &&
                write_file(old_folder + "\\SCRIPT\\MYLOGIN.QRX", old_login) &&
                write_file(old_folder + "\\PHONEBK", old_phone_book);
    if (!made) fatal("make the beta installation");
    set_home_path(old_folder.c_str());
    check_equal("settings store holds the beta installation", old_folder, home_path_setting());

    std::string folder = setup_folder(plan, "SETUP", ENGLISH);
    Setup setup = start_setup(folder, ENGLISH);
    std::string shown = lower(old_folder);
    check(is_checked(setup.control(CTRL_ALREADY_INSTALLED)), "\"already installed\" checked");
    check(is_enabled(setup.control(CTRL_EXISTING_PATH)), "existing path enabled");
    check_equal("existing path in lower case", shown, field(setup, CTRL_EXISTING_PATH));
    check_equal("destination follows it", shown, field(setup, CTRL_DESTINATION));
    check_equal("options folder of the old installation", shown + "\\OPTIONS",
                field(setup, CTRL_OPTIONS_PATH));
    for (int id : {CTRL_COPY_OPTIONS, CTRL_COPY_PHONEBOOK, CTRL_COPY_SCRIPTS})
        check(!is_enabled(setup.control(id)),
              "copy box " + std::to_string(id) + " disabled while the paths are the same");

    press(setup.control(CTRL_INSTALL));
    expect_box(setup, CAPTION_INFO, MSG_UPGRADE_FROM_BETA, IDNO);
    settle_dialog(setup);
    check(is_enabled(setup.control(CTRL_INSTALL)) && IsWindow(setup.dialog),
          "No to the beta question leaves the dialog as it was");
    check(!file_exists(old_folder + "\\QEL.EXE"), "nothing installed after No");

    Folders folders = folders_below(plan.work + "\\NewQel");
    type_destination(setup, folders);
    for (int id : {CTRL_COPY_OPTIONS, CTRL_COPY_PHONEBOOK, CTRL_COPY_SCRIPTS})
        check(is_enabled(setup.control(id)) && is_checked(setup.control(id)),
              "copy box " + std::to_string(id) + " enabled for another destination");
    press(setup.control(CTRL_INSTALL));
    expect_box(setup, CAPTION_INFO, MSG_UPGRADE_FROM_BETA, IDYES);
    wait_for_installation(setup);
    expect_report(setup, false, false);
    expect_end(setup);

    check_members(plan, folders,
                  {{folders.destination + "\\PHONEBK", old_phone_book},
                   {folders.options + "\\STANDARD.QKY", old_keys},
                   {folders.script + "\\QELEVENT.QRX", old_event}});
    check_equal("old STANDARD converted to STANDARD.QEL", old_settings,
                read_or_empty(folders.options + "\\STANDARD.QEL"));
    check_equal("own script carried over", old_login,
                read_or_empty(folders.script + "\\MYLOGIN.QRX"));
    check_path_settings(folders, old_options);
    check_equal("the old installation untouched", old_options,
                read_or_empty(old_folder + "\\OPTIONS\\STANDARD.QPA"));
    check_equal("settings store untouched", old_folder, home_path_setting());
    check_shortcuts(folders.destination, ENGLISH);
    clear_home_path();
}

// Floppy drives are refused: a destination or existing path on A: or B: empties the fields,
// and Install then only says that the destination is empty.
void floppy_refused(const ScenarioPlan &plan) {
    begin(plan);
    std::string folder = setup_folder(plan, "SETUP", ENGLISH);
    Setup setup = start_setup(folder, ENGLISH);
    for (const char *entry : {"A:\\QEL", "b:\\qel", "a:x"}) {
        set_text(setup.control(CTRL_DESTINATION), entry);
        check_equal(std::string("destination ") + entry + " refused", "",
                    field(setup, CTRL_DESTINATION));
        check_equal("no log folder derived", "", field(setup, CTRL_LOG_PATH));
    }
    click(setup.control(CTRL_ALREADY_INSTALLED));
    check(is_checked(setup.control(CTRL_ALREADY_INSTALLED)) &&
              is_enabled(setup.control(CTRL_EXISTING_PATH)),
          "existing path enabled when checked");
    type_text(setup.control(CTRL_DESTINATION), plan.work + "\\QEL");
    set_text(setup.control(CTRL_EXISTING_PATH), "A:\\OLDQEL");
    check_equal("existing path on A: refused", "", field(setup, CTRL_EXISTING_PATH));
    check_equal("and the destination emptied with it", "", field(setup, CTRL_DESTINATION));
    press(setup.control(CTRL_INSTALL));
    expect_box(setup, CAPTION_INFO, MSG_DEST_EMPTY, IDOK);
    press(setup.control(CTRL_CANCEL));
    expect_end(setup, SETUP_EXIT_CANCELLED_BEFORE);
    check_nothing_installed(plan.work + "\\QEL");
}

// Entries of three characters that name a drive or its root are completed, the root against the
// program's own folder, which the setup makes its current folder whatever folder it was started
// from; entries relative to that folder stay as typed.
void short_entries(const ScenarioPlan &plan) {
    begin(plan);
    std::string folder = setup_folder(plan, "SETUP", ENGLISH);
    Setup setup = start_setup(folder, ENGLISH);
    const std::pair<const char *, std::string> entries[] = {
        {"c:x", "c:\\x"}, {"\\ab", "C:\\ab"}, {"..\\", "..\\"}, {"qel", "qel"}};
    for (const auto &[entry, completed] : entries) {
        set_text(setup.control(CTRL_DESTINATION), entry);
        check_equal(std::string("destination \"") + entry + "\" completed", completed,
                    field(setup, CTRL_DESTINATION));
        std::string separator = completed.back() == '\\' ? "" : "\\";
        check_equal("its log folder", completed + separator + "LOG", field(setup, CTRL_LOG_PATH));
    }
    click(setup.control(CTRL_ALREADY_INSTALLED));
    set_text(setup.control(CTRL_EXISTING_PATH), "c:y");
    check_equal("existing path \"c:y\" completed", "c:\\y", field(setup, CTRL_EXISTING_PATH));
    click(setup.control(CTRL_CANCEL));
    expect_end(setup, SETUP_EXIT_CANCELLED_BEFORE);
    check_nothing_installed("c:\\x");
}

// The viewer's limits: a document longer than 16,383 bytes shows its beginning; documents that
// are not beside the setup are neither copied nor shown, and without any the program ends at
// once after the question.
void document_limits(const ScenarioPlan &plan) {
    begin(plan);
    std::string folder = setup_folder(plan, "SETUP", ENGLISH);
    for (const DocumentFile &document : documentation_files)
        remove_tree(folder + "\\" + document.file_name);
    std::string long_document;
    for (int line = 0; long_document.size() < 20000; ++line)
        long_document += "Line " + std::to_string(line) + " of a long README.DOC\r\n";
    long_document.resize(20000);
    if (!write_file(folder + "\\README.DOC", long_document)) fatal("write a long README.DOC");
    Folders folders = folders_below(destination_of(plan));

    Setup setup = start_setup(folder, ENGLISH);
    type_destination(setup, folders);
    start_installation(setup);
    expect_report(setup, false, true);
    std::vector<HWND> windows;
    wait_until(
        [&] {
            windows = top_windows(setup.program.id, "ShowTextWindow");
            return !windows.empty();
        },
        WAIT_SECONDS);
    settle_dialog(setup);
    windows = top_windows(setup.program.id, "ShowTextWindow");
    if (!check(windows.size() == 1, "one document window", std::to_string(windows.size())))
        fatal("the viewer shows README.DOC alone");
    check_equal("its title", "README.DOC", text_of(windows[0]));
    std::string shown = text_of(child(windows[0], TEXT_FIELD_ID));
    check(shown == long_document.substr(0, VIEWER_TEXT_LIMIT),
          "the first 16,383 bytes of 20,000 shown", std::to_string(shown.size()) + " bytes");
    close_window(windows[0]);
    expect_end(setup);
    check_equal("README.DOC copied whole", long_document,
                read_or_empty(folders.destination + "\\README.DOC"));
    check(!file_exists(folders.destination + "\\PROBLEMS.DOC"),
          "a document not beside the setup is not copied");

    // Again, without any document: Yes to the question ends the program at once.
    remove_tree(folder + "\\README.DOC");
    Setup again = start_setup(folder, ENGLISH);
    type_destination(again, folders);
    start_installation(again);
    expect_box(again, CAPTION_INFO, MSG_OVERWRITE_OPTIONS, IDNO);
    for (const char *member : {"PHONEBK", "QELEVENT.QRX", "QELXFER.QRX"})
        expect_box(again, catalogue_text(CAPTION_INFO, ENGLISH),
                   formatted(MSG_OVERWRITE_FILE, ENGLISH,
                             windows_file(std::string(member) == "PHONEBK" ? folders.destination
                                                                           : folders.script,
                                          member)),
                   IDNO);
    expect_report(again, false, true);
    expect_end(again);
}

// The dialog in one language over an earlier installation recorded in the settings store, with
// a new destination typed in, so that every control is enabled; photographed, then cancelled.
void photograph_dialog(const ScenarioPlan &plan, int language, const char *picture) {
    std::string old_folder = destination_of(plan) + "300";
    remove_tree(old_folder);
    if (!make_folders(old_folder + "\\OPTIONS") ||
        !write_file(old_folder + "\\OPTIONS\\STANDARD.QPA", "QPA3.00\nOptsPath=\"OPTIONS\"\n"))
        fatal("make an earlier installation in " + old_folder);
    set_home_path(old_folder.c_str());
    std::string folder = setup_folder(plan, language == GERMAN ? "SETUP-DE" : "SETUP-FR", language);
    Setup setup = start_setup(folder, language);
    check_dialog_texts(setup);
    type_destination(setup, folders_below(destination_of(plan)));
    for (int id : {CTRL_COPY_OPTIONS, CTRL_COPY_PHONEBOOK, CTRL_COPY_SCRIPTS})
        check(is_enabled(setup.control(id)), "copy box " + std::to_string(id) + " enabled");
    save_picture(plan, window_rect(setup.dialog), picture);
    click(setup.control(CTRL_CANCEL));
    expect_end(setup, SETUP_EXIT_CANCELLED_BEFORE);
    clear_home_path();
    remove_tree(old_folder);
}

// --- Unattended runs ----------------------------------------------------------------------------

// Runs SETUP.EXE with `arguments`, expecting no window at all (a box would hold it until the
// wait runs out); its exit code.
DWORD run_silent(const std::string &folder, const std::string &arguments,
                 const std::string &output = "") {
    static Program program;
    program = start_program(folder + "\\SETUP.EXE", arguments, "C:\\",
                            output.empty() ? folder + "\\SETUP.LOG" : output);
    watch_program(&program);
    DWORD code = 99;
    if (!wait_for_exit(program, WAIT_SECONDS, &code))
        fatal("SETUP.EXE " + arguments + " ends without showing anything");
    kill_program(program);
    note("SETUP.EXE " + arguments + ": exit code " + std::to_string(code));
    return code;
}

// The log's lines, each behind an ISO time ("2026-12-09T11:46:34Z ").
std::vector<std::string> log_lines(const std::string &path) {
    std::vector<std::string> lines = text_lines(read_or_empty(path)), texts;
    for (const std::string &line : lines) {
        bool timed = line.size() > 21 && line[4] == '-' && line[10] == 'T' && line[19] == 'Z' &&
                     line[20] == ' ';
        check(timed, "log line with its time", line);
        texts.push_back(timed ? line.substr(21) : line);
    }
    return texts;
}

bool logged(const std::vector<std::string> &lines, const std::string &text) {
    for (const std::string &line : lines)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

// The same text in UTF-8, as the log has it, from code page 1252.
std::string utf8_of(const std::string &text) {
    wchar_t wide[1024];
    char out[2048];
    MultiByteToWideChar(1252, 0, text.c_str(), -1, wide, 1024);
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, sizeof out, nullptr, nullptr);
    return out;
}

// /SILENT into a folder with a blank and an accent: installed as the dialog installs, with a
// log of every step. Then again over the user's changed phone book: kept; then with /OVERWRITE:
// backed up and replaced.
void silent_install(const ScenarioPlan &plan) {
    begin(plan);
    std::string folder = setup_folder(plan, "SETUP", ENGLISH);
    Folders folders = folders_below(plan.work + "\\QEL B\xFCro");
    std::string log = plan.work + "\\setup log.txt";
    std::string arguments = "/silent /DIR=\"" + folders.destination + "\" /LOG=\"" + log + "\"";
    check(run_silent(folder, arguments) == SETUP_EXIT_INSTALLED, "a silent install exits with 0");
    check_installation(plan, folders, ENGLISH);

    std::vector<std::string> lines = log_lines(log);
    const std::string steps[] = {
        "Member qel.exe into " + folders.destination,
        "Member script/qelevent.qrx into " + folders.script,
        "Copied README.DOC to " + folders.destination + "\\README.DOC",
        "Folder settings rewritten in " + folders.options + "\\STANDARD.QPA",
        "Shortcut " + start_menu_folder(ENGLISH) + "\\QEL.LNK to " + folders.destination +
            "\\QEL.EXE",
        "Deleted " + folders.destination + "\\log\\dummy.tmp",
        "Information: " + catalogue_text(MSG_ALL_PROCESSED, ENGLISH),
        "Exit code 0",
    };
    for (const std::string &step : steps)
        check(logged(lines, utf8_of(step)), "logged in UTF-8: " + printable(step));
    check(!lines.empty() && lines.back() == "Exit code 0", "the exit code is the last line");

    // Again, over the user's own phone book: every question answered No.
    const std::string phone_book = "my own phone book\r\n";
    if (!write_file(folders.destination + "\\PHONEBK", phone_book)) fatal("change the phone book");
    check(run_silent(folder, arguments) == SETUP_EXIT_INSTALLED, "a silent reinstall exits with 0");
    check_equal("the phone book kept", phone_book,
                read_or_empty(folders.destination + "\\PHONEBK"));
    check(!file_exists(folders.destination + "\\PHONEB0"), "no backup of a kept file");
    lines = log_lines(log);
    check(logged(lines, "Question: " +
                            utf8_of(formatted(MSG_OVERWRITE_FILE, ENGLISH,
                                              windows_file(folders.destination, "PHONEBK"))) +
                            " - No"),
          "the question and its answer logged");

    // With /OVERWRITE: the user's file backed up, then replaced.
    check(run_silent(folder, arguments + " /OVERWRITE") == SETUP_EXIT_INSTALLED,
          "a silent reinstall with /OVERWRITE exits with 0");
    check_equal("the phone book backed up", phone_book,
                read_or_empty(folders.destination + "\\PHONEB0"));
    check_members(plan, folders);
    check(logged(log_lines(log), "Backed up "), "the backup logged");

    // Removed by the copy in the destination: asked once, and No changes nothing.
    Setup asked;
    asked.program = start_program(folders.destination + "\\SETUP.EXE", "/UNINSTALL", "C:\\",
                                  plan.work + "\\UNINSTALL.OUT");
    watch_program(&asked.program);
    expect_box(asked, catalogue_text(CAPTION_INFO, ENGLISH),
               formatted(MSG_UNINSTALL_CONFIRM, ENGLISH, folders.destination), IDNO);
    expect_end(asked, SETUP_EXIT_CANCELLED_BEFORE);
    check_removal_entry(plan, folders.destination);

    // Under /SILENT: all the setup made goes; the user's changed phone book, the backups made
    // with /OVERWRITE and a log of the user's own stay, with the folders that hold them.
    const std::string changed = "my changed phone book\r\n";
    const std::string session = folders.log + "\\SESSION.LOG";
    if (!write_file(folders.destination + "\\PHONEBK", changed) || !write_file(session, "a call"))
        fatal("change the phone book and log a session");
    std::string removal_log = plan.work + "\\removal log.txt";
    check(run_silent(folders.destination, "/UNINSTALL /SILENT /LOG=\"" + removal_log + "\"",
                     plan.work + "\\UNINSTALL.OUT") == SETUP_EXIT_INSTALLED,
          "a silent uninstall exits with 0");
    std::vector<std::string> members;
    list_members(plan.product, "", &members);
    for (const std::string &member : members) {
        std::string path = installed_path(folders, member);
        if (!same_path(member, "PHONEBK")) check(!file_exists(path), "removed: " + path);
    }
    for (const DocumentFile &document : documentation_files)
        check(!file_exists(folders.destination + "\\" + document.file_name),
              std::string("removed: ") + document.file_name);
    check_equal("the changed phone book kept", changed,
                read_or_empty(folders.destination + "\\PHONEBK"));
    check_equal("its backup kept", phone_book, read_or_empty(folders.destination + "\\PHONEB0"));
    check(file_exists(folders.options + "\\STANDARD.0PA"), "the option files' backups kept");
    check_equal("the user's log kept", "a call", read_or_empty(session));
    for (const std::string &gone : {folders.upload, folders.download})
        check(!folder_exists(gone), "emptied folder removed: " + gone);
    check(!file_exists(folders.destination + "\\" + INSTALL_RECORD_NAME), "the record removed");
    check(!folder_exists(start_menu_folder(ENGLISH)), "the start-menu folder removed");
    check_equal("the entry for removal removed", "(none)", removal_entry("DisplayName"));
    lines = log_lines(removal_log);
    check(logged(lines, "Removed " + utf8_of(windows_file(folders.destination, "QEL.EXE"))),
          "each removal logged");
    check(!file_exists(folders.destination + "\\SETUP.EXE") ||
              logged(lines, "To be removed at the next restart: " +
                                utf8_of(folders.destination + "\\SETUP.EXE")),
          "the running setup removed, or at the next restart");
    std::string report;
    for (const std::string &line : lines)
        if (line.rfind("Information: " + catalogue_text(MSG_UNINSTALL_DONE, ENGLISH), 0) == 0)
            report = line;
    check(report.find(catalogue_text(MSG_FOLDERS_KEPT, ENGLISH)) != std::string::npos,
          "the closing report names the folders kept", report);
    for (const std::string &kept : {folders.destination, folders.log, folders.options})
        check((report + " ").find(" " + utf8_of(kept) + " ") != std::string::npos,
              "kept as not empty: " + kept);
    check(!lines.empty() && lines.back() == "Exit code 0", "the exit code is the last line");
}

// Runs that cannot install: a usage box for an unknown option, none under /SILENT; an empty
// destination refused with its message in the log; a destination below a file, which cannot
// be made: exit code 4 and nothing left there.
void silent_refused(const ScenarioPlan &plan) {
    begin(plan);
    std::string folder = setup_folder(plan, "SETUP", ENGLISH);
    Setup setup;
    setup.program = start_program(folder + "\\SETUP.EXE", "/DIR=C:\\QEL /QUIET", "C:\\");
    watch_program(&setup.program);
    expect_box(setup, CAPTION_INFO, MSG_USAGE, IDOK);
    expect_end(setup, SETUP_EXIT_NOT_STARTED);

    std::string log = plan.work + "\\refused.log";
    for (const char *arguments : {"/SILENT /QUIET", "/SILENT /?", "/SILENT /COPY=desktop"})
        check(run_silent(folder, std::string(arguments) + " /LOG=" + log) == SETUP_EXIT_NOT_STARTED,
              std::string(arguments) + ": exit code 1, no box");
    // Empty, or on a floppy drive, which the dialog empties as it is typed.
    for (const char *destination : {"", "a:\\QEL", "B:"}) {
        check(run_silent(folder, std::string("/SILENT /DIR=") + destination + " /LOG=" + log) ==
                  SETUP_EXIT_NOT_STARTED,
              std::string("destination \"") + destination + "\": exit code 1");
        check(logged(log_lines(log), "Information: " + catalogue_text(MSG_DEST_EMPTY, ENGLISH)),
              "its message logged");
    }

    std::string blocker = plan.work + "\\FILE.TXT";
    if (!write_file(blocker, "a file")) fatal("write " + blocker);
    check(run_silent(folder, "/SILENT /DIR=" + blocker + "\\QEL /LOG=" + log) == SETUP_EXIT_FAILED,
          "a destination that cannot be made: exit code 4");
    std::vector<std::string> lines = log_lines(log);
    check(logged(lines, "could not be extracted") &&
              logged(lines, "Error: " + catalogue_text(MSG_INSTALL_ERROR, ENGLISH)) &&
              logged(lines, "Exit code 4"),
          "the failure and its cause logged");
    check_equal("the file in the way untouched", "a file", read_or_empty(blocker));
    check_nothing_installed(destination_of(plan));

    check(run_silent(folder, "/UNINSTALL /SILENT /LOG=" + log) == SETUP_EXIT_NOT_STARTED,
          "an uninstallation without an install record: exit code 1");
    check(logged(log_lines(log), "Error: " + formatted(MSG_NO_INSTALL_RECORD, ENGLISH, folder)),
          "its message logged");
}

// The demo: the dialog in German and French, then the English installation with the viewer.
void tour(const ScenarioPlan &plan) {
    begin(plan);
    photograph_dialog(plan, GERMAN, "setup-german");
    photograph_dialog(plan, FRENCH, "setup-french");
    fresh_english(plan);
}

// --- Typing key by key, and the paths' form and length ----------------------------------------

// The text of a label of the dialog's template in a language.
std::string label_text(int id, int language) {
    for (const DialogControl &control : DIALOG_CONTROLS)
        if (control.id == id) return control.text[language];
    fatal("the template has a control " + std::to_string(id));
}

// A path of exactly `length` characters below `folder`, of blanks and words as a user names
// folders, ending with a letter (Windows drops a trailing blank or dot).
std::string path_of_length(const std::string &folder, size_t length) {
    std::string path = folder + "\\Program files of the QEL terminal";
    while (path.size() < length) path += path.size() % 60 < 50 ? " and more" : "\\Folder";
    path.resize(length - 1);
    return path + "Z";
}

// Install is pressed with a field the setup cannot take: its box names the field, the focus is
// on it, Install stays enabled.
void expect_refused(Setup &setup, int id, int label, CatalogueId message) {
    press(setup.control(CTRL_INSTALL));
    expect_box(setup, catalogue_text(CAPTION_INFO, setup.language),
               formatted(message, setup.language, label_text(label, setup.language)), IDOK);
    settle_dialog(setup);
    check(focus_of(setup.program.main_thread) == setup.control(id),
          "the focus is on field " + std::to_string(id));
    check(is_enabled(setup.control(CTRL_INSTALL)), "Install stays enabled");
}

// "c:qel" typed key by key: the drive's backslash is completed behind the colon and the caret
// stays behind the letter typed last, so the field holds c:\qel and the setup installs there.
// The existing path completes the same way.
void typed_short_entry(const ScenarioPlan &plan) {
    begin(plan);
    Folders folders = folders_below("c:\\qel");
    remove_tree(folders.destination);
    std::string folder = setup_folder(plan, "SETUP", ENGLISH);
    Setup setup = start_setup(folder, ENGLISH);
    click(setup.control(CTRL_ALREADY_INSTALLED));
    type_text(setup.control(CTRL_EXISTING_PATH), "c:old");
    check_equal("existing path typed \"c:old\"", "c:\\old", field(setup, CTRL_EXISTING_PATH));
    type_text(setup.control(CTRL_DESTINATION), "c:qel");
    check_equal("destination typed \"c:qel\"", folders.destination, field(setup, CTRL_DESTINATION));
    check_equal("its log folder", folders.log, field(setup, CTRL_LOG_PATH));
    start_installation(setup);
    expect_report(setup, false, false);
    expect_end(setup);
    check_installation(plan, folders, ENGLISH);
    check(!folder_exists("c:\\old"), "nothing made in the existing path");
    remove_tree(folders.destination);
}

// A destination of 90 characters and a log folder of 100 typed key by key: the fields scroll and
// hold every character, and the setup installs there.
void typed_long_paths(const ScenarioPlan &plan) {
    begin(plan);
    Folders folders = folders_below(path_of_length(plan.work, 90));
    std::string folder = setup_folder(plan, "SETUP", ENGLISH);
    Setup setup = start_setup(folder, ENGLISH);
    type_destination(setup, folders);
    folders.log = path_of_length(plan.work + "\\Logs", 100);
    type_text(setup.control(CTRL_LOG_PATH), folders.log);
    check_equal("log field typed", folders.log, field(setup, CTRL_LOG_PATH));
    start_installation(setup);
    expect_report(setup, false, false);
    expect_end(setup);
    check_installation(plan, folders, ENGLISH);
}

// Folders too long for Windows are refused before anything is written, naming the field: a
// destination typed too long; one whose own folders fit but whose script folder leaves no room
// for the archive's SCRIPT\SAMPLES; an earlier installation of 252 characters, from which the
// destination and its folders are derived.
void too_long_paths(const ScenarioPlan &plan) {
    begin(plan);
    std::string folder = setup_folder(plan, "SETUP", ENGLISH);
    const struct {
        size_t length;
        int field, label;
    } rows[] = {{250, CTRL_DESTINATION, CTRL_DESTINATION_LABEL},
                {235, CTRL_SCRIPT_PATH, CTRL_SCRIPT_LABEL}};
    Setup setup = start_setup(folder, ENGLISH);
    for (const auto &row : rows) {
        std::string destination = path_of_length(plan.work, row.length);
        type_text(setup.control(CTRL_DESTINATION), destination);
        check_equal("destination of " + std::to_string(row.length) + " characters typed",
                    destination, field(setup, CTRL_DESTINATION));
        expect_refused(setup, row.field, row.label, MSG_PATH_TOO_LONG);
    }
    click(setup.control(CTRL_CANCEL));
    expect_end(setup, SETUP_EXIT_CANCELLED_BEFORE);

    std::string old_folder = path_of_length(plan.work, 252);
    set_home_path(old_folder.c_str());
    Setup again = start_setup(folder, ENGLISH);
    check_equal("destination follows the long installation", lower(old_folder),
                field(again, CTRL_DESTINATION));
    expect_refused(again, CTRL_DESTINATION, CTRL_DESTINATION_LABEL, MSG_PATH_TOO_LONG);
    click(again.control(CTRL_CANCEL));
    expect_end(again, SETUP_EXIT_CANCELLED_BEFORE);
    clear_home_path();
    check(!folder_exists(plan.work + "\\Program files of the QEL terminal"),
          "nothing made for any of the long paths");
    check_nothing_installed(old_folder);
}

// Destinations and folders that are not full paths with a drive or a share are refused, naming
// the field: relative to the setup's own folder, with a colon in the middle, or a share's path
// without its share.
void relative_paths(const ScenarioPlan &plan) {
    begin(plan);
    std::string folder = setup_folder(plan, "SETUP", ENGLISH);
    Setup setup = start_setup(folder, ENGLISH);
    for (const char *entry :
         {"qel", "..\\x", "c:\\qel:x", "QEL\\NEW", "\\\\QELHOST", "\\\\QELHOST\\"}) {
        type_text(setup.control(CTRL_DESTINATION), entry);
        check_equal(std::string("destination typed \"") + entry + "\"", entry,
                    field(setup, CTRL_DESTINATION));
        expect_refused(setup, CTRL_DESTINATION, CTRL_DESTINATION_LABEL, MSG_PATH_NOT_FULL);
    }
    Folders folders = folders_below(destination_of(plan));
    type_destination(setup, folders);
    type_text(setup.control(CTRL_UPLOAD_PATH), "UPLOADS");
    expect_refused(setup, CTRL_UPLOAD_PATH, CTRL_UPLOAD_LABEL, MSG_PATH_NOT_FULL);
    click(setup.control(CTRL_CANCEL));
    expect_end(setup, SETUP_EXIT_CANCELLED_BEFORE);
    check_nothing_installed(folders.destination);
    for (const std::string &place : {folder + "\\qel", plan.work + "\\x", folder + "\\UPLOADS"})
        check(!folder_exists(place), "nothing made in " + place);
}

// --- Hostile archives: names that try to leave the folders, patterns, options, backup names
// ---

// INSTALL.FIL beside the setup: the demo product's members (stored, MS-DOS names) and then
// `extra` members, in that order.
void write_product_archive(const ScenarioPlan &plan, const std::string &setup_folder,
                           const std::vector<std::pair<std::string, std::string>> &extra) {
    qeltest::Archive archive;
    std::vector<std::string> members;
    list_members(plan.product, "", &members);
    for (std::string member : members) {
        std::string data;
        read_file(plan.product + "\\" + member, &data);
        for (char &c : member)
            if (c == '\\') c = '/';
        archive.members.push_back(qeltest::stored_member(member, data));
    }
    for (const auto &[name, data] : extra)
        archive.members.push_back(qeltest::stored_member(name, data));
    qeltest::Bytes bytes = qeltest::build_zip(archive);
    if (!write_file(setup_folder + "\\INSTALL.FIL", std::string(bytes.begin(), bytes.end())))
        fatal("write a hostile INSTALL.FIL in " + setup_folder);
}

// The error box of a failed installation and what it says after the catalogue's message.
void expect_failure(Setup &setup, const std::string &detail) {
    expect_box(setup, catalogue_text(CAPTION_ERROR, setup.language),
               catalogue_text(MSG_INSTALL_ERROR, setup.language) + "\r\r" + detail + "\r\r" +
                   catalogue_text(MSG_INSTALL_UNDONE, setup.language),
               IDOK);
    expect_box(setup, CAPTION_INFO, MSG_READ_DOCS, IDNO);
    expect_end(setup, SETUP_EXIT_FAILED);
}

std::string parent_of(const std::string &path) {
    return path.substr(0, path.rfind('\\'));
}

// Names that lead outside the chosen folders are refused before anything is written; a member
// named "*" is that one member, which Windows cannot hold: the installation fails naming it
// instead of pulling every member into the destination.
void hostile_escape(const ScenarioPlan &plan) {
    begin(plan);
    std::string folder = setup_folder(plan, "SETUP", ENGLISH);
    Folders folders = folders_below(plan.work + "\\QEL");
    const std::string mine = "my own phone book\r\n";
    if (!make_folders(folders.destination) || !write_file(folders.destination + "\\PHONEBK", mine))
        fatal("make the user's phone book");
    write_product_archive(plan, folder,
                          {{"LOG/../../../x", "escaped"},
                           {"SCRIPT/../../../../a/b/x", "escaped"},
                           {"/abs", "absolute"},
                           {"C:/QELX/drive", "drive"}});
    {
        Setup setup = start_setup(folder, ENGLISH);
        type_destination(setup, folders);
        start_installation(setup);
        // As listed: a name with both cases keeps them.
        expect_failure(setup, formatted(MSG_MEMBER_UNSAFE, ENGLISH, "LOG/../../../x"));
    }
    check(folder_names(folders.destination) == std::vector<std::string>{"PHONEBK"} &&
              read_or_empty(folders.destination + "\\PHONEBK") == mine,
          "nothing written, the user's phone book as it was");
    std::string above = parent_of(plan.work);
    check(!file_exists(above + "\\x") && !folder_exists(parent_of(above) + "\\a") &&
              !file_exists("C:\\abs") && !folder_exists("C:\\QELX"),
          "nothing outside the chosen folders");

    // A failure after every member of the product: the phone book, backed up and written over
    // on Yes, and an earlier program, written over without a question, are put back.
    write_product_archive(plan, folder, {{"*", "a star"}});
    if (!write_file(folders.destination + "\\QEL.EXE", "an earlier program"))
        fatal("write an earlier program");
    Setup setup = start_setup(folder, ENGLISH);
    type_destination(setup, folders);
    start_installation(setup);
    expect_box(setup, catalogue_text(CAPTION_INFO, ENGLISH),
               formatted(MSG_OVERWRITE_FILE, ENGLISH, windows_file(folders.destination, "PHONEBK")),
               IDYES);
    MessageBoxSeen box = wait_for_box(setup.program.id, setup.dialog, WAIT_SECONDS);
    note("box [" + box.caption + "] " + printable(box.text));
    std::string start = catalogue_text(MSG_INSTALL_ERROR, ENGLISH) + "\r\rThe member \"*\" ";
    check(box.caption == catalogue_text(CAPTION_ERROR, ENGLISH) &&
              box.text.compare(0, start.size(), start) == 0,
          "the error box names the member \"*\"", printable(box.text));
    std::string undone = "\r\r" + catalogue_text(MSG_INSTALL_UNDONE, ENGLISH);
    check(box.text.size() > undone.size() &&
              box.text.compare(box.text.size() - undone.size(), undone.size(), undone) == 0,
          "the error box says that the installation was undone");
    if (box.window) answer_box(box, IDOK);
    expect_box(setup, CAPTION_INFO, MSG_READ_DOCS, IDNO);
    expect_end(setup, SETUP_EXIT_FAILED);
    check(read_or_empty(folders.destination + "\\PHONEBK") == mine, "the phone book restored");
    check_equal("the earlier program restored", "an earlier program",
                read_or_empty(folders.destination + "\\QEL.EXE"));
    std::vector<std::string> left = folder_names(folders.destination);
    std::sort(left.begin(), left.end());
    check(left == std::vector<std::string>{"PHONEBK", "QEL.EXE"},
          "nothing else left in the destination: no member, folder, backup or copy",
          std::to_string(left.size()) + " entries");
    check(!folder_exists(start_menu_folder(ENGLISH)), "no start-menu folder");
}

// Members named like options, patterns, a backslash path and this run's backups are each
// installed as themselves; the user's files are backed up under free names, moved on before a
// member of a backup's name is written, and the closing box says where they are.
void hostile_names(const ScenarioPlan &plan) {
    begin(plan);
    std::string folder = setup_folder(plan, "SETUP", ENGLISH);
    Folders folders = folders_below(plan.work + "\\QEL");
    const std::pair<std::string, std::string> odd[] = {{"-x", "minus x"},
                                                       {"-d", "minus d"},
                                                       {"[a]", "bracketed"},
                                                       {"sub\\b.txt", "slash"},
                                                       {"PHONEB0", "archive's PHONEB0"},
                                                       {"SCRIPT/QELEVENT.0RX", "archive's 0RX"}};
    write_product_archive(plan, folder, {std::begin(odd), std::end(odd)});
    // An earlier installation's files changed by the user, and an earlier backup of the keys.
    bool written = make_folders(folders.options) && make_folders(folders.script) &&
                   write_file(folders.destination + "\\PHONEBK", "my phones") &&
                   write_file(folders.script + "\\QELEVENT.QRX", "my event script") &&
                   write_file(folders.options + "\\STANDARD.QKY", "my keys") &&
                   write_file(folders.options + "\\STANDARD.0KY", "older keys");
    if (!written) fatal("make the user's files");

    Setup setup = start_setup(folder, ENGLISH);
    type_destination(setup, folders);
    start_installation(setup);
    expect_box(setup, CAPTION_INFO, MSG_OVERWRITE_OPTIONS, IDYES);
    for (const std::string &path : {windows_file(folders.destination, "PHONEBK"),
                                    windows_file(folders.script, "QELEVENT.QRX")})
        expect_box(setup, catalogue_text(CAPTION_INFO, ENGLISH),
                   formatted(MSG_OVERWRITE_FILE, ENGLISH, path), IDYES);
    expect_report(setup, true, false,
                  {windows_file(folders.options, "STANDARD.1KY"),
                   windows_file(folders.destination, "PHONEB1"),
                   windows_file(folders.script, "QELEVENT.1RX")});
    expect_end(setup);

    const std::pair<std::string, std::string> expected[] = {
        {folders.destination + "\\-x", "minus x"},
        {folders.destination + "\\-d", "minus d"},
        {folders.destination + "\\[a]", "bracketed"},
        {folders.destination + "\\b.txt", "slash"},
        {folders.destination + "\\PHONEB0", "archive's PHONEB0"},
        {folders.script + "\\QELEVENT.0RX", "archive's 0RX"},
        {folders.destination + "\\PHONEB1", "my phones"},
        {folders.script + "\\QELEVENT.1RX", "my event script"},
        {folders.options + "\\STANDARD.1KY", "my keys"},
        {folders.options + "\\STANDARD.0KY", "older keys"}};
    for (const auto &[path, data] : expected)
        check_equal("contents of " + path, data, read_or_empty(path));
    check(!folder_exists(folder + "\\-d") && !folder_exists(folders.destination + "\\sub"),
          "no folder made from a member's name");
    check_members(plan, folders,
                  {{folders.destination + "\\PHONEBK", read_or_empty(plan.product + "\\PHONEBK")}});
}

struct ScenarioEntry {
    const char *name;
    void (*run)(const ScenarioPlan &);
};

constexpr ScenarioEntry scenarios[] = {
    {"fresh_english", fresh_english},
    {"second_install", second_install},
    {"german", german},
    {"french", french},
    {"cancel_before", cancel_before},
    {"cancel_during", cancel_during},
    {"no_archive", no_archive},
    {"empty_fields", empty_fields},
    {"beta_existing", beta_existing},
    {"floppy_refused", floppy_refused},
    {"short_entries", short_entries},
    {"document_limits", document_limits},
    {"typed_short_entry", typed_short_entry},
    {"typed_long_paths", typed_long_paths},
    {"too_long_paths", too_long_paths},
    {"relative_paths", relative_paths},
    {"silent_install", silent_install},
    {"silent_refused", silent_refused},
    {"tour", tour},
    {"hostile_escape", hostile_escape},
    {"hostile_names", hostile_names},
};

} // namespace

const char *scenario_names() {
    return "fresh_english second_install german french cancel_before cancel_during no_archive "
           "empty_fields beta_existing floppy_refused short_entries document_limits "
           "typed_short_entry typed_long_paths too_long_paths relative_paths silent_install "
           "silent_refused tour hostile_escape hostile_names";
}

bool run_scenario(const ScenarioPlan &plan) {
    for (const ScenarioEntry &entry : scenarios)
        if (plan.name == entry.name) {
            entry.run(plan);
            return true;
        }
    return false;
}

} // namespace e2e
