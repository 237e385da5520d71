// The archive engine's records and its single global state, shared by every engine module.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/decoders/decoders.h"

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
    unknown_operation = 99,  // checkdir: an operation it does not know (a caller's mistake)
};

// Raises `status` to `result` when the result is worse.
inline void raise_status(EngineStatus &status, EngineStatus result) {
    if (result > status) status = result;
}

constexpr int INPUT_BLOCK_SIZE = 2048;
constexpr int INPUT_BUFFER_SIZE = INPUT_BLOCK_SIZE + 4; // the hold area follows the block
constexpr int OUTPUT_BUFFER_SIZE = 65536 + 1;
constexpr int MAX_STORED_NAME = 260;     // longest member name kept; the rest is skipped
constexpr int NAME_BUFFER_SIZE = 4096;   // member name, later the output path built from it
constexpr int END_SEARCH_LENGTH = 66000; // a 65535-byte comment plus its record fits
constexpr int BATCH_SIZE = 64;

// End-of-central-directory record (after its 4-byte signature).
struct EndRecord {
    uint16_t this_disk;
    uint16_t directory_disk;
    uint16_t entries_this_disk;
    uint16_t total_entries;
    int32_t directory_size;
    int32_t directory_offset;
    uint16_t comment_length;
};

// Central directory file header (after its signature).
struct CentralHeader {
    uint8_t version_made_by;
    uint8_t host_made_by;
    uint8_t version_needed;
    uint8_t host_needed;
    uint16_t flags;
    uint16_t method;
    uint16_t mod_time;
    uint16_t mod_date;
    uint32_t crc32;
    uint32_t compressed_size;
    uint32_t uncompressed_size;
    uint16_t name_length;
    uint16_t extra_length;
    uint16_t comment_length;
    uint16_t disk_start;
    uint16_t internal_attributes;
    uint32_t external_attributes;
    uint32_t local_offset;
};

// Local file header (after its signature).
struct LocalHeader {
    uint8_t version_needed;
    uint8_t host_needed;
    uint16_t flags;
    uint16_t method;
    uint16_t mod_time;
    uint16_t mod_date;
    uint32_t crc32;
    uint32_t compressed_size;
    uint32_t uncompressed_size;
    uint16_t name_length;
    uint16_t extra_length;
};

// One central directory entry as the extraction driver and listings keep it.
struct MemberEntry {
    uint32_t local_offset;
    uint32_t compressed_size;
    uint32_t crc32;
    int host_system;
    uint32_t file_attributes; // host attributes derived for the output file
    unsigned encrypted : 1;
    unsigned sizes_after_data : 1;
    unsigned text_hint : 1;
    unsigned convert_text : 1;
    unsigned lowercase_name : 1;
    unsigned volume_label : 1;
};

// Modes of read_field.
enum FieldMode { FIELD_SKIP = 0, FIELD_SHOW = 1, FIELD_NAME = 2, FIELD_EXTRA = 3 };

// The engine's whole state; one engine call runs at a time.
struct EngineState {
    // Options (counters, 0 = off).
    int text_level;           // -a
    int to_stdout;            // -c, -p
    int freshen;              // -f
    int junk_paths;           // -j
    int list_level;           // -l, -v
    int never_overwrite;      // -n
    int overwrite_all;        // -o
    int no_query;             // -o
    int quiet;                // -q
    int spaces_to_underscore; // -s (kept across calls)
    int test;                 // -t
    int update;               // -u
    int keep_case;            // -U
    int keep_vms_version;     // -V (kept across calls)
    int comment_level;        // -z
    int volume_labels;        // -$ (kept across calls)
    int create_files;
    int extract_dir_given;
    int detailed_mode; // zipinfo / -Z

    // Name lists, pointing into the caller's argument vector.
    char **include_names;
    int include_count;
    char **exclude_names;
    int exclude_count;
    int process_all;

    const char *program_name; // "unzip" or "zipinfo", for messages
    const char *archive_arg;  // the archive argument as given
    const char *archive_name; // the archive being processed

    // Input window over the archive.
    unsigned char *input_buffer;  // INPUT_BUFFER_SIZE bytes
    unsigned char *hold_area;     // the 3 bytes after the block
    unsigned char *output_buffer; // OUTPUT_BUFFER_SIZE bytes
    int32_t window_start;
    unsigned char *read_pos;
    int32_t bytes_left;
    int archive_fd;
    int64_t archive_size;
    int32_t prepended_bytes;

    EndRecord end_record;
    int32_t end_record_offset;
    int32_t expected_end_offset;
    CentralHeader central;
    LocalHeader local;
    MemberEntry *current;

    char filename[NAME_BUFFER_SIZE]; // member name, then its output path
    unsigned char *extra_field;
    unsigned extra_length;

    int32_t remaining_compressed;
    uint32_t remaining_uncompressed;
    int32_t used_compressed_size; // set by the implode decoder on a size mismatch

    // Output writer.
    uint32_t crc_accumulator;
    int pending_cr;
    int first_block;
    int disk_full_state;
    std::FILE *output_file;

    // Process-wide: a file by the plain name had no zip directory.
    int no_zip_directory_seen;

    // The detailed report (zipinfo mode), set by report_options.
    int report_format; // -1 not chosen, -2 cancelled, 0 header/totals only, 1 and 2 names,
                       // 3 short line, 4 with ratio, 5 with compressed size, 10 full report
    int show_header;   // the archive header line
    int show_totals;   // the totals line

    // The decoders' records and work areas.
    DecoderState decoders;
    TableMemory table_memory;
};

extern EngineState G;

// Signatures, filled at the start of every archive loop.
extern unsigned char central_signature[4];
extern unsigned char local_signature[4];
extern unsigned char end_signature[4];

extern const char REPORT_TEXT[];

// Member table filled by the verbose and short listings, read by the installer.
// Grows as needed; entry i of each vector describes the i-th listed member.
extern std::vector<std::string> archive_members;
extern std::vector<uint32_t> archive_member_sizes;
extern uint32_t archive_total_size;

// Engine entry and command line.
int engine_main(int argc, char **argv);

// The archive reader.
EngineStatus process_archive(int report_missing);
EngineStatus find_end_record(int64_t search_length);
EngineStatus seek_archive(int64_t offset);
int read_exact(unsigned char *destination, int count);
int refill_byte();
EngineStatus read_field(unsigned length, int mode);
EngineStatus read_central_header();
EngineStatus read_local_header();
void derive_member_flags();
EngineStatus show_archive_comment();
int64_t archive_position();

// The decoders' byte supplier: 0..255, or -1 at (and past) the member's end.
inline int next_byte() {
    if (G.remaining_compressed <= 0) {
        --G.remaining_compressed;
        return -1;
    }
    --G.remaining_compressed;
    if (--G.bytes_left >= 0) return *G.read_pos++;
    return refill_byte();
}

// Listings.
EngineStatus list_members();
int ratio_permille(uint32_t uncompressed, uint32_t compressed);
void print_name(const char *name);

// Extraction driver and output writer.
EngineStatus extract_all();
EngineStatus write_out(const unsigned char *block, unsigned length, int from_shrink);
// Line-end conversion target for blocks that already lie in the output buffer (shrink);
// allocated by the shrink decoder when it first needs it.
extern unsigned char *text_conversion_buffer;
void release_text_conversion_buffer();

// --- Extraction driver: members, existing files and times ---
// Extracts or tests the current member; the input is at its data.
EngineStatus extract_member();
// -1 no such file, 0 the existing file is older than the member, 1 as new or newer.
int newer_check(const char *path);
// An MS-DOS date and time (local time) as seconds since 1970.
int64_t dos_to_seconds(uint16_t date, uint16_t time);

// The detailed report (zipinfo mode).
EngineStatus report_options(int *argc, char ***argv);
EngineStatus report_archive_header();
EngineStatus report_members();
EngineStatus report_short_line();
EngineStatus report_full_entry();
std::string report_date(unsigned date, unsigned time);
void report_usage(int bad);

// Whether an existing output file may be replaced; defined by whoever links the engine.
bool replace_policy(const char *path);

// The usage screen; returns 10 when the line was bad, else 0.
EngineStatus show_usage(int bad);
