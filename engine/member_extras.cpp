// What today's archives tell about a member beyond the classic records: its name as UTF-8 text
// (flag bit 11, the Unicode path field 0x7075) and its times (extended timestamp 0x5455, NTFS
// 0x000a). Every field is read without trusting it.
#include <cstring>

#include "engine/crc32.h"
#include "engine/engine.h"

namespace {

constexpr uint16_t UNICODE_PATH_ID = 0x7075;
constexpr uint16_t EXTENDED_TIME_ID = 0x5455;
constexpr uint16_t NTFS_ID = 0x000a;
constexpr uint16_t NTFS_TIMES_TAG = 0x0001;
constexpr uint16_t UTF8_FLAG = 0x0800;
constexpr int64_t NTFS_TICKS_PER_SECOND = 10000000;
constexpr int64_t NTFS_SECONDS_BEFORE_1970 = 11644473600; // 1601-01-01 to 1970-01-01

// Every length and value of these fields is checked here: a field that does not hold what it
// claims is passed over as if it were absent.
#define CHECK_FIELD(condition)                                                                     \
    do {                                                                                           \
        if (!(condition)) [[unlikely]]                                                             \
            return false;                                                                          \
    } while (0)

uint64_t read_le64(const unsigned char *p) {
    return uint64_t{read_le32(p)} | (uint64_t{read_le32(p + 4)} << 32);
}

// The Unicode path field's name, when it is version 1, its CRC is that of the name as stored
// (read whole), and it is sound UTF-8 that fits the name buffer.
bool unicode_path(const ExtraBlock &block, unsigned stored_length, std::string &name) {
    const std::string &stored = engine.stored_name;
    CHECK_FIELD(block.length > 5 && block.data[0] == 1);
    CHECK_FIELD(stored.size() == stored_length);
    const uint32_t crc = ~crc32_update(
        0xFFFFFFFFu, reinterpret_cast<const unsigned char *>(stored.data()), stored.size());
    CHECK_FIELD(read_le32(block.data + 1) == crc);
    const unsigned length = block.length - 5u;
    CHECK_FIELD(length <= static_cast<unsigned>(MAX_STORED_NAME));
    CHECK_FIELD(utf8_text(block.data + 5, length));
    name.assign(reinterpret_cast<const char *>(block.data + 5), length);
    return true;
}

// The extended timestamp: a flags byte, then the times its bits name, as many as the field
// holds (a directory entry's holds the modification time alone, whatever its flags say).
bool extended_times(const ExtraBlock &block, MemberTimes &times) {
    CHECK_FIELD(block.length >= 5);
    const unsigned flags = block.data[0];
    unsigned at = 1;
    if (flags & 1) {
        times.modified = static_cast<int32_t>(read_le32(block.data + at));
        times.modified_known = true;
        at += 4;
    }
    if ((flags & 2) && at + 4 <= block.length) {
        times.accessed = static_cast<int32_t>(read_le32(block.data + at));
        times.accessed_known = true;
    }
    return true;
}

// 100-nanosecond ticks since 1601 as whole seconds since 1970 (0: no time).
bool ntfs_seconds(uint64_t ticks, int64_t &seconds) {
    CHECK_FIELD(ticks != 0 && ticks <= static_cast<uint64_t>(INT64_MAX));
    seconds = static_cast<int64_t>(ticks) / NTFS_TICKS_PER_SECOND - NTFS_SECONDS_BEFORE_1970;
    return true;
}

// The NTFS field: 4 reserved bytes, then tagged attributes; tag 1 holds the modification,
// access and creation times.
bool ntfs_times(const ExtraBlock &block, MemberTimes &times) {
    unsigned at = 4;
    while (at + 4 <= block.length) {
        const unsigned tag = read_le16(block.data + at), size = read_le16(block.data + at + 2);
        at += 4;
        CHECK_FIELD(size <= block.length - at);
        if (tag == NTFS_TIMES_TAG && size >= 24) {
            int64_t seconds = 0;
            if (ntfs_seconds(read_le64(block.data + at), seconds)) {
                times.modified = seconds;
                times.modified_known = true;
            }
            if (ntfs_seconds(read_le64(block.data + at + 8), seconds)) {
                times.accessed = seconds;
                times.accessed_known = true;
            }
            return true;
        }
        at += size;
    }
    return false;
}

} // namespace

bool utf8_text(const unsigned char *text, size_t length) {
    for (size_t i = 0; i < length;) {
        if (text[i] == 0) return false;
        if (text[i] < 0x80) {
            ++i;
            continue;
        }
        const size_t whole = utf8_character(text + i, length - i);
        if (whole == 0) return false;
        i += whole;
    }
    return true;
}

bool decoded_member_name(uint16_t flags, unsigned stored_length, std::string &name) {
    const std::string &stored = engine.stored_name;
    // The first sound Unicode path field counts (a writer may leave stale ones before it).
    unsigned offset = 0;
    ExtraBlock block;
    while (next_extra_block(engine.extra_field, engine.extra_length, &offset, &block))
        if (block.id == UNICODE_PATH_ID && unicode_path(block, stored_length, name)) return true;
    if (!(flags & UTF8_FLAG) ||
        !utf8_text(reinterpret_cast<const unsigned char *>(stored.data()), stored.size()))
        return false;
    name = stored;
    return true;
}

void decode_member_name(uint16_t flags, unsigned stored_length) {
    MemberEntry *m = engine.current;
    std::string name;
    if (m == nullptr || m->volume_label || !decoded_member_name(flags, stored_length, name)) return;
    // Text of a system that keeps case: never folded.
    std::memcpy(engine.filename, name.c_str(), name.size() + 1);
    m->utf8_name = 1;
    m->lowercase_name = 0;
}

void read_extra_times(const unsigned char *extra, unsigned extra_length, MemberTimes &times) {
    ExtraBlock block;
    if (find_extra_block(extra, extra_length, NTFS_ID, &block)) ntfs_times(block, times);
    if (find_extra_block(extra, extra_length, EXTENDED_TIME_ID, &block))
        extended_times(block, times);
}
