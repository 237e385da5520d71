// zip64: the end record and its locator in front of the classic end record, and the extra field
// (0x0001) that holds a header's sizes, offset and disk when the header's own fields are all ones.
#include "engine/engine.h"
#include "engine/hostfs/hostfs.h"

namespace {

inline uint64_t read_le64(const unsigned char *p) {
    return uint64_t{read_le32(p)} | (uint64_t{read_le32(p + 4)} << 32);
}

// The records as they lie in the archive, little-endian, offsets from the signature:
//   Locator (20 bytes): 4 disk of the zip64 end record 4, 8 its offset 8, 16 disks in all 4.
//   zip64 end record (56 bytes and an extensible sector): 4 size of the rest 8, 12 version
//     made by 2, 14 version needed 2, 16 this disk 4, 20 directory's disk 4, 24 entries on
//     this disk 8, 32 entries in all 8, 40 directory size 8, 48 directory offset 8.
constexpr unsigned char LOCATOR_SIGNATURE[4] = {'P', 'K', 6, 7};
constexpr unsigned char ZIP64_END_SIGNATURE[4] = {'P', 'K', 6, 6};
constexpr int LOCATOR_SIZE = 20, LOCATOR_RECORD_OFFSET = 8;
constexpr int ZIP64_END_SIZE = 56, ZIP64_REST_SIZE = 4, ZIP64_THIS_DISK = 16,
              ZIP64_DIRECTORY_DISK = 20, ZIP64_ENTRIES_THIS_DISK = 24, ZIP64_TOTAL_ENTRIES = 32,
              ZIP64_DIRECTORY_SIZE = 40, ZIP64_DIRECTORY_OFFSET = 48;
constexpr uint16_t ZIP64_EXTRA_ID = 0x0001;

// Every check of what the zip64 records say is made here: a record is used only when it is
// whole where it must be, and a value only when the extra field holds it.
#define CHECK_ZIP64(condition)                                                                     \
    do {                                                                                           \
        if (!(condition)) [[unlikely]]                                                             \
            return false;                                                                          \
    } while (0)

// Reads `count` bytes at file position `position`, straight from the file (the input window is
// left as it is); true when all of them arrive and start with `signature`.
bool read_record_at(int64_t position, unsigned char *b, int count,
                    const unsigned char (&signature)[4]) {
    CHECK_ZIP64(position >= 0);
    CHECK_ZIP64(host_seek(engine.input.archive_fd, position) == position);
    CHECK_ZIP64(host_read(engine.input.archive_fd, b, count) == count);
    return b[0] == signature[0] && b[1] == signature[1] && b[2] == signature[2] &&
           b[3] == signature[3];
}

// Sizes and offsets are taken below 2^62, so that their sums never overflow.
bool below_limit(uint64_t value) {
    return (value >> 62) == 0;
}

// Takes the value for one header field that is all ones from the extra block, when it holds it.
template <typename T>
bool take_value(T &field, uint64_t all_ones, const ExtraBlock &block, unsigned &at,
                unsigned width) {
    if (field != all_ones) return true;
    CHECK_ZIP64(at + width <= block.length);
    uint64_t value = width == 8 ? read_le64(block.data + at) : read_le32(block.data + at);
    CHECK_ZIP64(below_limit(value));
    field = static_cast<T>(value);
    at += width;
    return true;
}

} // namespace

bool find_zip64_end(int64_t end_record_offset, Zip64End *found) {
    unsigned char locator[LOCATOR_SIZE];
    const int64_t locator_at = end_record_offset - LOCATOR_SIZE;
    CHECK_ZIP64(read_record_at(locator_at, locator, LOCATOR_SIZE, LOCATOR_SIGNATURE));
    // The record lies right before the locator (where data in front of the archive leaves it),
    // or where the locator says (when it has an extensible sector).
    const uint64_t recorded = read_le64(locator + LOCATOR_RECORD_OFFSET);
    unsigned char r[ZIP64_END_SIZE];
    int64_t at = locator_at - ZIP64_END_SIZE;
    if (!read_record_at(at, r, ZIP64_END_SIZE, ZIP64_END_SIGNATURE) ||
        read_le64(r + ZIP64_REST_SIZE) != ZIP64_END_SIZE - 12) {
        CHECK_ZIP64(below_limit(recorded));
        at = static_cast<int64_t>(recorded);
        CHECK_ZIP64(at <= locator_at - ZIP64_END_SIZE);
        CHECK_ZIP64(read_record_at(at, r, ZIP64_END_SIZE, ZIP64_END_SIGNATURE));
    }
    found->position = at;
    found->values.this_disk = read_le32(r + ZIP64_THIS_DISK);
    found->values.directory_disk = read_le32(r + ZIP64_DIRECTORY_DISK);
    found->values.entries_this_disk = read_le64(r + ZIP64_ENTRIES_THIS_DISK);
    found->values.total_entries = read_le64(r + ZIP64_TOTAL_ENTRIES);
    const uint64_t size = read_le64(r + ZIP64_DIRECTORY_SIZE);
    const uint64_t offset = read_le64(r + ZIP64_DIRECTORY_OFFSET);
    CHECK_ZIP64(below_limit(size) && below_limit(offset));
    found->values.directory_size = static_cast<int64_t>(size);
    found->values.directory_offset = static_cast<int64_t>(offset);
    return true;
}

bool needs_zip64_extra(const CentralHeader &h) {
    return h.uncompressed_size == UINT32_MAX || h.compressed_size == UINT32_MAX ||
           h.local_offset == UINT32_MAX || h.disk_start == UINT16_MAX;
}

bool apply_zip64_extra(MemberFields &fields, uint64_t *local_offset, uint32_t *disk_start) {
    const bool local = local_offset == nullptr;
    bool wanted = fields.uncompressed_size == UINT32_MAX || fields.compressed_size == UINT32_MAX ||
                  (!local && (*local_offset == UINT32_MAX || *disk_start == UINT16_MAX));
    if (!wanted) return true;
    ExtraBlock block;
    CHECK_ZIP64(find_extra_block(engine.extra_field, engine.extra_length, ZIP64_EXTRA_ID, &block));
    unsigned at = 0;
    if (local) {
        // A local header's block holds both sizes when either is all ones.
        CHECK_ZIP64(block.length >= 16);
        const uint64_t uncompressed = read_le64(block.data), compressed = read_le64(block.data + 8);
        CHECK_ZIP64(below_limit(uncompressed) && below_limit(compressed));
        fields.uncompressed_size = uncompressed;
        fields.compressed_size = compressed;
        return true;
    }
    return take_value(fields.uncompressed_size, UINT32_MAX, block, at, 8) &&
           take_value(fields.compressed_size, UINT32_MAX, block, at, 8) &&
           take_value(*local_offset, UINT32_MAX, block, at, 8) &&
           take_value(*disk_start, UINT16_MAX, block, at, 4);
}
