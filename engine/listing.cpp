// The short (-l) and verbose (-v) listings, which also fill the installer's member table.
#include <cstdlib>
#include <cstring>

#include "engine/engine.h"
#include "engine/selection.h"

std::vector<std::string> archive_members;
std::vector<uint32_t> archive_member_sizes;
uint32_t archive_total_size = 0;

int ratio_permille(uint64_t u, uint64_t c) {
    constexpr uint64_t MOST = 2147483647u; // a ratio below -MOST shows as -MOST
    if (u == 0) return 0;
    if (u <= 2000000) {
        if (u >= c) return static_cast<int>(((u - c) * 1000 + u / 2) / u);
        // (c - u) * 1000 may pass 64 bits for a tiny member with a huge compressed size.
        if (c - u > MOST * u) return -static_cast<int>(MOST);
        uint64_t over = ((c - u) * 1000 + u / 2) / u;
        return over > MOST ? -static_cast<int>(MOST) : -static_cast<int>(over);
    }
    uint64_t k = u / 1000;
    if (u >= c) return static_cast<int>((u + k / 2 - c) / k);
    uint64_t over = (c - u + k / 2) / k;
    return over > MOST ? -static_cast<int>(MOST) : -static_cast<int>(over);
}

static void format_ratio(char *text, size_t size, int r) {
    // Rounded in 64 bits: a clamped ratio near the int limit must not overflow.
    long long rounded = r < 0 ? (5 - static_cast<long long>(r)) / 10 : (r + 5LL) / 10;
    std::snprintf(text, size, "%c%lld%%", r < 0 ? '-' : ' ', rounded);
}

namespace {

// Bytes that continue a UTF-8 character after a lead byte `c`: how many, and the range the first
// of them must lie in (so that overlong and surrogate forms are no characters).
struct Utf8Lead {
    int more;
    unsigned char low, high;
};
Utf8Lead utf8_lead(unsigned char c) {
    if (c >= 0xC2 && c <= 0xDF) return {1, 0x80, 0xBF};
    if (c == 0xE0) return {2, 0xA0, 0xBF};
    if (c == 0xED) return {2, 0x80, 0x9F};
    if (c >= 0xE1 && c <= 0xEF) return {2, 0x80, 0xBF};
    if (c == 0xF0) return {3, 0x90, 0xBF};
    if (c >= 0xF1 && c <= 0xF3) return {3, 0x80, 0xBF};
    if (c == 0xF4) return {3, 0x80, 0x8F};
    return {0, 0, 0};
}

} // namespace

size_t utf8_character(const unsigned char *p, size_t left) {
    Utf8Lead lead = utf8_lead(p[0]);
    if (lead.more == 0 || static_cast<size_t>(lead.more) >= left) return 0;
    if (p[1] < lead.low || p[1] > lead.high) return 0;
    for (int k = 2; k <= lead.more; ++k)
        if ((p[k] & 0xC0) != 0x80) return 0;
    return static_cast<size_t>(lead.more) + 1;
}

namespace {

// A control character as ^X: C0 controls by their caret form, C1 controls (0x80..0x9F)
// by their seven-bit form, ESC and a character, with ESC as ^[ (CSI 0x9B shows as ^[[).
void show_control(std::string &shown, unsigned code) {
    if (code >= 0x80) {
        shown += "^[";
        shown += static_cast<char>(code - 0x40);
        return;
    }
    shown += '^';
    shown += static_cast<char>(code ^ 0x40);
}

} // namespace

std::string shown_text(const char *text, size_t length, bool layout) {
    std::string shown;
    shown.reserve(length);
    const auto *p = reinterpret_cast<const unsigned char *>(text);
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = p[i];
        if (c < 0x20) {
            if (layout && (c == '\n' || c == '\t'))
                shown += static_cast<char>(c);
            else
                show_control(shown, c);
        } else if (c >= 0x80 && c <= 0x9F) {
            show_control(shown, c); // outside a UTF-8 character: a C1 control
        } else if (size_t whole = c >= 0xC2 ? utf8_character(p + i, length - i) : 0) {
            if (c == 0xC2 && p[i + 1] <= 0x9F) // U+0080..U+009F: a C1 control in UTF-8
                show_control(shown, p[i + 1]);
            else
                shown.append(text + i, whole);
            i += whole - 1;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}

std::string shown_name(const char *name) {
    return shown_text(name, std::strlen(name), false);
}

void print_name(const char *name) {
    std::fputs(shown_name(name).c_str(), stdout);
    std::fputc('\n', stdout);
}

static const char *method_name(unsigned method, unsigned flags, char *scratch, size_t size) {
    static constexpr const char *NAMES[] = {"Stored",  "Shrunk",  "Reduce1", "Reduce2", "Reduce3",
                                            "Reduce4", "Implode", "Token",   "Defl:#"};
    if (method == 8) {
        std::snprintf(scratch, size, "Defl:%c", "NXFS"[(flags >> 1) & 3]);
        return scratch;
    }
    if (method < 8) return NAMES[method];
    std::snprintf(scratch, size, "Unk:%03u", method);
    return scratch;
}

// Stores one listed member in the installer's table at `index`.
static void store_member(size_t index, const char *name, uint32_t size) {
    if (archive_members.size() <= index) {
        archive_members.resize(index + 1);
        archive_member_sizes.resize(index + 1);
    }
    archive_members[index] = name;
    archive_member_sizes[index] = size;
}

// Ends the installer's table after this listing's `count` members and passes `status` on: entries
// from an earlier, longer listing must never be taken for members of this archive, also when the
// listing ends early at a bad entry.
static EngineStatus trim_member_table(size_t count, EngineStatus status) {
    archive_members.resize(count);
    archive_member_sizes.resize(count);
    return status;
}

EngineStatus list_members() {
    const bool verbose = engine.options.list_level >= 2;
    const char *head1 = verbose ? " Length  Method   Size  Ratio   Date    Time   CRC-32     Name"
                                : " Length    Date    Time    Name";
    const char *head2 = verbose ? " ------  ------   ----  -----   ----    ----   ------     ----"
                                : " ------    ----    ----    ----";
    if (engine.options.quiet < 2) {
        if (engine.options.keep_case)
            std::fprintf(stdout, "%s\n%s\n", head1, head2);
        else
            std::fprintf(stdout, "%s (\"^\" ==> case\n%s   conversion)\n", head1, head2);
    }

    EngineStatus status = EngineStatus::ok;
    MemberEntry &entry = engine.listed_member;
    entry = MemberEntry{};
    engine.current = &entry;
    unsigned listed = 0;
    uint64_t total_uncompressed = 0, total_compressed = 0; // many members may pass 4 GiB
    size_t index = 0;

    for (uint64_t number = 0; number < engine.end_record.total_entries; ++number) {
        if (!read_directory_entry(DirectoryReader::listing, static_cast<unsigned>(number), status))
            return trim_member_table(index, status);
        if (!member_selected(engine.filename, entry.lowercase_name, nullptr)) {
            EngineStatus r = read_field(engine.central.comment_length, FIELD_SKIP);
            if (r > EngineStatus::warning) return trim_member_table(index, r);
            continue;
        }

        const CentralHeader &h = engine.central;
        unsigned yy = ((h.mod_date >> 9) + 80) % 100, mm = (h.mod_date >> 5) & 0x0F,
                 dd = h.mod_date & 0x1F, hh = h.mod_time >> 11, mi = (h.mod_time >> 5) & 0x3F;
        uint64_t csize = h.compressed_size;
        if (h.flags & 1) csize -= 12;
        char ratio[16];
        format_ratio(ratio, sizeof ratio, ratio_permille(h.uncompressed_size, csize));
        char marker = entry.lowercase_name ? '^' : ' ';
        if (verbose) {
            char scratch[16];
            std::fprintf(stdout, "%7llu  %-7s%7llu %4s  %02u-%02u-%02u  %02u:%02u  %08lx  %c",
                         static_cast<unsigned long long>(h.uncompressed_size),
                         method_name(h.method, h.flags, scratch, sizeof scratch),
                         static_cast<unsigned long long>(csize), ratio, mm, dd, yy, hh, mi,
                         static_cast<unsigned long>(h.crc32), marker);
        } else {
            std::fprintf(stdout, "%7llu  %02u-%02u-%02u  %02u:%02u  %c",
                         static_cast<unsigned long long>(h.uncompressed_size), mm, dd, yy, hh, mi,
                         marker);
        }
        print_name(engine.filename);
        store_member(index++, engine.filename, h.uncompressed_size);

        EngineStatus r;
        if (!engine.options.quiet) {
            r = read_field(h.comment_length, FIELD_SHOW);
            if (h.comment_length == 0) r = EngineStatus::ok;
        } else {
            r = read_field(h.comment_length, FIELD_SKIP);
        }
        if (r > EngineStatus::warning) return trim_member_table(index, r);
        raise_status(status, r);

        total_uncompressed += h.uncompressed_size;
        total_compressed += csize;
        ++listed;
    }
    trim_member_table(index, status);

    if (engine.options.quiet < 2) {
        char ratio[16];
        format_ratio(ratio, sizeof ratio, ratio_permille(total_uncompressed, total_compressed));
        if (verbose)
            std::fprintf(stdout,
                         " ------          ------  ---                              -------\n"
                         "%7llu         %7llu %4s                              %-7u\n",
                         static_cast<unsigned long long>(total_uncompressed),
                         static_cast<unsigned long long>(total_compressed), ratio, listed);
        else
            std::fprintf(stdout,
                         " ------                    -------\n%7llu                    %-7u\n",
                         static_cast<unsigned long long>(total_uncompressed), listed);
    }
    archive_total_size = total_uncompressed;

    EngineStatus end = check_directory_end(DirectoryReader::listing);
    if (end == EngineStatus::archive_ends_early) return end;
    raise_status(status, end);
    return status;
}
