// Reads the members of a real archive straight from its bytes, for decoder tests.
#include "tests/support/corpus_walk.h"

#include "tests/support/zip_builder.h"

namespace qeltest {

namespace {

uint32_t le16(const Bytes &b, size_t at) {
    return at + 2 <= b.size() ? b[at] | (b[at + 1] << 8) : 0;
}
uint32_t le32(const Bytes &b, size_t at) {
    return le16(b, at) | (le16(b, at + 2) << 16);
}

} // namespace

std::vector<RawMember> raw_members(const std::string &path) {
    std::vector<RawMember> out;
    Bytes zip = read_file(path);
    if (zip.size() < 22) return out;
    size_t end = zip.size() - 22;
    while (end > 0 && le32(zip, end) != 0x06054b50) --end;
    if (le32(zip, end) != 0x06054b50) return out;
    unsigned entries = le16(zip, end + 10);
    size_t at = le32(zip, end + 16);
    for (unsigned i = 0; i < entries && le32(zip, at) == 0x02014b50; ++i) {
        RawMember m;
        m.method = static_cast<uint16_t>(le16(zip, at + 10));
        m.crc32 = le32(zip, at + 16);
        m.compressed_size = le32(zip, at + 20);
        m.uncompressed_size = le32(zip, at + 24);
        unsigned name_length = le16(zip, at + 28), extra = le16(zip, at + 30),
                 comment = le16(zip, at + 32);
        size_t local = le32(zip, at + 42);
        m.name.assign(zip.begin() + at + 46, zip.begin() + at + 46 + name_length);
        at += 46 + name_length + extra + comment;
        if (le32(zip, local) != 0x04034b50) continue;
        m.flags = static_cast<uint16_t>(le16(zip, local + 6));
        size_t data = local + 30 + le16(zip, local + 26) + le16(zip, local + 28);
        if (data + m.compressed_size > zip.size()) continue;
        m.compressed.assign(zip.begin() + data, zip.begin() + data + m.compressed_size);
        out.push_back(std::move(m));
    }
    return out;
}

Member member_of(const RawMember &raw) {
    Member m = compressed_member(raw.name, raw.method, raw.flags, Bytes(raw.uncompressed_size),
                                 raw.compressed);
    m.override_crc = true;
    m.crc = raw.crc32;
    return m;
}

} // namespace qeltest
