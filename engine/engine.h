// The archive engine's records and its one state, shared by every engine module.
#pragma once

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "engine/decoders/decoders.h"
#include "engine/engine_api.h"
#include "engine/hostfs/hostfs.h"

constexpr int INPUT_BLOCK_SIZE = 2048;
constexpr int INPUT_BUFFER_SIZE = INPUT_BLOCK_SIZE + 4; // the hold area follows the block
constexpr int OUTPUT_BUFFER_SIZE = 65536 + 1;
constexpr int MAX_STORED_NAME = 260;     // longest member name kept; the rest is skipped
constexpr int NAME_BUFFER_SIZE = 4096;   // member name, later the output path built from it
constexpr int END_SEARCH_LENGTH = 66000; // a 65535-byte comment plus its record fits
constexpr int BATCH_SIZE = 64;

// End-of-central-directory record (after its 4-byte signature). A field that is all ones in an
// archive with a zip64 end record holds the zip64 record's value instead (`zip64` set).
struct EndRecord {
    uint32_t this_disk;
    uint32_t directory_disk;
    uint64_t entries_this_disk;
    uint64_t total_entries;
    int64_t directory_size;
    int64_t directory_offset;
    uint16_t comment_length;
    bool zip64;
};

// The fields a local header and a central directory header share, in the order both hold them.
struct MemberFields {
    uint8_t version_needed;
    uint8_t host_needed;
    uint16_t flags;
    uint16_t method;
    uint16_t mod_time;
    uint16_t mod_date;
    uint32_t crc32;
    uint64_t compressed_size; // from the zip64 extra field where the header's is all ones
    uint64_t uncompressed_size;
    uint16_t name_length;
    uint16_t extra_length;
};

// Local file header (after its signature): the shared fields alone.
struct LocalHeader : MemberFields {};

// Central directory file header (after its signature): who made it, the shared fields, then
// the member comment's length, its disk, attributes and the local header's place.
struct CentralHeader : MemberFields {
    uint8_t version_made_by;
    uint8_t host_made_by;
    uint16_t comment_length;
    uint32_t disk_start; // this and the offset from the zip64 extra field where all ones
    uint16_t internal_attributes;
    uint32_t external_attributes;
    uint64_t local_offset;
};

// A member's times from the extra fields of today's archives (extended timestamp, NTFS), in
// seconds since 1970 UTC.
struct MemberTimes {
    bool modified_known = false;
    bool accessed_known = false;
    int64_t modified = 0;
    int64_t accessed = 0;
};

// One central directory entry as the extraction driver and listings keep it.
struct MemberEntry {
    uint64_t local_offset;
    uint64_t compressed_size;
    uint64_t uncompressed_size;
    uint32_t crc32;
    uint16_t method;
    int host_system;
    uint32_t file_attributes; // host attributes derived for the output file
    unsigned encrypted : 1;
    unsigned sizes_after_data : 1;
    unsigned text_hint : 1;
    unsigned convert_text : 1;
    unsigned lowercase_name : 1;
    unsigned volume_label : 1;
    unsigned utf8_name : 1;  // the name is UTF-8 text (flag bit 11 or the Unicode path field)
    uint32_t unix_mode;      // a Unix-made member's st_mode (the external attributes' high half)
    MemberTimes extra_times; // the times its directory entry's extra field gives
};

// Modes of read_field.
enum FieldMode { FIELD_SKIP = 0, FIELD_SHOW = 1, FIELD_NAME = 2, FIELD_EXTRA = 3 };

// The signatures that open the three records.
inline constexpr unsigned char LOCAL_SIGNATURE[4] = {'P', 'K', 3, 4};
inline constexpr unsigned char CENTRAL_SIGNATURE[4] = {'P', 'K', 1, 2};
inline constexpr unsigned char END_SIGNATURE[4] = {'P', 'K', 5, 6};

// Little-endian fields of the zip records, assembled byte by byte.
inline uint16_t read_le16(const unsigned char *p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t read_le32(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// --- The engine state, in parts ----------------------------------------------------------------

// What lives from one engine call to the next; every other part starts afresh with each call
// (reset_engine_state).
struct KeptAcrossCalls {
    int spaces_to_underscore = 0;  // -s
    int keep_vms_version = 0;      // -V
    int volume_labels = 0;         // -$
    int show_header = 0;           // the detailed report's header line (every report sets it)
    int no_zip_directory_seen = 0; // a file by the plain name had no zip directory: words a
                                   // later not-found message differently
    ReplacePolicy replace_policy = nullptr;   // none: an existing file is kept
    PasswordPolicy password_policy = nullptr; // none: encrypted members need -P
};

// The detailed report's format (zipinfo -1, -2, -s, -m, -l, -v): while the options are read
// also not chosen yet, or cancelled by a negated format letter.
enum class ReportFormat : int {
    cancelled = -2,
    not_chosen = -1,
    header_totals_only = 0, // -h or -t alone: no member lines
    names_only = 1,         // -1: names, no header, totals or comment
    names = 2,              // -2: names, header and totals on request
    short_line = 3,         // -s
    with_ratio = 4,         // -m
    with_compressed = 5,    // -l
    full = 10,              // -v
};

// The options of one call (counters, 0 = off).
struct EngineOptions {
    int text_level = 0;      // -a
    int to_stdout = 0;       // -c, -p
    int freshen = 0;         // -f
    int junk_paths = 0;      // -j
    int list_level = 0;      // -l, -v
    int never_overwrite = 0; // -n
    int overwrite_all = 0;   // -o
    int no_query = 0;        // -o
    int quiet = 0;           // -q
    int test = 0;            // -t
    int update = 0;          // -u
    int keep_case = 0;       // -U
    int comment_level = 0;   // -z
    int create_files = 0;    // not -c, -t or a listing
    int extract_dir_given = 0;
    int detailed_mode = 0;                                 // zipinfo / -Z
    ReportFormat report_format = ReportFormat::not_chosen; // set by report_options
    int show_totals = 0;                                   // the detailed report's totals line
};

// The include and exclude lists, pointing into the caller's argument vector.
struct NameLists {
    const char *const *include_names = nullptr;
    int include_count = 0;
    const char *const *exclude_names = nullptr;
    int exclude_count = 0;
    int process_all = 0;
    int unmatched_count = 0; // include names that matched no member (known after the walk)
};

// The input window over the open archive, and the current member's input counters.
struct InputWindow {
    unsigned char *buffer = nullptr;    // INPUT_BUFFER_SIZE bytes, allocated per call
    unsigned char *hold_area = nullptr; // the 3 bytes after the block
    int64_t window_start = 0;           // file position of buffer[0]
    unsigned char *read_pos = nullptr;
    int32_t bytes_left = 0; // from read_pos to the end of the valid data
    int archive_fd = -1;
    int64_t archive_size = 0;
    FileIdentity archive_identity;       // which file the archive is, whatever name reaches it
    int64_t prepended_bytes = 0;         // added to every archive offset before seeking
    int64_t remaining_compressed = 0;    // counted down by next_byte, also past the member's end
    uint64_t remaining_uncompressed = 0; // read by the implode and reduce decoders
};

// How the member's output stands after write failures: none failed; one failed and the user
// went on (the member ends with a warning); the user chose to stop the archive.
enum class DiskFullState { none = 0, went_on = 1, stop = 2 };

// The member's bytes beyond the input window, when many are left: read straight into
// EngineState::bulk_buffer a piece of BULK_PIECE_SIZE at a time, one read instead of one per
// input block. The input window is brought back to where the member's bytes end when the decoder
// is done.
constexpr int BULK_PIECE_SIZE = 65536;
constexpr int BULK_INPUT_THRESHOLD = 16384; // member bytes left that make pieces worth it
struct BulkInput {
    bool active = false;
    int64_t piece_position = 0;             // archive file position of the piece's first byte
    int64_t next_position = 0;              // and of the byte after the piece
    const unsigned char *settled = nullptr; // bytes before this one are counted as used
};

// The output writer.
struct OutputState {
    unsigned char *buffer = nullptr; // OUTPUT_BUFFER_SIZE bytes, allocated per call
    // Line-end conversion target for blocks that already lie in the output buffer (shrink);
    // allocated by the shrink decoder when it first needs it.
    unsigned char *text_conversion_buffer = nullptr;
    std::FILE *file = nullptr;
    uint32_t crc_accumulator = 0;
    int pending_cr = 0;
    int first_block = 0;
    DiskFullState disk_full_state = DiskFullState::none;
    // The member's declared uncompressed size, which its output never exceeds (no limit outside
    // a member's extraction), what it has produced so far, and whether it tried to go past it.
    uint64_t declared_size = std::numeric_limits<uint64_t>::max();
    uint64_t produced = 0;
    int past_declared_size = 0;
    // The file being written while a member is extracted, which an interrupted run removes
    // (remove_unfinished_output): set only while `unfinished` names it.
    volatile std::sig_atomic_t has_unfinished = 0;
    char unfinished[NAME_BUFFER_SIZE] = {};
    volatile std::sig_atomic_t unfinished_wide = 0; // its path is for the wide-character calls
};

// The extraction driver's batch of central directory entries, and where the members' data lie.
struct ExtractionState {
    MemberEntry batch[BATCH_SIZE] = {};
    std::string listed_names[BATCH_SIZE]; // each kept entry's name as the directory gives it
    unsigned skipped_count = 0;           // members refused for version, method or encryption
    // Every member's local header offset, sorted, and by directory entry number whether the
    // entry is refused because its data overlap another member's or its local header is an
    // earlier entry's: found before anything is decoded.
    std::vector<uint64_t> member_offsets;
    std::vector<bool> refused_entries;
    std::string stored_names[BATCH_SIZE]; // each kept entry's name field as stored
};

// Traditional decryption (decryption.cpp): the three keys of the stream cipher, the 12-byte header
// in front of an encrypted member's data, and the passwords of one call.
constexpr int ENCRYPTION_HEADER_SIZE = 12;
struct CipherKeys {
    uint32_t key0 = 0x12345678u;
    uint32_t key1 = 0x23456789u;
    uint32_t key2 = 0x34567890u;
};
struct DecryptionState {
    std::string given;          // -P's password
    bool have_given = false;    // -P was given
    std::string answered;       // the prompt's answer for the archive `answered_for`
    bool have_answered = false; // the prompt gave one
    std::string answered_for;   // the archive the prompt was made for: one prompt per archive
    bool active = false;        // the current member's data are decrypted as they are read
    CipherKeys keys;            // the current member's, after its header
};

// The engine's whole state; one engine call runs at a time.
struct EngineState {
    KeptAcrossCalls kept;
    EngineOptions options;
    NameLists names;

    const char *program_name = nullptr; // "unzip" or "zipinfo", for messages
    const char *archive_arg = nullptr;  // the archive argument as given
    const char *archive_name = nullptr; // the archive being processed, as messages show it
    const char *archive_path = nullptr; // the same as the file system knows it
    std::string archive_shown;          // holds archive_name

    InputWindow input;
    BulkInput bulk;
    unsigned char bulk_buffer[BULK_PIECE_SIZE];

    // The archive's records and the current member.
    EndRecord end_record = {};
    int64_t end_record_offset = 0;   // the classic end record's place in the file
    int64_t expected_end_offset = 0; // and where the directory's offset and size put it
    CentralHeader central = {};
    LocalHeader local = {};
    MemberEntry *current = nullptr;
    char filename[NAME_BUFFER_SIZE] = {}; // member name, then its output path
    unsigned char *extra_field = nullptr;
    unsigned extra_length = 0;

    OutputState output;
    ExtractionState extraction;
    MemberEntry listed_member = {}; // the current entry of the listings and the detailed report
    DecoderState decoders;
    HostState host;
    DecryptionState decryption;
    std::string stored_name; // the current name field as stored, before folding or decoding
};

extern EngineState engine;

// Gives an engine call a fresh start: releases whatever an earlier call left allocated and sets
// every part of the state back to its initial form, except engine.kept.
void reset_engine_state();
// Allocates the input and output buffers of one engine call; false (nothing left allocated)
// when memory is short.
bool allocate_call_buffers();
// Releases what one engine call allocates: its buffers, the decoders' cached tables and
// conversion buffer, the extraction root and the last extra field.
void release_call_resources();

extern const char REPORT_TEXT[];

// The archive reader.
EngineStatus process_archive(int report_missing);
EngineStatus find_end_record(int64_t search_length);
EngineStatus seek_archive(int64_t offset);
int read_exact(unsigned char *destination, int count);
int refill_byte();
// The current member's input ends here: the decoder's next byte is past the member's end.
void end_member_input();
EngineStatus read_field(unsigned length, int mode);
EngineStatus read_central_header();
EngineStatus read_local_header();
// After the local header's extra field is read: its sizes that are all ones from the zip64 extra
// field, and the member's input counters with them.
void apply_local_zip64();
void derive_member_flags();
// Reads a name, extra field or comment of a header (read_field) and raises `status` with the
// result. False when the walk must end: then, when `header` ("central" or "local") is given, a
// line names the field whose length is bad.
bool read_header_field(unsigned length, int mode, const char *header, EngineStatus &status);

// The blocks of a header's extra field (extra_fields.cpp). A block is an id and its data; the
// walk stops at the first block whose stated length does not fit in the field.
struct ExtraBlock {
    uint16_t id;
    uint16_t length;
    const unsigned char *data;
};
// The block after `*offset` (0 for the first), moving `*offset` past it; false at the end of
// the field or at a block that does not fit.
bool next_extra_block(const unsigned char *extra, unsigned extra_length, unsigned *offset,
                      ExtraBlock *block);
// The first block with this id; false when there is none before the walk stops.
bool find_extra_block(const unsigned char *extra, unsigned extra_length, uint16_t id,
                      ExtraBlock *found);
// True when the blocks fill the field, up to fewer than four bytes of padding.
bool extra_field_well_formed(const unsigned char *extra, unsigned extra_length);

// zip64 (zip64.cpp). The zip64 end record as found before the classic end record at
// `end_record_offset` through its locator: its place in the file and its values (the end
// record's fields it holds; no comment).
struct Zip64End {
    int64_t position;
    EndRecord values;
};
// False when there is no whole locator and zip64 end record (the file position is then undefined).
bool find_zip64_end(int64_t end_record_offset, Zip64End *found);
// Replaces the header fields that are all ones by the zip64 extra field's values (0x0001, in the
// last extra field read): a central header's sizes, local header offset and disk, or, when
// `local_offset` is null, a local header's two sizes. False when the field lacks a value it
// should hold; the fields then keep what they held.
bool apply_zip64_extra(MemberFields &fields, uint64_t *local_offset, uint32_t *disk_start);
// Whether a central header leaves a value to the zip64 extra field (a field of all ones).
bool needs_zip64_extra(const CentralHeader &h);

// Names and times of today's archives (member_extras.cpp). The member's name read from a header
// with these flags and name length, its extra field already read: UTF-8 by flag bit 11, or the
// Unicode path field's name when its CRC matches the name as stored. Replaces the name buffer's
// name and sets the current entry's utf8_name (case folding undone) when the name is sound UTF-8;
// otherwise the name stays as read.
void decode_member_name(uint16_t flags, unsigned stored_length);
// The same decoding alone: the name read last as UTF-8 text, or false when it is none.
bool decoded_member_name(uint16_t flags, unsigned stored_length, std::string &name);
// Whether the bytes are sound UTF-8 text without NUL.
bool utf8_text(const unsigned char *text, size_t length);
// The whole UTF-8 character at p (at most `left` bytes): its length, or 0 (listing.cpp).
size_t utf8_character(const unsigned char *p, size_t left);
// The times an extra field gives, over those already known (`times`): the extended timestamp's
// and the NTFS field's modification and access times.
void read_extra_times(const unsigned char *extra, unsigned extra_length, MemberTimes &times);

// The three readers of the central directory, and where they differ (read_directory_entry).
enum class DirectoryReader { extraction, listing, report };
// Reads the next central directory entry, the step that the extraction driver, the listings and
// the detailed report share: its signature, its fixed part into engine.central, the current
// MemberEntry's flags and the name into the name buffer (empty for a nameless member). The
// extraction driver and the listings also read the extra field; the extraction driver skips the
// comment too. `number` names the entry in the message about a missing signature. A field read
// with a warning raises `status` and the walk goes on; false ends the walk, `status` then holds
// why.
bool read_directory_entry(DirectoryReader reader, unsigned number, EngineStatus &status);
// After the last entry: the end record's signature should follow. ok, warning (with a note) or
// archive_ends_early.
EngineStatus check_directory_end(DirectoryReader reader);
EngineStatus show_archive_comment();
int64_t archive_position();

// The decoders' byte supplier: 0..255, or -1 at (and past) the member's end.
inline int next_byte() {
    if (engine.input.remaining_compressed <= 0) {
        --engine.input.remaining_compressed;
        return -1;
    }
    --engine.input.remaining_compressed;
    if (--engine.input.bytes_left >= 0) return *engine.input.read_pos++;
    return refill_byte();
}

// The decoders' side of the current member (member_input.cpp): runs `decoder` over it, with the
// local header's facts, the member's bytes from the input position and its output through
// write_out.
DecodeOutcome decode_current_member(DecoderEntry decoder);

// Listings.
EngineStatus list_members();
int ratio_permille(uint64_t uncompressed, uint64_t compressed);
void print_name(const char *name);

// Traditional decryption. Keys set up from a password; bytes decrypted in place (each exactly once,
// in order); for an encrypted member whose local header was just read, the password found and its
// header read and checked: false when the member cannot be decrypted (a line names why, `status`
// is raised), true with the input after the header and decryption active.
void start_keys(CipherKeys &keys, const char *password);
void decrypt_bytes(CipherKeys &keys, unsigned char *bytes, int32_t count);
bool start_member_decryption(EngineStatus &status);
// The member's compressed data, without the encryption header when there is one.
uint64_t member_data_size();

// The name of a compression method this engine does not read, or null.
const char *unread_method_name(unsigned method);

// Extraction driver and output writer.
EngineStatus extract_all();
EngineStatus write_out(const unsigned char *block, unsigned length, int from_shrink);
// At the end of a member written to standard output (-c, -p): a failed write there, now or in
// any earlier write of the member, stops the archive with status 50 (DiskFullState::stop).
void flush_standard_output();

// --- Extraction driver: members, existing files and times ---
// Extracts or tests the current member; the input is at its data.
EngineStatus extract_member();
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

// The usage screen; bad_command_line when the line was bad, else ok.
EngineStatus show_usage(int bad);
