// Rewrites the path settings of the product's option file for the folders chosen now.
#include <cstdio>
#include <cstring>
#include <string>

#include "installer/worker/worker.h"
#include "platform/win_api.h"

namespace {

void write_line(std::FILE *out, const std::string &text) {
    std::fputs(text.c_str(), out);
    std::fputc('\n', out);
}

// Fixed layout: missing lines read as empty.
void rewrite_fixed(std::FILE *in, std::FILE *out) {
    std::string line;
    for (int setting : fixed_layout_lines) {
        read_text_line(in, line);
        write_line(out, setting == NOT_A_FOLDER
                            ? line
                            : std::string(relative_to_destination(
                                  settings.*folder_settings[setting].new_folder)));
    }
    while (read_text_line(in, line)) write_line(out, line);
}

void rewrite_keys(std::FILE *in, std::FILE *out) {
    std::string line;
    while (read_text_line(in, line)) {
        const FolderSetting *match = nullptr;
        for (const FolderSetting &setting : folder_settings)
            if (compare_nocase_n(line.c_str(), setting.key, std::strlen(setting.key)) == 0) {
                match = &setting;
                break;
            }
        if (match == nullptr) {
            write_line(out, line);
            continue;
        }
        std::string kept = line.substr(0, std::strlen(match->key) + 2);
        std::fprintf(out, "%s%s\"\n", kept.c_str(),
                     relative_to_destination(settings.*match->new_folder));
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
