// The engine's only road to the host file system: archive files, name matching and expansion,
// path mapping, output files, times and attributes. POSIX and Win32 implementations.
#pragma once

#include <cstdint>
#include <cstdio>

// --- Archive files ---------------------------------------------------------------------------

struct HostFileInfo {
    int64_t size;
    int is_directory;
    int owner_execute; // the "may be an executable" hint
    int owner_write;
    int64_t modified;  // seconds since 1970
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

struct DirSearch;
DirSearch *dir_search_open(const char *folder);
// The record (now naming its next entry), or null when no entry is left; close it either way.
DirSearch *dir_search_next(DirSearch *search);
const char *dir_search_name(const DirSearch *search);
void dir_search_close(DirSearch *search);

constexpr int ARCHIVE_NAME_BUFFER = 264;
// The next existing name matching the specification, or null when the expansion is complete.
// The result has room for ".zip" to be appended.
char *next_archive_name(const char *specification);

// --- Path mapping and folders ----------------------------------------------------------------

enum CheckdirOp { CD_SET_ROOT = 0, CD_START = 1, CD_ADD_FOLDER = 2, CD_ADD_NAME = 3,
                  CD_TAKE_PATH = 4, CD_RELEASE_ROOT = 5 };
int checkdir(char *text, int operation);
int mapname();
char *fat_component(const char *component, char *end);
int is_valid_name(const char *path);
int is_fat_volume(const char *path);
int is_removable_drive(int drive);

// --- Output files, times and attributes ------------------------------------------------------

// Opens the output file named by the engine's name buffer; 0 or 1.
int open_output();
void close_output();
void map_attributes();
void set_stdout_binary();
// Adds the host's local-time offset to a UTC-style seconds count of an MS-DOS time.
int64_t local_time_bias_seconds(int64_t seconds);
