// Win32 output files, folders, name and volume probes, file times and attributes.
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cctype>
#include <cstring>
#include <string>

#include "engine/engine.h"
#include "engine/hostfs/hostfs.h"

int is_valid_name(const char *path) {
    DWORD error;
    if (std::strlen(path) < OFS_MAXPATHNAME) {
        OFSTRUCT info{};
        HFILE handle = ::OpenFile(path, &info, OF_READ | OF_SHARE_DENY_NONE);
        if (handle != HFILE_ERROR) {
            ::CloseHandle(reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle)));
            return 1;
        }
        error = ::GetLastError();
    } else {
        // OpenFile takes no longer paths; the same probe through CreateFileA.
        HANDLE handle = ::CreateFileA(path, GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle);
            return 1;
        }
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

int open_output() {
    struct _stat64 st;
    if (::_stat64(engine.filename, &st) == 0 && !(st.st_mode & _S_IWRITE))
        ::_chmod(engine.filename, _S_IREAD | _S_IWRITE);
    engine.output.file = std::fopen(engine.filename, "wb");
    if (engine.output.file == nullptr) {
        std::fprintf(stderr, "\nerror:  cannot create %s\n", engine.filename);
        return 1;
    }
    // Unbuffered, so that a failing write is seen by the writer and not lost at close.
    std::setvbuf(engine.output.file, nullptr, _IONBF, 0);
    return 0;
}

int member_file_time(int64_t *out) {
    FILETIME local_time, utc_time;
    if (!::DosDateTimeToFileTime(engine.local.mod_date, engine.local.mod_time, &local_time)) {
        std::fprintf(stdout, "DosDateTime failed: %d\n", static_cast<int>(::GetLastError()));
        return 0;
    }
    if (!::LocalFileTimeToFileTime(&local_time, &utc_time)) {
        std::fprintf(stdout, "LocalFileTime failed: %d\n", static_cast<int>(::GetLastError()));
        utc_time = local_time;
    }
    *out = static_cast<int64_t>((static_cast<uint64_t>(utc_time.dwHighDateTime) << 32) |
                                utc_time.dwLowDateTime);
    return 1;
}

void close_output() {
    if (engine.options.to_stdout) {
        std::fflush(stdout);
        return;
    }
    int64_t ticks = 0;
    int have_time = member_file_time(&ticks);
    if (engine.output.file) std::fclose(engine.output.file);
    engine.output.file = nullptr;

    HANDLE handle = ::CreateFileA(engine.filename, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "\nCreateFile error %d when trying set file time\n",
                     static_cast<int>(::GetLastError()));
    } else {
        if (have_time) {
            FILETIME written;
            written.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) & 0xFFFFFFFFu);
            written.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
            if (!::SetFileTime(handle, nullptr, nullptr, &written))
                std::fprintf(stdout, "\nSetFileTime failed: %d\n",
                             static_cast<int>(::GetLastError()));
        }
        ::CloseHandle(handle);
    }
    DWORD attributes = engine.current ? (engine.current->file_attributes & 0x7F) : 0x20;
    if (!::SetFileAttributesA(engine.filename, attributes))
        std::fprintf(stderr, "\nwarning (%d): could not set file attributes\n",
                     static_cast<int>(::GetLastError()));
}

void set_stdout_binary() {
    std::fflush(stdout);
    ::_setmode(::_fileno(stdout), _O_BINARY);
}

// Local time read as UTC, turned into true UTC with the zone's current bias.
int64_t local_time_bias_seconds(int64_t seconds) {
    TIME_ZONE_INFORMATION zone{};
    DWORD kind = ::GetTimeZoneInformation(&zone);
    if (kind == TIME_ZONE_ID_STANDARD)
        return seconds + 60 * static_cast<int64_t>(zone.Bias + zone.StandardBias);
    if (kind == TIME_ZONE_ID_DAYLIGHT)
        return seconds + 60 * static_cast<int64_t>(zone.Bias + zone.DaylightBias);
    if (kind == TIME_ZONE_ID_UNKNOWN) return seconds + 60 * static_cast<int64_t>(zone.Bias);
    return seconds;
}
