// The engine's only road to the host file system: archive files, name matching and expansion,
// path mapping, output files, times and attributes. POSIX and Win32 implementations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

enum class EngineStatus : int;

// --- The records of the host port, part of the engine state ----------------------------------

struct DirSearch;
constexpr int ARCHIVE_NAME_BUFFER = 264;

// Path mapping: the extraction root and the output path being built for the current member.
struct MappingState {
    std::string root;   // extraction root ending in "/", empty when none
    std::string named;  // output path built from the names as they are
    std::string actual; // the same with rejected components in 8.3 form: what is created
    bool building = false;
    int create_folders = 1;
    int folder_created = 0;
    int label_drive = 0;
    std::string member; // the member name, for messages
};

// One expansion of an archive argument, from its first call to the call that returns none.
struct ExpansionState {
    int first_call = 1;
    const char *pattern = nullptr;
    char *folder = nullptr; // allocated copy, or null for "."
    size_t folder_length = 0;
    int folder_named = 0;
    DirSearch *search = nullptr;
    char result[ARCHIVE_NAME_BUFFER] = {};
};

struct HostState {
    MappingState mapping;
    ExpansionState expansion;
};

// --- Archive files ---------------------------------------------------------------------------

struct HostFileInfo {
    int64_t size;
    int is_directory;
    int owner_execute; // the "may be an executable" hint
    int owner_write;
    int64_t modified; // seconds since 1970
};

// 0 when the name exists (info filled), -1 otherwise.
int host_stat(const char *path, HostFileInfo *info);
// Read-only binary open; a descriptor, or -1.
int host_open_archive(const char *path);
// Reads up to count bytes; the count read, 0 at the end, -1 on error.
int host_read(int fd, unsigned char *buffer, int count);
// Absolute seek; the new position, or -1.
int64_t host_seek(int fd, int64_t position);
void host_close(int fd);

// --- Wildcards and archive-name expansion ----------------------------------------------------

int match_step(const char *pattern, const char *text, int ignore_case);
int wildcard_match(const char *text, const char *pattern, int ignore_case);

DirSearch *dir_search_open(const char *folder);
// The record (now naming its next entry), or null when no entry is left; close it either way.
DirSearch *dir_search_next(DirSearch *search);
const char *dir_search_name(const DirSearch *search);
void dir_search_close(DirSearch *search);

// The next existing name matching the archive argument, or null when the expansion is complete.
// The result has room for ".zip" to be appended.
char *next_archive_name(const char *archive_arg);

// --- The host's naming rules ------------------------------------------------------------------

// The last component of a path (a program's name without its folder).
const char *host_base_name(const char *path);
// A character that separates folders in a path on this host.
bool host_is_separator(unsigned char c);
// A character that would split a name component or root the path: a separator, and where the
// host has drives, the drive colon.
bool host_splits_path(unsigned char c);
// Drops from the end of a name component what the host's file system drops (Windows: dots and
// blanks, so that "..." would read as the parent folder), so that checks see the name the system
// will see.
void host_trim_component(std::string &component);

// --- Path mapping and folders ----------------------------------------------------------------

enum CheckdirOp {
    CD_SET_ROOT = 0,
    CD_START = 1,
    CD_ADD_FOLDER = 2,
    CD_ADD_NAME = 3,
    CD_TAKE_PATH = 4,
    CD_RELEASE_ROOT = 5
};
// Keeps the extraction root and builds the current member's output path; an engine status.
EngineStatus checkdir(char *text, int operation);
// Maps the member name in the name buffer onto its output path (left in the name buffer).
EngineStatus mapname();
// The 8.3 form of one name component, for file systems that reject the long form.
std::string fat_component(const char *component);
// 1 when the file system accepts the path as a name.
int is_valid_name(const char *path);
// 1 when the volume holding the path is a FAT volume.
int is_fat_volume(const char *path);
// 1 when drive n (1 for A) is removable.
int is_removable_drive(int drive);

// Host helpers of the mapping: folder creation (0 on success), whether volume labels can be
// set at all, the current folder's full path (its length, or 0), and setting a label (1 done).
int host_make_folder(const char *path);
int host_volume_labels_supported();
int host_current_folder(char *buffer, int size);
int host_set_volume_label(const char *drive, const char *label);

// --- Output files, times and attributes ------------------------------------------------------

// Opens the output file named by the engine's name buffer; 0 or 1.
int open_output();
// Closes the output file and gives it the member's time and attributes.
void close_output();
// Derives the current member's attribute byte from the central header.
void map_attributes();
// The member's MS-DOS date and time as a host file time (Win32: FILETIME ticks, POSIX:
// seconds since 1970); 1 when a time was produced.
int member_file_time(int64_t *out);
void set_stdout_binary();
// Turns a seconds count read from an MS-DOS local time as if it were UTC into true UTC seconds.
int64_t local_time_bias_seconds(int64_t seconds);
