// Byte-level zip archive builder and engine runner for the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "tests/support/scripted_replace_policy.h"

namespace qeltest {

using Bytes = std::vector<unsigned char>;

uint32_t crc32_of(const Bytes &data);
uint32_t crc32_of(const std::string &data);

// One member; the defaults describe a stored MS-DOS member.
struct Member {
    std::string name;
    std::string local_name; // when set, the local header's name instead of `name`
    Bytes data;             // the member's uncompressed contents
    Bytes compressed;       // when set, written as the member's data instead of `data`
    uint16_t method = 0;
    uint16_t flags = 0;
    uint8_t version_made_by = 20;
    uint8_t host_made_by = 0; // 0 MS-DOS, 3 Unix, ...
    uint8_t version_needed = 20;
    uint8_t host_needed = 0;
    uint16_t mod_time = 0x6000; // 12:00:00
    uint16_t mod_date = 0x2C21; // 1 January 2002
    uint16_t internal_attributes = 0;
    uint32_t external_attributes = 0x20;
    Bytes extra;
    Bytes local_extra;
    std::string comment;
    bool override_crc = false;
    uint32_t crc = 0;
    bool override_size = false; // declare `size` as the uncompressed size instead of data's
    uint32_t size = 0;
    bool data_descriptor = false; // flag bit 3: local CRC and sizes zero, descriptor after data
    // zip64: both headers hold all ones for the sizes (the central one for the offset too) and
    // a zip64 extra field (0x0001) the values; a data descriptor holds 8-byte sizes.
    bool zip64 = false;
    bool override_size64 = false; // declare `size64` as the uncompressed size (zip64 only)
    uint64_t size64 = 0;
};

struct Archive {
    std::vector<Member> members;
    std::string comment;
    Bytes prefix; // bytes in front of the archive (offsets not adjusted)
    uint16_t this_disk = 0;
    uint16_t directory_disk = 0;
    bool null_directory_offset = false;
    // A zip64 end record and its locator before the end record, whose counts, directory size and
    // offset are all ones; `zip64_entries` (when not 0) is the count the zip64 record claims.
    bool zip64 = false;
    uint64_t zip64_entries = 0;
};

Bytes build_zip(const Archive &archive);

// A stored member holding the text.
Member stored_member(const std::string &name, const std::string &text);
// A member of another method: its data, and the compressed stream written for it.
Member compressed_member(const std::string &name, uint16_t method, uint16_t flags,
                         const Bytes &data, const Bytes &compressed);
// The member encrypted with the traditional cipher under `password`: flag bit 0 set, its data
// (stored or compressed) behind a 12-byte header whose last byte is the check byte (the CRC's
// high byte, or the time's with a data descriptor), all enciphered. Written here from the cipher's
// description, not with the engine's code; `seed` varies the header's other bytes.
Member encrypt_member(Member m, const std::string &password, uint32_t seed = 1);
// Extra-field blocks of today's archives: any block (id, length, data); the Unicode path field
// (its version, the CRC of the name as stored, the UTF-8 name); the extended timestamp (flags,
// then the Unix times given); the NTFS field's times tag (modification, access and creation in
// 100-ns ticks since 1601).
Bytes extra_block(uint16_t id, const Bytes &data);
Bytes unicode_path_field(const std::string &stored_name, const std::string &utf8_name,
                         uint8_t version = 1);
Bytes extended_time_field(uint8_t flags, const std::vector<int32_t> &times);
Bytes ntfs_time_field(uint64_t modified, uint64_t accessed, uint64_t created);
// Seconds since 1970 as NTFS ticks.
uint64_t ntfs_ticks(int64_t seconds);

// Writes the archive's bytes to `path`; returns the path.
std::string write_zip(const std::string &path, const Archive &archive);
Bytes to_bytes(const std::string &text);
void write_file(const std::string &path, const Bytes &data);
void write_file(const std::string &path, const std::string &data);
Bytes read_file(const std::string &path);
std::string read_text(const std::string &path);
bool file_exists(const std::string &path);

// A fresh scratch folder for one test (removed by the next run's set-up).
std::string scratch_dir(const std::string &name);

struct RunResult {
    int status;
    std::string out;
    std::string err;
};
// Runs engine_main with the arguments (argv[0] included), capturing both streams. The engine asks
// `policy` before it replaces an existing file (by default the scripted policy).
RunResult run_engine(const std::vector<std::string> &args,
                     ReplacePolicy policy = scripted_replace_policy);
// The arguments as an argument vector for engine_main, kept until the next call: the engine's
// state (name lists, archive name) points into it, and tests inspect that after the call.
char **engine_argv(const std::vector<std::string> &args);

std::string corpus_path(const std::string &name);

// True when the text holds the part (for checks on captured output).
inline bool contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

} // namespace qeltest
