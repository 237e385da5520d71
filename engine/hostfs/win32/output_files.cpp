// Win32 output files, folders, name and volume probes, file times and attributes.
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>

#include "engine/hostfs/host_port.h"
#include "engine/hostfs/win32/wide_paths.h"

namespace {

// A name probe opens the file with every sharing mode, so that it never stands in anyone's way.
constexpr DWORD PROBE_SHARING = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Whether a probe opened the file; the handle is closed at once.
bool opened_and_closed(HANDLE handle) {
    if (handle == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(handle);
    return true;
}

} // namespace

int is_valid_name(const char *path, FolderFacts &, bool wide) {
    DWORD error;
    if (wide) {
        // A wide name is probed through CreateFileW.
        if (opened_and_closed(::CreateFileW(wide_text(path).c_str(), GENERIC_READ, PROBE_SHARING,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                            nullptr)))
            return 1;
        error = ::GetLastError();
    } else if (std::strlen(path) < OFS_MAXPATHNAME) {
        OFSTRUCT info{};
        HFILE handle = ::OpenFile(path, &info, OF_READ | OF_SHARE_DENY_NONE);
        if (handle != HFILE_ERROR) {
            ::CloseHandle(reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle)));
            return 1;
        }
        error = ::GetLastError();
    } else {
        // OpenFile takes no longer paths; the same probe through CreateFileA.
        if (opened_and_closed(::CreateFileA(path, GENERIC_READ, PROBE_SHARING, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)))
            return 1;
        error = ::GetLastError();
    }
    return (error == ERROR_INVALID_NAME || error == ERROR_FILENAME_EXCED_RANGE) ? 0 : 1;
}

int is_fat_volume(const char *path) {
    char full[MAX_PATH + 1];
    const char *where = path;
    if (!(std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':')) {
        DWORD n = ::GetFullPathNameA(path, MAX_PATH, full, nullptr);
        if (n == 0 || n >= MAX_PATH) return 0;
        where = full;
    }
    if (std::strlen(where) < 3) return 0;
    char root[4] = {where[0], where[1], where[2], '\0'};
    char system_name[MAX_PATH] = {};
    if (!::GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, nullptr, system_name,
                                 sizeof system_name))
        return 0;
    for (char *p = system_name; *p; ++p)
        *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    return std::strncmp(system_name, "FAT", 3) == 0 ? 1 : 0;
}

int is_removable_drive(int drive) {
    char root[4] = {static_cast<char>(drive + 64), ':', '/', '\0'};
    return ::GetDriveTypeA(root) == DRIVE_REMOVABLE ? 1 : 0;
}

int host_make_folder(const char *path) {
    return ::_mkdir(path) == 0 ? 0 : -1;
}

namespace {
// Opens a folder and holds it: sharing without FILE_SHARE_DELETE, so that nobody can rename or
// remove it (and put a link in its place) while it is held. A reparse point is opened as itself.
HANDLE hold_folder(const char *path, bool wide = false) {
    constexpr DWORD SHARING = FILE_SHARE_READ | FILE_SHARE_WRITE;
    constexpr DWORD FLAGS = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
    if (wide)
        return ::CreateFileW(wide_text(path).c_str(), FILE_READ_ATTRIBUTES, SHARING, nullptr,
                             OPEN_EXISTING, FLAGS, nullptr);
    return ::CreateFileA(path, FILE_READ_ATTRIBUTES, SHARING, nullptr, OPEN_EXISTING, FLAGS,
                         nullptr);
}

DWORD attributes_of(const char *path, bool wide) {
    return wide ? ::GetFileAttributesW(wide_text(path).c_str()) : ::GetFileAttributesA(path);
}

BOOL set_attributes(const char *path, bool wide, DWORD attributes) {
    return wide ? ::SetFileAttributesW(wide_text(path).c_str(), attributes)
                : ::SetFileAttributesA(path, attributes);
}
} // namespace

HostFolder host_open_root(const char *path) {
    HANDLE handle = hold_folder(*path ? path : ".");
    return handle == INVALID_HANDLE_VALUE ? NO_FOLDER : reinterpret_cast<HostFolder>(handle);
}

HostFolder host_open_folder(const FolderEntry &entry, bool create, FolderOpen &how) {
    how = FolderOpen::opened;
    if (attributes_of(entry.path, entry.wide) == INVALID_FILE_ATTRIBUTES) {
        if (!create) {
            how = FolderOpen::missing;
            return NO_FOLDER;
        }
        const BOOL made = entry.wide ? ::CreateDirectoryW(wide_text(entry.path).c_str(), nullptr)
                                     : ::CreateDirectoryA(entry.path, nullptr);
        if (!made && ::GetLastError() != ERROR_ALREADY_EXISTS) {
            how = FolderOpen::failed;
            return NO_FOLDER;
        }
        how = FolderOpen::created;
    }
    HANDLE handle = hold_folder(entry.path, entry.wide);
    BY_HANDLE_FILE_INFORMATION information;
    if (handle == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(handle, &information)) {
        if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
        how = FolderOpen::failed;
        return NO_FOLDER;
    }
    // Checked on the handle held, so that what is checked is what is used.
    const DWORD kind = information.dwFileAttributes;
    if ((kind & FILE_ATTRIBUTE_REPARSE_POINT) || !(kind & FILE_ATTRIBUTE_DIRECTORY)) {
        ::CloseHandle(handle);
        how = (kind & FILE_ATTRIBUTE_REPARSE_POINT) ? FolderOpen::link : FolderOpen::not_folder;
        return NO_FOLDER;
    }
    return reinterpret_cast<HostFolder>(handle);
}

void host_close_folder(HostFolder folder) {
    if (folder != NO_FOLDER) ::CloseHandle(reinterpret_cast<HANDLE>(folder));
}

int host_volume_labels_supported() {
    return 1;
}

int host_current_folder(char *buffer, int size) {
    DWORD n = ::GetFullPathNameA(".", static_cast<DWORD>(size), buffer, nullptr);
    return static_cast<int>(n);
}

int host_set_volume_label(const char *drive, const char *label) {
    char root[4] = {drive[0], ':', '\\', '\0'};
    return ::SetVolumeLabelA(root, label) ? 1 : 0;
}

namespace {

// Seconds since 1970 (UTC) as a FILETIME; false outside what a FILETIME holds.
bool file_time_of(int64_t seconds, FILETIME &out) {
    constexpr int64_t SECONDS_BEFORE_1970 = 11644473600; // from 1601
    constexpr int64_t TICKS_PER_SECOND = 10000000;
    if (seconds < -SECONDS_BEFORE_1970 ||
        seconds > INT64_MAX / TICKS_PER_SECOND - SECONDS_BEFORE_1970)
        return false;
    const uint64_t ticks =
        static_cast<uint64_t>((seconds + SECONDS_BEFORE_1970) * TICKS_PER_SECOND);
    out.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    out.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return true;
}

// Sets the member's times on the open file, before it is closed (no second open): the extra
// fields' modification time, else the MS-DOS one, and the extra fields' access time.
void set_member_time(std::FILE *file, const MemberStamp &stamp) {
    FILETIME written, accessed;
    bool has_written = stamp.modified_known && file_time_of(stamp.modified, written);
    if (!has_written) {
        int64_t ticks = 0;
        if (member_file_time(stamp.mod_date, stamp.mod_time, &ticks)) {
            written.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) & 0xFFFFFFFFu);
            written.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
            has_written = true;
        }
    }
    const bool has_accessed = stamp.accessed_known && file_time_of(stamp.accessed, accessed);
    if (!has_written && !has_accessed) return;
    HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
    if (!::SetFileTime(handle, nullptr, has_accessed ? &accessed : nullptr,
                       has_written ? &written : nullptr))
        std::fprintf(stdout, "\nSetFileTime failed: %d\n", static_cast<int>(::GetLastError()));
}

// Gives a closed output file the member's attributes; a new file has the archive bit already.
void set_member_attributes(const FolderEntry &entry, const MemberStamp &stamp) {
    DWORD attributes = stamp.attributes & 0x7F;
    if (attributes == FILE_ATTRIBUTE_ARCHIVE) return;
    if (!set_attributes(entry.path, entry.wide, attributes))
        std::fprintf(stderr, "\nwarning (%d): could not set file attributes\n",
                     static_cast<int>(::GetLastError()));
}

} // namespace

std::FILE *host_create_exclusive(const FolderEntry &entry, uint32_t) {
    constexpr int FLAGS = _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY;
    int fd = entry.wide ? ::_wopen(wide_text(entry.path).c_str(), FLAGS, _S_IREAD | _S_IWRITE)
                        : ::_open(entry.path, FLAGS, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE *file = ::_fdopen(fd, "wb");
    if (file == nullptr) ::_close(fd);
    return file;
}

std::FILE *host_open_in_place(const FolderEntry &entry) {
    return entry.wide ? ::_wfopen(wide_text(entry.path).c_str(), L"wb")
                      : std::fopen(entry.path, "wb");
}

void host_keep_permissions(std::FILE *, const FolderEntry &) {}

void host_close_file(std::FILE *file, const FolderEntry &entry, bool finish,
                     const MemberStamp &stamp) {
    if (finish) set_member_time(file, stamp);
    std::fclose(file);
    if (finish) set_member_attributes(entry, stamp);
}

// A read-only target is made writable first (so that it can be replaced), and is left as it was
// when the replacement fails.
bool host_replace_file(const FolderEntry &temporary, const FolderEntry &target) {
    DWORD old_attributes = attributes_of(target.path, target.wide);
    bool read_only =
        old_attributes != INVALID_FILE_ATTRIBUTES && (old_attributes & FILE_ATTRIBUTE_READONLY);
    if (read_only)
        set_attributes(target.path, target.wide, old_attributes & ~FILE_ATTRIBUTE_READONLY);
    const BOOL moved =
        target.wide ? ::MoveFileExW(wide_text(temporary.path).c_str(),
                                    wide_text(target.path).c_str(), MOVEFILE_REPLACE_EXISTING)
                    : ::MoveFileExA(temporary.path, target.path, MOVEFILE_REPLACE_EXISTING);
    if (moved) return true;
    if (read_only) set_attributes(target.path, target.wide, old_attributes);
    return false;
}

void host_remove_file(const FolderEntry &entry) {
    set_attributes(entry.path, entry.wide, FILE_ATTRIBUTE_NORMAL);
    if (entry.wide)
        ::DeleteFileW(wide_text(entry.path).c_str());
    else
        ::DeleteFileA(entry.path);
}

void host_discard_open_file(std::FILE *file, const char *path, bool wide) {
    // An open file cannot be deleted here: its handle is closed first.
    if (file != nullptr) ::CloseHandle(reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file))));
    if (wide)
        ::DeleteFileW(wide_text(path).c_str());
    else
        ::DeleteFileA(path);
}

int member_file_time(uint16_t mod_date, uint16_t mod_time, int64_t *out) {
    FILETIME local_time, utc_time;
    if (!::DosDateTimeToFileTime(mod_date, mod_time, &local_time)) {
        std::fprintf(stderr, "DosDateTime failed: %d\n", static_cast<int>(::GetLastError()));
        return 0;
    }
    if (!::LocalFileTimeToFileTime(&local_time, &utc_time)) {
        std::fprintf(stderr, "LocalFileTime failed: %d\n", static_cast<int>(::GetLastError()));
        utc_time = local_time;
    }
    *out = static_cast<int64_t>((static_cast<uint64_t>(utc_time.dwHighDateTime) << 32) |
                                utc_time.dwLowDateTime);
    return 1;
}

unsigned host_creation_mask() {
    return 0; // files carry attributes, not permission bits
}

bool host_stdout_connected() {
    // A program without a console (the setup program) has no standard output handle.
    int fd = ::_fileno(stdout);
    return fd >= 0 && ::_get_osfhandle(fd) != -1;
}

void set_stdout_binary() {
    std::fflush(stdout);
    ::_setmode(::_fileno(stdout), _O_BINARY);
}

// Local time read as UTC, turned into true UTC with the zone's bias as read for this call.
int64_t local_time_bias_seconds(int64_t seconds, TimeZoneState &zone) {
    if (!zone.known) read_time_zone(zone);
    return seconds + zone.bias_seconds;
}

void read_time_zone(TimeZoneState &zone) {
    TIME_ZONE_INFORMATION rules{};
    DWORD kind = ::GetTimeZoneInformation(&rules);
    int64_t bias = 0;
    if (kind == TIME_ZONE_ID_STANDARD)
        bias = 60 * static_cast<int64_t>(rules.Bias + rules.StandardBias);
    else if (kind == TIME_ZONE_ID_DAYLIGHT)
        bias = 60 * static_cast<int64_t>(rules.Bias + rules.DaylightBias);
    else if (kind == TIME_ZONE_ID_UNKNOWN)
        bias = 60 * static_cast<int64_t>(rules.Bias);
    zone.bias_seconds = bias;
    zone.known = 1;
}
