// Installer shell records: the settings record, path joining, message catalogue, existing
// installation, start-up, main dialog, progress bar and document viewer.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/os_layer.h"
#include "resources/control_ids.h" // the dialog's CTRL_ ids, generated from its table

constexpr int PATH_SIZE = 260; // 259 characters and a NUL
constexpr int VERSION_SIZE = 64;

// The user's choices, the existing installation's folders and version, and the run's flags.
// Written on the main thread only; the worker reads it.
struct InstallSettings {
    int language = 0; // 0 English, 1 German, 2 French
    char archive_name[PATH_SIZE] = "";
    OsWindow main_dialog = nullptr;
    char existing_path[PATH_SIZE] = "";
    char destination_path[PATH_SIZE] = "";
    int copy_options = 1;
    int copy_phonebook = 1;
    int copy_scripts = 1;
    char log_path[PATH_SIZE] = "";
    char options_path[PATH_SIZE] = "";
    char script_path[PATH_SIZE] = "";
    char upload_path[PATH_SIZE] = "";
    char download_path[PATH_SIZE] = "";
    char old_log_dir[PATH_SIZE] = "LOG";
    char old_options_dir[PATH_SIZE] = "OPTIONS";
    char old_script_dir[PATH_SIZE] = "SCRIPT";
    char old_upload_dir[PATH_SIZE] = "UPLOAD";
    char old_download_dir[PATH_SIZE] = "DOWNLOAD";
    char old_options_path[PATH_SIZE] = "";
    char old_script_path[PATH_SIZE] = "";
    char existing_version[VERSION_SIZE] = "";
    int already_installed = 0;
    int existing_is_beta = 0;
    int existing_migratable = 0;
    std::atomic<int> cancel_requested{0}; // the one field changed while the worker runs
    std::atomic<int> worker_started{0};   // set once, by the dialog; never reset
};

extern InstallSettings settings;

// A path field of the record, for tables that name fields.
using PathField = char (InstallSettings::*)[PATH_SIZE];

// out (PATH_SIZE bytes) = folder, a backslash unless it already ends with one, name.
// A result longer than 259 characters is cut there.
void join_path(char *out, const char *folder, const char *name);

// Bounded copy into a PATH_SIZE buffer.
void copy_path(char *out, const char *text);

// Reads one whole line without its line end; false at the end of the file.
bool read_text_line(std::FILE *file, std::string &line);

// Case-insensitive comparisons of 8-bit text.
int compare_nocase(const char *a, const char *b);
int compare_nocase_n(const char *a, const char *b, size_t n);

// --- Message catalogue ------------------------------------------------------------------------

enum CatalogueId {
    MSG_INSTALL_COMPLETE = 0,
    MSG_INSTALL_ABORTED,
    MSG_INSTALL_ERROR,
    MSG_NO_FILES,
    MSG_NEEDS_NT4,
    MSG_ALL_PROCESSED,
    MSG_DEST_EMPTY,
    MSG_LOG_EMPTY,
    MSG_OPTIONS_EMPTY,
    MSG_SCRIPT_EMPTY,
    MSG_UPLOAD_EMPTY,
    MSG_DOWNLOAD_EMPTY,
    CAPTION_INFO,
    CAPTION_ERROR,
    MSG_UPGRADE_FROM_BETA,
    MSG_OVERWRITE_WITH_BETA,
    MSG_OVERWRITE_FILE,
    MSG_OVERWRITE_OPTIONS,
    MSG_BACKUPS_MADE,
    MSG_READ_DOCS,
    STATUS_DELETING,
    STATUS_UPDATING_PATHS,
    STATUS_CREATING_FOLDER,
    TEXT_ORDER_FROM,
    TEXT_FOLDER_NAME,
    MSG_ISDN_NOTE,             // note for ISDN users about the maker's other product
    MSG_BACKUP_FAILED,         // a file could not be backed up, so it was kept (%s = its path)
    MSG_ALL_PROCESSED_NO_MENU, // the final box when no start-menu entry could be made
    MSG_PATH_NOT_FULL,         // a folder without a drive or share (%s = the field's label)
    MSG_PATH_TOO_LONG,         // a folder too long for Windows (%s = the field's label)
    // Why an installation failed, after MSG_INSTALL_ERROR; %s the member (or archive), folder.
    MSG_ARCHIVE_UNREADABLE, // %s the archive, %d the engine's status
    MSG_MEMBER_UNSAFE,      // %s the member whose name leads outside the chosen folders
    MSG_FOLDER_NOT_MADE,    // %s the member, %s its folder
    MSG_MEMBER_FAILED,      // %s the member, %s its folder, %s a CAUSE_ text, %d the status
    MSG_MEMBER_NOT_FOUND,   // %s the member the engine did not find
    CAUSE_SKIPPED,
    CAUSE_NO_MEMORY,
    CAUSE_NOT_WRITABLE,
    CAUSE_DAMAGED,
    MSG_USAGE,             // the command line's options
    MSG_INSTALL_UNDONE,    // added to the failure and cancel boxes
    MSG_UNINSTALL_CONFIRM, // %s the installation's folder
    MSG_UNINSTALL_DONE,    // the closing box of an uninstallation
    MSG_FOLDERS_KEPT,      // followed by the folders kept because they are not empty
    MSG_NO_INSTALL_RECORD, // %s the folder without an install record
    MSG_SETUP_LEFT,        // %s the running SETUP.EXE, removed at the next restart
    MSG_UNDO_INCOMPLETE,   // instead of MSG_INSTALL_UNDONE when something could not be undone
    CATALOGUE_UNUSED       // three empty texts
};
constexpr int CATALOGUE_ROWS = CATALOGUE_UNUSED + 1;

struct CatalogueRow {
    const char *text[3]; // English, German, French
};
extern const CatalogueRow catalogue[CATALOGUE_ROWS];

// The text of a row in the user's language, as windows show it: the stored OEM text converted
// once to the window code page. Format a path into this text, never convert a formatted one:
// the user's paths are already in the window code page.
const char *message_text(CatalogueId id);

void show_info(const char *text);
void show_error(const char *text);
int ask_yes_no(OsWindow owner, const char *caption, const char *text, uint32_t extra_style);

// --- Existing installation and default paths --------------------------------------------------

// The folder settings of the product's option file: each is read into the earlier installation's
// folder and written back with the folder chosen now. A key-layout line reads Key="folder".
struct FolderSetting {
    const char *key;
    PathField old_folder;
    PathField new_folder;
};
constexpr FolderSetting folder_settings[] = {
    {"DownloadPath", &InstallSettings::old_download_dir, &InstallSettings::download_path},
    {"UploadPath", &InstallSettings::old_upload_dir, &InstallSettings::upload_path},
    {"CapturePath", &InstallSettings::old_log_dir, &InstallSettings::log_path},
    {"ScriptPath", &InstallSettings::old_script_dir, &InstallSettings::script_path},
    {"OptsPath", &InstallSettings::old_options_dir, &InstallSettings::options_path},
};
// The fixed layout (the path file, and option files below 2.50): the lines after the header,
// each holding the folder setting of that index or, NOT_A_FOLDER, some other setting.
constexpr int NOT_A_FOLDER = -1;
constexpr int fixed_layout_lines[] = {0, NOT_A_FOLDER, 1, NOT_A_FOLDER, 2, 3, 4};
constexpr int FIXED_LAYOUT_SCRIPT_LINE = 5; // preceded by one more line from version 2.50 on
static_assert(folder_settings[fixed_layout_lines[FIXED_LAYOUT_SCRIPT_LINE]].new_folder ==
                  &InstallSettings::script_path,
              "the line that version 2.50 moves down is the script folder's");

int read_existing_settings(const char *option_file, const char *path_file);
void reset_old_dirs();
int is_absolute_folder(const char *text);
int is_foreign_absolute(const char *text);
void derive_user_path(const char *destination, char *out, const char *old_folder);
void expand_short_path(char *path);
// A three-character entry naming a drive without its root's backslash ("c:x") or a folder at
// the current drive's root ("\ab"): expand_short_path completes it.
bool is_short_entry(const char *path);
// A folder on A: or B:, which the setup refuses.
bool on_floppy_drive(const char *path);

// --- Product content: the documentation beside the installer ---------------------------------

// A document file and its shortcut's name (the file name in lower case).
struct DocumentFile {
    const char *file_name;
    const char *shortcut_name;
};
constexpr int DOCUMENT_COUNT = 7;
// Shown by the viewer in this order and copied by the worker; PROBLEMS.DOC third, README.DOC last.
constexpr DocumentFile documentation_files[DOCUMENT_COUNT] = {
    {"QELINTRO.DOC", "qelintro.doc"}, {"MODEMS.DOC", "modems.doc"},
    {"PROBLEMS.DOC", "problems.doc"}, {"SCRIPTS.DOC", "scripts.doc"},
    {"ORDER.DOC", "order.doc"},       {"WHATSNEW.DOC", "whatsnew.doc"},
    {"README.DOC", "readme.doc"},
};

constexpr bool is_lower_case_of(const char *lower, const char *upper) {
    for (; *upper; ++upper, ++lower) {
        char expected = *upper >= 'A' && *upper <= 'Z' ? static_cast<char>(*upper + 32) : *upper;
        if (*lower != expected) return false;
    }
    return *lower == '\0';
}
constexpr bool shortcut_names_match() {
    for (const DocumentFile &document : documentation_files)
        if (!is_lower_case_of(document.shortcut_name, document.file_name)) return false;
    return true;
}
static_assert(shortcut_names_match(), "a document's shortcut is its file name in lower case");

// --- Start-up ---------------------------------------------------------------------------------

// The document viewer's counts (the class is registered with the first window).
struct ViewerState {
    int windows_created = 0;
    int windows_open = 0;
};

// --- Command line, log and exit codes ---------------------------------------------------------

// What the program was asked on its command line. Folder options left out are derived as the
// dialog derives them.
struct CommandLine {
    bool silent = false;    // /SILENT: no dialog, no boxes
    bool overwrite = false; // /OVERWRITE: every question answered Yes (backups first)
    bool uninstall = false; // /UNINSTALL: remove an installation
    bool usage = false;     // /? or a word that is no option: the usage, exit code 1
    std::string bad_word;   // the first word that is no option ("" for /?)
    std::optional<std::string> destination, existing, log_folder, options_folder, script_folder,
        upload_folder, download_folder, log_file;
    bool copy_given = false; // /COPY=: only the parts named are carried over
    int copy_phonebook = 0, copy_options = 0, copy_scripts = 0;
};

// Parses the text behind the program's name: options begin with "/", case does not matter,
// values may be quoted ("/DIR="C:\Program Files\QEL""). False when the usage is due.
bool parse_command_line(const char *text, CommandLine &out);

// The setup's exit codes, as installers' users test them.
enum SetupExitCode {
    SETUP_EXIT_INSTALLED = 0,
    SETUP_EXIT_NOT_STARTED = 1,      // no archive, refused platform, bad command line
    SETUP_EXIT_CANCELLED_BEFORE = 2, // nothing was installed
    SETUP_EXIT_FAILED = 4,           // the installation failed
    SETUP_EXIT_CANCELLED_DURING = 5, // the installation was cancelled part-way
};

// The /LOG= file: one line per step, UTF-8, each behind its time (ISO 8601, UTC). Written by one
// thread at a time: the main thread before and after the worker, the worker while it runs.
struct SetupLog {
    std::FILE *file = nullptr;
};

// Opens (replaces) the log; false when it cannot be written.
bool open_setup_log(const char *path);
// Writes one line (text in the window code page) when a log is open.
void log_line(const std::string &text);
void close_setup_log();

// The unattended installation (/SILENT): the folders derived as the dialog derives them, checked
// as the dialog checks them, then the install sequence on this thread. Returns the exit code.
int run_unattended();
// SETUP.EXE /UNINSTALL: removes what the install record in the setup's folder (or /DIR=) names
// and the entry for removal; files changed since stay, and so do folders that are not empty.
// Needs no archive. Returns the exit code.
int run_uninstall();
// The exit code of a run whose dialog (or unattended run) has ended.
int finished_exit_code();

// The shell's module state beside the settings record.
struct ShellState {
    OsInstance instance = nullptr;       // the program's module: its resources and windows
    OsThreadRecord main_thread_record{}; // never filled; released on every way out
    ViewerState viewer;
    CommandLine command;
    SetupLog log;
};
extern ShellState shell_state;

constexpr const char HOME_APPLICATION[] = "Quelvator "; // with its trailing blank
constexpr const char HOME_KEY[] = "HomePath";

int installer_main(OsInstance instance, OsInstance previous, const char *command_line, int show);
int run_installer(const char *program_path);
int query_home_path();

// --- Main dialog ------------------------------------------------------------------------------

constexpr const char VERSION_SUFFIX[] = " V3.10";
// A beta build carries a marker such as "a1"; this release carries none.
constexpr const char BETA_MARKER[] = "";
constexpr int CAPTION_SIZE = 150;

intptr_t main_dialog_proc(OsWindow dialog, uint32_t message, uintptr_t first, intptr_t second);
void read_dialog_fields(OsWindow dialog);
void limit_path_fields(OsWindow dialog);
void show_user_paths(OsWindow dialog);
int validate_paths(OsWindow dialog);
void enable_existing_path(OsWindow dialog, int on);
void update_copy_boxes(OsWindow dialog);
// Whether a copy check box (303, 304, 305) offers its copy for the folders chosen now.
int copy_box_open(int control);

// --- Progress bar -----------------------------------------------------------------------------

constexpr uint32_t PROGRESS_SETRANGE = 0x401;
constexpr uint32_t PROGRESS_SETPOS = 0x402;
constexpr int PROGRESS_CELLS = 10;
constexpr int PROGRESS_SEGMENTS = 20; // two per cell, 5 % each

// The bar's measures for a window `width` pixels wide showing `position` percent.
struct ProgressLayout {
    int cell_width;
    int segment_width;
    int lit_segments;
};
ProgressLayout progress_layout(int width, uint32_t position);

uint16_t register_installer_class(const char *name, OsWindowProc procedure, uint32_t style,
                                  int icon_id);
intptr_t progress_bar_proc(OsWindow window, uint32_t message, uintptr_t first, intptr_t second);

// --- Document viewer --------------------------------------------------------------------------

constexpr int DOCUMENT_BUFFER_SIZE = 16384; // at most 16,383 bytes of a file are shown
constexpr int TEXT_FIELD_ID = 0x101;

void show_doc_files();
void open_text_window(const char *text, const char *title);
intptr_t text_window_proc(OsWindow window, uint32_t message, uintptr_t first, intptr_t second);
