// The corpus manifest (member names, methods, sizes, CRC-32 and SHA-256) and a SHA-256 for tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qeltest {

struct ManifestMember {
    std::string archive;
    std::string name;
    int method;
    int flags;
    uint64_t size;
    std::string crc32;  // lower-case hex
    std::string sha256; // lower-case hex
};

std::vector<ManifestMember> corpus_manifest();
std::vector<std::string> corpus_archive_names();
std::string sha256_hex(const std::vector<unsigned char> &data);

} // namespace qeltest
