// The extra field of a header: a run of blocks (id 2, length 2, data), read without trusting it.
#include "engine/engine.h"

// Every block boundary is checked here: a block's stated length must fit inside what is left of
// the field. Fewer than four bytes left over is padding (some writers align the data after the
// header with zeros), not a block.
#define CHECK_BLOCK(condition)                                                                     \
    do {                                                                                           \
        if (!(condition)) [[unlikely]]                                                             \
            return false;                                                                          \
    } while (0)

bool next_extra_block(const unsigned char *extra, unsigned extra_length, unsigned *offset,
                      ExtraBlock *block) {
    if (extra == nullptr || *offset + 4 > extra_length) return false;
    const unsigned char *p = extra + *offset;
    unsigned length = read_le16(p + 2);
    CHECK_BLOCK(length <= extra_length - *offset - 4);
    block->id = read_le16(p);
    block->length = static_cast<uint16_t>(length);
    block->data = p + 4;
    *offset += 4 + length;
    return true;
}

bool extra_field_well_formed(const unsigned char *extra, unsigned extra_length) {
    unsigned offset = 0;
    ExtraBlock block;
    while (next_extra_block(extra, extra_length, &offset, &block)) {
    }
    return extra_length - offset < 4;
}

bool find_extra_block(const unsigned char *extra, unsigned extra_length, uint16_t id,
                      ExtraBlock *found) {
    unsigned offset = 0;
    ExtraBlock block;
    while (next_extra_block(extra, extra_length, &offset, &block))
        if (block.id == id) {
            *found = block;
            return true;
        }
    return false;
}
