// POSIX output files, folders, name probes, file times and attributes.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

#include "engine/engine.h"
#include "engine/hostfs/hostfs.h"

namespace {
constexpr long MSDOS_MAGIC = 0x4d44; // vfat and msdos report this file-system type

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
} // namespace

int is_valid_name(const char *path) {
    if (std::strlen(path) >= PATH_MAX) return 0;
    long name_max = ::pathconf(existing_parent(path).c_str(), _PC_NAME_MAX);
    if (name_max <= 0) name_max = NAME_MAX;
    const char *component = path;
    for (const char *p = path;; ++p) {
        if (*p == '/' || *p == '\0') {
            if (p - component > name_max) return 0;
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

int open_output() {
    struct stat st;
    if (::stat(engine.filename, &st) == 0 && !(st.st_mode & S_IWUSR))
        ::chmod(engine.filename, (st.st_mode & 07777) | S_IRUSR | S_IWUSR);
    engine.output.file = std::fopen(engine.filename, "wb");
    if (engine.output.file == nullptr) {
        std::fprintf(stderr, "\nerror:  cannot create %s\n", engine.filename);
        return 1;
    }
    // Unbuffered, so that a failing write is seen by the writer and not lost at close.
    std::setvbuf(engine.output.file, nullptr, _IONBF, 0);
    return 0;
}

// The MS-DOS date and time read as local time.
int member_file_time(int64_t *out) {
    std::tm t{};
    t.tm_year = ((engine.local.mod_date >> 9) & 0x7F) + 80;
    t.tm_mon = ((engine.local.mod_date >> 5) & 0x0F) - 1;
    t.tm_mday = engine.local.mod_date & 0x1F;
    t.tm_hour = (engine.local.mod_time >> 11) & 0x1F;
    t.tm_min = (engine.local.mod_time >> 5) & 0x3F;
    t.tm_sec = 2 * (engine.local.mod_time & 0x1F);
    t.tm_isdst = -1;
    if (t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 1 || t.tm_hour > 23 || t.tm_min > 59 ||
        t.tm_sec > 59) {
        std::fprintf(stdout, "DosDateTime failed: %d\n", EINVAL);
        return 0;
    }
    std::time_t seconds = std::mktime(&t);
    if (seconds == static_cast<std::time_t>(-1)) {
        std::fprintf(stdout, "DosDateTime failed: %d\n", errno);
        return 0;
    }
    *out = static_cast<int64_t>(seconds);
    return 1;
}

void close_output() {
    if (engine.options.to_stdout) {
        std::fflush(stdout);
        return;
    }
    int64_t seconds = 0;
    int have_time = member_file_time(&seconds);
    if (engine.output.file) std::fclose(engine.output.file);
    engine.output.file = nullptr;
    if (have_time) {
        struct timespec times[2];
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_OMIT;
        times[1].tv_sec = static_cast<time_t>(seconds);
        times[1].tv_nsec = 0;
        if (::utimensat(AT_FDCWD, engine.filename, times, 0) != 0)
            std::fprintf(stdout, "\nSetFileTime failed: %d\n", errno);
    }
    // The read-only attribute becomes cleared write permissions.
    if (engine.current && (engine.current->file_attributes & 0x01)) {
        struct stat st;
        if (::stat(engine.filename, &st) != 0 ||
            ::chmod(engine.filename, st.st_mode & 07777 & ~(S_IWUSR | S_IWGRP | S_IWOTH)) != 0)
            std::fprintf(stderr, "\nwarning (%d): could not set file attributes\n", errno);
    }
}

void set_stdout_binary() {}

// The local time the seconds were read as, turned into true UTC seconds.
int64_t local_time_bias_seconds(int64_t seconds) {
    std::time_t as_utc = static_cast<std::time_t>(seconds);
    std::tm t{};
    if (::gmtime_r(&as_utc, &t) == nullptr) return seconds;
    t.tm_isdst = -1;
    std::time_t local = std::mktime(&t);
    if (local == static_cast<std::time_t>(-1)) return seconds;
    return static_cast<int64_t>(local);
}
