// Installation worker records: worker state, the install sequence and its product tables,
// member routing, file operations, settings migration.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "installer/shell/shell.h"

// --- Worker state -----------------------------------------------------------------------------

enum OptionFilesDecision { OPTION_FILES_NONE = 0, OPTION_FILES_OVERWRITE, OPTION_FILES_KEEP };
// How the run's installation ended (none: it never started).
enum InstallOutcome { OUTCOME_NONE = 0, OUTCOME_INSTALLED, OUTCOME_FAILED, OUTCOME_CANCELLED };

// Why the installation failed, for the error box.
enum class InstallFailure {
    none,
    archive_unreadable, // the listing failed (the item is the archive)
    unsafe_name,        // a member's name leads outside its folder; nothing was written
    folder_not_made,    // the member's folder could not be created
    engine_error,       // the engine could not unpack the member
    not_found,          // the engine found no member of that name: nothing was written
};

// A backup made in this run: the user's file and where its earlier contents are now.
struct BackupRecord {
    std::string original;
    std::string backup;
};

// What one installation run has done and decided. Written on the worker thread (the replacement
// questions included); the dialog reads nothing of it. The worker starts once per process, from a
// fresh state (reset_worker_state).
struct WorkerState {
    int install_failed = 0;    // an engine call returned non-zero, or a member was refused
    uint32_t done_bytes = 0;   // uncompressed bytes of the members extracted so far
    uint32_t percent_done = 0; // what the progress bar shows
    int backups_made = 0;      // a user's file was backed up before it was overwritten
    OptionFilesDecision option_files_decision = OPTION_FILES_NONE; // asked once for all
    InstallFailure failure = InstallFailure::none;
    std::string failed_item;           // the member (or the archive) that failed
    std::string failed_folder;         // where it was to go
    int failed_status = 0;             // the engine's status
    std::vector<BackupRecord> backups; // this run's backups (Windows paths), never overwritten
    InstallOutcome outcome = OUTCOME_NONE;
};
extern WorkerState worker_state;
void reset_worker_state();

// --- Install sequence -------------------------------------------------------------------------

// The thread routine the dialog starts on Install; the parameter is not used.
void worker_entry(void *parameter);

// The runtime libraries beside the installer, copied into the destination.
constexpr const char *runtime_files[] = {"VORTAMIX.DLL", "DUDURU2.DLL", "DUVOZER.DLL"};

// One start-menu shortcut. A display name with "!" is "Order from " and the rest; a target with
// "!" is a file in the destination, otherwise a program on the search path; an empty icon file
// means the target's own icon.
struct ShortcutRow {
    const char *display_name;
    const char *target;
    const char *arguments;
    const char *icon_file;
};
constexpr const char DOCUMENT_ICON[] = "inst_doc.ico";
constexpr const char DOCUMENT_READER[] = "NOTEPAD.EXE";
constexpr ShortcutRow document_row(int index) {
    return {documentation_files[index].shortcut_name, DOCUMENT_READER,
            documentation_files[index].file_name, DOCUMENT_ICON};
}
// The product, its documents, the resellers to order from; ended by a row without name.
constexpr ShortcutRow shortcut_rows[] = {
    {"QEL", "!QEL.EXE", "", ""},
    document_row(0),
    document_row(1),
    document_row(2),
    document_row(3),
    document_row(4),
    document_row(5),
    document_row(6),
    {"!QEL Software Direct", "!QEL.EXE", "/ORDER:0", "order_qs.ico"},
    {"!Datafon Versand", "!QEL.EXE", "/ORDER:1", "order_df.ico"},
    {"!Modem Express", "!QEL.EXE", "/ORDER:2", "order_me.ico"},
    {"!TermWorks Europe", "!QEL.EXE", "/ORDER:3", "order_tw.ico"},
    {nullptr, nullptr, nullptr, nullptr},
};
static_assert(sizeof shortcut_rows / sizeof shortcut_rows[0] == 1 + DOCUMENT_COUNT + 4 + 1,
              "one shortcut per document");

// --- Member routing and engine calls ----------------------------------------------------------

struct RouteEntry {
    const char *component;
    PathField base;
};

int list_archive();
int get_zip_name(const char *member);
// The archive's names judged before anything is written: false when a component of the name is
// empty (a leading or doubled separator), names a drive (holds ":") or is made of dots and
// blanks only (".", ".." and what Windows reads as them). A folder member's one final separator
// is allowed.
bool member_name_safe(const char *member);
// True when dir is base itself or a folder below it made of sound components only.
bool folder_inside_base(const std::string &dir, const char *base);
// Marks the installation failed for the error box.
void fail_installation(InstallFailure failure, const std::string &item, const std::string &folder,
                       int status);
// The error box's text: the catalogue's message, then the failed member or file and the cause.
std::string failure_text();
// The folder get_zip_name extracts a member into: the routed base with the member's folders
// below its first component, or the destination (free of any length limit).
std::string member_target_folder(const char *member);
void make_parent_dirs(const char *dir);
// The folder a member goes to: the routed base for its first component, else the destination.
const char *route_base(const char *member);
// The backup name of path: the backup rule applied to its last component, with `digit` in the
// place of the classic "0" (numbered backups when the classic name is taken).
std::string backup_name(const char *path, char digit = '0');
// A path as Windows writes it: backslashes.
std::string windows_path(const char *path);
// done of total as a percentage 0..100; an empty archive counts as complete.
uint32_t percent_of(uint64_t done, uint64_t total);
// Adds a member's size to the progress and recomputes percent_done.
void add_member_progress(uint32_t size);
// The setup's answer to the engine's "replace an existing file?", handed over before every
// engine call: protected files are asked about and backed up.
bool replace_policy(const char *path);

// --- This run's backups -------------------------------------------------------------------------

// Copies path to its backup: the classic name, or the next numbered one when that is taken by
// other contents or by a backup of this run. False when no backup could be made.
bool make_backup(const char *path);
// Before path is written: when it is one of this run's backups, that backup moves on to a free
// name first. False when it cannot, and then path must not be written.
bool keep_backup_safe(const char *path);
// The closing box's text: the catalogue's note and the backups' paths, one per line.
std::string backups_text();

// --- File and folder operations ---------------------------------------------------------------

struct NameConversion {
    const char *old_name;
    const char *new_name;
};
constexpr int NAME_CONVERSIONS = 7;
extern const NameConversion name_conversions[NAME_CONVERSIONS];
constexpr int OBSOLETE_FILES = 25;
extern const char *const obsolete_files[OBSOLETE_FILES + 1];

// target must be a PATH_SIZE buffer: it is converted in place in rename mode.
void copy_file(const char *source, char *target, int rename_mode);
int copy_tree(const char *source, const char *target, int rename_mode);
void delete_old_files(const char *folder, int mode);
int query_programs_folder(char *output, uint32_t size);
// Shows a text on the main dialog's status line.
void set_status(const char *text);

// --- Settings migration -----------------------------------------------------------------------

void update_path_settings(const char *name);
// Pointer into folder (or folder itself): the text relative to destination_path.
const char *relative_to_destination(const char *folder);
