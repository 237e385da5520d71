// The archive reader: finds the end record, compensates displaced offsets, and supplies the
// block-aligned seek, exact reads, field reads and the decoders' byte supplier.
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "engine/engine.h"
#include "engine/hostfs/hostfs.h"

const char REPORT_TEXT[] =
    "  (please check that you have transferred or created the zipfile in the\n"
    "  appropriate BINARY mode and that you have compiled unzip properly)\n";

// Current archive position of the next unread byte (before compensation).
int64_t archive_position() {
    return static_cast<int64_t>(engine.input.window_start) +
           (engine.input.read_pos - engine.input.buffer) - engine.input.prepended_bytes;
}

// --- Block reads -----------------------------------------------------------------------------

EngineStatus seek_archive(int64_t offset) {
    int64_t request = offset + engine.input.prepended_bytes;
    if (request < 0) {
        std::fprintf(stderr, "error [%s]:  attempt to seek before beginning of zipfile\n%s",
                     engine.archive_name, REPORT_TEXT);
        return EngineStatus::severe_error;
    }
    int32_t in_block = static_cast<int32_t>(request % INPUT_BLOCK_SIZE);
    int64_t block = request - in_block;
    if (block == engine.input.window_start && engine.input.read_pos != nullptr) {
        engine.input.bytes_left +=
            static_cast<int32_t>(engine.input.read_pos - engine.input.buffer) - in_block;
        engine.input.read_pos = engine.input.buffer + in_block;
        return EngineStatus::ok;
    }
    int64_t position = host_seek(engine.input.archive_fd, block);
    if (position < 0) return EngineStatus::archive_ends_early;
    engine.input.window_start = position;
    int got = host_read(engine.input.archive_fd, engine.input.buffer, INPUT_BLOCK_SIZE);
    if (got <= 0 || got < in_block) {
        // Nothing usable here; leave the window empty so later readers refill.
        engine.input.bytes_left = 0;
        engine.input.read_pos = engine.input.buffer;
        engine.input.window_start = -1;
        return EngineStatus::archive_ends_early;
    }
    engine.input.read_pos = engine.input.buffer + in_block;
    engine.input.bytes_left = got - in_block;
    return EngineStatus::ok;
}

int read_exact(unsigned char *destination, int count) {
    int copied = 0;
    while (copied < count) {
        if (engine.input.bytes_left <= 0) {
            int got = host_read(engine.input.archive_fd, engine.input.buffer, INPUT_BLOCK_SIZE);
            if (got == 0) return copied;
            if (got < 0) {
                std::fprintf(stderr, "error:  zipfile read error\n");
                return -1;
            }
            engine.input.window_start += INPUT_BLOCK_SIZE;
            engine.input.read_pos = engine.input.buffer;
            engine.input.bytes_left = got;
        }
        int piece =
            count - copied < engine.input.bytes_left ? count - copied : engine.input.bytes_left;
        std::memcpy(destination + copied, engine.input.read_pos, static_cast<size_t>(piece));
        engine.input.read_pos += piece;
        engine.input.bytes_left -= piece;
        copied += piece;
    }
    return copied;
}

int refill_byte() {
    int got = host_read(engine.input.archive_fd, engine.input.buffer, INPUT_BLOCK_SIZE);
    if (got <= 0) {
        engine.input.bytes_left = got < 0 ? got : 0;
        engine.input.read_pos = engine.input.buffer;
        // The archive file ends inside the member: nothing more can come, so the member's
        // input ends here, and later calls count past its end as they would after a real end.
        if (engine.input.remaining_compressed > 0) engine.input.remaining_compressed = 0;
        return -1;
    }
    engine.input.window_start += INPUT_BLOCK_SIZE;
    engine.input.read_pos = engine.input.buffer;
    engine.input.bytes_left = got - 1;
    return *engine.input.read_pos++;
}

void end_member_input() {
    if (engine.input.remaining_compressed > 0) engine.input.remaining_compressed = 0;
}

// --- Fields ----------------------------------------------------------------------------------

// Whether a name holds both upper- and lower-case letters.
static bool has_both_cases(const char *name) {
    bool upper = false, lower = false;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(name); *p; ++p) {
        upper = upper || std::isupper(*p);
        lower = lower || std::islower(*p);
    }
    return upper && lower;
}

EngineStatus read_field(unsigned length, int mode) {
    if (length == 0) return EngineStatus::ok;
    switch (mode) {
    case FIELD_SKIP:
        return seek_archive(archive_position() + length);

    case FIELD_SHOW: {
        unsigned remaining = length;
        int piece_length = 0;
        do {
            unsigned want = remaining < 65536 ? remaining : 65536;
            int got = read_exact(engine.output.buffer, static_cast<int>(want));
            if (got < 1) return EngineStatus::archive_ends_early;
            remaining -= static_cast<unsigned>(got);
            // Drop carriage returns; the byte after one is taken as it is.
            int out = 0;
            for (int i = 0; i < got; ++i) {
                if (engine.output.buffer[i] == '\r') {
                    if (++i >= got) break;
                }
                engine.output.buffer[out++] = engine.output.buffer[i];
            }
            engine.output.buffer[out] = 0;
            piece_length = out;
            // Line feeds and tabs lay the text out; every other control character is shown
            // as ^X (ESC as ^[), so that a comment never drives the terminal.
            const char *piece = reinterpret_cast<const char *>(engine.output.buffer);
            std::fputs(shown_text(piece, ::strnlen(piece, static_cast<size_t>(out)), true).c_str(),
                       stdout);
        } while (remaining > 0 && piece_length > 0);
        std::fputc('\n', stdout);
        return EngineStatus::ok;
    }

    case FIELD_NAME: {
        unsigned excess = 0;
        if (length > static_cast<unsigned>(MAX_STORED_NAME)) {
            std::fprintf(stderr, "warning:  filename too long--truncating.\n");
            excess = length - MAX_STORED_NAME;
            length = MAX_STORED_NAME;
        }
        int got = read_exact(reinterpret_cast<unsigned char *>(engine.filename),
                             static_cast<int>(length));
        if (got < 1) return EngineStatus::archive_ends_early;
        engine.filename[got] = '\0';
        engine.stored_name.assign(engine.filename, static_cast<size_t>(got));
        // A name with both cases cannot come from the file systems whose names are folded: it
        // keeps its case (and is then matched with regard to case).
        if (engine.current && engine.current->lowercase_name && has_both_cases(engine.filename))
            engine.current->lowercase_name = 0;
        if (engine.current && engine.current->lowercase_name) {
            for (char *p = engine.filename; *p; ++p)
                if (std::isupper(static_cast<unsigned char>(*p)))
                    *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
        }
        if (engine.current && engine.current->volume_label && length > 8 &&
            engine.filename[8] == '.')
            std::memmove(engine.filename + 8, engine.filename + 9,
                         std::strlen(engine.filename + 9) + 1);
        if (excess) {
            std::fprintf(stderr, "[ %s ]\n", shown_name(engine.filename).c_str());
            EngineStatus r = read_field(excess, FIELD_SKIP);
            return r != EngineStatus::ok ? r : EngineStatus::warning;
        }
        return EngineStatus::ok;
    }

    case FIELD_EXTRA: {
        std::free(engine.extra_field);
        engine.extra_length = 0;
        engine.extra_field = static_cast<unsigned char *>(std::malloc(length));
        if (engine.extra_field == nullptr) {
            std::fprintf(stderr, "warning:  extra field too long (%d).  Ignoring...\n",
                         static_cast<int>(length));
            return read_field(length, FIELD_SKIP);
        }
        int got = read_exact(engine.extra_field, static_cast<int>(length));
        if (got < 1) return EngineStatus::archive_ends_early;
        engine.extra_length = static_cast<unsigned>(got);
        return EngineStatus::ok;
    }
    }
    return EngineStatus::ok;
}

// --- Records ---------------------------------------------------------------------------------
//
// The records as they lie in the archive, little-endian; offsets count from the byte after the
// 4-byte signature (the end record's from the signature itself):
//   Member fields, shared by both headers (the local header at 0, the central header at 2):
//     0 version needed 1, 1 host needed 1, 2 flags 2, 4 method 2, 6 time 2, 8 date 2,
//     10 CRC-32 4, 14 compressed size 4, 18 uncompressed size 4, 22 name length 2,
//     24 extra field length 2
//   Local header (26 bytes): the member fields alone; then the name and the extra field.
//   Central header (42 bytes): 0 version made by 1, 1 host made by 1, 2 member fields,
//     28 comment length 2, 30 disk of the local header 2, 32 internal attributes 2,
//     34 external attributes 4, 38 local header offset 4; then name, extra field, comment.
//   End record (22 bytes, signature included): 4 this disk 2, 6 directory's disk 2,
//     8 entries on this disk 2, 10 entries in all 2, 12 directory size 4, 16 directory offset 4,
//     20 comment length 2; then the comment.
namespace {
constexpr int MEMBER_VERSION_NEEDED = 0, MEMBER_HOST_NEEDED = 1, MEMBER_FLAGS = 2,
              MEMBER_METHOD = 4, MEMBER_TIME = 6, MEMBER_DATE = 8, MEMBER_CRC32 = 10,
              MEMBER_COMPRESSED_SIZE = 14, MEMBER_UNCOMPRESSED_SIZE = 18, MEMBER_NAME_LENGTH = 22,
              MEMBER_EXTRA_LENGTH = 24;
constexpr int LOCAL_HEADER_SIZE = 26;
constexpr int CENTRAL_VERSION_MADE_BY = 0, CENTRAL_HOST_MADE_BY = 1, CENTRAL_MEMBER_FIELDS = 2,
              CENTRAL_COMMENT_LENGTH = 28, CENTRAL_DISK_START = 30,
              CENTRAL_INTERNAL_ATTRIBUTES = 32, CENTRAL_EXTERNAL_ATTRIBUTES = 34,
              CENTRAL_LOCAL_OFFSET = 38;
constexpr int CENTRAL_HEADER_SIZE = 42;
constexpr int END_THIS_DISK = 4, END_DIRECTORY_DISK = 6, END_ENTRIES_THIS_DISK = 8,
              END_TOTAL_ENTRIES = 10, END_DIRECTORY_SIZE = 12, END_DIRECTORY_OFFSET = 16,
              END_COMMENT_LENGTH = 20;
constexpr int END_RECORD_SIZE = 22;
} // namespace

// The member fields, where both headers have them in the same layout.
static void parse_member_fields(const unsigned char *b, MemberFields &f) {
    f.version_needed = b[MEMBER_VERSION_NEEDED];
    f.host_needed = b[MEMBER_HOST_NEEDED];
    f.flags = read_le16(b + MEMBER_FLAGS);
    f.method = read_le16(b + MEMBER_METHOD);
    f.mod_time = read_le16(b + MEMBER_TIME);
    f.mod_date = read_le16(b + MEMBER_DATE);
    f.crc32 = read_le32(b + MEMBER_CRC32);
    f.compressed_size = read_le32(b + MEMBER_COMPRESSED_SIZE);
    f.uncompressed_size = read_le32(b + MEMBER_UNCOMPRESSED_SIZE);
    f.name_length = read_le16(b + MEMBER_NAME_LENGTH);
    f.extra_length = read_le16(b + MEMBER_EXTRA_LENGTH);
}

EngineStatus read_central_header() {
    unsigned char b[CENTRAL_HEADER_SIZE] = {};
    if (read_exact(b, CENTRAL_HEADER_SIZE) < 1) return EngineStatus::archive_ends_early;
    CentralHeader &h = engine.central;
    h.version_made_by = b[CENTRAL_VERSION_MADE_BY];
    h.host_made_by = b[CENTRAL_HOST_MADE_BY];
    parse_member_fields(b + CENTRAL_MEMBER_FIELDS, h);
    h.comment_length = read_le16(b + CENTRAL_COMMENT_LENGTH);
    h.disk_start = read_le16(b + CENTRAL_DISK_START);
    h.internal_attributes = read_le16(b + CENTRAL_INTERNAL_ATTRIBUTES);
    h.external_attributes = read_le32(b + CENTRAL_EXTERNAL_ATTRIBUTES);
    h.local_offset = read_le32(b + CENTRAL_LOCAL_OFFSET);
    return EngineStatus::ok;
}

void derive_member_flags() {
    MemberEntry &m = *engine.current;
    int host = engine.central.host_made_by;
    m.host_system = host > 12 ? 12 : host;
    m.lowercase_name = 0;
    if (!engine.options.keep_case &&
        (m.host_system == 0 || m.host_system == 4 || m.host_system == 5 || m.host_system == 9 ||
         m.host_system == 10))
        m.lowercase_name = 1;
    if ((engine.central.external_attributes & 0x08) &&
        (m.host_system == 0 || m.host_system == 5 || m.host_system == 6 || m.host_system == 11)) {
        m.volume_label = 1;
        m.lowercase_name = 0;
    } else {
        m.volume_label = 0;
    }
}

EngineStatus read_local_header() {
    unsigned char b[LOCAL_HEADER_SIZE] = {};
    if (read_exact(b, LOCAL_HEADER_SIZE) < 1) return EngineStatus::archive_ends_early;
    LocalHeader &h = engine.local;
    parse_member_fields(b, h);
    if (h.flags & 0x0008) {
        // The sizes and CRC come after the data: the directory's are the member's.
        h.crc32 = engine.current->crc32;
        h.compressed_size = engine.current->compressed_size;
        h.uncompressed_size = engine.current->uncompressed_size;
    }
    engine.input.remaining_compressed = static_cast<int64_t>(h.compressed_size);
    engine.input.remaining_uncompressed = h.uncompressed_size;
    return EngineStatus::ok;
}

void apply_local_zip64() {
    LocalHeader &h = engine.local;
    if (h.flags & 0x0008) return; // the directory's sizes are already the member's
    apply_zip64_extra(h, nullptr, nullptr);
    engine.input.remaining_compressed = static_cast<int64_t>(h.compressed_size);
    engine.input.remaining_uncompressed = h.uncompressed_size;
}

bool read_header_field(unsigned length, int mode, const char *header, EngineStatus &status) {
    EngineStatus r = read_field(length, mode);
    raise_status(status, r);
    if (r <= EngineStatus::warning) return true;
    if (header == nullptr) return false;
    std::string name = shown_name(engine.filename);
    if (mode == FIELD_NAME)
        std::fprintf(stderr, "%s:  bad filename length (%s)\n", name.c_str(), header);
    else if (mode == FIELD_EXTRA)
        std::fprintf(stderr, "%s:  bad extra field length (%s)\n", name.c_str(), header);
    else
        std::fprintf(stderr, "\n%s:  bad file comment length\n", name.c_str());
    return false;
}

// --- The central directory, entry by entry -----------------------------------------------------

// The central header's fields that are all ones, from the zip64 extra field just read.
static void apply_central_zip64() {
    CentralHeader &h = engine.central;
    apply_zip64_extra(h, &h.local_offset, &h.disk_start);
}

// The detailed report reads the extra field after its own lines; a header that leaves its sizes
// to the zip64 extra field has it read here first and the input put back before it. False when
// the walk must end (`status` says why).
static bool take_report_sizes(EngineStatus &status) {
    const CentralHeader &h = engine.central;
    if (!needs_zip64_extra(h)) return true;
    const int64_t extra_start = archive_position();
    if (!read_header_field(h.extra_length, FIELD_EXTRA, nullptr, status)) return false;
    apply_central_zip64();
    EngineStatus r = seek_archive(extra_start);
    raise_status(status, r);
    return r == EngineStatus::ok;
}

bool read_directory_entry(DirectoryReader reader, unsigned number, EngineStatus &status) {
    unsigned char signature[4];
    if (read_exact(signature, 4) < 1) {
        raise_status(status, EngineStatus::archive_ends_early);
        return false;
    }
    if (std::memcmp(signature, CENTRAL_SIGNATURE, 4) != 0) {
        std::fprintf(stderr,
                     "error:  expected central file header signature not found (file #%u).\n",
                     number);
        if (reader != DirectoryReader::report) std::fputs(REPORT_TEXT, stderr);
        raise_status(status, EngineStatus::severe_error);
        return false;
    }
    EngineStatus r = read_central_header();
    if (r != EngineStatus::ok) {
        raise_status(status, r);
        return false;
    }
    *engine.current = MemberEntry{};
    derive_member_flags();
    // The detailed report shows names as they are stored.
    if (reader == DirectoryReader::report) engine.current->lowercase_name = 0;
    engine.filename[0] = '\0'; // a nameless member must not show the previous member's name
    // Only the extraction driver names the field whose length is bad.
    const char *header = reader == DirectoryReader::extraction ? "central" : nullptr;
    if (!read_header_field(engine.central.name_length, FIELD_NAME, header, status)) return false;
    if (reader == DirectoryReader::report) return take_report_sizes(status);
    std::free(engine.extra_field);
    engine.extra_field = nullptr;
    engine.extra_length = 0;
    if (!read_header_field(engine.central.extra_length, FIELD_EXTRA, header, status)) return false;
    apply_central_zip64();
    decode_member_name(engine.central.flags, engine.central.name_length);
    read_extra_times(engine.extra_field, engine.extra_length, engine.current->extra_times);
    if (reader == DirectoryReader::listing) return true;
    return read_header_field(engine.central.comment_length, FIELD_SKIP, header, status);
}

EngineStatus check_directory_end(DirectoryReader reader) {
    unsigned char signature[4];
    if (read_exact(signature, 4) < 1) return EngineStatus::archive_ends_early;
    if (std::memcmp(signature, END_SIGNATURE, 4) == 0) return EngineStatus::ok;
    // In a zip64 archive the zip64 end record follows the directory.
    static constexpr unsigned char ZIP64_END_SIGNATURE[4] = {'P', 'K', 6, 6};
    if (engine.end_record.zip64 && std::memcmp(signature, ZIP64_END_SIGNATURE, 4) == 0)
        return EngineStatus::ok;
    std::fprintf(stderr,
                 "\nnote:  didn't find end-of-central-dir signature at end of central dir.\n");
    if (reader == DirectoryReader::extraction) std::fputs(REPORT_TEXT, stderr);
    return EngineStatus::warning;
}

EngineStatus show_archive_comment() {
    const unsigned length = engine.end_record.comment_length;
    if (length == 0) return EngineStatus::ok;
    bool truncated;
    if (engine.options.comment_level > 0 ||
        (engine.options.comment_level == 0 && !engine.options.quiet)) {
        truncated = read_field(length, FIELD_SHOW) != EngineStatus::ok;
    } else {
        // Not shown, but a comment that runs past the file's end is the same fault, whatever
        // the verbosity.
        truncated = engine.end_record_offset + int64_t{END_RECORD_SIZE} + length >
                    engine.input.archive_size;
    }
    if (truncated) {
        std::fprintf(stderr, "\ncaution:  zipfile comment truncated\n");
        return EngineStatus::warning;
    }
    return EngineStatus::ok;
}

// --- End record search -----------------------------------------------------------------------

// Scans the buffer from position `from` down to 0 for the end signature.
static int scan_block(int from, int valid) {
    for (int i = from; i >= 0; --i) {
        if (engine.input.buffer[i] == 0x50 &&
            std::memcmp(engine.input.buffer + i, END_SIGNATURE, 4) == 0) {
            engine.input.read_pos = engine.input.buffer + i;
            engine.input.bytes_left = valid - i;
            return i;
        }
    }
    return -1;
}

static void not_found_message() {
    if (engine.options.quiet || (engine.options.detailed_mode && !engine.kept.show_header))
        std::fprintf(stderr, "[%s]\n", engine.archive_name);
    std::fprintf(stderr,
                 "  End-of-central-directory signature not found.  Either this file is not\n"
                 "  a zipfile, or it constitutes one disk of a multi-part archive.  In the\n"
                 "  latter case the central directory and zipfile comment will be found on\n"
                 "  the last disk(s) of this archive.\n\n");
}

EngineStatus find_end_record(int64_t search_length) {
    const int64_t size = engine.input.archive_size;
    int found = -1;
    std::memset(engine.input.hold_area, 0,
                3); // nothing from an earlier archive may complete a signature
    if (size <= INPUT_BLOCK_SIZE) {
        // A small file is searched in one read from offset 0; the buffer holds it whole.
        engine.input.window_start = 0;
        if (host_seek(engine.input.archive_fd, 0) != 0) {
            not_found_message();
            return EngineStatus::error;
        }
        int want = static_cast<int>(size);
        int got = want > 0 ? host_read(engine.input.archive_fd, engine.input.buffer, want) : 0;
        if (got < want) {
            not_found_message();
            return EngineStatus::error;
        }
        if (size >= END_RECORD_SIZE)
            found = scan_block(static_cast<int>(size) - END_RECORD_SIZE, got);
    } else {
        int tail = static_cast<int>(size % INPUT_BLOCK_SIZE);
        if (tail > 18) {
            engine.input.window_start = size - tail;
            if (host_seek(engine.input.archive_fd, engine.input.window_start) < 0) {
                not_found_message();
                return EngineStatus::error;
            }
            int got = host_read(engine.input.archive_fd, engine.input.buffer, tail);
            if (got < tail) {
                not_found_message();
                return EngineStatus::error;
            }
            found = scan_block(tail - END_RECORD_SIZE, got);
            std::memcpy(engine.input.hold_area, engine.input.buffer, 3);
        } else {
            engine.input.window_start = size - tail;
        }
        int64_t blocks = (search_length - tail + INPUT_BLOCK_SIZE - 1) / INPUT_BLOCK_SIZE;
        for (int64_t i = 1; i <= blocks && found < 0; ++i) {
            engine.input.window_start -= INPUT_BLOCK_SIZE;
            if (engine.input.window_start < 0) break;
            if (host_seek(engine.input.archive_fd, engine.input.window_start) < 0) break;
            int got = host_read(engine.input.archive_fd, engine.input.buffer, INPUT_BLOCK_SIZE);
            if (got < INPUT_BLOCK_SIZE) break;
            // The hold area completes a signature that begins in this block's last 3 bytes.
            found = scan_block(INPUT_BLOCK_SIZE - 1, INPUT_BLOCK_SIZE + 3);
            std::memcpy(engine.input.hold_area, engine.input.buffer, 3);
        }
    }
    if (found < 0) {
        not_found_message();
        return EngineStatus::error;
    }
    engine.end_record_offset = engine.input.window_start + found;
    Zip64End zip64{};
    const bool has_zip64 = find_zip64_end(engine.end_record_offset, &zip64);
    // Re-read from the record itself, so that a record that straddles blocks reads whole.
    engine.input.read_pos = nullptr;
    if (host_seek(engine.input.archive_fd, engine.end_record_offset) < 0)
        return EngineStatus::archive_ends_early;
    engine.input.window_start =
        engine.end_record_offset - INPUT_BLOCK_SIZE; // read_exact advances by a block
    engine.input.bytes_left = 0;
    unsigned char record[END_RECORD_SIZE] = {};
    int got = read_exact(record, END_RECORD_SIZE);
    if (got < 1) return EngineStatus::archive_ends_early;
    EndRecord &e = engine.end_record;
    e.this_disk = read_le16(record + END_THIS_DISK);
    e.directory_disk = read_le16(record + END_DIRECTORY_DISK);
    e.entries_this_disk = read_le16(record + END_ENTRIES_THIS_DISK);
    e.total_entries = read_le16(record + END_TOTAL_ENTRIES);
    e.directory_size = read_le32(record + END_DIRECTORY_SIZE);
    e.directory_offset = read_le32(record + END_DIRECTORY_OFFSET);
    e.comment_length = read_le16(record + END_COMMENT_LENGTH);
    e.zip64 = has_zip64;
    engine.expected_end_offset = e.directory_size + e.directory_offset;
    if (has_zip64) {
        // The fields too small for their values hold all ones; the zip64 record holds them.
        if (e.this_disk == UINT16_MAX) e.this_disk = zip64.values.this_disk;
        if (e.directory_disk == UINT16_MAX) e.directory_disk = zip64.values.directory_disk;
        if (e.entries_this_disk == UINT16_MAX) e.entries_this_disk = zip64.values.entries_this_disk;
        if (e.total_entries == UINT16_MAX) e.total_entries = zip64.values.total_entries;
        if (e.directory_size == UINT32_MAX) e.directory_size = zip64.values.directory_size;
        if (e.directory_offset == UINT32_MAX) e.directory_offset = zip64.values.directory_offset;
        // The directory ends where the zip64 record begins, which lies this far before the
        // classic record: data in front of the archive shifts both alike.
        engine.expected_end_offset =
            e.directory_size + e.directory_offset + (engine.end_record_offset - zip64.position);
    }
    return EngineStatus::ok;
}

// --- One archive -----------------------------------------------------------------------------

static EngineStatus close_archive(EngineStatus status) {
    if (engine.input.archive_fd >= 0) host_close(engine.input.archive_fd);
    engine.input.archive_fd = -1;
    engine.input.read_pos = nullptr;
    return status;
}

// Opens the archive named by engine.archive_path and sets the input window at its start. ok, or
// why not (after the message): no such archive, or a folder. `may_be_executable` takes the
// file's hint for the message about a file without a zip directory.
static EngineStatus open_archive(int report_missing, int &may_be_executable) {
    HostFileInfo info{};
    if (host_stat(engine.archive_path, &info) != 0 || info.is_directory) {
        if (report_missing) {
            if (engine.kept.no_zip_directory_seen)
                std::fprintf(
                    stderr,
                    "%s:  can't find zipfile directory in %s,\n        %sand can't find %s, "
                    "period.\n",
                    engine.program_name, engine.archive_arg,
                    engine.options.detailed_mode ? "  " : "", engine.archive_name);
            else
                std::fprintf(stderr, "%s:  can't find either %s or %s, so there.\n",
                             engine.program_name, engine.archive_arg, engine.archive_name);
        }
        return info.is_directory ? EngineStatus::archive_is_folder : EngineStatus::no_archive;
    }
    engine.input.archive_size = info.size;
    may_be_executable = info.owner_execute;

    engine.input.archive_fd = host_open_archive(engine.archive_path);
    if (engine.input.archive_fd < 0) {
        std::fprintf(stderr, "error:  can't open zipfile [ %s ]\n", engine.archive_name);
        return EngineStatus::no_archive;
    }
    // Extraction never writes over this file, under whatever name (extract.cpp).
    engine.input.archive_identity = engine.options.create_files
                                        ? host_descriptor_identity(engine.input.archive_fd)
                                        : FileIdentity{};
    engine.input.window_start = 0;
    engine.input.read_pos = engine.input.buffer;
    engine.input.bytes_left = 0;
    engine.input.prepended_bytes = 0;
    return EngineStatus::ok;
}

// Finds the end record and shows what comes with it: the detailed report's archive header, or
// the archive comment. The status so far (ok or warning), or, when the archive has no usable
// zip directory, the archive's result (the archive is closed then).
static EngineStatus read_archive_end(int report_missing, int may_be_executable) {
    EngineStatus search;
    EngineStatus following = EngineStatus::ok;
    if (engine.options.detailed_mode) {
        search = find_end_record(engine.input.archive_size);
        if (search == EngineStatus::ok) following = report_archive_header();
    } else {
        int64_t length = engine.input.archive_size < END_SEARCH_LENGTH ? engine.input.archive_size
                                                                       : END_SEARCH_LENGTH;
        search = find_end_record(length);
        if (search == EngineStatus::ok) following = show_archive_comment();
    }
    if (search == EngineStatus::ok && following <= EngineStatus::warning) return following;
    close_archive(EngineStatus::ok);
    if (may_be_executable)
        std::fprintf(stderr, "note:  %s may be an executable, not an archive\n",
                     engine.archive_name);
    EngineStatus failed = search != EngineStatus::ok ? search : following;
    if (report_missing) return failed;
    engine.kept.no_zip_directory_seen = 1;
    return EngineStatus::no_archive;
}

// Refuses an archive spread over several disks (multi_disk, after the message); a second disk
// of a two-part archive that is one whole archive is read with a warning.
static EngineStatus check_disks(EngineStatus &status) {
    const EndRecord &e = engine.end_record;
    int two_part = !engine.options.detailed_mode && e.this_disk == 1 && e.directory_disk == 1;
    if (engine.options.detailed_mode && e.this_disk != e.directory_disk) {
        std::fprintf(stderr, "\n     Zipfile is part of a multi-disk archive, and this is not the "
                             "disk on\n     which the central zipfile directory begins.\n");
        return EngineStatus::multi_disk;
    }
    if (!engine.options.detailed_mode && !two_part && e.this_disk != 0) {
        std::fprintf(stderr,
                     "\nerror [%s]:  zipfile is part of multi-disk archive\n  (sorry, not yet "
                     "supported).\n",
                     engine.archive_name);
        return EngineStatus::multi_disk;
    }
    if (two_part) {
        std::fprintf(stderr,
                     "\n     Warning:  zipfile claims to be second disk of a two-part archive;\n"
                     "     attempting to process anyway.  If no further errors occur, this\n"
                     "     archive was probably created by PAK v2.51 or earlier.  This bug\n"
                     "     was reported to NoGate in March 1991 and was supposed to have been\n"
                     "     fixed by mid-1991; as of mid-1992 it still hadn't been.  (If fur-\n"
                     "     ther errors do occur, archive was probably created by PKZIP 2.04c\n"
                     "     or later; this program does not yet support multi-part archives.)\n\n");
        raise_status(status, EngineStatus::warning);
    }
    return EngineStatus::ok;
}

// Compares where the end record is with where the directory says it should be: bytes in front of
// the archive are added to every offset (prepended_bytes), missing bytes noted, a null directory
// offset repaired. The directory's offset as it is to be used.
static int64_t compensate_offsets(EngineStatus &status) {
    const EndRecord &e = engine.end_record;
    int64_t directory_offset = e.directory_offset;
    engine.input.prepended_bytes = engine.end_record_offset - engine.expected_end_offset;
    if (engine.input.prepended_bytes < 0) {
        std::fprintf(
            stderr,
            "error [%s]:  missing %lld bytes in zipfile\n  (attempting to process anyway)\n",
            engine.archive_name, static_cast<long long>(-engine.input.prepended_bytes));
        raise_status(status, EngineStatus::error);
    } else if (engine.input.prepended_bytes > 0) {
        if (e.directory_offset == 0 && e.directory_size != 0) {
            std::fprintf(stderr,
                         "error [%s]:  NULL central directory offset\n  (attempting to process "
                         "anyway)\n",
                         engine.archive_name);
            directory_offset = engine.input.prepended_bytes;
            engine.end_record.directory_offset = directory_offset;
            engine.input.prepended_bytes = 0;
            raise_status(status, EngineStatus::error);
        } else {
            std::fprintf(stderr,
                         "warning [%s]:  extra %lld bytes at beginning or within zipfile\n  "
                         "(attempting to process anyway)\n",
                         engine.archive_name, static_cast<long long>(engine.input.prepended_bytes));
            raise_status(status, EngineStatus::warning);
        }
    }
    return directory_offset;
}

// Positions the input at the directory's first entry, checking its signature; where it is not
// found with the compensated offsets, once more without them. ok, or the archive's result.
static EngineStatus find_directory_start(int64_t directory_offset, EngineStatus &status) {
    unsigned char signature[4];
    EngineStatus r = seek_archive(directory_offset);
    if (r != EngineStatus::ok) return r;
    int got = read_exact(signature, 4);
    if (got < 0) return EngineStatus::error;
    if (got < 4 || std::memcmp(signature, CENTRAL_SIGNATURE, 4) != 0) {
        int64_t remembered = engine.input.prepended_bytes;
        engine.input.prepended_bytes = 0;
        r = seek_archive(directory_offset);
        got = r == EngineStatus::ok ? read_exact(signature, 4) : 0;
        if (r != EngineStatus::ok || got < 4 || std::memcmp(signature, CENTRAL_SIGNATURE, 4) != 0) {
            std::fprintf(stderr,
                         "error [%s]:  start of central directory not found;\n  zipfile "
                         "corrupt.\n%s",
                         engine.archive_name, REPORT_TEXT);
            return EngineStatus::severe_error;
        }
        std::fprintf(stderr,
                     "error [%s]:  reported length of central directory is\n  %lld bytes too long "
                     "(Atari STZIP zipfile?  Veltrop ZIPSPLIT 1.1\n  zipfile?).  Compensating...\n",
                     engine.archive_name, static_cast<long long>(-remembered));
        raise_status(status, EngineStatus::error);
    }
    return seek_archive(directory_offset);
}

// The pass over the directory that the call asked for: the detailed report, a listing, or
// extraction and testing.
static EngineStatus directory_pass() {
    if (engine.options.detailed_mode) {
        EngineStatus result = report_members();
        if (engine.options.report_format == ReportFormat::full) std::fputc('\n', stdout);
        return result;
    }
    if (engine.options.list_level > 0) return list_members();
    return extract_all();
}

EngineStatus process_archive(int report_missing) {
    int may_be_executable = 0;
    EngineStatus r = open_archive(report_missing, may_be_executable);
    if (r != EngineStatus::ok) return r;
    if (!engine.options.quiet && !engine.options.detailed_mode)
        std::fprintf(stdout, "Archive:  %s\n", engine.archive_name);

    EngineStatus status = read_archive_end(report_missing, may_be_executable);
    if (status > EngineStatus::warning) return status;
    if (engine.options.comment_level > 0 && !engine.options.detailed_mode)
        return close_archive(status);

    r = check_disks(status);
    if (r != EngineStatus::ok) return close_archive(r);
    const int64_t directory_offset = compensate_offsets(status);

    const EndRecord &e = engine.end_record;
    if (engine.expected_end_offset == 0 && e.directory_size == 0) {
        if (engine.options.detailed_mode) {
            std::fprintf(stdout, "%sEmpty zipfile.\n",
                         engine.options.report_format == ReportFormat::full ? "\n  " : "");
        } else {
            std::fprintf(stderr, "warning [%s]:  zipfile is empty\n", engine.archive_name);
        }
        raise_status(status, EngineStatus::warning);
        return close_archive(status);
    }

    r = find_directory_start(directory_offset, status);
    if (r != EngineStatus::ok) return close_archive(r);
    raise_status(status, directory_pass());
    return close_archive(status);
}
