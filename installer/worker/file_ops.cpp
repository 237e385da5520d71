// File and folder operations: copies with old-name conversion, tree copies, obsolete files,
// registry.
#include <cstdio>
#include <cstring>
#include <string>

#include "installer/worker/worker.h"
#include "platform/win_api.h"

const NameConversion name_conversions[NAME_CONVERSIONS] = {
    {"options\\standard", "options\\standard.qel"},
    {"options\\qelpath.dat", "options\\standard.qpa"},
    {"options\\qelphone.fee", "options\\standard.fee"},
    {"options\\qel.key", "options\\standard.qky"},
    {"options\\qeltool.bar", "options\\standard.qtb"},
    {"options\\qelphone.opt", "options\\standard.qph"},
    {"script\\qelevent.cmd", "script\\qelevent.qrx"},
};

// Files and folders ("!") that earlier releases left behind, relative to the installation folder.
const char *const obsolete_files[OBSOLETE_FILES + 1] = {
    "options\\standard",
    "options\\qelpath.dat",
    "options\\qelphone.fee",
    "options\\qel.key",
    "options\\qeltool.bar",
    "options\\qelphone.opt",
    "QELZMOD.DLL",
    "QELKERMT.DLL",
    "QELCAPI.EXE",
    "QELVIEW.EXE",
    "QEL.HLP",
    "QELSCRPT.HLP",
    "QELFAQ.HLP",
    "script\\demo\\login.cmd",
    "script\\demo\\logout.cmd",
    "script\\demo\\mailbox.cmd",
    "script\\demo\\fetch.cmd",
    "script\\demo\\upload.cmd",
    "script\\demo\\autodial.cmd",
    "script\\demo\\readme.txt",
    "!script\\demo",
    "script\\qelevent.cmd",
    "log\\dummy.tmp",
    "upload\\dummy.tmp",
    "download\\dummy.tmp",
    nullptr,
};

namespace {

// Old-named targets get their new names: the first matching tail is replaced.
void convert_name(std::string &target) {
    for (const NameConversion &pair : name_conversions) {
        size_t old_length = std::strlen(pair.old_name);
        if (old_length > target.size()) continue;
        size_t tail = target.size() - old_length;
        if (compare_nocase(target.c_str() + tail, pair.old_name) != 0) continue;
        target.replace(tail, old_length, pair.new_name);
        return;
    }
}

// Copies and logs what was copied; a missing source is no step.
void copy_logged(const char *source, const char *target) {
    bool existed = plat_exists(target) == 1;
    if (!CopyFileA(source, target, 0)) return;
    log_line(std::string("Copied ") + source + " to " + target);
    note_change(existed ? ChangeKind::file_replaced : ChangeKind::file_made, target);
}

void copy_one(const std::string &source, std::string target, int rename_mode) {
    if (rename_mode == 1) convert_name(target);
    if (keep_backup_safe(target.c_str())) copy_logged(source.c_str(), target.c_str());
}

std::string join(const std::string &folder, const char *name) {
    std::string out = folder;
    if (out.empty() || out.back() != '\\') out += '\\';
    return out + name;
}

} // namespace

void copy_file(const char *source, char *target, int rename_mode) {
    std::string name = target;
    if (rename_mode == 1) {
        convert_name(name);
        // The converted name goes back to the caller when it fits its buffer.
        if (name.size() < PATH_SIZE) std::memcpy(target, name.c_str(), name.size() + 1);
    }
    if (keep_backup_safe(name.c_str())) copy_logged(source, name.c_str());
}

int copy_tree(const char *source, const char *target, int rename_mode) {
    if (source == nullptr || target == nullptr || *source == '\0' || *target == '\0' ||
        compare_nocase(source, target) == 0)
        return 0;
    if (!plat_exists(target)) {
        if (!CreateDirectoryA(target, nullptr)) return 0;
        note_change(ChangeKind::folder_made, target);
    }

    std::string pattern = join(source, "*.*");
    OsFindRecord find{};
    // Folders first, then the files of this folder.
    std::snprintf(find.name, sizeof find.name, "%s", pattern.c_str());
    for (int more = os_FileFindMgr(OS_FIND_START, &find); more == 0;
         more = os_FileFindMgr(OS_FIND_NEXT, &find)) {
        if (find.name[0] == '.' || !(find.attributes & OS_ATTR_FOLDER)) continue;
        copy_tree(join(source, find.name).c_str(), join(target, find.name).c_str(), rename_mode);
    }
    os_FileFindMgr(OS_FIND_END, &find);

    find = OsFindRecord{};
    std::snprintf(find.name, sizeof find.name, "%s", pattern.c_str());
    for (int more = os_FileFindMgr(OS_FIND_START, &find); more == 0;
         more = os_FileFindMgr(OS_FIND_NEXT, &find)) {
        if (find.attributes & OS_ATTR_FOLDER) continue;
        copy_one(join(source, find.name), join(target, find.name), rename_mode);
    }
    os_FileFindMgr(OS_FIND_END, &find);
    return 1;
}

void set_status(const char *text) {
    os_SetWindowText(os_SubWin(settings.main_dialog, CTRL_STATUS), text);
}

void delete_old_files(const char *folder, int mode) {
    if (mode == 0) {
        for (const NameConversion &pair : name_conversions)
            copy_one(join(folder, pair.old_name), join(folder, pair.new_name), 0);
    } else if (mode == 1) {
        set_status(message_text(STATUS_DELETING));
        for (const char *const *entry = obsolete_files; *entry; ++entry) {
            bool is_folder = (*entry)[0] == '!';
            std::string path = join(folder, *entry + (is_folder ? 1 : 0));
            if (is_folder ? RemoveDirectoryA(path.c_str()) : DeleteFileA(path.c_str()))
                log_line((is_folder ? "Deleted folder " : "Deleted ") + path);
        }
    }
}

int query_programs_folder(char *output, uint32_t size) {
    if (output == nullptr || size == 0) return 0;
    char raw[PATH_SIZE] = "";
    int read = 0;
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_CURRENT_USER,
                      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                      &key) == ERROR_SUCCESS) {
        DWORD type = 0, length = sizeof raw - 1;
        if (RegQueryValueExA(key, "Programs", nullptr, &type, reinterpret_cast<BYTE *>(raw),
                             &length) == ERROR_SUCCESS) {
            raw[length < sizeof raw ? length : sizeof raw - 1] = '\0';
            read = 1;
        } else {
            raw[0] = '\0';
        }
        RegCloseKey(key);
    }
    DWORD needed = ExpandEnvironmentStringsA(raw, output, size);
    if (needed == 0 || needed > size) {
        output[0] = '\0'; // does not fit: no folder rather than a cut one
        return 0;
    }
    size_t length = std::strlen(output);
    if (length > 0 && output[length - 1] == '\\') output[length - 1] = '\0';
    return read;
}
