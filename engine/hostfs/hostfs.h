// The engine's only road to the host file system: archive files, name matching and expansion,
// path mapping, output files, times and attributes. POSIX and Win32 implementations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

enum class EngineStatus : int;

// --- The records of the host port, part of the engine state ----------------------------------

struct DirSearch;
constexpr int ARCHIVE_NAME_BUFFER = 264;

// What one engine call has learned about the folders it writes into, so that no member asks the
// system again: the folders made or checked (named path to actual path), the longest name each
// folder's file system takes, and whether blanks go to a FAT volume. Starts afresh with every
// extraction root.
struct FolderFacts {
    std::map<std::string, std::string> folders;
    std::map<std::string, long> name_limits;
    int fat_volume = -1; // not probed yet
};

// Path mapping: the extraction root and the output path being built for the current member.
struct MappingState {
    std::string root;   // extraction root ending in "/", empty when none
    std::string named;  // output path built from the names as they are
    std::string actual; // the same with rejected components in 8.3 form: what is created
    bool building = false;
    int create_folders = 1;
    int folder_created = 0;
    int label_drive = 0;
    int device_renamed = 0; // a component named a device and was given a safe name
    std::string member;     // the member name, for messages
    FolderFacts known;
};

// The output file of the current member as the host port opened it. A member that replaces an
// existing file is written to a temporary file beside it, which takes the file's place only when
// the member is complete.
struct OutputFileState {
    int replacing = 0;
    int in_place = 0; // a device written as it is: no time, no attributes
    std::string temporary;
    unsigned next_temporary = 0; // tried first for the next temporary name
};

// The host's time-zone rules as one engine call uses them for every member (read once per call).
struct TimeZoneState {
    int known = 0;
    int64_t bias_seconds = 0; // Win32: UTC = local + bias
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
    OutputFileState output_file;
    TimeZoneState time_zone;
};

// --- Archive files ---------------------------------------------------------------------------

struct HostFileInfo {
    int64_t size;
    int is_directory;
    int owner_execute; // the "may be an executable" hint
    int owner_write;
    int64_t modified; // seconds since 1970
    int is_link;      // host_lstat only: a symbolic link (POSIX) or reparse point (Win32)
    int is_device;    // host_lstat only: a device, written in place rather than replaced
};

// Which file a name or an open file is, whatever name reaches it: device and inode (POSIX),
// volume serial number and file index (Win32).
struct FileIdentity {
    uint64_t volume = 0;
    uint64_t file = 0;
    bool known = false;
};

// 0 when the name exists (info filled), -1 otherwise. A link is followed (the archive).
int host_stat(const char *path, HostFileInfo *info);
// The same for a name in the extraction folder, where a link is never followed: it is reported
// as itself.
int host_lstat(const char *path, HostFileInfo *info);
FileIdentity host_descriptor_identity(int fd);
// The identity of what the path names, a final link not followed.
FileIdentity host_path_identity(const char *path);
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
// A name component that the host takes for a device whatever folder it is in (Win32: CON, PRN,
// AUX, NUL, COM1..COM9, LPT1..LPT9, with or without an extension).
bool host_reserved_name(const std::string &component);

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

// How open_output went: a new file was made, something of that name exists already (a link
// included), or the file cannot be created (the message is out).
enum class OutputOpen { created, exists, failed };
// Creates the output file named by the engine's name buffer, only where nothing of that name
// exists: the check and the creation are one step, and a link is never followed.
OutputOpen open_output();
// Opens the output of a member that replaces the existing file named by the name buffer: a
// temporary file beside it (a device is written in place). 0, or 1 after the "cannot create"
// message.
int open_replacement();
// How a member's output ends.
enum class OutputEnd {
    complete,  // whole, its size and CRC right: a replacement takes the file's place
    damaged,   // a new file keeps what was decoded; a replacement is removed
    stopped,   // the user stopped after a write failure: closed as it is, a replacement removed
    abandoned, // nothing is to remain: what open_output or open_replacement made is removed
};
// Ends the member's output file; complete and damaged new files get the member's time and
// attributes. 0, or 1 when a replacement could not take the file's place (after a message).
int close_output(OutputEnd how);

// Host primitives of the output files. Creates a file only where nothing of that name exists
// (a link counts as existing and is never followed): the stream, or null with errno (EEXIST
// when the name exists).
std::FILE *host_create_exclusive(const char *path);
// Gives a replacement the permissions of the regular file it replaces (POSIX; not a link's).
void host_keep_permissions(std::FILE *file, const char *replaced);
// Closes an output file; with `finish`, it gets the member's time and attributes.
void host_close_file(std::FILE *file, const char *path, bool finish);
// Puts the temporary file in the target's place, replacing it; false when it cannot.
bool host_replace_file(const char *temporary, const char *target);
void host_remove_file(const char *path);
// Derives the current member's attribute byte from the central header.
void map_attributes();
// The member's MS-DOS date and time as a host file time (Win32: FILETIME ticks, POSIX:
// seconds since 1970); 1 when a time was produced.
int member_file_time(int64_t *out);
void set_stdout_binary();
// Turns a seconds count read from an MS-DOS local time as if it were UTC into true UTC seconds,
// by the time-zone rules read once per engine call (read_time_zone).
int64_t local_time_bias_seconds(int64_t seconds);
// Reads the host's time-zone rules for this engine call; member times are then converted
// without asking the system again.
void read_time_zone();
