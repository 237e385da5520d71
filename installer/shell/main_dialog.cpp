// The main install dialog: shows and derives the paths, checks them, starts the worker and,
// when it has ended, offers the documentation.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "engine/engine.h"
#include "installer/worker/worker.h"
#include "platform/win_api.h"

namespace {

constexpr int PICTURE_LARGE_WIDTH = 230, PICTURE_LARGE_HEIGHT = 210;
constexpr int PICTURE_SMALL_WIDTH = 200, PICTURE_SMALL_HEIGHT = 180;
constexpr uint32_t PROGRESS_RANGE_0_TO_50 = 0x320000;

// The path fields in the order their length is limited.
constexpr int limited_fields[] = {CTRL_EXISTING_PATH, CTRL_DESTINATION, CTRL_LOG_PATH,
                                  CTRL_OPTIONS_PATH,  CTRL_SCRIPT_PATH, CTRL_UPLOAD_PATH,
                                  CTRL_DOWNLOAD_PATH};

// The five user folders: their field, their settings and the old folder they derive from.
struct UserPath {
    int control;
    PathField path;
    PathField old_dir;
};
constexpr UserPath user_paths[] = {
    {CTRL_LOG_PATH, &InstallSettings::log_path, &InstallSettings::old_log_dir},
    {CTRL_OPTIONS_PATH, &InstallSettings::options_path, &InstallSettings::old_options_dir},
    {CTRL_SCRIPT_PATH, &InstallSettings::script_path, &InstallSettings::old_script_dir},
    {CTRL_UPLOAD_PATH, &InstallSettings::upload_path, &InstallSettings::old_upload_dir},
    {CTRL_DOWNLOAD_PATH, &InstallSettings::download_path, &InstallSettings::old_download_dir},
};

// The folders Install checks, in the order it checks them: their field, the label that names
// the field in a message, their settings and the message when empty.
struct CheckedPath {
    int control;
    int label;
    PathField path;
    CatalogueId empty_message;
};
constexpr CheckedPath checked_paths[] = {
    {CTRL_DESTINATION, CTRL_DESTINATION_LABEL, &InstallSettings::destination_path, MSG_DEST_EMPTY},
    {CTRL_LOG_PATH, CTRL_LOG_LABEL, &InstallSettings::log_path, MSG_LOG_EMPTY},
    {CTRL_OPTIONS_PATH, CTRL_OPTIONS_LABEL, &InstallSettings::options_path, MSG_OPTIONS_EMPTY},
    {CTRL_SCRIPT_PATH, CTRL_SCRIPT_LABEL, &InstallSettings::script_path, MSG_SCRIPT_EMPTY},
    {CTRL_UPLOAD_PATH, CTRL_UPLOAD_LABEL, &InstallSettings::upload_path, MSG_UPLOAD_EMPTY},
    {CTRL_DOWNLOAD_PATH, CTRL_DOWNLOAD_LABEL, &InstallSettings::download_path, MSG_DOWNLOAD_EMPTY},
};

// The longest full name of a file that Windows takes (MAX_PATH less its NUL), and the room a
// folder leaves below it for a backslash and a short name: the documents, libraries, option
// files, backups and carried-over files of the installation all have 8.3 names.
constexpr size_t LONGEST_PATH = PATH_SIZE - 1;
constexpr size_t SHORT_NAME_ROOM = 13;

OsWindow control(OsWindow dialog, int id) {
    return os_SubWin(dialog, id);
}

void read_field(OsWindow dialog, int id, char *out) {
    out[0] = '\0';
    os_QueryWindowText(control(dialog, id), PATH_SIZE, out);
}

void set_field(OsWindow dialog, int id, const char *text) {
    os_SetWindowText(control(dialog, id), text);
}

int checked(OsWindow dialog, int id) {
    return os_IsButtonChecked(dialog, id) ? 1 : 0;
}

// Completes a short entry in its field while the user types: the text gains a drive or a
// backslash before the caret, and the caret stays behind the character typed last.
void complete_short_entry(OsWindow dialog, int id, char *path) {
    char typed[PATH_SIZE];
    copy_path(typed, path);
    expand_short_path(path);
    OsWindow field = control(dialog, id);
    int selection = os_ContrlMgr(field, OS_EDIT_QUERY_SELECTION, 0, 0);
    set_field(dialog, id, path);
    // The completion inserts its text where the two first differ.
    size_t at = 0;
    while (typed[at] != '\0' && typed[at] == path[at]) ++at;
    int inserted = static_cast<int>(std::strlen(path)) - static_cast<int>(std::strlen(typed));
    auto moved = [&](int position) {
        return position >= static_cast<int>(at) ? position + inserted : position;
    };
    os_ContrlMgr(field, OS_EDIT_SELECT, moved(selection & 0xFFFF), moved(selection >> 16 & 0xFFFF));
}

// A folder named from a drive's root ("C:\QEL") or a share's ("\\server\share"), with no colon
// past the drive's: a place that does not depend on the setup's own current folder.
bool is_full_path(const char *path) {
    bool drive =
        std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && path[2] == '\\';
    bool share = false;
    if (path[0] == '\\' && path[1] == '\\' && path[2] != '\\' && path[2] != '\0') {
        const char *server_end = std::strchr(path + 2, '\\');
        share = server_end && server_end[1] != '\\' && server_end[1] != '\0';
    }
    if (!drive && !share && !plat_host_absolute(path)) return false;
    return std::strchr(drive ? path + 2 : path, ':') == nullptr;
}

// Says why a folder cannot be taken, naming its field by its label, and focuses the field.
int refuse_path(OsWindow dialog, const CheckedPath &field, CatalogueId message) {
    char label[PATH_SIZE];
    read_field(dialog, field.label, label);
    char text[2 * PATH_SIZE];
    std::snprintf(text, sizeof text, message_text(message), label);
    show_info(text);
    os_SetFocus(control(dialog, field.control));
    return 0;
}

// The field whose folder would receive a member of the archive under a name longer than Windows
// takes, or in a sub-folder that leaves no room for a short name; none when every member fits
// (or when the archive cannot be listed: the installation reports that itself).
const CheckedPath *field_too_long_for_members() {
    if (list_archive() != 0) return nullptr;
    for (const std::string &member : archive_members) {
        if (member.empty()) break;
        const char *base = route_base(member.c_str());
        std::string folder = member_target_folder(member.c_str());
        size_t name_start = member.find_last_of("/\\");
        size_t name_length = member.size() - (name_start == std::string::npos ? 0 : name_start + 1);
        if (folder.size() + SHORT_NAME_ROOM <= LONGEST_PATH &&
            folder.size() + 1 + name_length <= LONGEST_PATH)
            continue;
        for (const CheckedPath &field : checked_paths)
            if (settings.*field.path == base) return &field;
    }
    return nullptr;
}

void to_lower_case(char *text) {
    for (; *text; ++text)
        *text = static_cast<char>(std::tolower(static_cast<unsigned char>(*text)));
}

// Two paths that are both set and name different folders.
bool differ(const char *a, const char *b) {
    return *a != '\0' && *b != '\0' && compare_nocase(a, b) != 0;
}

void place_pictures(OsWindow dialog) {
    OsWinPos phone_book{}, installed{};
    os_QueryWinPos(control(dialog, CTRL_COPY_PHONEBOOK), &phone_book);
    os_QueryWinPos(control(dialog, CTRL_ALREADY_INSTALLED), &installed);
    // Both pictures hang from the top edge of check box 300.
    int32_t top_of_installed = installed.y + installed.height;
    int32_t top_of_phone_book = phone_book.y + phone_book.height;
    os_SetWinPos(control(dialog, CTRL_PICTURE_LARGE), OS_PLACE_ON_TOP, phone_book.x,
                 top_of_installed - PICTURE_LARGE_HEIGHT, PICTURE_LARGE_WIDTH, PICTURE_LARGE_HEIGHT,
                 OS_POS_SIZE | OS_POS_MOVE);
    os_SetWinPos(control(dialog, CTRL_PICTURE_SMALL), OS_PLACE_ON_TOP, phone_book.x,
                 top_of_installed - PICTURE_SMALL_HEIGHT, PICTURE_SMALL_WIDTH, PICTURE_SMALL_HEIGHT,
                 OS_POS_SIZE | OS_POS_MOVE);
    int32_t room = top_of_installed - top_of_phone_book;
    os_ShowWindow(control(dialog, CTRL_PICTURE_LARGE), room >= PICTURE_LARGE_HEIGHT);
    os_ShowWindow(control(dialog, CTRL_PICTURE_SMALL), room < PICTURE_LARGE_HEIGHT);
}

void on_init(OsWindow dialog) {
    settings.main_dialog = dialog; // boxes of the handlers below already have their owner

    char caption[CAPTION_SIZE] = "";
    os_QueryWindowText(dialog, sizeof caption, caption);
    size_t length = std::strlen(caption);
    std::snprintf(caption + length, sizeof caption - length, "%s", VERSION_SUFFIX);
    os_SetWindowText(dialog, caption);

    limit_path_fields(dialog);
    os_CheckControl(dialog, CTRL_ALREADY_INSTALLED, settings.already_installed);
    os_CheckControl(dialog, CTRL_COPY_OPTIONS, settings.copy_options);
    os_CheckControl(dialog, CTRL_COPY_PHONEBOOK, settings.copy_phonebook);
    os_CheckControl(dialog, CTRL_COPY_SCRIPTS, settings.copy_scripts);

    // Setting field 302 runs its handler, which reads the installation and fills the rest.
    uint32_t size = PATH_SIZE;
    if (os_IniMgr(OS_INI_READ, OS_INI_SYSTEM_STORE, HOME_APPLICATION, HOME_KEY,
                  settings.existing_path, &size)) {
        settings.existing_path[PATH_SIZE - 1] = '\0';
        to_lower_case(settings.existing_path);
        set_field(dialog, CTRL_EXISTING_PATH, settings.existing_path);
        set_field(dialog, CTRL_DESTINATION, settings.destination_path);
    } else {
        settings.existing_path[0] = '\0';
        set_field(dialog, CTRL_EXISTING_PATH, "");
    }
    show_user_paths(dialog);

    plat_send_message(control(dialog, CTRL_PROGRESS), PROGRESS_SETRANGE, 0, PROGRESS_RANGE_0_TO_50);
    enable_existing_path(dialog, settings.already_installed != 0);
    os_EnableWindow(control(dialog, CTRL_COPY_OPTIONS), 0);
    os_EnableWindow(control(dialog, CTRL_COPY_PHONEBOOK), 0);
    os_EnableWindow(control(dialog, CTRL_COPY_SCRIPTS), 0);
    place_pictures(dialog);

    os_CenterWinOverWin(nullptr, dialog, 1);
    os_SetWinPos(dialog, OS_PLACE_ON_TOP, 0, 0, 0, 0, OS_POS_SHOW | OS_POS_ACTIVATE);
    bool ask_for_existing = settings.already_installed == 1 && settings.existing_path[0] == '\0';
    os_SetFocus(control(dialog, ask_for_existing ? CTRL_EXISTING_PATH : CTRL_DESTINATION));
}

void on_install(OsWindow dialog) {
    // One run installs at most once, whatever the dialog is asked after the start.
    if (settings.worker_started) return;
    const char *caption = message_text(CAPTION_INFO);
    if (settings.existing_is_beta == 1 &&
        !ask_yes_no(dialog, caption, message_text(MSG_UPGRADE_FROM_BETA), MB_STYLE_RISKY))
        return;
    read_dialog_fields(dialog);
    int ok = validate_paths(dialog);
    if (compare_nocase(settings.existing_path, settings.destination_path) == 0 &&
        std::strchr(BETA_MARKER, 'a') != nullptr &&
        !ask_yes_no(dialog, caption, message_text(MSG_OVERWRITE_WITH_BETA), MB_STYLE_RISKY))
        return;
    if (ok != 1) return;

    delete_old_files(settings.destination_path, 0);
    os_EnableWindow(control(dialog, CTRL_INSTALL), 0);
    os_SetFocus(control(dialog, CTRL_DESTINATION));
    // From now on the worker owns the choices: no handler may change them, also when the thread
    // cannot start.
    settings.worker_started = 1;
    if (!os_CreateThread(worker_entry, nullptr)) {
        // Ends as after a failed installation: the user is told, then the dialog finishes.
        worker_state.outcome = OUTCOME_FAILED;
        show_error(message_text(MSG_INSTALL_ERROR));
        os_PostMsg(dialog, MSG_INSTALL_FINISHED, 0, 0);
    }
}

void on_cancel(OsWindow dialog) {
    settings.cancel_requested = 1;
    if (!settings.worker_started) os_PostMsg(dialog, MSG_INSTALL_FINISHED, 0, 0);
}

void on_already_installed(OsWindow dialog) {
    settings.already_installed = checked(dialog, CTRL_ALREADY_INSTALLED);
    if (settings.already_installed) {
        enable_existing_path(dialog, 1);
    } else {
        enable_existing_path(dialog, 0);
        settings.existing_path[0] = '\0';
        set_field(dialog, CTRL_EXISTING_PATH, "");
    }
}

void on_existing_path_changed(OsWindow dialog) {
    settings.existing_is_beta = 0;
    char previous[PATH_SIZE];
    copy_path(previous, settings.existing_path);
    read_dialog_fields(dialog);
    if (is_short_entry(settings.existing_path))
        complete_short_entry(dialog, CTRL_EXISTING_PATH, settings.existing_path);
    if (on_floppy_drive(settings.existing_path)) {
        set_field(dialog, CTRL_EXISTING_PATH, "");
        set_field(dialog, CTRL_DESTINATION, "");
    } else if (settings.existing_path[0] == '\0') {
        // No existing installation: nothing is read from the current drive's root.
        reset_old_dirs();
    } else {
        char option_file[PATH_SIZE], path_file[PATH_SIZE];
        join_path(option_file, settings.existing_path, "OPTIONS\\STANDARD.QPA");
        join_path(path_file, settings.existing_path, "OPTIONS\\QELPATH.DAT");
        if (plat_exists(option_file) || plat_exists(path_file))
            read_existing_settings(option_file, path_file);
        else
            reset_old_dirs();
    }
    // The destination follows the existing path until the user types another one.
    if (compare_nocase(settings.destination_path, previous) == 0 ||
        settings.destination_path[0] == '\0')
        copy_path(settings.destination_path, settings.existing_path);
    set_field(dialog, CTRL_DESTINATION, settings.destination_path);
    update_copy_boxes(dialog);
}

void on_destination_changed(OsWindow dialog) {
    read_dialog_fields(dialog);
    if (is_short_entry(settings.destination_path))
        complete_short_entry(dialog, CTRL_DESTINATION, settings.destination_path);
    if (on_floppy_drive(settings.destination_path)) set_field(dialog, CTRL_DESTINATION, "");
    for (const UserPath &user : user_paths)
        derive_user_path(settings.destination_path, settings.*user.path, settings.*user.old_dir);
    show_user_paths(dialog);
    update_copy_boxes(dialog);
}

void on_install_finished(OsWindow dialog) {
    if (settings.cancel_requested == 0 &&
        ask_yes_no(dialog, message_text(CAPTION_INFO), message_text(MSG_READ_DOCS), 0))
        show_doc_files(); // the last document window closed ends the dialog
    else
        os_DismissDlg(dialog, 0);
}

// A control's notification; false when this dialog leaves it to the default handling.
bool on_control(OsWindow dialog, const TranslatedMsg &message) {
    switch (message.id) {
    case CTRL_ALREADY_INSTALLED:
        if (!settings.worker_started) on_already_installed(dialog);
        return true;
    case CTRL_EXISTING_PATH:
        if (message.notification != TM_EDIT_CHANGED) return false;
        if (!settings.worker_started) on_existing_path_changed(dialog);
        return true;
    case CTRL_DESTINATION:
        if (message.notification != TM_EDIT_CHANGED) return false;
        if (!settings.worker_started) on_destination_changed(dialog);
        return true;
    case CTRL_OPTIONS_PATH:
        if (!settings.worker_started) {
            read_field(dialog, CTRL_OPTIONS_PATH, settings.options_path);
            update_copy_boxes(dialog);
        }
        return true;
    case CTRL_SCRIPT_PATH:
        if (!settings.worker_started) {
            read_field(dialog, CTRL_SCRIPT_PATH, settings.script_path);
            update_copy_boxes(dialog);
        }
        return true;
    default:
        return false;
    }
}

} // namespace

intptr_t main_dialog_proc(OsWindow dialog, uint32_t message, uintptr_t first, intptr_t second) {
    TranslatedMsg translated{};
    os_TranslateMsg(&translated, dialog, message, first, second);
    switch (translated.kind) {
    case TM_INIT:
        on_init(dialog);
        return 1;
    case TM_COMMAND:
        if (translated.id == CTRL_INSTALL) {
            on_install(dialog);
            return 0;
        }
        if (translated.id == CTRL_CANCEL) {
            on_cancel(dialog);
            return 0;
        }
        break;
    case TM_CLOSE:
        on_cancel(dialog);
        return 0;
    case TM_CONTROL:
        if (on_control(dialog, translated)) return 0;
        break;
    case MSG_INSTALL_FINISHED:
        on_install_finished(dialog);
        return 0;
    default:
        break;
    }
    return os_DefDlgProc(dialog, message, first, second);
}

void read_dialog_fields(OsWindow dialog) {
    settings.already_installed = checked(dialog, CTRL_ALREADY_INSTALLED);
    read_field(dialog, CTRL_EXISTING_PATH, settings.existing_path);
    read_field(dialog, CTRL_DESTINATION, settings.destination_path);
    settings.copy_options = checked(dialog, CTRL_COPY_OPTIONS);
    settings.copy_phonebook = checked(dialog, CTRL_COPY_PHONEBOOK);
    settings.copy_scripts = checked(dialog, CTRL_COPY_SCRIPTS);
    for (const UserPath &user : user_paths) read_field(dialog, user.control, settings.*user.path);
}

void limit_path_fields(OsWindow dialog) {
    for (int id : limited_fields)
        os_ContrlMgr(control(dialog, id), OS_EDIT_LIMIT, PATH_SIZE - 1, 0);
}

void show_user_paths(OsWindow dialog) {
    for (const UserPath &user : user_paths) set_field(dialog, user.control, settings.*user.path);
}

int validate_paths(OsWindow dialog) {
    for (const CheckedPath &field : checked_paths)
        if ((settings.*field.path)[0] == '\0') {
            show_info(message_text(field.empty_message));
            os_SetFocus(control(dialog, field.control));
            return 0;
        }
    // Nothing is written before every folder is a full path and every name in it fits Windows.
    for (const CheckedPath &field : checked_paths)
        if (!is_full_path(settings.*field.path))
            return refuse_path(dialog, field, MSG_PATH_NOT_FULL);
    for (const CheckedPath &field : checked_paths)
        if (std::strlen(settings.*field.path) + SHORT_NAME_ROOM > LONGEST_PATH)
            return refuse_path(dialog, field, MSG_PATH_TOO_LONG);
    if (const CheckedPath *field = field_too_long_for_members())
        return refuse_path(dialog, *field, MSG_PATH_TOO_LONG);
    return 1;
}

void enable_existing_path(OsWindow dialog, int on) {
    os_EnableWindow(control(dialog, CTRL_EXISTING_LABEL), on);
    os_EnableWindow(control(dialog, CTRL_EXISTING_PATH), on);
}

void update_copy_boxes(OsWindow dialog) {
    for (int id : {CTRL_COPY_PHONEBOOK, CTRL_COPY_OPTIONS, CTRL_COPY_SCRIPTS})
        os_EnableWindow(control(dialog, id), copy_box_open(id));
}

int copy_box_open(int id) {
    if (settings.existing_migratable != 1) return 0;
    if (id == CTRL_COPY_PHONEBOOK) return differ(settings.existing_path, settings.destination_path);
    if (id == CTRL_COPY_OPTIONS) return differ(settings.options_path, settings.old_options_path);
    if (id == CTRL_COPY_SCRIPTS) return differ(settings.script_path, settings.old_script_path);
    return 0;
}
