// POSIX output files, folders, name probes, file times and attributes.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

#include "engine/hostfs/host_port.h"

namespace {
constexpr long MSDOS_MAGIC = 0x4d44; // vfat and msdos report this file-system type
// Folders are held only to reach names in them: where the system allows, without the right to
// read them, so that a folder that may be written but not listed still takes members.
#ifdef O_PATH
constexpr int FOLDER_ACCESS = O_PATH;
#else
constexpr int FOLDER_ACCESS = O_RDONLY;
#endif

// The nearest existing folder holding `path` ("." when none of its parents exists).
std::string existing_parent(const char *path) {
    std::string p = path;
    for (;;) {
        size_t slash = p.find_last_of('/');
        if (slash == std::string::npos) return ".";
        p.resize(slash == 0 ? 1 : slash);
        struct stat st;
        if (::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return p;
        if (slash == 0) return "/";
    }
}

// The longest name component that the file system holding `path` takes, asked once per folder
// and engine call (kept in `known`).
long name_limit(const char *path, FolderFacts &known) {
    const char *slash = std::strrchr(path, '/');
    std::string folder = slash ? std::string(path, static_cast<size_t>(slash - path)) : ".";
    std::map<std::string, long> &limits = known.name_limits;
    auto found = limits.find(folder);
    if (found != limits.end()) return found->second;
    long limit = ::pathconf(existing_parent(path).c_str(), _PC_NAME_MAX);
    if (limit <= 0) limit = NAME_MAX;
    limits.emplace(folder, limit);
    return limit;
}

// Days from 1 January 1970 to a date of the Gregorian calendar; days past a month's end run on
// into the next month.
int64_t days_from_civil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned year_of_era = static_cast<unsigned>(year - era * 400);
    const unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned day_of_era =
        year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + static_cast<int64_t>(day_of_era) - 719468;
}

// How far local time is ahead of UTC at the instant t, by the rules read_time_zone read (the C
// library's conversion to local time does not read the zone again).
int64_t utc_offset_at(int64_t t) {
    std::time_t instant = static_cast<std::time_t>(t);
    std::tm local{};
    if (::localtime_r(&instant, &local) == nullptr) return 0;
    int64_t as_utc = days_from_civil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                     static_cast<unsigned>(local.tm_mday)) *
                         86400 +
                     local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    return as_utc - t;
}

// A local time, counted as seconds as if it were UTC, as true UTC seconds: read by the offset in
// force at that instant, so that summer and winter dates each get their own. Near a change of
// offset, a local time that occurs twice is its first occurrence, and one that the change skips
// is read by the offset before it (as the C library's mktime reads them).
int64_t local_to_utc(int64_t local) {
    const int64_t near = local - utc_offset_at(local);
    const int64_t before = utc_offset_at(near - 3 * 3600), after = utc_offset_at(near + 3 * 3600);
    const bool before_fits = utc_offset_at(local - before) == before;
    const bool after_fits = utc_offset_at(local - after) == after;
    if (before_fits && after_fits) return std::min(local - before, local - after);
    return after_fits ? local - after : local - before;
}

// The permission bits a Unix-made member gives its file: only those of a plain file (a link's
// text is a plain file of the host's mode), never setuid, setgid or sticky; -1 when the member
// gives none.
int member_permissions(uint32_t unix_mode) {
    const uint32_t type = unix_mode & S_IFMT;
    if (unix_mode == 0 || (type != 0 && type != S_IFREG)) return -1;
    return static_cast<int>(unix_mode & 0777);
}

// Gives the output file the member's times and permissions (a Unix-made member's, or cleared
// write permissions for a read-only one) before it is closed. A file made for a Unix-made member
// got its permissions at creation (host_create_exclusive); a replacement gets them here, masked
// by the creation mask. A stream without a descriptor (made with its mode) is reached by name.
void apply_time_and_attributes(std::FILE *file, const FolderEntry &entry,
                               const MemberStamp &stamp) {
    const int fd = ::fileno(file);
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = 0;
    times[0].tv_nsec = times[1].tv_nsec = UTIME_OMIT;
    int64_t seconds = stamp.modified;
    if (stamp.modified_known || member_file_time(stamp.mod_date, stamp.mod_time, &seconds)) {
        times[1].tv_sec = static_cast<time_t>(seconds);
        times[1].tv_nsec = 0;
    }
    if (stamp.accessed_known) {
        times[0].tv_sec = static_cast<time_t>(stamp.accessed);
        times[0].tv_nsec = 0;
    }
    if (times[0].tv_nsec != UTIME_OMIT || times[1].tv_nsec != UTIME_OMIT) {
        const int set = fd >= 0 ? ::futimens(fd, times)
                                : ::utimensat(static_cast<int>(entry.folder), entry.name, times,
                                              AT_SYMLINK_NOFOLLOW);
        if (set != 0) std::fprintf(stdout, "\nSetFileTime failed: %d\n", errno);
    }
    const int permissions = member_permissions(stamp.unix_mode);
    if (permissions >= 0) {
        if (!stamp.fresh && ::fchmod(fd, static_cast<mode_t>(permissions & ~stamp.creation_mask)))
            std::fprintf(stderr, "\nwarning (%d): could not set file attributes\n", errno);
    } else if (stamp.attributes & 0x01) {
        // The read-only attribute becomes cleared write permissions.
        struct stat st;
        if (::fstat(fd, &st) != 0 ||
            ::fchmod(fd, st.st_mode & 07777 & ~(S_IWUSR | S_IWGRP | S_IWOTH)) != 0)
            std::fprintf(stderr, "\nwarning (%d): could not set file attributes\n", errno);
    }
}

// A write-only stream over a descriptor made without a system call more (fdopen asks the
// descriptor's flags): its writes and its close go straight to the descriptor.
ssize_t descriptor_write(void *cookie, const char *data, size_t size) {
    return ::write(static_cast<int>(reinterpret_cast<intptr_t>(cookie)), data, size);
}
int descriptor_close(void *cookie) {
    return ::close(static_cast<int>(reinterpret_cast<intptr_t>(cookie)));
}
std::FILE *stream_over(int fd) {
    if (fd < 0) return nullptr;
    const cookie_io_functions_t io = {nullptr, descriptor_write, nullptr, descriptor_close};
    std::FILE *file = ::fopencookie(reinterpret_cast<void *>(static_cast<intptr_t>(fd)), "wb", io);
    if (file == nullptr) ::close(fd);
    return file;
}
} // namespace

int is_valid_name(const char *path, FolderFacts &known, bool) {
    if (std::strlen(path) >= PATH_MAX) return 0;
    long limit = name_limit(path, known);
    const char *component = path;
    for (const char *p = path;; ++p) {
        if (*p == '/' || *p == '\0') {
            if (p - component > limit) return 0;
            if (*p == '\0') break;
            component = p + 1;
        }
    }
    return 1;
}

int is_fat_volume(const char *path) {
    struct statfs info;
    std::string where = path;
    if (::statfs(where.c_str(), &info) != 0) {
        where = existing_parent(path);
        if (::statfs(where.c_str(), &info) != 0) return 0;
    }
    return static_cast<long>(info.f_type) == MSDOS_MAGIC ? 1 : 0;
}

int is_removable_drive(int) {
    return 0;
}

int host_make_folder(const char *path) {
    return ::mkdir(path, 0777) == 0 ? 0 : -1;
}

HostFolder host_open_root(const char *path) {
    if (*path == '\0') return AT_FDCWD;
    int fd = ::open(path, FOLDER_ACCESS | O_DIRECTORY | O_CLOEXEC);
    return fd >= 0 ? fd : NO_FOLDER;
}

HostFolder host_open_folder(const FolderEntry &entry, bool create, FolderOpen &how) {
    const int parent = static_cast<int>(entry.folder);
    if (entry.folder == NO_FOLDER) {
        how = FolderOpen::missing;
        return NO_FOLDER;
    }
    constexpr int FLAGS = FOLDER_ACCESS | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    how = FolderOpen::opened;
    int fd = ::openat(parent, entry.name, FLAGS);
    if (fd < 0 && errno == ENOENT) {
        if (!create) {
            how = FolderOpen::missing;
            return NO_FOLDER;
        }
        if (::mkdirat(parent, entry.name, 0777) != 0 && errno != EEXIST) {
            how = FolderOpen::failed;
            return NO_FOLDER;
        }
        how = FolderOpen::created;
        fd = ::openat(parent, entry.name, FLAGS);
    }
    if (fd >= 0) return fd;
    // Why not: a link, something else than a folder, or the system refused.
    struct stat st;
    if (::fstatat(parent, entry.name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        how = FolderOpen::failed;
    else if (S_ISLNK(st.st_mode))
        how = FolderOpen::link;
    else if (!S_ISDIR(st.st_mode))
        how = FolderOpen::not_folder;
    else
        how = FolderOpen::failed;
    return NO_FOLDER;
}

void host_close_folder(HostFolder folder) {
    if (folder >= 0) ::close(static_cast<int>(folder));
}

int host_volume_labels_supported() {
    return 0;
}

int host_current_folder(char *buffer, int size) {
    if (::getcwd(buffer, static_cast<size_t>(size)) == nullptr) return 0;
    return static_cast<int>(std::strlen(buffer));
}

int host_set_volume_label(const char *, const char *) {
    return 0;
}

namespace {
int folder_descriptor(HostFolder folder) {
    return static_cast<int>(folder);
}

std::FILE *stream_of(int fd) {
    if (fd < 0) return nullptr;
    std::FILE *file = ::fdopen(fd, "wb");
    if (file == nullptr) ::close(fd);
    return file;
}
} // namespace

std::FILE *host_create_exclusive(const FolderEntry &entry, uint32_t unix_mode) {
    // A Unix-made member's file is made with its permission bits (the umask applies).
    const int permissions = member_permissions(unix_mode);
    if (permissions >= 0)
        return stream_over(::openat(folder_descriptor(entry.folder), entry.name,
                                    O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, permissions));
    // Exclusive mode ("x", O_CREAT | O_EXCL) fails for any existing name and never follows a
    // link, so that the check and the creation cannot be raced. The folder is the one held open,
    // reached through its descriptor's entry in /proc (which leads to it whatever has its name
    // now): a stream made with fdopen would cost a system call more per member. Without /proc,
    // openat and fdopen.
    const int folder = folder_descriptor(entry.folder);
    if (folder == AT_FDCWD) return std::fopen(entry.name, "wbx");
    const std::string through = "/proc/self/fd/" + std::to_string(folder) + "/" + entry.name;
    std::FILE *file = std::fopen(through.c_str(), "wbx");
    if (file != nullptr || errno != ENOENT) return file;
    return stream_of(::openat(folder, entry.name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
}

std::FILE *host_open_in_place(const FolderEntry &entry) {
    return stream_of(::openat(folder_descriptor(entry.folder), entry.name,
                              O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC));
}

void host_keep_permissions(std::FILE *file, const FolderEntry &replaced) {
    struct stat existing;
    if (::fstatat(folder_descriptor(replaced.folder), replaced.name, &existing,
                  AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(existing.st_mode))
        ::fchmod(::fileno(file), (existing.st_mode & 0777) | S_IRUSR | S_IWUSR);
}

void host_close_file(std::FILE *file, const FolderEntry &entry, bool finish,
                     const MemberStamp &stamp) {
    if (finish) apply_time_and_attributes(file, entry, stamp);
    std::fclose(file);
}

bool host_replace_file(const FolderEntry &temporary, const FolderEntry &target) {
    return ::renameat(folder_descriptor(temporary.folder), temporary.name,
                      folder_descriptor(target.folder), target.name) == 0;
}

void host_remove_file(const FolderEntry &entry) {
    ::unlinkat(folder_descriptor(entry.folder), entry.name, 0);
}

void host_discard_open_file(std::FILE *, const char *path, bool) {
    ::unlink(path); // an open file's name goes at once
}

// The MS-DOS date and time read as local time.
int member_file_time(uint16_t mod_date, uint16_t mod_time, int64_t *out) {
    const unsigned year = ((mod_date >> 9) & 0x7F) + 1980;
    const unsigned month = (mod_date >> 5) & 0x0F;
    const unsigned day = mod_date & 0x1F;
    const unsigned hour = (mod_time >> 11) & 0x1F;
    const unsigned minute = (mod_time >> 5) & 0x3F;
    const unsigned second = 2 * (mod_time & 0x1F);
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) {
        std::fprintf(stderr, "DosDateTime failed: %d\n", EINVAL);
        return 0;
    }
    int64_t local = days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    *out = local_to_utc(local);
    return 1;
}

unsigned host_creation_mask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<unsigned>(mask);
}

void set_stdout_binary() {}

bool host_stdout_connected() {
    return true; // a closed or full standard output is a failure to report
}

int64_t local_time_bias_seconds(int64_t seconds, TimeZoneState &) {
    return local_to_utc(seconds);
}

void read_time_zone(TimeZoneState &zone) {
    ::tzset();
    zone.known = 1;
}
