// The program's start: language by the archive beside it, platform check, the main dialog.
#include <cstring>
#include <string>

#include "installer/shell/shell.h"
#include "platform/win_api.h"
#include "resources/main_dialog.h"

ShellState shell_state;

namespace {

// The archive names, tested in this order; the first that exists fixes the language.
struct ArchiveChoice {
    const char *file_name;
    int language;
};
constexpr ArchiveChoice archive_choices[] = {
    {"INSTALL.FIL", 0},
    {"INSTALLD.FIL", 1},
    {"INSTALLF.FIL", 2},
};

constexpr int PROGRAM_PATH_SIZE = 512;
constexpr int HOME_PROBE_SIZE = 28;
constexpr int32_t NT4_VERSION = 400;

// The drive and folder of a path, with its closing separator ("C:\QEL\" of "C:\QEL\SETUP.EXE");
// empty when the path names no folder.
std::string folder_of(const char *path) {
    std::string text = path ? path : "";
    size_t cut = text.find_last_of("\\/");
    if (cut != std::string::npos) return text.substr(0, cut + 1);
    if (text.size() >= 2 && text[1] == ':') return text.substr(0, 2);
    return "";
}

int leave(int result) {
    os_CleanupWinThread(&shell_state.main_thread_record);
    return result;
}

// The outcome, logged with its code.
int finish(int code) {
    log_line("Exit code " + std::to_string(code));
    close_setup_log();
    return code;
}

} // namespace

int installer_main(OsInstance instance, OsInstance, const char *command_line, int) {
    shell_state.instance = instance;
    os_Initialize(reinterpret_cast<intptr_t>(instance), ".", 0);
    CommandLine &command = shell_state.command;
    bool understood = parse_command_line(command_line, command);
    // The log's name is taken from the folder the program was started in.
    bool logging = command.log_file && open_setup_log(command.log_file->c_str());
    log_line(std::string("QEL Setup") + VERSION_SUFFIX +
             " started: " + (command_line ? command_line : ""));
    int result;
    if (!understood) {
        if (!command.bad_word.empty()) log_line("Unknown option: " + command.bad_word);
        // The usage in the program's own language is not known yet: English.
        show_info(message_text(MSG_USAGE));
        result = SETUP_EXIT_NOT_STARTED;
    } else if (command.log_file && !logging) {
        show_error(("The log " + *command.log_file + " cannot be written").c_str());
        result = SETUP_EXIT_NOT_STARTED;
    } else {
        char path[PROGRAM_PATH_SIZE] = "";
        plat_program_path(path, sizeof path);
        result = run_installer(path);
    }
    os_Initialize(-1, nullptr, 0);
    return finish(result);
}

int run_installer(const char *program_path) {
    // From here on every relative name (the archive, the documents) is beside the program.
    std::string folder = folder_of(program_path);
    if (!folder.empty()) plat_chdir(folder.c_str());
    if (shell_state.command.uninstall) return leave(run_uninstall()); // no archive needed

    const ArchiveChoice *archive = nullptr;
    for (const ArchiveChoice &choice : archive_choices)
        if (plat_exists(choice.file_name)) {
            archive = &choice;
            break;
        }
    if (archive == nullptr) {
        show_error(message_text(MSG_NO_FILES));
        return leave(SETUP_EXIT_NOT_STARTED);
    }
    settings.language = archive->language;
    copy_path(settings.archive_name, archive->file_name);

    if (os_QuerySysValue(OS_SYS_KIND) == OS_SYS_KIND_NT &&
        os_QuerySysValue(OS_SYS_VERSION) < NT4_VERSION) {
        show_error(message_text(MSG_NEEDS_NT4));
        return leave(SETUP_EXIT_NOT_STARTED);
    }
    if (shell_state.command.silent) return leave(run_unattended());
    if (query_home_path()) settings.already_installed = 1;

    register_installer_class("ProgressBar", progress_bar_proc, 0, 0);
    settings.main_dialog =
        os_LoadDlg(nullptr, nullptr, main_dialog_proc, shell_state.instance,
                   static_cast<uint32_t>(DIALOG_TEMPLATE_IDS[settings.language]), nullptr);
    if (!settings.main_dialog) return leave(SETUP_EXIT_NOT_STARTED);
    os_ProcessDlg(settings.main_dialog);
    os_DestroyWindow(settings.main_dialog);
    settings.main_dialog = nullptr;
    return leave(finished_exit_code());
}

int query_home_path() {
    char value[HOME_PROBE_SIZE] = "";
    uint32_t length = sizeof value;
    return os_IniMgr(OS_INI_READ, OS_INI_SYSTEM_STORE, HOME_APPLICATION, HOME_KEY, value, &length);
}
