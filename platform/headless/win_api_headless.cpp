// The installer's Windows calls on a POSIX file system, with an in-memory registry, and the
// seams for the program's path, the current folder and shell links, which record what was asked.
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/headless/headless.h"
#include "platform/win_api.h"

namespace {

struct Registry {
    std::mutex lock;
    std::map<std::string, std::map<std::string, std::string>> keys; // lower-case names
    bool fail = false;
};

Registry &registry() {
    static Registry r;
    return r;
}

// What the program asked of the file system and the shell.
struct FileRecords {
    std::mutex lock;
    std::string program_path = "C:\\QEL\\SETUP.EXE";
    std::vector<std::string> chdirs;
    std::vector<std::string> probes;
    std::vector<RecordedShortcut> shortcuts;
    bool fail_com = false;
    int com_begins = 0, com_ends = 0;
};

FileRecords &records() {
    static FileRecords r;
    return r;
}

void note_probe(const char *path) {
    std::lock_guard<std::mutex> guard(records().lock);
    records().probes.emplace_back(path ? path : "");
}

std::string lower(const char *text) {
    std::string out = text ? text : "";
    for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// An open key: its lower-case name.
struct OpenKey {
    std::string name;
};

bool is_folder(const std::string &path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Code page 437 letters 0x80..0xA5 in code page 1252.
constexpr unsigned char OEM_TO_ANSI[38] = {
    0xC7, 0xFC, 0xE9, 0xE2, 0xE4, 0xE0, 0xE5, 0xE7, 0xEA, 0xEB, 0xE8, 0xEF, 0xEE,
    0xEC, 0xC4, 0xC5, 0xC9, 0xE6, 0xC6, 0xF4, 0xF6, 0xF2, 0xFB, 0xF9, 0xFF, 0xD6,
    0xDC, 0xA2, 0xA3, 0xA5, 0x50, 0x83, 0xE1, 0xED, 0xF3, 0xFA, 0xF1, 0xD1};

} // namespace

void headless_reset_files() {
    {
        std::lock_guard<std::mutex> guard(registry().lock);
        registry().keys.clear();
        registry().fail = false;
    }
    std::lock_guard<std::mutex> guard(records().lock);
    FileRecords &r = records();
    r.program_path = "C:\\QEL\\SETUP.EXE";
    r.chdirs.clear();
    r.probes.clear();
    r.shortcuts.clear();
    r.fail_com = false;
    r.com_begins = r.com_ends = 0;
}

void headless_set_program_path(const std::string &path) {
    std::lock_guard<std::mutex> guard(records().lock);
    records().program_path = path;
}

const std::vector<std::string> &headless_chdirs() {
    return records().chdirs;
}

const std::vector<std::string> &headless_file_probes() {
    return records().probes;
}

const std::vector<RecordedShortcut> &headless_shortcuts() {
    return records().shortcuts;
}

void headless_fail_com(bool fail) {
    std::lock_guard<std::mutex> guard(records().lock);
    records().fail_com = fail;
}

int headless_com_begins() {
    std::lock_guard<std::mutex> guard(records().lock);
    return records().com_begins;
}

int headless_com_ends() {
    std::lock_guard<std::mutex> guard(records().lock);
    return records().com_ends;
}

void headless_set_registry(const std::string &key, const std::string &name,
                           const std::string &value) {
    std::lock_guard<std::mutex> guard(registry().lock);
    registry().keys[lower(key.c_str())][lower(name.c_str())] = value;
}

void headless_fail_registry(bool fail) {
    std::lock_guard<std::mutex> guard(registry().lock);
    registry().fail = fail;
}

BOOL CopyFileA(const char *source, const char *target, BOOL fail_if_exists) {
    std::string from = headless_host_path(source), to = headless_host_path(target);
    if (is_folder(from)) return 0;
    if (fail_if_exists && access(to.c_str(), F_OK) == 0) return 0;
    std::FILE *in = std::fopen(from.c_str(), "rb");
    if (in == nullptr) return 0;
    // Read everything first, so that copying a file onto itself keeps its contents.
    std::string data;
    char block[8192];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, in)) > 0) data.append(block, got);
    bool read_ok = !std::ferror(in);
    std::fclose(in);
    if (!read_ok) return 0;
    std::FILE *out = std::fopen(to.c_str(), "wb");
    if (out == nullptr) return 0;
    bool ok = std::fwrite(data.data(), 1, data.size(), out) == data.size();
    ok = std::fclose(out) == 0 && ok;
    return ok ? 1 : 0;
}

BOOL CreateDirectoryA(const char *path, LPSECURITY_ATTRIBUTES) {
    std::string host = headless_host_path(path);
    return !host.empty() && mkdir(host.c_str(), 0777) == 0 ? 1 : 0;
}

BOOL DeleteFileA(const char *path) {
    std::string host = headless_host_path(path);
    if (is_folder(host)) return 0;
    return unlink(host.c_str()) == 0 ? 1 : 0;
}

BOOL RemoveDirectoryA(const char *path) {
    return rmdir(headless_host_path(path).c_str()) == 0 ? 1 : 0;
}

LONG RegCreateKeyA(HKEY parent, const char *sub_key, HKEY *result) {
    if (result == nullptr || parent != HKEY_CURRENT_USER) return ERROR_FILE_NOT_FOUND;
    std::lock_guard<std::mutex> guard(registry().lock);
    if (registry().fail) return 5; // access denied
    std::string name = lower(sub_key);
    registry().keys[name];
    *result = reinterpret_cast<HKEY>(new OpenKey{name});
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, const char *name, DWORD *, DWORD *type, BYTE *data, DWORD *length) {
    if (key == nullptr) return ERROR_FILE_NOT_FOUND;
    const OpenKey *open = reinterpret_cast<const OpenKey *>(key);
    std::lock_guard<std::mutex> guard(registry().lock);
    auto &values = registry().keys[open->name];
    auto found = values.find(lower(name));
    if (found == values.end()) return ERROR_FILE_NOT_FOUND;
    if (type) *type = found->second.find('%') != std::string::npos ? REG_EXPAND_SZ : REG_SZ;
    DWORD needed = static_cast<DWORD>(found->second.size() + 1);
    if (length == nullptr) return ERROR_SUCCESS;
    if (data == nullptr) {
        *length = needed;
        return ERROR_SUCCESS;
    }
    if (*length < needed) {
        *length = needed;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, found->second.c_str(), needed);
    *length = needed;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    delete reinterpret_cast<OpenKey *>(key);
    return ERROR_SUCCESS;
}

DWORD ExpandEnvironmentStringsA(const char *source, char *target, DWORD size) {
    std::string out;
    for (const char *p = source ? source : ""; *p;) {
        const char *close = *p == '%' ? std::strchr(p + 1, '%') : nullptr;
        if (close && close > p + 1) {
            std::string name(p + 1, close);
            if (const char *value = std::getenv(name.c_str())) {
                out += value;
                p = close + 1;
                continue;
            }
        }
        out += *p++;
    }
    DWORD needed = static_cast<DWORD>(out.size() + 1);
    if (target && size > 0) std::snprintf(target, size, "%s", out.c_str());
    return needed;
}

DWORD SearchPathA(const char *path, const char *file, const char *extension, DWORD size,
                  char *buffer, char **file_part) {
    if (file == nullptr) return 0;
    std::string name = file;
    if (extension && name.find('.') == std::string::npos) name += extension;
    std::string folders = path ? path : ".";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(';', start);
        if (end == std::string::npos) end = folders.size();
        std::string folder = folders.substr(start, end - start);
        std::string candidate = folder.empty() ? name : folder + "\\" + name;
        if (access(headless_host_path(candidate.c_str()).c_str(), F_OK) == 0) {
            DWORD needed = static_cast<DWORD>(candidate.size() + 1);
            if (buffer == nullptr || size < needed) return needed;
            std::memcpy(buffer, candidate.c_str(), needed);
            if (file_part) *file_part = buffer + (candidate.size() - name.size());
            return needed - 1;
        }
        start = end + 1;
    }
    return 0;
}

BOOL OemToCharA(const char *source, char *target) {
    if (source == nullptr || target == nullptr) return 0;
    size_t i = 0;
    do {
        unsigned char c = static_cast<unsigned char>(source[i]);
        if (c >= 0x80 && c < 0x80 + sizeof OEM_TO_ANSI) c = OEM_TO_ANSI[c - 0x80];
        target[i] = static_cast<char>(c);
    } while (source[i++] != '\0');
    return 1;
}

// The headless window code page is 1252, whose letters (0xA0 and above) are their own code
// points.
// A host has no restart to wait for: nothing is arranged.
int plat_delete_at_restart(const char *) {
    return 0;
}

std::string plat_utf8_of(const char *text) {
    std::string out;
    for (const char *c = text; *c; ++c) {
        unsigned char byte = static_cast<unsigned char>(*c);
        if (byte < 0x80) {
            out += *c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

std::FILE *plat_fopen(const char *path, const char *mode) {
    note_probe(path);
    return std::fopen(headless_host_path(path).c_str(), mode);
}

int plat_exists(const char *path) {
    note_probe(path);
    struct stat info {};
    return stat(headless_host_path(path).c_str(), &info) == 0 ? 1 : 0;
}

int plat_host_absolute(const char *path) {
    return path && path[0] == '/' ? 1 : 0;
}

int plat_chdir(const char *folder) {
    {
        std::lock_guard<std::mutex> guard(records().lock);
        records().chdirs.emplace_back(folder ? folder : "");
    }
    return folder && chdir(headless_host_path(folder).c_str()) == 0 ? 1 : 0;
}

int plat_program_path(char *out, uint32_t size) {
    std::lock_guard<std::mutex> guard(records().lock);
    if (out == nullptr || size == 0) return 0;
    int written = std::snprintf(out, size, "%s", records().program_path.c_str());
    return written > 0 && static_cast<uint32_t>(written) < size ? 1 : 0;
}

int plat_com_begin() {
    std::lock_guard<std::mutex> guard(records().lock);
    if (records().fail_com) return 0;
    ++records().com_begins;
    return 1;
}

void plat_com_end() {
    std::lock_guard<std::mutex> guard(records().lock);
    ++records().com_ends;
}

// Records the link and writes a small file in its place, so that tests can see it on disk.
ShortcutResult plat_save_shortcut(const ShortcutRequest &request) {
    auto text = [](const char *s) { return std::string(s ? s : ""); };
    {
        std::lock_guard<std::mutex> guard(records().lock);
        // Without COM there is no shell-link object, as on Windows.
        if (records().com_begins == records().com_ends) return SHORTCUT_NO_LINK_OBJECT;
        records().shortcuts.push_back({text(request.link_file), text(request.target),
                                       text(request.arguments), text(request.working_folder),
                                       text(request.description), text(request.icon_file)});
    }
    std::FILE *link = std::fopen(headless_host_path(request.link_file).c_str(), "wb");
    if (link == nullptr) return SHORTCUT_NOT_SAVED;
    std::fprintf(link, "%s %s\n", text(request.target).c_str(), text(request.arguments).c_str());
    return std::fclose(link) == 0 ? SHORTCUT_SAVED : SHORTCUT_NOT_SAVED;
}
