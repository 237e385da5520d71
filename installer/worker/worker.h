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

// One change this run made, as it was made.
enum class ChangeKind {
    folder_made,      // a folder that was not there
    file_made,        // a file that was not there (a member, a copy, a backup)
    file_replaced,    // an existing file written over; `saved` holds its earlier contents
    menu_folder_made, // the start-menu folder
    shortcut_made,    // a start-menu link
    user_file_copied, // the earlier installation's phone book, options or scripts: the user's
};
struct Change {
    ChangeKind kind;
    std::string path;       // as Windows writes it
    std::string saved;      // file_replaced: where the earlier contents are ("" when nowhere)
    bool undo_copy = false; // `saved` is the run's own copy, deleted once the run succeeds
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
    std::vector<Change> journal; // this run's changes in the order they were made
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

// --- This run's journal and its undoing ---------------------------------------------------------

void note_change(ChangeKind kind, const std::string &path, const std::string &saved = "",
                 bool undo_copy = false);
// The folders of dir (its ancestors and itself) that do not exist yet, outermost first.
std::vector<std::string> missing_folders(const std::string &dir);
// The names of the files in a folder.
std::vector<std::string> folder_files(const std::string &dir);
// After a step that may have made them: notes the folders of `missing` that exist now, and the
// files of dir that are not in `before`.
void note_made(const std::vector<std::string> &missing, const std::string &dir,
               const std::vector<std::string> &before);
// Before an existing file is written over without a backup of the user's: a copy of it that
// the undoing restores. False when none could be made (then it must not be written).
bool keep_undo_copy(const std::string &path);
// A backup of this run moved from one name to another: the journal follows it.
void note_backup_moved(const std::string &from, const std::string &to);
// Puts back what the journal records, newest first: made files and empty made folders removed,
// replaced files restored. Each step is logged; false when something could not be undone.
bool undo_installation();
// After a successful run: the undo copies are deleted.
void drop_undo_copies();

// --- Install record and the entry for removal --------------------------------------------------

constexpr const char INSTALL_RECORD_NAME[] = "QELSETUP.REC"; // in the destination
constexpr const char SETUP_COPY_NAME[] = "SETUP.EXE";        // the setup's copy beside it
constexpr const char UNINSTALL_ENTRY[] = "QEL";              // the product's entry for removal

// A file the installation made, with what tells later whether it is unchanged.
struct RecordedFile {
    std::string path;
    uint64_t size = 0;
    uint32_t crc = 0;
};
// What installations into one destination made, as the uninstallation reads it.
struct InstallRecord {
    int language = 0;
    std::string destination;
    std::string setup_copy;             // "" when none was placed
    std::vector<std::string> folders;   // made, in the order made
    std::vector<RecordedFile> files;    // made (or written over with the product's own)
    std::vector<BackupRecord> replaced; // the user's files written over, with their backups
    std::string menu_folder;            // "" when none was made
    std::vector<std::string> shortcuts;
};
// Size and CRC-32 of a file; false when it cannot be read.
bool file_fingerprint(const std::string &path, RecordedFile &out);
bool read_install_record(const std::string &path, InstallRecord &out);
bool write_install_record(const std::string &path, const InstallRecord &record);
// At the end of a successful run: the setup copied into the destination, the install record
// (merged with an earlier one there) written, the product entered for removal.
void register_installation();

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
