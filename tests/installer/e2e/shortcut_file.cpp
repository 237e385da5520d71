// The shell link file layout: a 76-byte header, the target's item list, the link information
// with the target's local path, then counted strings (description, relative path, working
// folder, arguments, icon), each present when its flag is set.
#include "tests/installer/e2e/shortcut_file.h"

#include <windows.h>

#include <cstdint>

namespace e2e {

namespace {

constexpr uint32_t HEADER_SIZE = 0x4C;
constexpr uint32_t HAS_TARGET_ITEMS = 0x1, HAS_LINK_INFO = 0x2, HAS_NAME = 0x4,
                   HAS_RELATIVE_PATH = 0x8, HAS_WORKING_FOLDER = 0x10, HAS_ARGUMENTS = 0x20,
                   HAS_ICON_LOCATION = 0x40, IS_UNICODE = 0x80;
constexpr uint32_t LINK_FLAGS_AT = 0x14, ICON_INDEX_AT = 0x38;
constexpr uint32_t INFO_HAS_LOCAL_PATH = 0x1;
// The shell link class, {00021401-0000-0000-C000-000000000046}, as stored.
constexpr unsigned char LINK_CLASS[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                          0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// Little-endian fields read inside the file's bytes; every read past the end fails the reader.
struct ByteReader {
    const std::string &bytes;
    size_t at = 0;
    bool failed = false;

    bool has(size_t count) {
        if (failed || count > bytes.size() || at > bytes.size() - count) failed = true;
        return !failed;
    }
    uint32_t field(size_t width) {
        if (!has(width)) return 0;
        uint32_t value = 0;
        for (size_t i = 0; i < width; ++i)
            value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
        at += width;
        return value;
    }
    uint32_t u16() { return field(2); }
    uint32_t u32() { return field(4); }
    void skip(size_t count) {
        if (has(count)) at += count;
    }
};

std::string from_wide(const std::wstring &wide) {
    if (wide.empty()) return "";
    int size = WideCharToMultiByte(1252, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(1252, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

// A counted string of the string data. Some writers count a terminating NUL as well (Wine's
// shell does); the text ends there.
std::string counted_string(ByteReader &in, bool unicode) {
    uint32_t count = in.u16();
    std::string text;
    if (!unicode) {
        if (!in.has(count)) return "";
        text = in.bytes.substr(in.at, count);
        in.at += count;
    } else {
        std::wstring wide;
        for (uint32_t i = 0; i < count && !in.failed; ++i) wide += static_cast<wchar_t>(in.u16());
        text = from_wide(wide);
    }
    size_t end = text.find('\0');
    return end == std::string::npos ? text : text.substr(0, end);
}

// A NUL-terminated 8-bit string at `offset` inside [start, end).
std::string terminated_string(const std::string &bytes, size_t start, size_t end, size_t offset) {
    std::string out;
    for (size_t at = start + offset; at < end && bytes[at] != '\0'; ++at) out += bytes[at];
    return out;
}

} // namespace

ShortcutFile read_shortcut(const std::string &bytes) {
    ShortcutFile link;
    ByteReader in{bytes};
    if (in.u32() != HEADER_SIZE || !in.has(16) ||
        bytes.compare(4, 16, std::string(reinterpret_cast<const char *>(LINK_CLASS), 16)) != 0) {
        link.problem = "no shell link header";
        return link;
    }
    in.at = LINK_FLAGS_AT;
    uint32_t flags = in.u32();
    in.at = ICON_INDEX_AT;
    link.icon_index = static_cast<int32_t>(in.u32());
    in.at = HEADER_SIZE;

    if (flags & HAS_TARGET_ITEMS) in.skip(in.u16());
    if (flags & HAS_LINK_INFO) {
        size_t start = in.at;
        uint32_t size = in.u32();
        in.u32(); // the header's size
        uint32_t info_flags = in.u32();
        in.u32(); // volume
        uint32_t local_path = in.u32();
        in.u32(); // network share
        uint32_t suffix = in.u32();
        if (in.failed || size < 28 || !in.has(size - (in.at - start))) {
            link.problem = "link information cut short";
            return link;
        }
        if (info_flags & INFO_HAS_LOCAL_PATH)
            link.target = terminated_string(bytes, start, start + size, local_path) +
                          terminated_string(bytes, start, start + size, suffix);
        in.at = start + size;
    }
    bool unicode = (flags & IS_UNICODE) != 0;
    if (flags & HAS_NAME) link.description = counted_string(in, unicode);
    if (flags & HAS_RELATIVE_PATH) counted_string(in, unicode);
    if (flags & HAS_WORKING_FOLDER) link.working_folder = counted_string(in, unicode);
    if (flags & HAS_ARGUMENTS) link.arguments = counted_string(in, unicode);
    if (flags & HAS_ICON_LOCATION) link.icon_location = counted_string(in, unicode);
    if (in.failed) {
        link.problem = "string data cut short";
        return link;
    }
    link.valid = true;
    return link;
}

} // namespace e2e
