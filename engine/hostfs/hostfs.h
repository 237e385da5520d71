// The engine's only road to the host file system: name matching and archive-name expansion,
// path mapping and folders, output files; the host port beneath (host_port.h) on POSIX and Win32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

#include "engine/hostfs/host_port.h"

enum class EngineStatus : int;

// --- The records of the host file system, part of the engine state ---------------------------

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
    int device_renamed = 0; // a component named a device and was given a safe name
    std::string member;     // the member name, for messages
    FolderFacts known;
    // The folders of the call held open (named path to folder), the root among them, so that a
    // folder once checked is the folder written into whatever later takes its name.
    HostFolder root_folder = NO_FOLDER;
    std::map<std::string, HostFolder> open_folders;
    HostFolder building_folder = NO_FOLDER; // the folder the path being built has reached
    HostFolder output_folder = NO_FOLDER;   // the folder of the output path last taken
    bool wide = false; // the member's path is UTF-8 for the wide-character calls (host_wide_name)
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
    CreationMask creation_mask;
};

// --- Wildcards and archive-name expansion ----------------------------------------------------

int match_step(const char *pattern, const char *text, int ignore_case);
int wildcard_match(const char *text, const char *pattern, int ignore_case);

// The next existing name matching the archive argument, or null when the expansion is complete.
// The result has room for ".zip" to be appended.
char *next_archive_name(const char *archive_arg);

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
// Maps the member name in the name buffer onto its output path (left in the name buffer): ok or
// warning (a name given a safe form) when there is a file to write; folder_created,
// nothing_to_write or volume_label when there is none; a worse status when the member fails.
EngineStatus mapname();
// The 8.3 form of one name component, for file systems that reject the long form.
std::string fat_component(const char *component);

// --- Output files, times and attributes ------------------------------------------------------

// How open_output went: a new file was made, something of that name exists already (a link
// included), the file cannot be created (the message is out), or no file can have that name
// there: too long, or a file where a folder must be (the message is out).
enum class OutputOpen { created, exists, failed, bad_name };
// The output path in the name buffer as a name in the folder held open for it (mapname), its
// status (a link not followed; 0 when it exists) and identity.
FolderEntry output_entry();
int output_status(HostFileInfo *info);
FileIdentity output_identity();
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

// Derives the current member's attribute byte from the central header.
void map_attributes();
