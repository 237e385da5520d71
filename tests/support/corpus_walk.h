// Reads the members of a real archive straight from its bytes, and the corpus manifest's digests.
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

// The SHA-256 (lower-case hex) that the corpus manifest records for a member, or "".
std::string manifest_sha256(const std::string &archive, const std::string &member);

std::string sha256_hex(const std::vector<unsigned char> &data);

} // namespace qeltest
