// Win32 archive file access (C runtime descriptors) and directory search (Find*FileA).
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "engine/hostfs/hostfs.h"

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
