// The short (-l) and verbose (-v) listings, which also fill the installer's member table.
#include <cstdlib>
#include <cstring>

#include "engine/engine.h"
#include "engine/selection.h"

std::vector<std::string> archive_members;
std::vector<uint32_t> archive_member_sizes;
uint32_t archive_total_size = 0;

int ratio_permille(uint32_t u, uint32_t c) {
    if (u == 0) return 0;
    if (u <= 2000000) {
        if (u >= c) return static_cast<int>(((u - c) * 1000 + u / 2) / u);
        // (c - u) * 1000 may exceed 32 bits for a tiny member with a huge compressed size.
        uint64_t over = (static_cast<uint64_t>(c - u) * 1000 + u / 2) / u;
        return over > 2147483647u ? -2147483647 : -static_cast<int>(over);
    }
    uint32_t k = u / 1000;
    if (u >= c) return static_cast<int>((u + k / 2 - c) / k);
    uint64_t over = (static_cast<uint64_t>(c) + k / 2 - u) / k;
    return over > 2147483647u ? -2147483647 : -static_cast<int>(over);
}

static void format_ratio(char *text, size_t size, int r) {
    // Rounded in 64 bits: a clamped ratio near the int limit must not overflow.
    long long rounded = r < 0 ? (5 - static_cast<long long>(r)) / 10 : (r + 5LL) / 10;
    std::snprintf(text, size, "%c%lld%%", r < 0 ? '-' : ' ', rounded);
}

std::string shown_name(const char *name) {
    std::string shown;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(name); *p; ++p) {
        if (*p < 0x20) {
            shown += '^';
            shown += static_cast<char>(*p + 0x40);
        } else {
            shown += static_cast<char>(*p);
        }
    }
    return shown;
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
    uint16_t listed = 0;
    uint32_t total_uncompressed = 0, total_compressed = 0;
    size_t index = 0;

    for (unsigned number = 0; number < engine.end_record.total_entries; ++number) {
        if (!read_directory_entry(DirectoryReader::listing, number, status))
            return trim_member_table(index, status);
        if (!member_selected(engine.filename, entry.lowercase_name, nullptr)) {
            EngineStatus r = read_field(engine.central.comment_length, FIELD_SKIP);
            if (r > EngineStatus::warning) return trim_member_table(index, r);
            continue;
        }

        const CentralHeader &h = engine.central;
        unsigned yy = ((h.mod_date >> 9) + 80) % 100, mm = (h.mod_date >> 5) & 0x0F,
                 dd = h.mod_date & 0x1F, hh = h.mod_time >> 11, mi = (h.mod_time >> 5) & 0x3F;
        uint32_t csize = h.compressed_size;
        if (h.flags & 1) csize -= 12;
        char ratio[16];
        format_ratio(ratio, sizeof ratio, ratio_permille(h.uncompressed_size, csize));
        char marker = entry.lowercase_name ? '^' : ' ';
        if (verbose) {
            char scratch[16];
            std::fprintf(stdout, "%7lu  %-7s%7lu %4s  %02u-%02u-%02u  %02u:%02u  %08lx  %c",
                         static_cast<unsigned long>(h.uncompressed_size),
                         method_name(h.method, h.flags, scratch, sizeof scratch),
                         static_cast<unsigned long>(csize), ratio, mm, dd, yy, hh, mi,
                         static_cast<unsigned long>(h.crc32), marker);
        } else {
            std::fprintf(stdout, "%7lu  %02u-%02u-%02u  %02u:%02u  %c",
                         static_cast<unsigned long>(h.uncompressed_size), mm, dd, yy, hh, mi,
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
                         "%7lu         %7lu %4s                              %-7u\n",
                         static_cast<unsigned long>(total_uncompressed),
                         static_cast<unsigned long>(total_compressed), ratio,
                         static_cast<unsigned>(listed));
        else
            std::fprintf(
                stdout, " ------                    -------\n%7lu                    %-7u\n",
                static_cast<unsigned long>(total_uncompressed), static_cast<unsigned>(listed));
    }
    archive_total_size = total_uncompressed;

    EngineStatus end = check_directory_end(DirectoryReader::listing);
    if (end == EngineStatus::archive_ends_early) return end;
    raise_status(status, end);
    return status;
}
