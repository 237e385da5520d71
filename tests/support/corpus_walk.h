// Reads the members of a real archive straight from its bytes, for decoder tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

} // namespace qeltest
