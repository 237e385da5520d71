// SETUP.EXE /UNINSTALL: removes what the install record names, unless the user changed it since.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "installer/worker/worker.h"
#include "platform/win_api.h"

namespace {

std::string formatted(CatalogueId id, const std::string &argument) {
    const char *format = message_text(id);
    int needed = std::snprintf(nullptr, 0, format, argument.c_str());
    if (needed < 0) return format;
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, argument.c_str());
    text.resize(static_cast<size_t>(needed));
    return text;
}

// The folder whose record is read: /DIR= when given, else the setup's own folder.
std::string installation_folder() {
    if (shell_state.command.destination) return *shell_state.command.destination;
    char program[PATH_SIZE] = "";
    plat_program_path(program, sizeof program);
    std::string folder = program;
    size_t cut = folder.find_last_of("\\/");
    return cut == std::string::npos ? "" : folder.substr(0, cut);
}

bool remove_file(const std::string &path) {
    if (!DeleteFileA(path.c_str())) return false;
    log_line("Removed " + path);
    return true;
}

// A file is removed only when it still has the contents the installation gave it.
void remove_unchanged(const RecordedFile &entry) {
    RecordedFile now{entry.path};
    if (!plat_exists(entry.path.c_str())) return;
    if (!file_fingerprint(entry.path, now) || now.size != entry.size || now.crc != entry.crc)
        log_line("Kept (changed since the installation) " + entry.path);
    else if (!remove_file(entry.path))
        log_line("Not removed: " + entry.path);
}

// The setup's copy is usually the program running now, which Windows does not let go of:
// then it goes at the next restart. True when it is gone or will go.
bool remove_setup_copy(const std::string &path, bool &at_restart) {
    at_restart = false;
    if (path.empty() || !plat_exists(path.c_str()) || remove_file(path)) return true;
    at_restart = plat_delete_at_restart(path.c_str()) == 1;
    log_line((at_restart ? "To be removed at the next restart: " : "Not removed: ") + path);
    return at_restart;
}

// Removes the folders deepest first; those that are not empty stay and are returned.
std::vector<std::string> remove_folders(std::vector<std::string> folders) {
    std::stable_sort(
        folders.begin(), folders.end(),
        [](const std::string &a, const std::string &b) { return a.size() > b.size(); });
    std::vector<std::string> kept;
    for (const std::string &folder : folders) {
        if (!plat_exists(folder.c_str())) continue;
        if (RemoveDirectoryA(folder.c_str()))
            log_line("Removed folder " + folder);
        else
            kept.push_back(folder);
    }
    return kept;
}

} // namespace

int run_uninstall() {
    std::string folder = installation_folder();
    char record_path[PATH_SIZE];
    join_path(record_path, folder.c_str(), INSTALL_RECORD_NAME);
    InstallRecord record;
    if (!read_install_record(record_path, record)) {
        show_error(formatted(MSG_NO_INSTALL_RECORD, folder).c_str());
        return SETUP_EXIT_NOT_STARTED;
    }
    settings.language = record.language;
    const std::string &destination = record.destination.empty() ? folder : record.destination;
    if (!shell_state.command.silent &&
        !ask_yes_no(nullptr, message_text(CAPTION_INFO),
                    formatted(MSG_UNINSTALL_CONFIRM, destination).c_str(), MB_STYLE_RISKY))
        return SETUP_EXIT_CANCELLED_BEFORE;

    for (const std::string &link : record.shortcuts)
        if (plat_exists(link.c_str()) && !remove_file(link)) log_line("Not removed: " + link);
    std::vector<std::string> folders = record.folders;
    if (os_IniMgr(OS_INI_DELETE, OS_INI_UNINSTALL_STORE, UNINSTALL_ENTRY, nullptr, nullptr,
                  nullptr))
        log_line(std::string("Unregistered ") + UNINSTALL_ENTRY);
    for (const RecordedFile &entry : record.files) remove_unchanged(entry);
    remove_file(record_path);
    bool at_restart = false;
    remove_setup_copy(record.setup_copy, at_restart);

    std::string text = message_text(MSG_UNINSTALL_DONE);
    std::vector<std::string> kept = remove_folders(folders);
    std::reverse(kept.begin(), kept.end()); // named outermost first
    if (!record.menu_folder.empty() && plat_exists(record.menu_folder.c_str())) {
        if (RemoveDirectoryA(record.menu_folder.c_str()))
            log_line("Removed folder " + record.menu_folder);
        else
            kept.push_back(record.menu_folder);
    }
    if (!kept.empty()) {
        text += std::string("\r\r") + message_text(MSG_FOLDERS_KEPT);
        for (const std::string &path : kept) text += "\r" + path;
    }
    if (at_restart) text += "\r\r" + formatted(MSG_SETUP_LEFT, record.setup_copy);
    show_info(text.c_str());
    return SETUP_EXIT_INSTALLED;
}
