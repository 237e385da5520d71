// The archive engine as its callers see it: the entry, its statuses, the replace question and
// the member table that listings fill. The installer and the command line include only this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the engine reports: every engine routine's result and the value engine_main returns.
// Statuses combine by taking the worse (numerically higher) one; see raise_status.
enum class EngineStatus : int {
    ok = 0,
    warning = 1,             // something was odd; everything was still processed
    error = 2,               // damaged data met and passed over
    severe_error = 3,        // the archive is not where or what its directory says
    no_memory = 4,           // the engine's own buffers
    decoder_no_memory = 5,   // a decoder's tables or buffers
    no_archive = 9,          // no such file, or no zip directory in it
    bad_command_line = 10,   // a bad option or option combination
    multi_disk = 11,         // part of an archive spread over several disks
    disk_full = 50,          // a write failed and the user chose to stop
    archive_ends_early = 51, // the file ends where a record or block must be
    archive_is_folder = 76,  // the archive name names a folder
    folder_created = 77,     // name mapping: a folder was made, there is nothing to write
    volume_label = 78,       // name mapping: the member is a volume label
    nothing_to_write = 79,   // name mapping: nothing to write (a folder that exists, a label
                             // set, a folder that freshening does not create); never returned
                             // by engine_main
    unknown_operation = 99,  // checkdir: an operation it does not know (a caller's mistake)
};

// Raises `status` to `result` when the result is worse.
inline void raise_status(EngineStatus &status, EngineStatus result) {
    if (result > status) status = result;
}

// One engine call with a command line ("unzip" or "zipinfo" first); an EngineStatus as int.
int engine_main(int argc, char **argv);

// The CRC-32 of zip: folds bytes into a running accumulator that starts as 0xFFFFFFFF and is
// complemented at the end (the installer fingerprints the files it installed with it).
uint32_t crc32_update(uint32_t accumulator, const unsigned char *data, size_t length);

// Asked before an existing output file is replaced: true to replace it. The setup program hands
// over its own, which protects the user's files; the command line its console question.
using ReplacePolicy = bool (*)(const char *path);
// The policy asked before an existing output file is replaced (kept across calls).
void set_replace_policy(ReplacePolicy policy);

// Asked for the password of an archive's encrypted members when the command line gave none (-P),
// once per archive: true with the password in `password` (room for `size` bytes with its NUL).
// The command line hands over its prompt on the terminal; without one (the setup program, whose
// archives are never encrypted) encrypted members are skipped.
using PasswordPolicy = bool (*)(const char *archive, char *password, size_t size);
// The policy asked for a password (kept across calls).
void set_password_policy(PasswordPolicy policy);

// How many names of the last call's include list matched no member.
int names_not_matched();

// The name pattern that matches exactly `name` and nothing else: its wildcard characters and
// backslashes escaped. For names after the end of options ("--"), where backslashes stay.
std::string literal_pattern(const char *name);

// For the command line's signal handlers: removes the output file that an interrupted
// extraction leaves unfinished (the temporary beside a file it would replace, or a new member's
// partly written file), so that nothing half written is later taken for the member. Safe to
// call from a signal handler; afterwards the process must end.
void remove_unfinished_output();

// Member table filled by the verbose and short listings, read by the installer.
// Grows as needed; entry i of each vector describes the i-th listed member.
extern std::vector<std::string> archive_members;
extern std::vector<uint32_t> archive_member_sizes;
extern uint32_t archive_total_size;

// A name or text from the archive as a message may show it: control characters as ^X, so that
// an archive never reaches the terminal with raw control codes. C1 controls (0x80..0x9F, raw or
// as UTF-8) count too; the other bytes of sound UTF-8 characters are kept.
std::string shown_name(const char *name);
// The same for `length` bytes of a text; with `layout`, line feeds and tabs are kept.
std::string shown_text(const char *text, size_t length, bool layout);
