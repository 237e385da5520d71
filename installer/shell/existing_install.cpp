// What an existing installation uses, and the folders proposed for the new one.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "installer/shell/shell.h"
#include "platform/win_api.h"

namespace {

// The version text of a header line: everything from its fourth character.
std::string version_of(const std::string &header) {
    return header.size() > 3 ? header.substr(3) : "";
}

bool version_between(const char *version, const char *low, const char *high) {
    return compare_nocase_n(version, low, 4) >= 0 && compare_nocase_n(version, high, 4) <= 0;
}

// True when text begins with folder as a whole folder (C:\QELX does not begin with C:\QEL).
bool inside_folder(const char *text, const char *folder) {
    size_t n = std::strlen(folder);
    if (compare_nocase_n(text, folder, n) != 0) return false;
    return n == 0 || folder[n - 1] == '\\' || text[n] == '\0' || text[n] == '\\';
}

void read_key_layout(std::FILE *file) {
    std::string line;
    while (read_text_line(file, line)) {
        for (const FolderSetting &setting : folder_settings) {
            size_t length = std::strlen(setting.key);
            if (compare_nocase_n(line.c_str(), setting.key, length) != 0) continue;
            std::string value = line.size() > length + 2 ? line.substr(length + 2) : "";
            if (!value.empty() && value.back() == '"') value.pop_back();
            copy_path(settings.*setting.old_folder, value.c_str());
            break;
        }
    }
}

void read_fixed_layout(std::FILE *file, const std::string &version) {
    bool extra_line = std::strcmp(version.c_str(), "2.50") >= 0;
    std::string line;
    for (int index = 0; index < static_cast<int>(std::size(fixed_layout_lines)); ++index) {
        int setting = fixed_layout_lines[index];
        PathField dir = setting == NOT_A_FOLDER ? nullptr : folder_settings[setting].old_folder;
        if (index == FIXED_LAYOUT_SCRIPT_LINE && extra_line) read_text_line(file, line);
        if (dir) (settings.*dir)[0] = '\0';
        if (!read_text_line(file, line)) line.clear();
        if (dir) copy_path(settings.*dir, line.c_str());
    }
}

void set_old_path(char *out, const char *dir) {
    if (is_absolute_folder(dir))
        copy_path(out, dir);
    else
        join_path(out, settings.existing_path, dir);
}

} // namespace

int is_absolute_folder(const char *text) {
    return text[0] == '\\' || (text[0] != '\0' && text[1] == ':' && text[2] == '\\') ? 1 : 0;
}

int read_existing_settings(const char *option_file, const char *path_file) {
    settings.existing_is_beta = 0;
    settings.existing_migratable = 0;
    std::string version;
    if (std::FILE *file = plat_fopen(option_file, "r")) {
        std::string header;
        read_text_line(file, header);
        version = version_of(header);
        if (version_between(version.c_str(), "2.50", "2.99")) settings.existing_is_beta = 1;
        read_key_layout(file);
        std::fclose(file);
        settings.existing_migratable = 1;
    } else if (std::FILE *file = plat_fopen(path_file, "r")) {
        std::string header;
        read_text_line(file, header);
        version = version_of(header);
        if (compare_nocase_n(version.c_str(), "2.00", 4) < 0 ||
            version_between(version.c_str(), "2.06", "2.09"))
            settings.existing_is_beta = 1;
        read_fixed_layout(file, version);
        std::fclose(file);
        settings.existing_migratable = 1;
    }
    if (settings.existing_migratable) {
        set_old_path(settings.old_options_path, settings.old_options_dir);
        set_old_path(settings.old_script_path, settings.old_script_dir);
    }
    std::snprintf(settings.existing_version, sizeof settings.existing_version, "%s",
                  version.c_str());
    return settings.existing_migratable;
}

void reset_old_dirs() {
    copy_path(settings.old_log_dir, "LOG");
    copy_path(settings.old_options_dir, "OPTIONS");
    copy_path(settings.old_script_dir, "SCRIPT");
    copy_path(settings.old_upload_dir, "UPLOAD");
    copy_path(settings.old_download_dir, "DOWNLOAD");
    settings.old_options_path[0] = '\0';
    settings.old_script_path[0] = '\0';
    settings.existing_migratable = 0;
}

int is_foreign_absolute(const char *text) {
    return !inside_folder(text, settings.existing_path) && is_absolute_folder(text) ? 1 : 0;
}

void derive_user_path(const char *destination, char *out, const char *old_folder) {
    // An absolute folder outside the old installation stays where it is; so does any absolute
    // folder when there is no old installation to be relative to.
    if (is_foreign_absolute(old_folder) ||
        (settings.existing_path[0] == '\0' && is_absolute_folder(old_folder))) {
        copy_path(out, old_folder);
        return;
    }
    const char *rel = old_folder;
    if (is_absolute_folder(old_folder)) {
        rel = old_folder + std::strlen(settings.existing_path);
        if (*rel == '\\') ++rel;
    }
    std::string result;
    if (*destination != '\0') {
        result = destination;
        if (result.back() != '\\') result += '\\';
        result += rel;
    }
    copy_path(out, result.c_str());
}

void expand_short_path(char *path) {
    char entry[4];
    std::snprintf(entry, sizeof entry, "%s", path);
    if (entry[1] == ':') {
        std::snprintf(path, PATH_SIZE, "%c:\\%s", entry[0], entry + 2);
        return;
    }
    char cwd[PATH_SIZE] = "";
    os_QueryCWD(cwd, sizeof cwd);
    char drive = cwd[0] ? cwd[0] : 'C';
    std::string rest = std::strlen(cwd) > 3 ? cwd + 3 : "";
    if (!rest.empty() && rest.back() == '\\') rest.pop_back();
    if (entry[0] == '\\') {
        std::snprintf(path, PATH_SIZE, "%c:%s", drive, entry);
    } else if (compare_nocase_n(entry, "..\\", 3) == 0) {
        size_t cut = rest.rfind('\\');
        // The parent of a top-level folder (or of the root) is the drive root.
        if (cut == std::string::npos)
            std::snprintf(path, PATH_SIZE, "%c:\\", drive);
        else
            std::snprintf(path, PATH_SIZE, "%c:\\%s\\", drive, rest.substr(0, cut).c_str());
    } else if (rest.empty()) {
        std::snprintf(path, PATH_SIZE, "%c:\\%s", drive, entry);
    } else {
        std::snprintf(path, PATH_SIZE, "%c:\\%s\\%s", drive, rest.c_str(), entry);
    }
}

// An entry of exactly three characters that names a drive without the backslash of its root
// ("c:x") or a folder at the current drive's root ("\ab", not the start of a share "\\s").
// Entries relative to the setup's own folder ("..\", "qel") stay as typed: Install refuses them.
bool is_short_entry(const char *path) {
    if (std::strlen(path) != 3) return false;
    bool drive =
        std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && path[2] != '\\';
    bool root = path[0] == '\\' && path[1] != '\\';
    return drive || root;
}

// Floppy drives are refused.
bool on_floppy_drive(const char *path) {
    char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
    return (drive == 'a' || drive == 'b') && path[1] == ':';
}
