// The member extraction driver: walks the directory in batches, selects, checks and extracts
// or tests members, and decides about existing files. Before anything is decoded it notes where
// every member's data lie, so that no data is decoded for two members.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/decoders/decoders.h"
#include "engine/engine.h"
#include "engine/hostfs/hostfs.h"
#include "engine/selection.h"

namespace {

bool quiet() {
    return engine.options.quiet > 0;
}

// The current name (or output path) as a message shows it.
std::string shown() {
    return shown_name(engine.filename);
}

// --- Where the members' data lie ---------------------------------------------------------------

// The least room a member takes in the archive by its directory entry: its local header with
// its name, then its compressed data (offsets and sizes lie below 2^62, so the end never
// overflows).
struct DataSpan {
    uint64_t offset;
    uint64_t end;
    unsigned entry; // its number in the directory
};

// Reads the whole directory once, silently, before any member is decoded: notes every member's
// local header offset, and refuses the entries whose data share bytes with another member or
// run into the next member's header, and every entry after the first that names the same local
// header. The input is left at the directory's start again (false when it cannot be: the walk
// cannot start). An entry that cannot be read ends the notes there (the walk itself then
// reports it).
bool map_member_data(uint64_t total) {
    ExtractionState &x = engine.extraction;
    x.member_offsets.clear();
    // No more entries than the archive can hold (a header takes 46 bytes), whatever it claims.
    const uint64_t room = static_cast<uint64_t>(engine.input.archive_size) / 46;
    const unsigned entries = static_cast<unsigned>(std::min<uint64_t>(total, room));
    x.refused_entries.assign(entries, false);
    int64_t directory_start = archive_position();
    std::vector<DataSpan> spans;
    spans.reserve(entries);
    for (unsigned n = 0; n < entries; ++n) {
        unsigned char signature[4];
        if (read_exact(signature, 4) != 4 || std::memcmp(signature, CENTRAL_SIGNATURE, 4) != 0)
            break;
        if (read_central_header() != EngineStatus::ok) break;
        CentralHeader &h = engine.central;
        if (needs_zip64_extra(h)) {
            // The offset or size is in the zip64 extra field: read it.
            if (read_field(h.name_length, FIELD_SKIP) != EngineStatus::ok ||
                read_field(h.extra_length, FIELD_EXTRA) != EngineStatus::ok)
                break;
            apply_zip64_extra(h, &h.local_offset, &h.disk_start);
            if (read_field(h.comment_length, FIELD_SKIP) != EngineStatus::ok) break;
        } else {
            unsigned fields = unsigned{h.name_length} + h.extra_length + h.comment_length;
            if (read_field(fields, FIELD_SKIP) != EngineStatus::ok) break;
        }
        spans.push_back(
            {h.local_offset, h.local_offset + 30 + h.name_length + h.compressed_size, n});
    }
    if (seek_archive(directory_start) != EngineStatus::ok) return false;

    std::sort(spans.begin(), spans.end(), [](const DataSpan &a, const DataSpan &b) {
        return a.offset != b.offset ? a.offset < b.offset : a.entry < b.entry;
    });
    // Sweep in offset order: a member that starts before the furthest end so far overlaps the
    // member that reaches there. Of the entries that share one local header only the first in
    // the directory takes part; the later ones are refused.
    uint64_t reach = 0;
    const DataSpan *reacher = nullptr;
    for (size_t i = 0; i < spans.size(); ++i) {
        const DataSpan &span = spans[i];
        x.member_offsets.push_back(span.offset);
        if (i > 0 && span.offset == spans[i - 1].offset) {
            x.refused_entries[span.entry] = true;
            continue;
        }
        if (reacher != nullptr && span.offset < reach)
            x.refused_entries[span.entry] = x.refused_entries[reacher->entry] = true;
        if (span.end > reach) {
            reach = span.end;
            reacher = &span;
        }
    }
    return true;
}

// Where the directory walk stopped before a batch's members were processed.
struct WalkPosition {
    int64_t block;      // the input window's file position
    long offset;        // the next byte's place in the window
    int32_t bytes_left; // the window's bytes from there on
};

WalkPosition walk_position() {
    const InputWindow &in = engine.input;
    return {in.window_start, in.read_pos ? static_cast<long>(in.read_pos - in.buffer) : 0,
            in.bytes_left};
}

// Back onto the directory exactly where the walk stopped: the block read again, the position
// restored. False when the block cannot be read back as it was (the archive lost it or cannot be
// read): the walk cannot go on.
bool return_to_walk(const WalkPosition &at) {
    InputWindow &in = engine.input;
    int64_t position = host_seek(in.archive_fd, at.block);
    int got = position == at.block ? host_read(in.archive_fd, in.buffer, INPUT_BLOCK_SIZE) : -1;
    in.window_start = at.block;
    in.read_pos = in.buffer + at.offset;
    if (got < at.offset + at.bytes_left) {
        in.bytes_left = 0;
        return false;
    }
    in.bytes_left = at.bytes_left;
    return true;
}

bool refused_entry(unsigned entry) {
    const std::vector<bool> &refused = engine.extraction.refused_entries;
    return entry < refused.size() && refused[entry];
}

// Where the data of the member at `local_offset` must end: at the next member's local header
// or the central directory, whichever follows it first.
int64_t data_boundary(uint64_t local_offset) {
    const std::vector<uint64_t> &offsets = engine.extraction.member_offsets;
    auto next = std::upper_bound(offsets.begin(), offsets.end(), local_offset);
    int64_t boundary =
        next != offsets.end() ? static_cast<int64_t>(*next) : std::numeric_limits<int64_t>::max();
    int64_t directory = engine.end_record.directory_offset;
    if (directory > static_cast<int64_t>(local_offset) && directory < boundary)
        boundary = directory;
    return boundary;
}

// A header's extra field whose blocks overrun it is a fault of the archive, noted with a warning;
// the blocks before the bad one are still read, and the member's data do not depend on it.
void check_extra_field(const char *header, EngineStatus &status) {
    if (extra_field_well_formed(engine.extra_field, engine.extra_length)) return;
    std::fprintf(stderr, "%s:  warning:  bad extra field (%s)\n", shown().c_str(), header);
    raise_status(status, EngineStatus::warning);
}

// A member whose data overlap another member's is never decoded.
void refuse_overlap(EngineStatus &status) {
    std::fprintf(stderr, "   skipping: %-22s  overlaps another member\n", shown().c_str());
    raise_status(status, EngineStatus::severe_error);
}

struct MethodDecoder;
const MethodDecoder *method_decoder(unsigned method);

// Checks a selected entry and fills its batch slot; 1 to keep it, 0 to skip it.
int check_and_store() {
    MemberEntry &m = *engine.current;
    const CentralHeader &h = engine.central;
    m.encrypted = h.flags & 1;
    m.sizes_after_data = (h.flags >> 3) & 1;
    m.text_hint = h.internal_attributes & 1;
    m.crc32 = h.crc32;
    m.compressed_size = h.compressed_size;
    m.uncompressed_size = h.uncompressed_size;
    m.method = h.method;
    m.convert_text = engine.options.text_level == 0   ? 0
                     : engine.options.text_level == 1 ? m.text_hint
                                                      : 1;

    if (h.host_needed == 2) {
        if (h.version_needed > 42) {
            std::fprintf(stderr, "   skipping: %-22s  need %s compat. v%u.%u (can do v%u.%u)\n",
                         shown().c_str(), "VMS", h.version_needed / 10u, h.version_needed % 10u, 4u,
                         2u);
            return 0;
        }
        if (!engine.options.test && !engine.options.overwrite_all && !engine.options.no_query) {
            std::fprintf(stderr, "\n%s:  stored in VMS format.  Extract anyway? (y/n) ",
                         shown().c_str());
            std::fflush(stderr);
            char answer[10];
            if (std::fgets(answer, 9, stdin) == nullptr || (answer[0] != 'y' && answer[0] != 'Y'))
                return 0;
        }
    }
    // Encryption other than the traditional one, then methods not read, each named; a member
    // marked as needing a version beyond 2.0 is read when its method is one of this engine's, up
    // to version 4.5.
    if (m.encrypted && (h.flags & 0x0040)) {
        std::fprintf(stderr, "   skipping: %-22s  strong encryption (not supported)\n",
                     shown().c_str());
        return 0;
    }
    if (h.method == 99) {
        std::fprintf(stderr, "   skipping: %-22s  AES encryption (not supported)\n",
                     shown().c_str());
        return 0;
    }
    if (!method_decoder(h.method)) {
        if (const char *name = unread_method_name(h.method))
            std::fprintf(stderr, "   skipping: %-22s  compression method %d (%s)\n",
                         shown().c_str(), h.method, name);
        else
            std::fprintf(stderr, "   skipping: %-22s  compression method %d\n", shown().c_str(),
                         h.method);
        return 0;
    }
    if (h.host_needed != 2 && h.version_needed > 45) {
        std::fprintf(stderr, "   skipping: %-22s  need %s compat. v%u.%u (can do v%u.%u)\n",
                     shown().c_str(), "PK", h.version_needed / 10u, h.version_needed % 10u, 4u, 5u);
        return 0;
    }
    map_attributes();
    m.local_offset = h.local_offset;
    return 1;
}

void bad_offset(int number, const char *what, int64_t where) {
    std::fprintf(stderr, "file #%d:  bad zipfile offset (%s):  %lld\n", number, what,
                 static_cast<long long>(where));
}

// What four bytes read at a local header's place hold.
enum class SignatureRead { found, mismatch, nothing_read };

// Positions the input at archive offset `offset` and reads the four bytes there. seek_archive's
// status when the seek fails (it reports a position before the archive's start itself).
EngineStatus read_local_signature(int64_t offset, SignatureRead *what) {
    EngineStatus r = seek_archive(offset);
    if (r != EngineStatus::ok) return r;
    unsigned char signature[4];
    if (read_exact(signature, 4) < 1)
        *what = SignatureRead::nothing_read;
    else
        *what = std::memcmp(signature, LOCAL_SIGNATURE, 4) == 0 ? SignatureRead::found
                                                                : SignatureRead::mismatch;
    return EngineStatus::ok;
}

// What finding a member's local header decided: the input is at the header (go on), the member
// is passed over, or the archive ends.
enum class HeaderLookup { found, next_entry, end_archive };

// Positions the input at a local header and checks its signature.
HeaderLookup find_local_header(int number, EngineStatus &status) {
    const int64_t offset = static_cast<int64_t>(engine.current->local_offset);
    const int64_t request = engine.input.prepended_bytes + offset;
    SignatureRead what;
    EngineStatus r = read_local_signature(offset, &what);
    if (r == EngineStatus::ok && what == SignatureRead::found) return HeaderLookup::found;
    if (r == EngineStatus::severe_error) { // before the archive's start
        raise_status(status, r);
        return HeaderLookup::next_entry;
    }
    if (r != EngineStatus::ok) {
        bad_offset(number, "lseek", request - request % INPUT_BLOCK_SIZE);
        raise_status(status, EngineStatus::severe_error);
        return HeaderLookup::next_entry;
    }
    if (what == SignatureRead::nothing_read) {
        bad_offset(number, "EOF", request);
        raise_status(status, EngineStatus::severe_error);
        return HeaderLookup::next_entry;
    }
    bad_offset(number, "local header sig", request);
    raise_status(status, EngineStatus::error);
    if (number != 0) return HeaderLookup::found; // processing goes on with the bytes as they are

    // The first member tells whether the offsets were compensated wrongly: once more without.
    std::fprintf(stderr, "  (attempting to re-compensate)\n");
    engine.input.prepended_bytes = 0;
    r = read_local_signature(offset, &what);
    if (r != EngineStatus::ok) {
        raise_status(status, r);
        return HeaderLookup::end_archive;
    }
    if (what == SignatureRead::found) return HeaderLookup::found;
    bad_offset(number, what == SignatureRead::nothing_read ? "EOF" : "local header sig", offset);
    raise_status(status, EngineStatus::severe_error);
    return HeaderLookup::next_entry;
}

// An existing file against the member: 0 when the file is older, 1 when as new or newer. The
// member's time is its extra fields' (the local header's over the directory entry's) where they
// give one, else its MS-DOS time.
int existing_age(const HostFileInfo &existing) {
    int64_t seconds = existing.modified;
    if (seconds & 1) ++seconds;
    MemberTimes times = engine.current->extra_times;
    read_extra_times(engine.extra_field, engine.extra_length, times);
    int64_t member = times.modified_known
                         ? times.modified
                         : dos_to_seconds(engine.local.mod_date, engine.local.mod_time);
    return seconds >= member ? 1 : 0;
}

// Whether an existing file that the rules let go is replaced: -o says yes, else the replace
// policy is asked (without one, the file is kept).
bool replacing_allowed() {
    if (engine.options.overwrite_all || engine.options.no_query) return true;
    ReplacePolicy ask = engine.kept.replace_policy;
    return ask != nullptr && ask(engine.filename);
}

// Whether the output path names the archive being read, under whatever name.
bool is_the_archive() {
    const FileIdentity &archive = engine.input.archive_identity;
    FileIdentity output = output_identity();
    return archive.known && output.known && archive.volume == output.volume &&
           archive.file == output.file;
}

// Opens the current member's output: a new file where nothing of its name exists, which needs no
// question and no status query; otherwise, when the rules and the user allow it, a replacement
// that takes the existing file's place only once the member is complete. False when the member
// is not written (skipped, refused, or not creatable: the status says which).
bool open_member_output(EngineStatus &status) {
    if (!engine.options.freshen) {
        OutputOpen opened = open_output();
        if (opened == OutputOpen::created) return true;
        if (opened == OutputOpen::failed || opened == OutputOpen::bad_name) {
            // A name the host cannot hold, or a folder in the file's place, is the archive's
            // conflict with the host, not a full disk.
            HostFileInfo there{};
            bool conflict = opened == OutputOpen::bad_name ||
                            (output_status(&there) == 0 && there.is_directory);
            raise_status(status, conflict ? EngineStatus::error : EngineStatus::disk_full);
            return false;
        }
    }
    HostFileInfo existing{};
    if (output_status(&existing) != 0) {
        // Freshening creates nothing; otherwise the name went away in between: once more.
        if (engine.options.freshen) return false;
        if (open_output() == OutputOpen::created) return true;
        std::fprintf(stderr, "\nerror:  cannot create %s\n", shown().c_str());
        raise_status(status, EngineStatus::disk_full);
        return false;
    }
    bool as_new = existing_age(existing) == 1;
    if (engine.options.never_overwrite ||
        (as_new && (engine.options.update || engine.options.freshen)))
        return false;
    if (is_the_archive()) {
        std::fprintf(stderr, "error:  %s is the archive being read; not replaced\n",
                     shown().c_str());
        raise_status(status, EngineStatus::error);
        return false;
    }
    if (existing.is_directory) {
        // A folder where the member's file must go: the archive's conflict, not a full disk.
        std::fprintf(stderr, "\nerror:  cannot create %s\n", shown().c_str());
        raise_status(status, EngineStatus::error);
        return false;
    }
    if (!replacing_allowed()) return false;
    if (open_replacement() != 0) {
        raise_status(status, EngineStatus::disk_full);
        return false;
    }
    return true;
}

// The first field in which the local header contradicts the directory entry, or null.
const char *local_disagreement() {
    const LocalHeader &l = engine.local;
    const MemberEntry &m = *engine.current;
    if (l.method != m.method) return "method";
    if (l.flags & 0x0008) return nullptr; // CRC and sizes are the directory's
    if (l.crc32 != m.crc32) return "CRC";
    if (l.compressed_size != m.compressed_size) return "compressed size";
    if (l.uncompressed_size != m.uncompressed_size) return "size";
    return nullptr;
}

// Notes the member's output file as unfinished until it is closed (a device written in place
// is never removed).
void note_unfinished_output() {
    const OutputFileState &file = engine.host.output_file;
    if (file.in_place) return;
    OutputState &output = engine.output;
    const char *path = file.replacing ? file.temporary.c_str() : engine.filename;
    std::snprintf(output.unfinished, sizeof output.unfinished, "%s", path);
    output.unfinished_wide = engine.host.mapping.wide;
    output.has_unfinished = 1;
}

// Closes the member's output (close_output), which is no longer unfinished.
int end_output(OutputEnd how) {
    engine.output.has_unfinished = 0;
    return close_output(how);
}

// Processes one kept entry. Returns 1 when the archive must end at once.
int process_entry(int number, EngineStatus &status) {
    HeaderLookup where = find_local_header(number, status);
    if (where == HeaderLookup::end_archive) return 1;
    if (where == HeaderLookup::next_entry) return 0;

    EngineStatus r = read_local_header();
    if (r != EngineStatus::ok) {
        std::fprintf(stderr, "\nfile #%d:  bad local header\n", number);
        raise_status(status, r);
        return 0;
    }
    engine.filename[0] = '\0';
    if (!read_header_field(engine.local.name_length, FIELD_NAME, "local", status)) return 0;
    std::free(engine.extra_field);
    engine.extra_field = nullptr;
    engine.extra_length = 0;
    if (!read_header_field(engine.local.extra_length, FIELD_EXTRA, "local", status)) return 0;
    check_extra_field("local", status);
    apply_local_zip64();

    // The name written (and selected by) is the name the directory lists; a name decoded from
    // UTF-8 agrees as stored, or as the local header's own fields decode it.
    const long slot = engine.current - engine.extraction.batch;
    const std::string &listed = engine.extraction.listed_names[slot];
    const bool decoded = engine.current->utf8_name;
    std::string local_name;
    const bool agrees =
        decoded
            ? engine.extraction.stored_names[slot] == engine.filename ||
                  (decoded_member_name(engine.local.flags, engine.local.name_length, local_name) &&
                   local_name == listed)
            : listed == engine.filename;
    if (!agrees) {
        std::fprintf(stderr, "file #%d:  local header names %s, directory names %s\n", number,
                     shown().c_str(), shown_name(listed.c_str()).c_str());
        raise_status(status, EngineStatus::error);
        return 0;
    }
    if (decoded) std::memcpy(engine.filename, listed.c_str(), listed.size() + 1);
    // Its data end before the next member's header and the directory.
    if (archive_position() + static_cast<int64_t>(engine.local.compressed_size) >
        data_boundary(engine.current->local_offset)) {
        refuse_overlap(status);
        return 0;
    }
    // The local header describes the member the directory lists: the same method, and, unless
    // they follow the data, the same CRC and sizes.
    if (const char *field = local_disagreement()) {
        std::fprintf(stderr, "file #%d:  local header of %s disagrees with the directory (%s)\n",
                     number, shown().c_str(), field);
        raise_status(status, EngineStatus::error);
        return 0;
    }

    // An encrypted member's password and header, before anything is made for it.
    if (!start_member_decryption(status)) return 0;

    if (!engine.options.test && !engine.options.to_stdout) {
        r = mapname();
        if (r == EngineStatus::folder_created || r == EngineStatus::nothing_to_write) return 0;
        if (r == EngineStatus::volume_label) {
            std::fprintf(stderr, "   skipping: %-22s  %svolume label\n", shown().c_str(),
                         engine.kept.volume_labels ? "hard disk " : "");
            return 0;
        }
        if (r > EngineStatus::warning) {
            raise_status(status, EngineStatus::error);
            return 0;
        }
        raise_status(status, r); // a name given a safe form
        if (!open_member_output(status)) return 0;
        note_unfinished_output();
    }

    engine.output.disk_full_state = DiskFullState::none;
    raise_status(status, extract_member());
    return engine.output.disk_full_state == DiskFullState::stop ? 1 : 0;
}

// The stored copy: the member's bytes as the input hands them over (decrypted when need be), to
// the writer in window-sized blocks.
DecodeOutcome copy_stored(DecoderState &state, const MemberFacts &, const ByteSource &input,
                          const ByteSink &output) {
    unsigned char *const window = state.window_area;
    unsigned filled = 0;
    const unsigned char *run = input.start;
    int32_t left = input.start_length;
    while (engine.output.disk_full_state == DiskFullState::none) {
        if (left > 0) {
            unsigned piece = std::min(static_cast<unsigned>(left), WINDOW_SIZE - filled);
            std::memcpy(window + filled, run, piece);
            run += piece;
            left -= static_cast<int32_t>(piece);
            filled += piece;
        } else {
            int b = input.next(input.context, run, &run, &left);
            if (b < 0) break;
            window[filled++] = static_cast<unsigned char>(b);
        }
        if (filled == WINDOW_SIZE) {
            output.write(output.context, window, filled);
            filled = 0;
        }
    }
    if (filled > 0) output.write(output.context, window, filled);
    input.finish(input.context, run);
    return {};
}

// A method this engine decodes: its decoder, its verb in the progress line, and the words its
// error lines use (the stored copy and the reduce decoder never fail).
struct MethodDecoder {
    DecoderEntry decode;
    const char *verb;
    const char *operation; // "not enough memory for <operation> operation"
    const char *data_kind; // "invalid compressed (<data_kind>) data for <name>"
};

constexpr MethodDecoder STORED = {copy_stored, "extracting", "", ""};
constexpr MethodDecoder SHRUNK = {shrink_decode_member, "unshrinking", "unshrink", "shrunk"};
constexpr MethodDecoder REDUCED = {reduce_decode_member, "unreducing", "", ""};
constexpr MethodDecoder IMPLODED = {implode_decode_member, "exploding", "explode", "imploded"};
constexpr MethodDecoder DEFLATED = {deflate_decode_member, "inflating", "inflate", "deflated"};
constexpr MethodDecoder DEFLATED64 = {deflate64_decode_member, "inflating", "inflate", "deflate64"};

// The decoder of a compression method, or null for a method this engine does not decode.
const MethodDecoder *method_decoder(unsigned method) {
    switch (method) {
    case 0:
        return &STORED;
    case 1:
        return &SHRUNK;
    case 2:
    case 3:
    case 4:
    case 5:
        return &REDUCED;
    case 6:
        return &IMPLODED;
    case 8:
        return &DEFLATED;
    case 9:
        return &DEFLATED64;
    default:
        return nullptr;
    }
}

// The notes a decoder made on its way, as the member's line shows them unless quiet: deflate's
// incomplete codes.
void show_decoder_notes(const DecodeOutcome &outcome) {
    if (engine.options.quiet != 0) return;
    for (unsigned i = 0; i < outcome.incomplete_distance_codes; ++i)
        std::fputs("(incomplete d-tree)  ", stderr);
    if (outcome.incomplete_literal_code) std::fputs("(incomplete l-tree)  ", stderr);
}

// What a decoder's result means for the member: its error line and its status. The one place
// where decoder results become messages and statuses.
EngineStatus decoder_status(const MethodDecoder &m, const DecodeOutcome &outcome) {
    switch (outcome.result) {
    case DecodeResult::ok:
        return EngineStatus::ok;
    case DecodeResult::no_memory:
        if (quiet())
            std::fprintf(stderr, "  error:  not enough memory to %s %s\n", m.operation,
                         shown().c_str());
        else
            std::fprintf(stderr, "\n  error:  not enough memory for %s operation\n", m.operation);
        return EngineStatus::decoder_no_memory;
    case DecodeResult::size_mismatch: {
        // The member decoded, but took more or less input than its compressed size.
        const uint64_t data_size = member_data_size();
        bool error = data_size < static_cast<uint64_t>(outcome.used_compressed_size);
        std::fprintf(stderr,
                     "%s  %s:  %lld bytes required to uncompress to %llu bytes;\n       %s   "
                     "supposed to require %llu bytes%s%s%s\n",
                     quiet() ? "" : "\n", error ? "error" : "warning",
                     static_cast<long long>(outcome.used_compressed_size),
                     static_cast<unsigned long long>(engine.local.uncompressed_size),
                     error ? "" : "  ", static_cast<unsigned long long>(data_size),
                     quiet() ? " [" : "", quiet() ? shown().c_str() : "", quiet() ? "]" : ".");
        return error ? EngineStatus::error : EngineStatus::warning;
    }
    case DecodeResult::bad_data:
    case DecodeResult::incomplete_code:
    case DecodeResult::over_subscribed:
    case DecodeResult::bad_block_type:
    case DecodeResult::bad_tree:
        break;
    }
    if (quiet())
        std::fprintf(stderr, "  error:  invalid compressed (%s) data for %s\n", m.data_kind,
                     shown().c_str());
    else
        std::fprintf(stderr, "\n  error:  invalid compressed data for %s format\n", m.operation);
    return EngineStatus::error;
}

// The size a member's header declares for its data: the directory's when the local header
// leaves the sizes to the data descriptor.
uint64_t declared_size() {
    return engine.current && engine.current->sizes_after_data ? engine.current->uncompressed_size
                                                              : engine.local.uncompressed_size;
}

// The member's data did not come out at its declared size: more (output stopped there) or less.
EngineStatus bad_length(uint64_t produced, uint64_t declared, bool more) {
    if (quiet()) std::fprintf(stderr, "%-22s ", shown().c_str());
    if (more)
        std::fprintf(stderr, " bad length  (more than %llu bytes)\n",
                     static_cast<unsigned long long>(declared));
    else
        std::fprintf(stderr, " bad length %llu  (should be %llu)\n",
                     static_cast<unsigned long long>(produced),
                     static_cast<unsigned long long>(declared));
    return EngineStatus::error;
}

// The CRC that the data descriptor after a member's data records (its signature is optional),
// read from `data_end`; false when no descriptor can be read there.
bool descriptor_crc(int64_t data_end, uint32_t *crc) {
    unsigned char d[8];
    if (seek_archive(data_end) != EngineStatus::ok || read_exact(d, 8) != 8) return false;
    static constexpr unsigned char DESCRIPTOR_SIGNATURE[4] = {'P', 'K', 7, 8};
    *crc = read_le32(std::memcmp(d, DESCRIPTOR_SIGNATURE, 4) == 0 ? d + 4 : d);
    return true;
}

} // namespace

int64_t dos_to_seconds(uint16_t date, uint16_t time) {
    static constexpr int before[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    int64_t y = ((date >> 9) & 0x7F) + 10;
    int m = ((date >> 5) & 0x0F) - 1;
    int64_t d = (date & 0x1F) - 1;
    int64_t hour = (time >> 11) & 0x1F, minute = (time >> 5) & 0x3F, second = 2 * (time & 0x1F);
    if (m < 0) m = 0; // month 0 and 13..15 do not exist; keep the table lookup inside it
    if (m > 11) m = 11;
    int64_t days = (y + 1969) / 4 - 492 + y * 365 + before[m];
    if (m > 1 && (y + 1970) % 4 == 0 && y + 1970 != 2100) days += 1;
    int64_t t = (d + days) * 86400 + second + minute * 60 + hour * 3600;
    return local_time_bias_seconds(t, engine.host.time_zone);
}

EngineStatus extract_member() {
    EngineStatus status = EngineStatus::ok;
    engine.output.first_block = 1;
    engine.output.crc_accumulator = 0xFFFFFFFFu;
    const bool to_file = !engine.options.test && !engine.options.to_stdout;

    // A local header may name a method its central entry did not; nothing is left then.
    const MethodDecoder *decoder = method_decoder(engine.local.method);
    if (decoder == nullptr) {
        if (to_file) end_output(OutputEnd::abandoned);
        std::fprintf(stderr, "   skipping: %-22s  compression method %d\n", shown().c_str(),
                     static_cast<int>(engine.local.method));
        return EngineStatus::warning;
    }

    if (engine.options.test) {
        if (!quiet()) {
            std::fprintf(stdout, "%11s: %-22s  %s%s", "testing", shown().c_str(), "", "");
            std::fflush(stdout);
        }
    } else if (engine.options.to_stdout) {
        set_stdout_binary();
        std::clearerr(stdout); // from here on, any failure of standard output is this member's
    }

    if (!engine.options.test && !quiet()) {
        const char *tag = "";
        if (engine.options.text_level == 1) {
            if (engine.local.method == 0 && engine.local.uncompressed_size == 0)
                tag = "[empty] ";
            else
                tag = engine.current->text_hint ? "[text]  " : "[binary]";
        }
        std::fprintf(stdout, "%11s: %-22s  %s%s", decoder->verb, shown().c_str(), tag,
                     engine.options.to_stdout ? "\n" : "");
        std::fflush(stdout);
    }

    const int64_t data_start =
        archive_position() - (engine.decryption.active ? ENCRYPTION_HEADER_SIZE : 0);
    OutputState &output = engine.output;
    output.declared_size = declared_size();
    output.produced = 0;
    output.past_declared_size = 0;
    DecodeOutcome outcome = decode_current_member(decoder->decode);
    const uint64_t produced = output.produced, declared = output.declared_size;
    output.declared_size = std::numeric_limits<uint64_t>::max();
    show_decoder_notes(outcome);
    status = output.past_declared_size ? bad_length(produced, declared, true)
                                       : decoder_status(*decoder, outcome);
    if (engine.options.to_stdout) flush_standard_output();

    if (output.disk_full_state == DiskFullState::stop) {
        if (to_file) end_output(OutputEnd::stopped);
        return EngineStatus::disk_full;
    }
    if (output.disk_full_state == DiskFullState::went_on)
        raise_status(status, EngineStatus::warning);
    if (status <= EngineStatus::warning && produced != declared)
        status = bad_length(produced, declared, false);
    uint32_t recorded = 0;
    if (status <= EngineStatus::warning && (engine.local.flags & 0x0008) &&
        descriptor_crc(data_start + static_cast<int64_t>(engine.local.compressed_size),
                       &recorded) &&
        recorded != engine.local.crc32) {
        // The data descriptor and the directory disagree about the member: it is damaged.
        if (quiet()) std::fprintf(stderr, "%-22s ", shown().c_str());
        std::fprintf(stderr, " data descriptor CRC %08lx  (directory says %08lx)\n",
                     static_cast<unsigned long>(recorded),
                     static_cast<unsigned long>(engine.local.crc32));
        status = EngineStatus::error;
    }
    if (status <= EngineStatus::warning) {
        uint32_t computed = ~output.crc_accumulator;
        if (computed != engine.local.crc32) {
            if (quiet()) std::fprintf(stderr, "%-22s ", shown().c_str());
            std::fprintf(stderr, " bad CRC %08lx  (should be %08lx)\n",
                         static_cast<unsigned long>(computed),
                         static_cast<unsigned long>(engine.local.crc32));
            status = EngineStatus::error;
        }
    }
    // Only a whole member takes an existing file's place.
    bool complete =
        status <= EngineStatus::warning && output.disk_full_state == DiskFullState::none;
    // What a failed encrypted member decoded is most likely the work of a wrong password that
    // passed the header's check: nothing is kept of it.
    OutputEnd end = complete                   ? OutputEnd::complete
                    : engine.decryption.active ? OutputEnd::abandoned
                                               : OutputEnd::damaged;
    if (to_file && end_output(end) != 0) return EngineStatus::disk_full;
    if (status > EngineStatus::warning) return status;

    if (!quiet()) {
        if (engine.options.test)
            std::fprintf(stdout, " OK\n");
        else if (status == EngineStatus::ok)
            std::fprintf(stdout, "\n");
    }
    return status;
}

void remove_unfinished_output() {
    OutputState &output = engine.output;
    if (!output.has_unfinished) return;
    output.has_unfinished = 0;
    host_discard_open_file(output.file, output.unfinished, output.unfinished_wide != 0);
}

EngineStatus extract_all() {
    EngineStatus status = EngineStatus::ok;
    uint64_t total = engine.end_record.total_entries;
    engine.extraction.skipped_count = 0;
    long last_number = -1;

    NameMatches matches;
    start_name_matches(matches);
    // The walk cannot start where the input cannot go back to the directory.
    bool walk_stopped = !map_member_data(total);
    if (walk_stopped) raise_status(status, EngineStatus::archive_ends_early);

    unsigned entry = 0; // the directory entry's number
    for (int batch_number = 0; total > 0 && !walk_stopped; ++batch_number) {
        int kept = 0;
        while (total > 0 && kept < BATCH_SIZE) {
            --total;
            const unsigned this_entry = entry++;
            engine.current = &engine.extraction.batch[kept];
            if (!read_directory_entry(DirectoryReader::extraction, static_cast<unsigned>(kept),
                                      status)) {
                walk_stopped = true;
                break;
            }
            if (!member_selected(engine.filename, engine.current->lowercase_name, &matches))
                continue;
            if (refused_entry(this_entry)) {
                refuse_overlap(status);
                continue;
            }
            check_extra_field("central", status);
            if (check_and_store()) {
                engine.extraction.stored_names[kept] = engine.stored_name;
                engine.extraction.listed_names[kept++] = engine.filename;
            } else
                ++engine.extraction.skipped_count;
        }

        const WalkPosition resume = walk_position();

        for (int i = 0; i < kept; ++i) {
            engine.current = &engine.extraction.batch[i];
            int number = batch_number * BATCH_SIZE + i;
            last_number = number;
            if (process_entry(number, status)) return status;
        }

        if (kept > 0 && !return_to_walk(resume)) {
            raise_status(status, EngineStatus::archive_ends_early);
            walk_stopped = true;
        }
    }

    caution_unmatched_names(matches);
    if (!walk_stopped) raise_status(status, check_directory_end(DirectoryReader::extraction));

    if (engine.options.test && engine.options.quiet < 2) {
        long tested = last_number + 1;
        if (status != EngineStatus::ok)
            std::fprintf(stdout, "At least one %serror was detected in %s.\n",
                         status == EngineStatus::warning ? "warning-" : "", engine.archive_name);
        else if (tested == 0)
            std::fprintf(stdout, "Caution:  zero files tested in %s.\n", engine.archive_name);
        else if (engine.names.process_all && engine.extraction.skipped_count == 0)
            std::fprintf(stdout, "No errors detected in compressed data of %s.\n",
                         engine.archive_name);
        else
            std::fprintf(stdout, "No errors detected in %s for the %d file%s tested.\n",
                         engine.archive_name, static_cast<int>(tested), tested == 1 ? "" : "s");
        if (engine.extraction.skipped_count > 0)
            std::fprintf(
                stdout, "%u file%s skipped because of unsupported compression or encoding.\n",
                engine.extraction.skipped_count, engine.extraction.skipped_count == 1 ? "" : "s");
    }
    if (engine.extraction.skipped_count > 0 && status == EngineStatus::ok)
        status = EngineStatus::warning;
    return status;
}
