// Installer shell records: the settings record, path joining, message catalogue, existing
// installation.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/os_layer.h"

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
    int worker_started = 0;
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
    MSG_ISDN_NOTE,   // note for ISDN users about the maker's other product
    CATALOGUE_UNUSED // three empty texts
};
constexpr int CATALOGUE_ROWS = CATALOGUE_UNUSED + 1;

struct CatalogueRow {
    const char *text[3]; // English, German, French
};
extern const CatalogueRow catalogue[CATALOGUE_ROWS];

// The text of a row in the user's language.
const char *message_text(CatalogueId id);

void show_info(const char *text);
void show_error(const char *text);
int ask_yes_no(OsWindow owner, const char *caption, const char *text, uint32_t extra_style);

// --- Existing installation and default paths --------------------------------------------------

int read_existing_settings(const char *option_file, const char *path_file);
void reset_old_dirs();
int is_absolute_folder(const char *text);
int is_foreign_absolute(const char *text);
void derive_user_path(const char *destination, char *out, const char *old_folder);
void expand_short_path(char *path);
