// Byte-level zip archive builder and engine runner for the tests.
#include "tests/support/zip_builder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "engine/engine.h"
#include "tests/support/scripted_replace_policy.h"

namespace qeltest {

// The CRC-32 of zip, computed here from its polynomial and not with the engine's code.
static uint32_t crc_update(uint32_t crc, const unsigned char *p, size_t n) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t b = 0; b < 256; ++b) {
            uint32_t c = b;
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
            t[b] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

uint32_t crc32_of(const Bytes &data) {
    return crc_update(0, data.data(), data.size());
}
uint32_t crc32_of(const std::string &data) {
    return crc_update(0, reinterpret_cast<const unsigned char *>(data.data()), data.size());
}

static void put16(Bytes &b, uint32_t v) {
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}
static void put32(Bytes &b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
static void put64(Bytes &b, uint64_t v) {
    put32(b, static_cast<uint32_t>(v));
    put32(b, static_cast<uint32_t>(v >> 32));
}
static void put(Bytes &b, const Bytes &more) {
    b.insert(b.end(), more.begin(), more.end());
}
static void put(Bytes &b, const std::string &more) {
    b.insert(b.end(), more.begin(), more.end());
}

namespace {

// The traditional cipher's keys, and the key stream byte they give.
struct Keys {
    uint32_t k[3] = {0x12345678u, 0x23456789u, 0x34567890u};
    static uint32_t crc_byte(uint32_t key, unsigned char c) {
        uint32_t x = (key ^ c) & 0xFF;
        for (int bit = 0; bit < 8; ++bit) x = (x >> 1) ^ (0xEDB88320u & (0u - (x & 1u)));
        return x ^ (key >> 8);
    }
    void update(unsigned char plain) {
        k[0] = crc_byte(k[0], plain);
        k[1] = (k[1] + (k[0] & 0xFF)) * 134775813u + 1;
        k[2] = crc_byte(k[2], static_cast<unsigned char>(k[1] >> 24));
    }
    unsigned char encrypt(unsigned char plain) {
        uint32_t t = (k[2] | 2) & 0xFFFF;
        auto c = static_cast<unsigned char>(plain ^ ((t * (t ^ 1)) >> 8));
        update(plain);
        return c;
    }
};

} // namespace

Member encrypt_member(Member m, const std::string &password, uint32_t seed) {
    const Bytes &payload = m.compressed.empty() && m.method == 0 ? m.data : m.compressed;
    uint32_t crc = m.override_crc ? m.crc : crc32_of(m.data);
    Bytes plain;
    for (int i = 0; i < 11; ++i) {
        seed = seed * 1103515245u + 12345u;
        plain.push_back(static_cast<unsigned char>(seed >> 16));
    }
    plain.push_back(static_cast<unsigned char>(m.data_descriptor ? m.mod_time >> 8 : crc >> 24));
    put(plain, payload);
    Keys keys;
    for (char c : password) keys.update(static_cast<unsigned char>(c));
    Bytes cipher;
    for (unsigned char b : plain) cipher.push_back(keys.encrypt(b));
    m.compressed = cipher;
    m.flags |= 1;
    return m;
}

Bytes to_bytes(const std::string &text) {
    return Bytes(text.begin(), text.end());
}

Bytes build_zip(const Archive &archive) {
    Bytes out;
    Bytes directory;
    for (const Member &m : archive.members) {
        const Bytes &payload = m.compressed.empty() && m.method == 0 ? m.data : m.compressed;
        uint32_t crc = m.override_crc ? m.crc : crc32_of(m.data);
        uint32_t size = m.override_size ? m.size : static_cast<uint32_t>(m.data.size());
        uint32_t offset = static_cast<uint32_t>(out.size());
        const uint64_t size64 = m.override_size64 ? m.size64 : size;
        // zip64: all ones in the headers, the values in the extra fields.
        Bytes local_extra = m.local_extra, extra = m.extra;
        uint32_t packed = static_cast<uint32_t>(payload.size()), local_packed = packed,
                 local_size = size, listed_offset = offset;
        if (m.zip64) {
            Bytes local_block, central_block;
            put16(local_block, 1);
            put16(local_block, 16);
            put64(local_block, m.data_descriptor ? 0 : size64);
            put64(local_block, m.data_descriptor ? 0 : payload.size());
            put16(central_block, 1);
            put16(central_block, 24);
            put64(central_block, size64);
            put64(central_block, payload.size());
            put64(central_block, offset);
            local_extra.insert(local_extra.begin(), local_block.begin(), local_block.end());
            extra.insert(extra.begin(), central_block.begin(), central_block.end());
            packed = local_packed = size = local_size = listed_offset = UINT32_MAX;
        }
        put32(out, 0x04034b50);
        out.push_back(m.version_needed);
        out.push_back(m.host_needed);
        put16(out, m.flags | (m.data_descriptor ? 8 : 0));
        put16(out, m.method);
        put16(out, m.mod_time);
        put16(out, m.mod_date);
        put32(out, m.data_descriptor ? 0 : crc);
        put32(out, m.data_descriptor ? 0 : local_packed);
        put32(out, m.data_descriptor ? 0 : local_size);
        const std::string &local_name = m.local_name.empty() ? m.name : m.local_name;
        put16(out, static_cast<uint32_t>(local_name.size()));
        put16(out, static_cast<uint32_t>(local_extra.size()));
        put(out, local_name);
        put(out, local_extra);
        put(out, payload);
        if (m.data_descriptor) {
            put32(out, 0x08074b50);
            put32(out, crc);
            if (m.zip64) {
                put64(out, payload.size());
                put64(out, size64);
            } else {
                put32(out, static_cast<uint32_t>(payload.size()));
                put32(out, size);
            }
        }

        put32(directory, 0x02014b50);
        directory.push_back(m.version_made_by);
        directory.push_back(m.host_made_by);
        directory.push_back(m.version_needed);
        directory.push_back(m.host_needed);
        put16(directory, m.flags | (m.data_descriptor ? 8 : 0));
        put16(directory, m.method);
        put16(directory, m.mod_time);
        put16(directory, m.mod_date);
        put32(directory, crc);
        put32(directory, packed);
        put32(directory, size);
        put16(directory, static_cast<uint32_t>(m.name.size()));
        put16(directory, static_cast<uint32_t>(extra.size()));
        put16(directory, static_cast<uint32_t>(m.comment.size()));
        put16(directory, 0);
        put16(directory, m.internal_attributes);
        put32(directory, m.external_attributes);
        put32(directory, listed_offset);
        put(directory, m.name);
        put(directory, extra);
        put(directory, m.comment);
    }
    uint32_t directory_offset = static_cast<uint32_t>(out.size());
    put(out, directory);
    uint32_t entries = static_cast<uint32_t>(archive.members.size());
    uint32_t directory_size = static_cast<uint32_t>(directory.size());
    uint32_t listed_directory = archive.null_directory_offset ? 0 : directory_offset;
    if (archive.zip64) {
        const uint64_t record = out.size();
        const uint64_t claimed = archive.zip64_entries ? archive.zip64_entries : entries;
        put32(out, 0x06064b50);
        put64(out, 44);
        put16(out, 45);
        put16(out, 45);
        put32(out, archive.this_disk);
        put32(out, archive.directory_disk);
        put64(out, claimed);
        put64(out, claimed);
        put64(out, directory.size());
        put64(out, listed_directory);
        put32(out, 0x07064b50);
        put32(out, 0);
        put64(out, record);
        put32(out, 1);
        entries = 0xFFFF;
        directory_size = listed_directory = UINT32_MAX;
    }
    put32(out, 0x06054b50);
    put16(out, archive.this_disk);
    put16(out, archive.directory_disk);
    put16(out, entries);
    put16(out, entries);
    put32(out, directory_size);
    put32(out, listed_directory);
    put16(out, static_cast<uint32_t>(archive.comment.size()));
    put(out, archive.comment);
    if (!archive.prefix.empty())
        out.insert(out.begin(), archive.prefix.begin(), archive.prefix.end());
    return out;
}

Member stored_member(const std::string &name, const std::string &text) {
    Member m;
    m.name = name;
    m.data = to_bytes(text);
    return m;
}

Member compressed_member(const std::string &name, uint16_t method, uint16_t flags,
                         const Bytes &data, const Bytes &compressed) {
    Member m;
    m.name = name;
    m.method = method;
    m.flags = flags;
    m.data = data;
    m.compressed = compressed;
    return m;
}

Bytes extra_block(uint16_t id, const Bytes &data) {
    Bytes b;
    put16(b, id);
    put16(b, static_cast<uint32_t>(data.size()));
    put(b, data);
    return b;
}

Bytes unicode_path_field(const std::string &stored_name, const std::string &utf8_name,
                         uint8_t version) {
    Bytes data{version};
    put32(data, crc32_of(stored_name));
    put(data, utf8_name);
    return extra_block(0x7075, data);
}

Bytes extended_time_field(uint8_t flags, const std::vector<int32_t> &times) {
    Bytes data{flags};
    for (int32_t t : times) put32(data, static_cast<uint32_t>(t));
    return extra_block(0x5455, data);
}

Bytes ntfs_time_field(uint64_t modified, uint64_t accessed, uint64_t created) {
    Bytes data(4, 0); // reserved
    put16(data, 1);   // the times tag
    put16(data, 24);
    for (uint64_t t : {modified, accessed, created}) {
        put32(data, static_cast<uint32_t>(t));
        put32(data, static_cast<uint32_t>(t >> 32));
    }
    return extra_block(0x000a, data);
}

uint64_t ntfs_ticks(int64_t seconds) {
    return static_cast<uint64_t>(seconds + 11644473600) * 10000000u;
}

std::string write_zip(const std::string &path, const Archive &archive) {
    write_file(path, build_zip(archive));
    return path;
}

void write_file(const std::string &path, const Bytes &data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
}
void write_file(const std::string &path, const std::string &data) {
    write_file(path, to_bytes(data));
}

Bytes read_file(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

std::string read_text(const std::string &path) {
    Bytes b = read_file(path);
    return std::string(b.begin(), b.end());
}

bool file_exists(const std::string &path) {
    return std::filesystem::exists(path);
}

std::string scratch_dir(const std::string &name) {
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "qel_tests" / name;
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    std::filesystem::create_directories(dir);
    return dir.generic_string();
}

char **engine_argv(const std::vector<std::string> &args) {
    static std::vector<std::string> storage;
    static std::vector<char *> argv;
    storage = args;
    argv.clear();
    for (std::string &s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    return argv.data();
}

RunResult run_engine(const std::vector<std::string> &args, ReplacePolicy policy) {
    char **argv = engine_argv(args);
    std::fflush(stdout);
    std::fflush(stderr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    set_replace_policy(policy);
    int status = engine_main(static_cast<int>(args.size()), argv);
    std::fflush(stdout);
    std::fflush(stderr);
    RunResult r;
    r.out = testing::internal::GetCapturedStdout();
    r.err = testing::internal::GetCapturedStderr();
    r.status = status;
    return r;
}

std::string corpus_path(const std::string &name) {
    return std::string(QEL_CORPUS_DIR) + "/" + name;
}

} // namespace qeltest
