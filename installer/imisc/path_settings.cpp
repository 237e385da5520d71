// Rewrites the path settings of the product's option file for the folders chosen now.
#include <cstdio>
#include <cstring>
#include <string>

#include "installer/worker/worker.h"
#include "platform/win_api.h"

namespace {

struct PathKey {
    const char *key;
    PathField folder;
};

constexpr PathKey path_keys[] = {
    {"DownloadPath", &InstallSettings::download_path},
    {"UploadPath", &InstallSettings::upload_path},
    {"CapturePath", &InstallSettings::log_path},
    {"ScriptPath", &InstallSettings::script_path},
    {"OptsPath", &InstallSettings::options_path},
};

void write_line(std::FILE *out, const std::string &text) {
    std::fputs(text.c_str(), out);
    std::fputc('\n', out);
}

// Fixed layout: lines 2 to 8 hold folders or other text; missing lines read as empty.
void rewrite_fixed(std::FILE *in, std::FILE *out) {
    static PathField line_folders[7] = {
        &InstallSettings::download_path, nullptr,
        &InstallSettings::upload_path,   nullptr,
        &InstallSettings::log_path,      &InstallSettings::script_path,
        &InstallSettings::options_path};
    std::string line;
    for (PathField folder : line_folders) {
        read_text_line(in, line);
        write_line(out, folder ? std::string(relative_to_destination(settings.*folder)) : line);
    }
    while (read_text_line(in, line)) write_line(out, line);
}

void rewrite_keys(std::FILE *in, std::FILE *out) {
    std::string line;
    while (read_text_line(in, line)) {
        const PathKey *match = nullptr;
        for (const PathKey &key : path_keys)
            if (compare_nocase_n(line.c_str(), key.key, std::strlen(key.key)) == 0) {
                match = &key;
                break;
            }
        if (match == nullptr) {
            write_line(out, line);
            continue;
        }
        std::string kept = line.substr(0, std::strlen(match->key) + 2);
        std::fprintf(out, "%s%s\"\n", kept.c_str(),
                     relative_to_destination(settings.*match->folder));
    }
}

} // namespace

const char *relative_to_destination(const char *folder) {
    size_t n = std::strlen(settings.destination_path);
    if (n == 0 || compare_nocase_n(folder, settings.destination_path, n) != 0) return folder;
    const char *rest = folder + n;
    // Only a folder inside the destination: C:\QELX is not below C:\QEL.
    if (settings.destination_path[n - 1] == '\\') return rest;
    if (*rest == '\\') return rest + 1;
    return *rest == '\0' ? rest : folder;
}

void update_path_settings(const char *name) {
    const char *backslash = name ? std::strchr(name, '\\') : nullptr;
    if (backslash == nullptr) {
        _os_AssertMsg("strchr(name, '\\\\') != NULL", "imisc", 399);
        return;
    }
    set_status(message_text(STATUS_UPDATING_PATHS));

    char settings_file[PATH_SIZE], temporary_file[PATH_SIZE];
    join_path(settings_file, settings.options_path, backslash + 1);
    join_path(temporary_file, settings.options_path, "STANDARD.TMP");

    std::FILE *in = plat_fopen(settings_file, "r");
    if (in == nullptr) return;
    std::string header;
    read_text_line(in, header);
    const char *version = header.size() > 3 ? header.c_str() + 3 : "";

    std::FILE *out = plat_fopen(temporary_file, "w");
    if (out == nullptr) {
        std::fclose(in);
        return;
    }
    write_line(out, header);
    if (compare_nocase_n(version, "2.50", 4) < 0)
        rewrite_fixed(in, out);
    else
        rewrite_keys(in, out);
    std::fclose(in);
    bool written = !std::ferror(out);
    written = std::fclose(out) == 0 && written;
    // A temporary file that could not be written completely must not replace the settings.
    if (written) CopyFileA(temporary_file, settings_file, 0);
    DeleteFileA(temporary_file);
}
