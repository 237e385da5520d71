// Installation worker records: worker state, member routing, file operations, settings migration.
#pragma once

#include <cstdint>
#include <string>

#include "installer/shell/shell.h"

// --- Worker state -----------------------------------------------------------------------------

enum OptionFilesDecision { OPTION_FILES_NONE = 0, OPTION_FILES_OVERWRITE, OPTION_FILES_KEEP };

extern int install_failed;
extern uint32_t done_bytes;
extern uint32_t percent_done;
extern int backups_made;
extern OptionFilesDecision option_files_decision;

// --- Member routing and engine calls ----------------------------------------------------------

struct RouteEntry {
    const char *component;
    PathField base;
};

int list_archive();
int get_zip_name(const char *member);
void member_subdir(char *out, const char *member, const char *base);
void make_parent_dirs(const char *dir);
// The folder a member goes to: the routed base for its first component, else the destination.
const char *route_base(const char *member);
// The backup name of path: the backup rule applied to its last component.
std::string backup_name(const char *path);
// done of total as a percentage 0..100; an empty archive counts as complete.
uint32_t percent_of(uint64_t done, uint64_t total);
// Adds a member's size to the progress and recomputes percent_done.
void add_member_progress(uint32_t size);

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
