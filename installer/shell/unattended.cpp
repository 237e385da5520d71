// The unattended installation (/SILENT) and the exit code of every run.
#include <cctype>

#include "installer/worker/worker.h"
#include "platform/win_api.h"

namespace {

// The folder options and the fields of the settings record they fill.
struct FolderOption {
    std::optional<std::string> CommandLine::*option;
    PathField path;
};
constexpr FolderOption user_folder_options[] = {
    {&CommandLine::log_folder, &InstallSettings::log_path},
    {&CommandLine::options_folder, &InstallSettings::options_path},
    {&CommandLine::script_folder, &InstallSettings::script_path},
    {&CommandLine::upload_folder, &InstallSettings::upload_path},
    {&CommandLine::download_folder, &InstallSettings::download_path},
};

// A folder named on the command line is taken as the dialog takes it typed: a short entry
// completed, a floppy drive refused (left empty, which the checks then report).
void take_as_typed(char *path) {
    if (is_short_entry(path)) expand_short_path(path);
    if (on_floppy_drive(path)) path[0] = '\0';
}

// The earlier installation: the one named, else the one the settings store records (in lower
// case, as the dialog shows it); its settings read as the dialog reads them.
void choose_existing_installation(const CommandLine &command) {
    if (command.existing) {
        copy_path(settings.existing_path, command.existing->c_str());
        take_as_typed(settings.existing_path);
    } else {
        uint32_t size = PATH_SIZE;
        if (os_IniMgr(OS_INI_READ, OS_INI_SYSTEM_STORE, HOME_APPLICATION, HOME_KEY,
                      settings.existing_path, &size)) {
            settings.existing_path[PATH_SIZE - 1] = '\0';
            for (char *c = settings.existing_path; *c; ++c)
                *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
        } else {
            settings.existing_path[0] = '\0';
        }
    }
    settings.already_installed = settings.existing_path[0] != '\0';
    char option_file[PATH_SIZE], path_file[PATH_SIZE];
    join_path(option_file, settings.existing_path, "OPTIONS\\STANDARD.QPA");
    join_path(path_file, settings.existing_path, "OPTIONS\\QELPATH.DAT");
    if (settings.already_installed && (plat_exists(option_file) || plat_exists(path_file)))
        read_existing_settings(option_file, path_file);
    else
        reset_old_dirs();
}

void choose_folders(const CommandLine &command) {
    copy_path(settings.destination_path,
              command.destination ? command.destination->c_str() : settings.existing_path);
    if (command.destination) take_as_typed(settings.destination_path);
    for (const FolderSetting &folder : folder_settings)
        derive_user_path(settings.destination_path, settings.*folder.new_folder,
                         settings.*folder.old_folder);
    for (const FolderOption &folder : user_folder_options)
        if (command.*folder.option)
            copy_path(settings.*folder.path, (command.*folder.option)->c_str());
    if (command.copy_given) {
        settings.copy_phonebook = command.copy_phonebook;
        settings.copy_options = command.copy_options;
        settings.copy_scripts = command.copy_scripts;
    }
}

} // namespace

int run_unattended() {
    const CommandLine &command = shell_state.command;
    choose_existing_installation(command);
    choose_folders(command);
    log_line(std::string("Destination ") + settings.destination_path + ", earlier installation " +
             (settings.existing_path[0] ? settings.existing_path : "none"));
    if (settings.existing_is_beta == 1 &&
        !ask_yes_no(nullptr, message_text(CAPTION_INFO), message_text(MSG_UPGRADE_FROM_BETA),
                    MB_STYLE_RISKY))
        return SETUP_EXIT_CANCELLED_BEFORE;
    if (validate_paths(nullptr) != 1) return SETUP_EXIT_NOT_STARTED; // its message is logged
    delete_old_files(settings.destination_path, 0);
    settings.worker_started = 1;
    worker_entry(nullptr);
    return finished_exit_code();
}

int finished_exit_code() {
    if (!settings.worker_started) return SETUP_EXIT_CANCELLED_BEFORE;
    switch (worker_state.outcome) {
    case OUTCOME_INSTALLED:
        return SETUP_EXIT_INSTALLED;
    case OUTCOME_CANCELLED:
        return SETUP_EXIT_CANCELLED_DURING;
    default:
        return SETUP_EXIT_FAILED;
    }
}
