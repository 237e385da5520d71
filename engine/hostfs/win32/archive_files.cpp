// Win32 archive file access (C runtime descriptors), status queries that never follow a reparse
// point, file identities and directory search (Find*FileA).
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "engine/hostfs/host_port.h"
#include "engine/hostfs/win32/wide_paths.h"

int host_stat(const char *path, HostFileInfo *info) {
    struct _stat64 st;
    if (::_stat64(path, &st) != 0) return -1;
    info->size = st.st_size;
    info->is_directory = (st.st_mode & _S_IFDIR) ? 1 : 0;
    info->owner_execute = (st.st_mode & _S_IEXEC) ? 1 : 0;
    info->owner_write = (st.st_mode & _S_IWRITE) ? 1 : 0;
    info->modified = st.st_mtime;
    return 0;
}

// A FILETIME (100-nanosecond ticks since 1601) as seconds since 1970.
static int64_t unix_seconds(const FILETIME &t) {
    uint64_t ticks = (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10000000u) - 11644473600;
}

int host_lstat(const FolderEntry &entry, HostFileInfo *info) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    const BOOL found =
        entry.wide
            ? ::GetFileAttributesExW(wide_text(entry.path).c_str(), GetFileExInfoStandard, &data)
            : ::GetFileAttributesExA(entry.path, GetFileExInfoStandard, &data);
    if (!found) return -1;
    info->size =
        static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    info->is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
    info->owner_execute = 0;
    info->owner_write = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0 : 1;
    info->modified = unix_seconds(data.ftLastWriteTime);
    // A symbolic link or junction: what it leads to is not this folder's.
    info->is_link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? 1 : 0;
    info->is_device = 0; // device names never reach the file system (host_reserved_name)
    return 0;
}

static FileIdentity identity_of(HANDLE handle) {
    FileIdentity id;
    BY_HANDLE_FILE_INFORMATION information;
    if (handle == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(handle, &information))
        return id;
    id.volume = information.dwVolumeSerialNumber;
    id.file = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    id.known = true;
    return id;
}

FileIdentity host_descriptor_identity(int fd) {
    return identity_of(reinterpret_cast<HANDLE>(::_get_osfhandle(fd)));
}

FileIdentity host_path_identity(const FolderEntry &entry) {
    constexpr DWORD SHARING = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    constexpr DWORD FLAGS = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE handle =
        entry.wide ? ::CreateFileW(wide_text(entry.path).c_str(), 0, SHARING, nullptr,
                                   OPEN_EXISTING, FLAGS, nullptr)
                   : ::CreateFileA(entry.path, 0, SHARING, nullptr, OPEN_EXISTING, FLAGS, nullptr);
    FileIdentity id = identity_of(handle);
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    return id;
}

int host_open_archive(const char *path) {
    return ::_open(path, _O_RDONLY | _O_BINARY);
}

int host_read(int fd, unsigned char *buffer, int count) {
    int total = 0;
    while (total < count) {
        int got = ::_read(fd, buffer + total, static_cast<unsigned>(count - total));
        if (got < 0) return total > 0 ? total : -1;
        if (got == 0) break;
        total += got;
    }
    return total;
}

int64_t host_seek(int fd, int64_t position) {
    return ::_lseeki64(fd, position, SEEK_SET);
}

void host_close(int fd) {
    ::_close(fd);
}

struct DirSearch {
    char name[260];
    int first_pending;
    HANDLE handle;
};

// Copies a found entry's name into the record, cut to fit and always terminated.
static void keep_name(DirSearch *search, const char *found) {
    size_t length = ::strnlen(found, sizeof search->name - 1);
    std::memcpy(search->name, found, length);
    search->name[length] = '\0';
}

DirSearch *dir_search_open(const char *folder) {
    auto *search = static_cast<DirSearch *>(std::calloc(1, sizeof(DirSearch)));
    size_t length = std::strlen(folder);
    char *pattern = static_cast<char *>(std::malloc(length + 5));
    if (!search || !pattern) {
        std::free(search);
        std::free(pattern);
        return nullptr;
    }
    std::memcpy(pattern, folder, length);
    std::memcpy(pattern + length, "/*.*", 5);
    WIN32_FIND_DATAA found;
    search->handle = ::FindFirstFileA(pattern, &found);
    std::free(pattern);
    if (search->handle == INVALID_HANDLE_VALUE) {
        std::free(search);
        return nullptr;
    }
    keep_name(search, found.cFileName);
    search->first_pending = 1;
    return search;
}

DirSearch *dir_search_next(DirSearch *search) {
    if (search->first_pending) {
        search->first_pending = 0;
        return search;
    }
    WIN32_FIND_DATAA found;
    if (!::FindNextFileA(search->handle, &found)) return nullptr;
    keep_name(search, found.cFileName);
    return search;
}

const char *dir_search_name(const DirSearch *search) {
    return search->name;
}

void dir_search_close(DirSearch *search) {
    if (!search) return;
    ::FindClose(search->handle);
    std::free(search);
}
