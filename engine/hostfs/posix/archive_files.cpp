// POSIX archive file access, status queries with and without following links, file identities
// and directory search.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "engine/hostfs/host_port.h"

// What a status query says, in the host port's terms.
static void fill_info(const struct stat &st, HostFileInfo *info) {
    info->size = st.st_size;
    info->is_directory = S_ISDIR(st.st_mode) ? 1 : 0;
    info->owner_execute = (st.st_mode & S_IXUSR) ? 1 : 0;
    info->owner_write = (st.st_mode & S_IWUSR) ? 1 : 0;
    info->modified = st.st_mtime;
    info->is_link = S_ISLNK(st.st_mode) ? 1 : 0;
    info->is_device = (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) ? 1 : 0;
}

int host_stat(const char *path, HostFileInfo *info) {
    struct stat st;
    if (::stat(path, &st) != 0) return -1;
    fill_info(st, info);
    return 0;
}

// The descriptor a folder handle stands for; the current folder when there is no root.
static int folder_descriptor(HostFolder folder) {
    return static_cast<int>(folder);
}

int host_lstat(const FolderEntry &entry, HostFileInfo *info) {
    struct stat st;
    if (::fstatat(folder_descriptor(entry.folder), entry.name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return -1;
    fill_info(st, info);
    return 0;
}

static FileIdentity identity_of(const struct stat &st) {
    FileIdentity id;
    id.volume = static_cast<uint64_t>(st.st_dev);
    id.file = static_cast<uint64_t>(st.st_ino);
    id.known = true;
    return id;
}

FileIdentity host_descriptor_identity(int fd) {
    struct stat st;
    return ::fstat(fd, &st) == 0 ? identity_of(st) : FileIdentity{};
}

FileIdentity host_path_identity(const FolderEntry &entry) {
    struct stat st;
    return ::fstatat(folder_descriptor(entry.folder), entry.name, &st, AT_SYMLINK_NOFOLLOW) == 0
               ? identity_of(st)
               : FileIdentity{};
}

int host_open_archive(const char *path) {
    return ::open(path, O_RDONLY);
}

int host_read(int fd, unsigned char *buffer, int count) {
    int total = 0;
    while (total < count) {
        ssize_t got = ::read(fd, buffer + total, static_cast<size_t>(count - total));
        if (got < 0) return total > 0 ? total : -1;
        if (got == 0) break;
        total += static_cast<int>(got);
    }
    return total;
}

int64_t host_seek(int fd, int64_t position) {
    return static_cast<int64_t>(::lseek(fd, static_cast<off_t>(position), SEEK_SET));
}

void host_close(int fd) {
    ::close(fd);
}

struct DirSearch {
    char name[260];
    int first_pending;
    DIR *handle;
};

static void copy_name(DirSearch *search, const char *name) {
    std::strncpy(search->name, name, sizeof search->name - 1);
    search->name[sizeof search->name - 1] = '\0';
}

DirSearch *dir_search_open(const char *folder) {
    DIR *handle = ::opendir(folder);
    if (!handle) return nullptr;
    struct dirent *entry = ::readdir(handle);
    if (!entry) {
        ::closedir(handle);
        return nullptr;
    }
    auto *search = static_cast<DirSearch *>(std::calloc(1, sizeof(DirSearch)));
    if (!search) {
        ::closedir(handle);
        return nullptr;
    }
    search->handle = handle;
    copy_name(search, entry->d_name);
    search->first_pending = 1;
    return search;
}

DirSearch *dir_search_next(DirSearch *search) {
    if (search->first_pending) {
        search->first_pending = 0;
        return search;
    }
    struct dirent *entry = ::readdir(search->handle);
    if (!entry) return nullptr;
    copy_name(search, entry->d_name);
    return search;
}

const char *dir_search_name(const DirSearch *search) {
    return search->name;
}

void dir_search_close(DirSearch *search) {
    if (!search) return;
    ::closedir(search->handle);
    std::free(search);
}
