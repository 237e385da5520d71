// What a host port (posix/, win32/) implements for the engine: archive files, folder search,
// the host's naming rules, folders and name probes, output file primitives and file times. A
// port reads no engine state: what it needs about a member or the call comes in as arguments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

struct DirSearch;

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

// A folder of the extraction held open for one engine call, reached without following links: a
// descriptor (POSIX), or a handle that keeps the folder from being renamed or removed while it
// is held (Win32). NO_FOLDER: none.
using HostFolder = intptr_t;
constexpr HostFolder NO_FOLDER = -1;

// A name in a folder held open: the folder, the name in it, and the whole path (for messages and
// for hosts whose calls take paths).
struct FolderEntry {
    HostFolder folder;
    const char *name;
    const char *path;
    bool wide = false; // the path is UTF-8 text for the host's wide-character calls (Win32)
};

// 0 when the name exists (info filled), -1 otherwise. A link is followed (the archive).
int host_stat(const char *path, HostFileInfo *info);
// The same for a name in the extraction folder, where a link is never followed: it is reported
// as itself.
int host_lstat(const FolderEntry &entry, HostFileInfo *info);
FileIdentity host_descriptor_identity(int fd);
// The identity of what the entry names, a final link not followed.
FileIdentity host_path_identity(const FolderEntry &entry);
// Read-only binary open; a descriptor, or -1.
int host_open_archive(const char *path);
// Reads up to count bytes; the count read, 0 at the end, -1 on error.
int host_read(int fd, unsigned char *buffer, int count);
// Absolute seek; the new position, or -1.
int64_t host_seek(int fd, int64_t position);
void host_close(int fd);

// --- Folder search ----------------------------------------------------------------------------

DirSearch *dir_search_open(const char *folder);
// The record (now naming its next entry), or null when no entry is left; close it either way.
DirSearch *dir_search_next(DirSearch *search);
const char *dir_search_name(const DirSearch *search);
void dir_search_close(DirSearch *search);

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
// The longest path the host's file calls take (Win32: MAX_PATH less its terminating zero), or 0
// when paths are not cut to a length.
size_t host_longest_path();
// A name component that the host takes for a device whatever folder it is in (Win32: CON, PRN,
// AUX, NUL, CONIN$, CONOUT$, COM1..COM9, LPT1..LPT9 and COM and LPT with a superscript 1, 2 or 3,
// with or without an extension).
bool host_reserved_name(const std::string &component, bool wide = false);
// A member's UTF-8 name as the host's calls take it: Win32 writes it in the ANSI code page when
// that holds every character (false), and keeps it as UTF-8 for the wide-character calls
// otherwise (true). POSIX names are bytes: the UTF-8 stays as it is (false).
bool host_wide_name(std::string &name);
// A path in the host's code page as UTF-8 (Win32; POSIX: as it is), to lead a wide one.
std::string host_utf8_path(const std::string &path);

// --- Folders and name probes ------------------------------------------------------------------

// What one engine call has learned about the folders it writes into, so that no member asks the
// system again: the folders made or checked (named path to actual path), the longest name each
// folder's file system takes, and whether blanks go to a FAT volume. Starts afresh with every
// extraction root.
struct FolderFacts {
    std::map<std::string, std::string> folders;
    std::map<std::string, long> name_limits;
    int fat_volume = -1; // not probed yet
};

// 1 when the file system accepts the path as a name; what it learns about the folders goes into
// `known`, and is asked there first.
int is_valid_name(const char *path, FolderFacts &known, bool wide = false);
// 1 when the volume holding the path is a FAT volume.
int is_fat_volume(const char *path);
// 1 when drive n (1 for A) is removable.
int is_removable_drive(int drive);
// Folder creation (0 on success), whether volume labels can be set at all, the current folder's
// full path (its length, or 0), and setting a label (1 done).
int host_make_folder(const char *path);
// Holds the extraction root (links followed: the user named it; the current folder when the
// path is empty); NO_FOLDER when it cannot be opened.
HostFolder host_open_root(const char *path);
// How host_open_folder went.
enum class FolderOpen { opened, created, missing, link, not_folder, failed };
// Holds the folder `entry` names (its folder the parent held open), never through a link; with
// `create`, a missing folder is made first. The folder, or NO_FOLDER with `how` saying why.
HostFolder host_open_folder(const FolderEntry &entry, bool create, FolderOpen &how);
void host_close_folder(HostFolder folder);
int host_volume_labels_supported();
int host_current_folder(char *buffer, int size);
int host_set_volume_label(const char *drive, const char *label);

// --- Output files, times and attributes ------------------------------------------------------

// What an output file gets from its member when it is finished: the MS-DOS date and time (local
// time) and the attribute byte (MS-DOS attributes, the archive bit set).
struct MemberStamp {
    uint16_t mod_date;
    uint16_t mod_time;
    uint32_t attributes;
    // Times from the member's extra fields (seconds since 1970 UTC): a known modification time
    // takes the MS-DOS time's place; a known access time is set too.
    bool modified_known = false;
    int64_t modified = 0;
    bool accessed_known = false;
    int64_t accessed = 0;
    // A Unix-made member's st_mode (0: none); the creation mask that a replacement's permission
    // bits get; whether the file was made for this member (then with the member's permissions).
    uint32_t unix_mode = 0;
    unsigned creation_mask = 0;
    bool fresh = true;
};

// The permission bits the host takes from every file it creates (POSIX: the umask; 0 on Win32),
// read once per engine call, when the first member brings permissions of its own.
struct CreationMask {
    int known = 0;
    unsigned bits = 0;
};
unsigned host_creation_mask();

// Creates a file only where nothing of that name exists (a link counts as existing and is never
// followed): the stream, or null with errno (EEXIST when the name exists). A Unix-made member's
// st_mode (0: none) gives a plain file its permission bits at creation (POSIX).
std::FILE *host_create_exclusive(const FolderEntry &entry, uint32_t unix_mode = 0);
// Opens a device that stands at the entry for writing as it is (a link is not followed).
std::FILE *host_open_in_place(const FolderEntry &entry);
// Gives a replacement the permissions of the regular file it replaces (POSIX; not a link's).
void host_keep_permissions(std::FILE *file, const FolderEntry &replaced);
// Closes an output file; with `finish`, it gets the stamp's time and attributes.
void host_close_file(std::FILE *file, const FolderEntry &entry, bool finish,
                     const MemberStamp &stamp);
// Puts the temporary file in the target's place (both in one folder), replacing it; false when
// it cannot.
bool host_replace_file(const FolderEntry &temporary, const FolderEntry &target);
void host_remove_file(const FolderEntry &entry);
// Removes an output file that is still open, from a signal handler: only calls that are safe
// there (the process ends right after).
void host_discard_open_file(std::FILE *file, const char *path, bool wide);
// An MS-DOS date and time as a host file time (Win32: FILETIME ticks, POSIX: seconds since
// 1970); 1 when a time was produced.
int member_file_time(uint16_t mod_date, uint16_t mod_time, int64_t *out);
void set_stdout_binary();
// Whether standard output leads anywhere at the start of an engine call (a program without a
// console has none): only then is a failure to write there reported.
bool host_stdout_connected();

// The host's time-zone rules as one engine call uses them for every member (read once per call).
struct TimeZoneState {
    int known = 0;
    int64_t bias_seconds = 0; // Win32: UTC = local + bias
};
// Turns a seconds count read from an MS-DOS local time as if it were UTC into true UTC seconds,
// by the time-zone rules read once per engine call into `zone` (read_time_zone).
int64_t local_time_bias_seconds(int64_t seconds, TimeZoneState &zone);
// Reads the host's time-zone rules for this engine call into `zone`; member times are then
// converted without asking the system again.
void read_time_zone(TimeZoneState &zone);
