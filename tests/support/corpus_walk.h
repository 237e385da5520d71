// Reads the members of a real archive straight from its bytes, for decoder tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/zip_builder.h"

namespace qeltest {

struct RawMember {
    std::string name;
    uint16_t method = 0;
    uint16_t flags = 0; // from the local header
    uint32_t crc32 = 0;
    uint32_t compressed_size = 0;
    uint32_t uncompressed_size = 0;
    std::vector<unsigned char> compressed; // the member's data as stored
};

// Every member of the zip file at `path`, walked through its central directory.
std::vector<RawMember> raw_members(const std::string &path);

// The raw member as a member of a built archive: its method, flags, stream and CRC, and data of
// its size (its bytes do not matter where the engine only tests it or reports sizes).
Member member_of(const RawMember &raw);

} // namespace qeltest
