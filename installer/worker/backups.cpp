// This run's backups: made under a free name (numbered when the classic one holds other
// contents) and moved on to another free name before a later member or step writes over one.
#include <cstdio>
#include <cstring>
#include <string>

#include "installer/worker/worker.h"
#include "platform/win_api.h"

namespace {

constexpr char FIRST_BACKUP_DIGIT = '0';
constexpr char LAST_BACKUP_DIGIT = '9';

bool same_path(const std::string &a, const std::string &b) {
    return compare_nocase(windows_path(a.c_str()).c_str(), windows_path(b.c_str()).c_str()) == 0;
}

bool is_this_runs_backup(const std::string &path) {
    for (const BackupRecord &record : worker_state.backups)
        if (same_path(record.backup, path)) return true;
    return false;
}

// True when both are readable files with the same bytes.
bool same_contents(const std::string &a, const std::string &b) {
    std::FILE *first = plat_fopen(a.c_str(), "rb");
    std::FILE *second = first ? plat_fopen(b.c_str(), "rb") : nullptr;
    bool same = second != nullptr;
    while (same) {
        char one[4096], two[4096];
        size_t n = std::fread(one, 1, sizeof one, first);
        size_t m = std::fread(two, 1, sizeof two, second);
        same =
            n == m && std::memcmp(one, two, n) == 0 && !std::ferror(first) && !std::ferror(second);
        if (n < sizeof one) break;
    }
    if (first) std::fclose(first);
    if (second) std::fclose(second);
    return same;
}

// Copies source to a backup name of original that is free (no file there, no backup of this
// run); "" when none is or the copy failed.
std::string copy_to_free_name(const std::string &source, const std::string &original) {
    for (char digit = FIRST_BACKUP_DIGIT; digit <= LAST_BACKUP_DIGIT; ++digit) {
        std::string name = backup_name(original.c_str(), digit);
        if (same_path(name, original) || is_this_runs_backup(name) || plat_exists(name.c_str()))
            continue;
        if (!CopyFileA(source.c_str(), name.c_str(), 1) || !plat_exists(name.c_str())) return "";
        note_change(ChangeKind::file_made, name);
        return name;
    }
    return "";
}

} // namespace

std::string windows_path(const char *path) {
    std::string out = path;
    for (char &c : out)
        if (c == '/') c = '\\';
    return out;
}

bool make_backup(const char *path) {
    std::string original = windows_path(path);
    // An earlier backup with the same contents already keeps them: it serves this run too.
    for (char digit = FIRST_BACKUP_DIGIT; digit <= LAST_BACKUP_DIGIT; ++digit) {
        std::string name = backup_name(original.c_str(), digit);
        if (!plat_exists(name.c_str())) break;
        if (!same_path(name, original) && !is_this_runs_backup(name) &&
            same_contents(name, original)) {
            worker_state.backups.push_back({original, name});
            return true;
        }
    }
    std::string backup = copy_to_free_name(original, original);
    if (backup.empty()) return false;
    worker_state.backups.push_back({original, backup});
    return true;
}

bool keep_backup_safe(const char *path) {
    for (BackupRecord &record : worker_state.backups) {
        if (!same_path(record.backup, path)) continue;
        std::string moved = copy_to_free_name(record.backup, record.original);
        if (moved.empty()) return false;
        note_backup_moved(record.backup, moved);
        record.backup = moved;
    }
    return true;
}

std::string backups_text() {
    std::string text = message_text(MSG_BACKUPS_MADE);
    text += "\r";
    for (const BackupRecord &record : worker_state.backups) text += "\r" + record.backup;
    return text;
}
