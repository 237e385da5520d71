// CRC-32 of zip: the running update used by the output writer.
#include "engine/crc32.h"

uint32_t crc32_update(uint32_t c, const unsigned char *data, size_t length) {
    for (size_t i = 0; i < length; ++i) c = crc_table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c;
}
