// The install sequence on the worker thread: extraction, settings and files of the earlier
// installation, documents and runtime files, the path settings, the start-menu folder with its
// shortcuts, old files, and the report; always ending with the finish message to the dialog.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/engine_api.h"
#include "installer/worker/worker.h"
#include "platform/win_api.h"

WorkerState worker_state;

void reset_worker_state() {
    worker_state = WorkerState{};
}

namespace {

constexpr int DISPLAY_SIZE = 150; // a member's name on the status line

OsWindow dialog_control(int id) {
    return os_SubWin(settings.main_dialog, id);
}

void send_progress(uint32_t percent) {
    plat_send_message(dialog_control(CTRL_PROGRESS), PROGRESS_SETPOS, percent, 0);
}

// A copy the dialog offers with its check box; without a dialog (/SILENT) by the box's rule.
bool box_enabled(int id) {
    if (settings.main_dialog == nullptr) return copy_box_open(id) == 1;
    return os_IsWindowEnabled(dialog_control(id)) == 1;
}

// True when snprintf's result fitted the buffer whole.
bool fitted(int written, size_t size) {
    return written >= 0 && static_cast<size_t>(written) < size;
}

// Every member's name is judged before anything is written: the first unsafe one fails the
// installation.
void refuse_unsafe_names() {
    for (const std::string &member : archive_members)
        if (!member_name_safe(member.c_str())) {
            fail_installation(InstallFailure::unsafe_name, member, "", 0);
            return;
        }
}

// Lists the archive, then extracts member after member until a failure or a cancel.
void extract_members() {
    if (int listed = list_archive(); listed != 0)
        log_line("The archive " + std::string(settings.archive_name) +
                 " could not be listed (engine status " + std::to_string(listed) + ")");
    else
        refuse_unsafe_names();
    for (size_t i = 0;
         i < archive_members.size() && !worker_state.install_failed && !settings.cancel_requested;
         ++i) {
        const std::string &member = archive_members[i];
        if (member.empty()) break;
        char display[DISPLAY_SIZE];
        std::snprintf(display, sizeof display, "%s", member.c_str());
        for (char *c = display; *c; ++c)
            if (*c == '\\') *c = '/';
        set_status(display);
        std::string folder = member_target_folder(member.c_str());
        if (int result = get_zip_name(member.c_str()); result != 0) {
            log_line("Member " + member + " could not be extracted into " + folder +
                     " (engine status " + std::to_string(result) + ")");
            worker_state.install_failed = 1;
            break;
        }
        log_line("Member " + member + " into " + folder);
        add_member_progress(i < archive_member_sizes.size() ? archive_member_sizes[i] : 0);
        send_progress(worker_state.percent_done);
    }
}

// Options, scripts and phone book of the earlier installation, as the dialog offered them.
void carry_over(int rename_mode) {
    if (settings.copy_options == 1 && box_enabled(CTRL_COPY_OPTIONS))
        copy_tree(settings.old_options_path, settings.options_path, rename_mode);
    if (settings.copy_scripts == 1 && box_enabled(CTRL_COPY_SCRIPTS))
        copy_tree(settings.old_script_path, settings.script_path, rename_mode);
    if (settings.copy_phonebook == 1 && box_enabled(CTRL_COPY_PHONEBOOK)) {
        char source[PATH_SIZE], target[PATH_SIZE];
        join_path(source, settings.existing_path, "PHONEBK");
        join_path(target, settings.destination_path, "PHONEBK");
        copy_file(source, target, 0);
    }
}

// The documents and runtime files that lie beside the installer (the current folder).
void copy_beside_files() {
    char target[PATH_SIZE];
    for (const DocumentFile &document : documentation_files) {
        join_path(target, settings.destination_path, document.file_name);
        copy_file(document.file_name, target, 0);
    }
    for (const char *runtime : runtime_files) {
        join_path(target, settings.destination_path, runtime);
        copy_file(runtime, target, 0);
    }
}

// Makes the start-menu folder below the user's programs folder; false (and nothing made) when
// the programs folder is unknown, so that nothing lands at a drive's root.
bool make_start_menu_folder(char *folder) {
    char name[PATH_SIZE];
    const char *format = catalogue[TEXT_FOLDER_NAME].text[settings.language];
    std::snprintf(name, sizeof name, format,
                  os_QuerySysValue(OS_SYS_KIND) == OS_SYS_KIND_NT ? " NT" : "'95");
    OemToCharA(name, name); // the catalogue is OEM; folder names are not
    char programs[PATH_SIZE] = "";
    if (!query_programs_folder(programs, sizeof programs) || programs[0] == '\0') return false;
    if (!fitted(std::snprintf(folder, PATH_SIZE, "%s\\%s", programs, name), PATH_SIZE))
        return false;
    if (CreateDirectoryA(folder, nullptr)) {
        log_line(std::string("Start-menu folder ") + folder);
        note_change(ChangeKind::menu_folder_made, folder);
    }
    return plat_exists(folder) == 1; // an existing folder is fine
}

// Writes one link of the table; true when it was saved.
bool make_shortcut(const ShortcutRow &row, const char *folder) {
    const char *destination = settings.destination_path;
    char target[PATH_SIZE];
    const char *arguments = row.arguments;
    if (row.target[0] == '!') {
        join_path(target, destination, row.target + 1);
    } else {
        char *file_part = nullptr;
        DWORD found = SearchPathA(nullptr, row.target, "", PATH_SIZE, target, &file_part);
        if (found == 0 || found >= PATH_SIZE) {
            join_path(target, destination, row.arguments); // then the document opens itself
            arguments = "";
        }
    }
    char display[PATH_SIZE];
    if (row.display_name[0] == '!')
        std::snprintf(display, sizeof display, "%s%s", message_text(TEXT_ORDER_FROM),
                      row.display_name + 1);
    else
        std::snprintf(display, sizeof display, "%s", row.display_name);
    display[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(display[0])));

    char icon[PATH_SIZE] = "";
    if (row.icon_file[0] != '\0') {
        size_t length = std::strlen(destination);
        const char *separator = length > 0 && destination[length - 1] == '\\' ? "" : "\\";
        if (!fitted(
                std::snprintf(icon, sizeof icon, "%s%s%s", destination, separator, row.icon_file),
                sizeof icon))
            icon[0] = '\0';
    }
    // A link name cut to the buffer would be saved under a wrong name: such a row is skipped.
    char link[PATH_SIZE];
    if (!fitted(std::snprintf(link, sizeof link, "%s\\%s.LNK", folder, display), sizeof link))
        return false;
    ShortcutRequest request{link, target, arguments, destination, display, icon};
    bool saved = plat_save_shortcut(request) == SHORTCUT_SAVED;
    if (saved) note_change(ChangeKind::shortcut_made, link);
    log_line(std::string(saved ? "Shortcut " : "Shortcut not saved: ") + link + " to " + target +
             (arguments[0] ? std::string(" ") + arguments : ""));
    return saved;
}

// The start-menu folder and its links; true when the product's own link is in place.
bool make_start_menu_entries() {
    set_status(message_text(STATUS_CREATING_FOLDER));
    char folder[PATH_SIZE];
    if (!make_start_menu_folder(folder)) return false;
    int com = plat_com_begin();
    bool product_link = false;
    for (const ShortcutRow *row = shortcut_rows; row->display_name; ++row) {
        bool saved = make_shortcut(*row, folder);
        if (row == shortcut_rows) product_link = saved;
    }
    if (com) plat_com_end(); // only a successful start is balanced
    return product_link;
}

// The placeholders that the archive carries into the log, upload and download folders (the
// obsolete-file list's "...\dummy.tmp" rows) are deleted where this run routed them; the
// list's own pass deleted them only below the destination.
void delete_routed_placeholders() {
    constexpr char PLACEHOLDER[] = "\\dummy.tmp";
    const size_t tail = sizeof PLACEHOLDER - 1;
    for (const char *const *entry = obsolete_files; *entry; ++entry) {
        std::string name = *entry;
        if (name.size() <= tail || compare_nocase(name.c_str() + name.size() - tail, PLACEHOLDER))
            continue;
        for (char &c : name)
            if (c == '\\') c = '/';
        for (const std::string &member : archive_members)
            if (compare_nocase(member.c_str(), name.c_str()) == 0)
                DeleteFileA((member_target_folder(member.c_str()) + PLACEHOLDER).c_str());
    }
}

void report(bool start_menu_entry) {
    set_status(message_text(MSG_INSTALL_COMPLETE));
    show_info(message_text(start_menu_entry ? MSG_ALL_PROCESSED : MSG_ALL_PROCESSED_NO_MENU));
    if (worker_state.backups_made == 1) show_info(backups_text().c_str());
    if (OsModule capi = os_LoadModule("CAPI2032.DLL")) { // an ISDN driver is installed
        show_info(message_text(MSG_ISDN_NOTE));
        os_FreeModule(capi);
    }
}

// The option file whose folder settings are rewritten, logged when there is one.
void rewrite_path_settings() {
    char option_file[PATH_SIZE];
    join_path(option_file, settings.options_path, "STANDARD.QPA");
    update_path_settings("OPTIONS\\STANDARD.QPA");
    if (plat_exists(option_file))
        log_line(std::string("Folder settings rewritten in ") + option_file);
}

// The ending box of a failed or cancelled run, with the line that says it was undone.
std::string undone_text(const std::string &text) {
    bool all = undo_installation();
    return text + "\r\r" + message_text(all ? MSG_INSTALL_UNDONE : MSG_UNDO_INCOMPLETE);
}

void install() {
    extract_members();
    if (worker_state.install_failed) {
        worker_state.outcome = OUTCOME_FAILED;
        show_error(undone_text(failure_text()).c_str());
        return;
    }
    if (settings.cancel_requested) {
        worker_state.outcome = OUTCOME_CANCELLED;
        show_info(undone_text(message_text(MSG_INSTALL_ABORTED)).c_str());
        return;
    }
    int rename_mode = compare_nocase(settings.existing_version, "2.90") < 0 ? 1 : 0;
    size_t carried = worker_state.journal.size();
    carry_over(rename_mode);
    for (size_t i = carried; i < worker_state.journal.size(); ++i)
        if (worker_state.journal[i].kind == ChangeKind::file_made)
            worker_state.journal[i].kind = ChangeKind::user_file_copied;
    copy_beside_files();
    worker_state.percent_done = 100;
    send_progress(worker_state.percent_done);
    rewrite_path_settings();
    bool start_menu_entry = make_start_menu_entries();
    delete_old_files(settings.destination_path, 1);
    delete_routed_placeholders();
    drop_undo_copies();
    register_installation();
    worker_state.outcome = OUTCOME_INSTALLED;
    report(start_menu_entry);
}

} // namespace

void worker_entry(void *) {
    OsThreadRecord context{};
    os_InitWinThread(&context, 0, 0);
    // The pre-install renaming, done before the worker started, is this run's too.
    std::vector<Change> renamed = std::move(worker_state.journal);
    reset_worker_state();
    worker_state.journal = std::move(renamed);
    install();
    if (settings.main_dialog) os_PostMsg(settings.main_dialog, MSG_INSTALL_FINISHED, 0, 0);
    os_CleanupWinThread(&context);
}
