// The run's journal: every change as it is made, so that a failed or cancelled installation can
// be undone newest first.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "installer/worker/worker.h"
#include "platform/win_api.h"

namespace {

constexpr const char UNDO_SUFFIX[] = ".undo"; // the run's own copy of a file it writes over
constexpr int UNDO_NAMES = 10;

bool is_folder_separator(char c) {
    return c == '\\' || c == '/';
}

// Puts a replaced file's earlier contents back; its undo copy goes, a user's backup too once
// it has served (the backup was made by this run and is undone with it).
bool restore(const Change &change) {
    if (change.saved.empty()) {
        log_line("Not restored (no copy of it was kept): " + change.path);
        return false;
    }
    if (!CopyFileA(change.saved.c_str(), change.path.c_str(), 0)) {
        log_line("Not restored: " + change.path + " (its earlier contents are in " + change.saved +
                 ")");
        return false;
    }
    log_line("Restored " + change.path + " from " + change.saved);
    if (change.undo_copy) DeleteFileA(change.saved.c_str());
    return true;
}

bool undo(const Change &change) {
    const char *path = change.path.c_str();
    switch (change.kind) {
    case ChangeKind::file_replaced:
        return restore(change);
    case ChangeKind::file_made:
    case ChangeKind::user_file_copied:
    case ChangeKind::shortcut_made:
        if (!plat_exists(path)) return true;
        if (DeleteFileA(path)) {
            log_line(std::string("Removed ") + path);
            return true;
        }
        log_line(std::string("Not removed: ") + path);
        return false;
    case ChangeKind::folder_made:
    case ChangeKind::menu_folder_made:
        // A folder that holds something not of this run stays.
        if (plat_exists(path) && RemoveDirectoryA(path))
            log_line(std::string("Removed folder ") + path);
        return true;
    }
    return true;
}

} // namespace

void note_change(ChangeKind kind, const std::string &path, const std::string &saved,
                 bool undo_copy) {
    worker_state.journal.push_back({kind, windows_path(path.c_str()), saved, undo_copy});
}

std::vector<std::string> missing_folders(const std::string &dir) {
    std::vector<std::string> missing;
    for (size_t i = 0; i <= dir.size(); ++i) {
        if (i < dir.size() && (!is_folder_separator(dir[i]) || i == 2 || i == 0)) continue;
        std::string folder = dir.substr(0, i);
        if (!folder.empty() && !is_folder_separator(folder.back()) && !plat_exists(folder.c_str()))
            missing.push_back(folder);
    }
    return missing;
}

std::vector<std::string> folder_files(const std::string &dir) {
    std::vector<std::string> names;
    OsFindRecord find{};
    std::string pattern = dir;
    if (pattern.empty() || !is_folder_separator(pattern.back())) pattern += '\\';
    std::snprintf(find.name, sizeof find.name, "%s*.*", pattern.c_str());
    for (int more = os_FileFindMgr(OS_FIND_START, &find); more == 0;
         more = os_FileFindMgr(OS_FIND_NEXT, &find))
        if (!(find.attributes & OS_ATTR_FOLDER)) names.push_back(find.name);
    os_FileFindMgr(OS_FIND_END, &find);
    return names;
}

void note_made(const std::vector<std::string> &missing, const std::string &dir,
               const std::vector<std::string> &before) {
    for (const std::string &folder : missing)
        if (plat_exists(folder.c_str())) note_change(ChangeKind::folder_made, folder);
    std::string folder = dir;
    if (folder.empty() || !is_folder_separator(folder.back())) folder += '\\';
    for (const std::string &name : folder_files(dir)) {
        if (std::any_of(before.begin(), before.end(), [&](const std::string &known) {
                return compare_nocase(known.c_str(), name.c_str()) == 0;
            }))
            continue;
        std::string path = windows_path((folder + name).c_str());
        bool noted = false; // a backup or undo copy made meanwhile is already in the journal
        for (const Change &change : worker_state.journal)
            noted = noted || compare_nocase(change.path.c_str(), path.c_str()) == 0 ||
                    compare_nocase(change.saved.c_str(), path.c_str()) == 0;
        if (!noted) note_change(ChangeKind::file_made, path);
    }
}

bool keep_undo_copy(const std::string &path) {
    for (int number = 0; number < UNDO_NAMES; ++number) {
        std::string copy = path + UNDO_SUFFIX + (number ? std::to_string(number) : "");
        if (plat_exists(copy.c_str())) continue;
        if (!CopyFileA(path.c_str(), copy.c_str(), 1)) return false;
        note_change(ChangeKind::file_replaced, path, copy, true);
        return true;
    }
    return false;
}

void note_backup_moved(const std::string &from, const std::string &to) {
    for (Change &change : worker_state.journal)
        if (change.kind == ChangeKind::file_replaced &&
            compare_nocase(change.saved.c_str(), from.c_str()) == 0)
            change.saved = to;
}

bool undo_installation() {
    bool all = true;
    const std::vector<Change> &journal = worker_state.journal;
    for (auto change = journal.rbegin(); change != journal.rend(); ++change)
        all = undo(*change) && all;
    log_line(all ? "Installation undone" : "Installation undone in part");
    return all;
}

void drop_undo_copies() {
    for (const Change &change : worker_state.journal)
        if (change.undo_copy) DeleteFileA(change.saved.c_str());
}
