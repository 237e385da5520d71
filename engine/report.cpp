// The detailed archive report (zipinfo mode): its options, the archive header, one line or a
// full description per member, and the totals line.
#include <cctype>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "engine/engine.h"
#include "engine/selection.h"

namespace {

constexpr const char *REPORT_VERSION = "2.0 of 7 February 1994";

constexpr const char *HOST_NAMES[13] = {"MS-DOS, OS/2 or NT FAT",
                                        "Amiga",
                                        "VAX VMS",
                                        "Unix",
                                        "VM/CMS",
                                        "Atari ST",
                                        "OS/2 or NT HPFS",
                                        "Macintosh",
                                        "Z-System",
                                        "CP/M",
                                        "TOPS-20",
                                        "NT NTFS",
                                        "unknown"};
constexpr const char *HOST_ABBREVIATIONS[13] = {"fat", "ami", "vms", "unx", "cms", "atr", "hpf",
                                                "mac", "zzz", "cpm", "t20", "ntf", "???"};
constexpr const char *METHOD_NAMES[9] = {"none (stored)",
                                         "shrunk",
                                         "reduced (factor 1)",
                                         "reduced (factor 2)",
                                         "reduced (factor 3)",
                                         "reduced (factor 4)",
                                         "imploded",
                                         "tokenized",
                                         "deflated"};
constexpr const char *METHOD_ABBREVIATIONS[9] = {"stor", "shrk", "re:1", "re:2", "re:3",
                                                 "re:4", "i#:#", "tokn", "def#"};
constexpr const char *DEFLATE_SUBTYPES[4] = {"normal", "maximum", "fast", "superfast"};
constexpr const char *MONTHS[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char DEFLATE_LETTERS[] = "NXFS";

// Width of the attribute and version field of the short line; a version of 10.0 or more
// needs one column more.
constexpr int SHORT_FIELD = 15;

// --- Values taken from the archive, checked before they index anything ----------------------

int capped_host(unsigned host) {
    return host > 12 ? 12 : static_cast<int>(host);
}

const char *month_name(unsigned month) {
    return month >= 1 && month <= 12 ? MONTHS[month - 1] : "???";
}

// The compressed size without the 12-byte encryption header of an encrypted member.
uint64_t compressed_without_header(const CentralHeader &h) {
    if (!(h.flags & 1)) return h.compressed_size;
    return h.compressed_size >= 12 ? h.compressed_size - 12 : 0;
}

// Size of OS/2 extended attributes named by an extra field that starts with a complete
// tag-9 block header and value; 0 otherwise.
uint32_t os2_ea_size() {
    const unsigned char *p = engine.extra_field;
    if (p == nullptr || engine.extra_length < 8) return 0;
    if (read_le16(p) != 9) return 0;
    return read_le32(p + 4);
}

// ----------------------------------------------------------------------------------------------

std::string method_abbreviation(const CentralHeader &h) {
    char text[16];
    if (h.method == 6) {
        std::snprintf(text, sizeof text, "i%c:%c", (h.flags & 2) ? '8' : '4',
                      (h.flags & 4) ? '3' : '2');
    } else if (h.method == 8) {
        std::snprintf(text, sizeof text, "def%c", DEFLATE_LETTERS[(h.flags >> 1) & 3]);
    } else if (h.method > 8) {
        std::snprintf(text, sizeof text, "u%03u", static_cast<unsigned>(h.method));
    } else {
        return METHOD_ABBREVIATIONS[h.method];
    }
    return text;
}

std::string method_name(const CentralHeader &h) {
    if (h.method <= 8) return METHOD_NAMES[h.method];
    char text[24];
    std::snprintf(text, sizeof text, "unknown (%d)", static_cast<int>(h.method));
    return text;
}

// Writes the ten characters of a Unix mode: type, then rwx for owner, group and others with
// the set-user, set-group and sticky bits folded into the execute columns.
void unix_mode_text(char *out, unsigned mode) {
    switch (mode & 0xF000) {
    case 0x4000:
        out[0] = 'd';
        break;
    case 0x8000:
        out[0] = '-';
        break;
    case 0xA000:
        out[0] = 'l';
        break;
    case 0x6000:
        out[0] = 'b';
        break;
    case 0x2000:
        out[0] = 'c';
        break;
    case 0x1000:
        out[0] = 'p';
        break;
    case 0xC000:
        out[0] = 's';
        break;
    default:
        out[0] = '?';
        break;
    }
    out[1] = (mode & 0400) ? 'r' : '-';
    out[2] = (mode & 0200) ? 'w' : '-';
    out[4] = (mode & 0040) ? 'r' : '-';
    out[5] = (mode & 0020) ? 'w' : '-';
    out[7] = (mode & 0004) ? 'r' : '-';
    out[8] = (mode & 0002) ? 'w' : '-';
    if (mode & 0x800)
        out[3] = (mode & 0100) ? 's' : 'S';
    else
        out[3] = (mode & 0100) ? 'x' : '-';
    if (mode & 0x400)
        out[6] = (mode & 0010) ? 's' : 'l';
    else
        out[6] = (mode & 0010) ? 'x' : '-';
    if (mode & 0x200)
        out[9] = (mode & 0001) ? 't' : 'T';
    else
        out[9] = (mode & 0001) ? 'x' : '-';
}

// Writes the nine Amiga characters: directory/file, then hsparwed.
void amiga_text(char *out, unsigned x) {
    unsigned kind = (x >> 10) & 3;
    out[0] = kind == 2 ? 'd' : kind == 1 ? '-' : '?';
    static constexpr char LETTERS[] = "hsparwed";
    for (int i = 0; i < 8; ++i) out[1 + i] = (x & (0x80u >> i)) ? LETTERS[i] : '-';
}

// Writes one VMS protection group from three Unix permission bits; returns its length.
int vms_group(char *out, unsigned bits) {
    int n = 0;
    if (bits & 4) out[n++] = 'R';
    if (bits & 2) out[n++] = 'W';
    if (bits & 1) out[n++] = 'E';
    if (bits & 2) out[n++] = 'D';
    return n;
}

// FAT, HPFS and NTFS attributes, with the executable-extension rule and volume labels.
void fat_attributes(char *field, uint32_t attributes) {
    std::memcpy(field, ".r.-...", 7);
    field[2] = (attributes & 0x01) ? '-' : 'w';
    field[5] = (attributes & 0x02) ? 'h' : '-';
    field[6] = (attributes & 0x04) ? 's' : '-';
    field[0] = (attributes & 0x10) ? 'd' : '-';
    field[4] = (attributes & 0x20) ? 'a' : '-';
    if (engine.current->volume_label) {
        field[0] = 'V';
        return;
    }
    const char *dot = std::strrchr(engine.filename, '.');
    if (dot == nullptr) return;
    static constexpr const char *EXECUTABLE[] = {"com", "exe", "btm", "cmd", "bat"};
    for (const char *extension : EXECUTABLE) {
        int same = 1;
        for (int i = 0; i < 3 && same; ++i) {
            unsigned char c = static_cast<unsigned char>(dot[1 + i]);
            same = c != 0 && std::tolower(c) == extension[i];
        }
        if (same) {
            field[3] = 'x';
            return;
        }
    }
}

// Skips the rest of a member's entry (extra field, comment) under the report's status rule.
EngineStatus skip_rest(EngineStatus status, bool skip_extra) {
    if (skip_extra) {
        EngineStatus r = read_field(engine.central.extra_length, FIELD_SKIP);
        if (r > EngineStatus::warning) return r;
        raise_status(status, r);
    }
    EngineStatus r = read_field(engine.central.comment_length, FIELD_SKIP);
    if (r > EngineStatus::warning) return r;
    raise_status(status, r);
    return status;
}

} // namespace

// --- Options and usage -------------------------------------------------------------------------

void report_usage(int bad) {
    std::FILE *out = bad ? stderr : stdout;
    std::fprintf(out, "QEL Setup archive report %s\n\n", REPORT_VERSION);
    std::fprintf(out, "Describes the members of a zip archive: one line each, or every field of\n"
                      "their directory entries.  file[.zip] may be a wildcard; list and xlist\n"
                      "choose the members reported (default: all).\n\n"
                      "   usage:  zipinfo [-12smlvhtz] file[.zip] [list...] [-x xlist...]\n"
                      "      or:  unzip -Z [-12smlvhtz] file[.zip] [list...] [-x xlist...]\n");
    std::fprintf(out, "\nmain listing-format options:\n"
                      "  -1  member names only, one per line (no header, totals or comment)\n"
                      "  -2  member names only, header, totals and comment on request\n"
                      "  -s  short line per member (default)\n"
                      "  -m  short line with compression ratio\n"
                      "  -l  short line with compressed size\n"
                      "  -v  full report of every directory entry\n"
                      "\nother options:\n"
                      "  -h  archive header line     -t  totals line     -z  archive comment\n"
                      "  a '-' before a letter (e.g. -h-t or --h) turns that letter off\n");
}

// The letters that choose the report's format.
struct FormatLetter {
    char letter;
    ReportFormat format;
};
constexpr FormatLetter FORMAT_LETTERS[] = {
    {'1', ReportFormat::names_only},      {'2', ReportFormat::names},
    {'s', ReportFormat::short_line},      {'m', ReportFormat::with_ratio},
    {'l', ReportFormat::with_compressed}, {'v', ReportFormat::full},
};

// What the option letters asked for. Header and totals: -1 not asked, 1 asked for, 0 refused
// with a negated letter. The negation count carries over from one option entry to the next.
struct ReportRequest {
    int header = -1;
    int totals = -1;
    int negation = 0;
    int bad = 0;
};

// Applies one option letter of the detailed report.
static void apply_report_letter(char letter, ReportRequest &asked) {
    ReportFormat &format = engine.options.report_format;
    for (const FormatLetter &f : FORMAT_LETTERS) {
        if (f.letter != letter) continue;
        format = asked.negation > 0 ? ReportFormat::cancelled : f.format;
        asked.negation = 0;
        return;
    }
    switch (letter) {
    case '-':
        ++asked.negation;
        break;
    case 'h':
    case 't': {
        int &wanted = letter == 'h' ? asked.header : asked.totals;
        if (asked.negation > 0) {
            wanted = 0;
            asked.negation = 0;
        } else {
            wanted = 1;
            if (format == ReportFormat::not_chosen) format = ReportFormat::header_totals_only;
        }
        break;
    }
    case 'z':
        engine.options.comment_level = asked.negation > 0 ? 0 : 1;
        asked.negation = 0;
        break;
    case 'Z':
        break;
    default:
        asked.bad = 1;
        break;
    }
}

// Settles the format and whether the header and totals lines are shown, by what was asked and
// whether member names were given.
static void settle_report_format(const ReportRequest &asked, bool names_given) {
    ReportFormat &format = engine.options.report_format;
    if (format < ReportFormat::header_totals_only ||
        (format == ReportFormat::header_totals_only && names_given))
        format = ReportFormat::short_line;
    switch (format) {
    case ReportFormat::header_totals_only:
    case ReportFormat::names:
        engine.kept.show_header = asked.header == 1;
        engine.options.show_totals = asked.totals == 1;
        break;
    case ReportFormat::names_only:
        engine.kept.show_header = engine.options.show_totals = 0;
        engine.options.comment_level = 0;
        break;
    case ReportFormat::full:
        engine.kept.show_header = asked.header != 0;
        engine.options.show_totals = asked.totals == 1;
        break;
    default: // the short lines: on unless refused, or unless names were given without asking
        engine.kept.show_header = asked.header == 1 || (asked.header == -1 && !names_given);
        engine.options.show_totals = asked.totals == 1 || (asked.totals == -1 && !names_given);
        break;
    }
}

EngineStatus report_options(int *argc_in, char ***argv_in) {
    int argc = *argc_in - 1;
    char **argv = *argv_in + 1;
    // Every call chooses afresh; a format or flag from an earlier call must not leak in.
    engine.options.report_format = ReportFormat::not_chosen;
    ReportRequest asked;
    while (argc > 0 && argv[0] != nullptr && argv[0][0] == '-') {
        for (const char *s = argv[0] + 1; *s; ++s) apply_report_letter(*s, asked);
        --argc;
        ++argv;
    }
    *argc_in = argc;
    *argv_in = argv;
    if (argc <= 0 || asked.bad) {
        *argc_in = 0;
        return show_usage(asked.bad);
    }
    settle_report_format(asked, argc > 1);
    return EngineStatus::ok;
}

// --- Archive header ---------------------------------------------------------------------------

EngineStatus report_archive_header() {
    const EndRecord &e = engine.end_record;
    if (engine.kept.show_header) {
        if (std::strlen(engine.archive_name) >= 39)
            std::fprintf(stdout, "Archive:  %s   %lld   %llu\n", engine.archive_name,
                         static_cast<long long>(engine.input.archive_size),
                         static_cast<unsigned long long>(e.total_entries));
        else
            std::fprintf(stdout, "Archive:  %s   %lld bytes   %llu file%s\n", engine.archive_name,
                         static_cast<long long>(engine.input.archive_size),
                         static_cast<unsigned long long>(e.total_entries),
                         e.total_entries == 1 ? "" : "s");
    }

    if (engine.options.report_format == ReportFormat::full) {
        const auto size = static_cast<unsigned long long>(e.directory_size);
        const auto offset = static_cast<unsigned long long>(e.directory_offset);
        const auto total = static_cast<unsigned long long>(e.total_entries);
        std::fprintf(stdout, "\nEnd-of-central-directory record:\n");
        std::fprintf(stdout, "-------------------------------\n\n");
        std::fprintf(stdout,
                     "  Actual offset of end-of-central-dir record:   %9lld (%.8llXh)\n"
                     "  Expected offset of end-of-central-dir record: %9lld (%.8llXh)\n"
                     "  (based on the length of the central directory and its expected offset)\n\n",
                     static_cast<long long>(engine.end_record_offset),
                     static_cast<unsigned long long>(engine.end_record_offset),
                     static_cast<long long>(engine.expected_end_offset),
                     static_cast<unsigned long long>(engine.expected_end_offset));
        const char *entries = e.total_entries == 1 ? "entry" : "entries";
        if (e.this_disk == 0) {
            std::fprintf(stdout,
                         "  This zipfile constitutes the sole disk of a single-part archive; its\n"
                         "  central directory contains %llu %s.  The central directory is %llu\n"
                         "  (%.8llXh) bytes long, and its (expected) offset in bytes from the\n"
                         "  beginning of the zipfile is %llu (%.8llXh).\n\n",
                         total, entries, size, size, offset, offset);
        } else {
            std::fprintf(
                stdout,
                "  This zipfile constitutes disk %u of a multi-part archive.  The central\n"
                "  directory starts on disk %u; %llu of its entries %s contained within\n"
                "  this zipfile, out of a total of %llu %s.  The entire central\n"
                "  directory is %llu (%.8llXh) bytes long, and its offset in bytes from\n"
                "  the beginning of the zipfile in which it begins is %llu (%.8llXh).\n\n",
                static_cast<unsigned>(e.this_disk), static_cast<unsigned>(e.directory_disk),
                static_cast<unsigned long long>(e.entries_this_disk),
                e.entries_this_disk == 1 ? "is" : "are", total, entries, size, size, offset,
                offset);
        }
        if (e.comment_length == 0) {
            std::fprintf(stdout, "  There is no zipfile comment.\n");
            return EngineStatus::ok;
        }
        std::fprintf(stdout,
                     "  The zipfile comment is %u bytes long and contains the following text:\n\n",
                     static_cast<unsigned>(e.comment_length));
        std::fprintf(
            stdout, "======================== zipfile comment begins ==========================\n");
        EngineStatus r = read_field(e.comment_length, FIELD_SHOW);
        std::fprintf(
            stdout, "========================= zipfile comment ends ===========================\n");
        if (r != EngineStatus::ok) {
            std::fprintf(stdout, "\n  The zipfile comment is truncated.\n");
            return EngineStatus::warning;
        }
        return EngineStatus::ok;
    }

    if (engine.options.comment_level != 0 && e.comment_length != 0) {
        if (read_field(e.comment_length, FIELD_SHOW) != EngineStatus::ok) {
            std::fprintf(stderr, "\ncaution:  zipfile comment truncated\n");
            return EngineStatus::warning;
        }
    }
    return EngineStatus::ok;
}

// --- Members ----------------------------------------------------------------------------------

std::string report_date(unsigned date, unsigned time) {
    char text[48];
    const unsigned day = date & 31, month = (date >> 5) & 15;
    const unsigned hour = time >> 11, minute = (time >> 5) & 63;
    if (engine.options.report_format == ReportFormat::full)
        std::snprintf(text, sizeof text, "%u %s %u %02u:%02u:%02u", date / 512 + 1980,
                      month_name(month), day, hour, minute, (time & 31) * 2);
    else
        std::snprintf(text, sizeof text, "%2u-%s-%02u %02u:%02u", day, month_name(month),
                      (date / 512 + 80) % 100, hour, minute);
    return text;
}

EngineStatus report_short_line() {
    const CentralHeader &h = engine.central;
    const int host = capped_host(h.host_made_by);
    const unsigned x = h.external_attributes >> 16;
    char field[SHORT_FIELD + 8];
    std::memset(field, ' ', sizeof field);
    bool with_version = true;
    switch (host) {
    case 0:
    case 6:
    case 11:
        fat_attributes(field, h.external_attributes);
        break;
    case 1:
        amiga_text(field, x);
        break;
    case 2: {
        int n = vms_group(field, x >> 6);
        field[n++] = ',';
        n += vms_group(field + n, x >> 3);
        field[n++] = ',';
        n += vms_group(field + n, x);
        field[n] = ' '; // the last comma's place
        with_version = n < 12;
        break;
    }
    default:
        unix_mode_text(field, x);
        break;
    }
    int length = SHORT_FIELD;
    if (with_version) {
        int n = std::snprintf(field + 12, sizeof field - 12, "%d.%d", h.version_made_by / 10,
                              h.version_made_by % 10);
        if (12 + n > length) length = 12 + n;
    }
    field[length] = '\0';

    const bool encrypted = h.flags & 1;
    const bool has_extra = h.extra_length != 0;
    char type = (h.internal_attributes & 1) ? 't' : 'b';
    if (encrypted) type = static_cast<char>(type - 'a' + 'A');
    char extra = (h.flags & 8) ? (has_extra ? 'X' : 'l') : (has_extra ? 'x' : '-');
    std::fprintf(stdout, "%s %s %7llu %c%c", field, HOST_ABBREVIATIONS[host],
                 static_cast<unsigned long long>(h.uncompressed_size), type, extra);
    if (engine.options.report_format == ReportFormat::with_ratio)
        std::fprintf(stdout, "%3d%%",
                     (ratio_permille(h.uncompressed_size, compressed_without_header(h)) + 5) / 10);
    else if (engine.options.report_format == ReportFormat::with_compressed)
        std::fprintf(stdout, " %7llu", static_cast<unsigned long long>(h.compressed_size));
    std::fprintf(stdout, " %s %s ", method_abbreviation(h).c_str(),
                 report_date(h.mod_date, h.mod_time).c_str());
    print_name(engine.filename);
    return skip_rest(EngineStatus::ok, true);
}

// The full report's lines of the entry's fixed fields: who made it, how, when, the sizes and
// lengths, the disk and the apparent file type.
static void report_entry_fields(const CentralHeader &h) {
    const int host = capped_host(h.host_made_by);
    std::fprintf(stdout, "\n  host operating system (created on):               %s\n",
                 HOST_NAMES[host]);
    std::fprintf(stdout, "  version of encoding software:                     %d.%d\n",
                 h.version_made_by / 10, h.version_made_by % 10);
    std::fprintf(stdout, "  minimum operating system compatibility required:  %s\n",
                 HOST_NAMES[capped_host(h.host_needed)]);
    std::fprintf(stdout, "  minimum software version required to extract:     %d.%d\n",
                 h.version_needed / 10, h.version_needed % 10);
    std::fprintf(stdout, "  compression method:                               %s\n",
                 method_name(h).c_str());
    if (h.method == 6) {
        std::fprintf(stdout, "  size of sliding dictionary (implosion):           %cK\n",
                     (h.flags & 2) ? '8' : '4');
        std::fprintf(stdout, "  number of Shannon-Fano trees (implosion):         %c\n",
                     (h.flags & 4) ? '3' : '2');
    } else if (h.method == 8) {
        std::fprintf(stdout, "  compression sub-type (deflation):                 %s\n",
                     DEFLATE_SUBTYPES[(h.flags >> 1) & 3]);
    }
    std::fprintf(stdout, "  file security status:                             %sencrypted\n",
                 (h.flags & 1) ? "" : "not ");
    std::fprintf(stdout, "  extended local header:                            %s\n",
                 (h.flags & 8) ? "yes" : "no");
    std::fprintf(stdout, "  file last modified on:                            %s\n",
                 report_date(h.mod_date, h.mod_time).c_str());
    std::fprintf(stdout, "  32-bit CRC value (hex):                           %.8lx\n",
                 static_cast<unsigned long>(h.crc32));
    std::fprintf(stdout, "  compressed size:                                  %llu bytes\n",
                 static_cast<unsigned long long>(h.compressed_size));
    std::fprintf(stdout, "  uncompressed size:                                %llu bytes\n",
                 static_cast<unsigned long long>(h.uncompressed_size));
    std::fprintf(stdout, "  length of filename:                               %u characters\n",
                 static_cast<unsigned>(h.name_length));
    std::fprintf(stdout, "  length of extra field:                            %u bytes\n",
                 static_cast<unsigned>(h.extra_length));
    std::fprintf(stdout, "  length of file comment:                           %u characters\n",
                 static_cast<unsigned>(h.comment_length));
    std::fprintf(stdout, "  disk number on which file begins:                 disk %u\n",
                 static_cast<unsigned>(h.disk_start));
    std::fprintf(stdout, "  apparent file type:                               %s\n",
                 (h.internal_attributes & 1) ? "text" : "binary");
}

// The full report's attribute lines: the host's own attributes (the high half of the external
// attributes), then the MS-DOS attribute byte, and the local header's place.
static void report_entry_attributes(const CentralHeader &h) {
    const int host = capped_host(h.host_made_by);
    const unsigned x = h.external_attributes >> 16;
    char text[32] = {};
    if (host == 2) {
        char owner[5] = {}, group[5] = {}, others[5] = {}; // at most "RWED"
        vms_group(owner, x >> 6);
        vms_group(group, x >> 3);
        vms_group(others, x);
        std::snprintf(text, sizeof text, "(%s,%s,%s,%s)", owner, owner, group, others);
        std::fprintf(stdout, "  VMS file attributes (%06o octal):               %s\n", x, text);
    } else if (host == 1) {
        amiga_text(text, x);
        std::fprintf(stdout, "  Amiga file attributes (%06o octal):             %s\n", x, text);
    } else if (host == 0 || host == 6 || host == 11) {
        std::fprintf(stdout, "  non-MSDOS external file attributes:               %06lX hex\n",
                     static_cast<unsigned long>(h.external_attributes >> 8));
    } else {
        unix_mode_text(text, x);
        std::fprintf(stdout, "  Unix file attributes (%06o octal):              %s\n", x, text);
    }

    const unsigned a = h.external_attributes & 0xFF;
    if (a == 0)
        std::fprintf(stdout, "  MS-DOS file attributes (%02X hex):                  none\n", a);
    else if (a == 1)
        std::fprintf(stdout, "  MS-DOS file attributes (%02X hex):                  read-only\n",
                     a);
    else
        std::fprintf(stdout, "  MS-DOS file attributes (%02X hex):                  %s%s%s%s%s%s\n",
                     a, (a & 0x01) ? "rdo " : "", (a & 0x02) ? "hid " : "",
                     (a & 0x04) ? "sys " : "", (a & 0x08) ? "lab " : "", (a & 0x10) ? "dir " : "",
                     (a & 0x20) ? "arc" : "");
    std::fprintf(stdout,
                 "  offset of local header from start of archive:     %llu (%.8llXh) bytes\n",
                 static_cast<unsigned long long>(h.local_offset),
                 static_cast<unsigned long long>(h.local_offset));
}

// The full report's extra field and member comment, read from the archive: the status of the
// reads (above warning: the walk ends).
static EngineStatus report_entry_extras(const CentralHeader &h) {
    EngineStatus status = EngineStatus::ok;
    if (h.extra_length != 0) {
        EngineStatus r = read_field(h.extra_length, FIELD_EXTRA);
        if (r > EngineStatus::warning) return r;
        raise_status(status, r);
        uint32_t ea = os2_ea_size();
        if (ea != 0)
            std::fprintf(stdout,
                         "\n  This file has %lu bytes of OS/2 EA's in the local extra field.\n"
                         "  (May not match OS/2 \"dir\" amount due to storage method.)\n\n",
                         static_cast<unsigned long>(ea));
        else
            std::fprintf(stdout, "\n  There is an unknown extra field (skipping).\n");
    } else {
        std::fprintf(stdout, "\n");
    }

    if (h.comment_length == 0) {
        std::fprintf(stdout, "  There is no file comment.\n");
        return status;
    }
    std::fprintf(stdout,
                 "------------------------- file comment begins ----------------------------\n");
    EngineStatus r = read_field(h.comment_length, FIELD_SHOW);
    std::fprintf(stdout,
                 "-------------------------- file comment ends -----------------------------\n");
    if (r > EngineStatus::warning) return r;
    raise_status(status, r);
    return status;
}

EngineStatus report_full_entry() {
    const CentralHeader &h = engine.central;
    report_entry_fields(h);
    report_entry_attributes(h);
    return report_entry_extras(h);
}

EngineStatus report_members() {
    NameMatches matches;
    start_name_matches(matches);
    engine.listed_member = MemberEntry{};
    engine.current = &engine.listed_member;

    EngineStatus status = EngineStatus::ok;
    int members = 0;
    // Totals of many large members may pass 4 GiB.
    uint64_t total_uncompressed = 0, total_compressed = 0;
    const uint64_t total_entries = engine.end_record.total_entries;
    for (uint64_t i = 0; i < total_entries; ++i) {
        if (!read_directory_entry(DirectoryReader::report, static_cast<unsigned>(i), status))
            return status;
        const CentralHeader &h = engine.central;

        EngineStatus r;
        if (!member_selected(engine.filename, 0, &matches)) {
            r = skip_rest(status, true);
            if (r > EngineStatus::warning) return r;
            status = r;
            continue;
        }
        switch (engine.options.report_format) {
        case ReportFormat::names_only:
        case ReportFormat::names:
            print_name(engine.filename);
            r = skip_rest(status, true);
            break;
        case ReportFormat::short_line:
        case ReportFormat::with_ratio:
        case ReportFormat::with_compressed:
            r = report_short_line();
            break;
        case ReportFormat::full:
            std::fprintf(stdout, "%s\nCentral directory entry #%d:\n", "\f", static_cast<int>(i));
            std::fprintf(stdout, "---------------------------\n\n");
            r = report_full_entry();
            break;
        default:
            r = skip_rest(status, true);
            break;
        }
        if (r > EngineStatus::warning) return r;
        raise_status(status, r);
        ++members;
        total_uncompressed += h.uncompressed_size;
        total_compressed += compressed_without_header(h);
    }

    EngineStatus end = check_directory_end(DirectoryReader::report);
    if (end == EngineStatus::archive_ends_early) return end;
    raise_status(status, end);

    if (engine.options.show_totals) {
        int r = ratio_permille(total_uncompressed, total_compressed);
        int magnitude = r < 0 ? -r : r;
        std::fprintf(
            stdout, "%d file%s, %llu bytes uncompressed, %llu bytes compressed:  %s%d.%d%%\n",
            members, members == 1 ? "" : "s", static_cast<unsigned long long>(total_uncompressed),
            static_cast<unsigned long long>(total_compressed), r < 0 ? "-" : "", magnitude / 10,
            magnitude % 10);
    }

    caution_unmatched_names(matches);
    return status;
}
