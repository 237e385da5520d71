// Member routing: lists the archive, extracts each member into its folder, guards existing files.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/engine_api.h"
#include "installer/worker/worker.h"
#include "platform/win_api.h"

namespace {

constexpr RouteEntry routes[] = {
    {"LOG", &InstallSettings::log_path},           {"OPTIONS", &InstallSettings::options_path},
    {"SCRIPT", &InstallSettings::script_path},     {"UPLOAD", &InstallSettings::upload_path},
    {"DOWNLOAD", &InstallSettings::download_path},
};

constexpr const char *protected_files[] = {"PHONEBK", "FAXCALL.QRX", "MINIHOST.QRX", "QELEVENT.QRX",
                                           "QELXFER.QRX"};
constexpr const char *option_files[] = {"STANDARD.QEL", "STANDARD.FEE", "STANDARD.QKY",
                                        "STANDARD.QPA", "STANDARD.QPH", "STANDARD.QTB",
                                        "STANDARD.QTR"};

constexpr int ARGUMENT_SLOTS = 10;

// The engine's two command lines, word by word, as a user of the command-line extractor types
// them. member == nullptr asks for the listing:
//   unzip -v ARCHIVE                      "unzip": the extractor (the name "zipinfo" would ask
//                                         for the detailed report); "-v": the verbose listing,
//                                         which fills the member table
// otherwise the extraction of one member:
//   unzip -qq -j ARCHIVE -d FOLDER -- PATTERN
//                                         "-qq": nothing printed; "-j": the member's own folders
//                                         are dropped (the routing chose FOLDER); "-d FOLDER":
//                                         where the file goes (the engine makes its last level);
//                                         "--": what follows is a name as written, never an
//                                         option; PATTERN: the member's literal pattern, which
//                                         selects that member alone
// The words are owned copies: the engine may rewrite them (backslashes become slashes).
std::vector<std::string> engine_arguments(const char *member, const char *folder) {
    if (member == nullptr) return {"unzip", "-v", settings.archive_name};
    return {"unzip", "-qq",  "-j", settings.archive_name,
            "-d",    folder, "--", literal_pattern(member)};
}

// Calls the engine with one of its command lines; the installer answers its replacement
// questions.
int call_engine(std::vector<std::string> words) {
    char *argv[ARGUMENT_SLOTS] = {};
    int argc = 0;
    for (std::string &word : words)
        if (argc < ARGUMENT_SLOTS - 1) argv[argc++] = word.data();
    set_replace_policy(replace_policy);
    return engine_main(argc, argv);
}

// Trace lines for whoever watches standard error; flushed at once.
void trace_member(const char *member) {
    if (stderr == nullptr) return;
    std::fprintf(stderr, "get_zip_name(%s)\n", member);
    std::fflush(stderr);
}

void trace_result(int result) {
    if (stderr == nullptr) return;
    std::fprintf(stderr, "get_zip_name() return=%d\n\n", result);
    std::fflush(stderr);
}

// A folder cut down to "E:" names the drive's current folder, and "" the current folder: the
// member goes to the root that the base named ("E:\" or "\").
void keep_root_separator(std::string &dir) {
    if (dir.empty() || (dir.size() == 2 && dir[1] == ':')) dir += '\\';
}

bool ends_with_nocase(const char *path, const char *name) {
    size_t path_length = std::strlen(path), name_length = std::strlen(name);
    return name_length <= path_length &&
           compare_nocase(path + path_length - name_length, name) == 0;
}

std::string format_question(const char *format, const char *path) {
    int needed = std::snprintf(nullptr, 0, format, path);
    if (needed < 0) return format;
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, path);
    text.resize(static_cast<size_t>(needed));
    return text;
}

// One component of a member's name, or of the folder built from it, that the installer accepts.
bool component_safe(const std::string &component) {
    if (component.empty() || component.find(':') != std::string::npos) return false;
    return component.find_first_not_of(". ") != std::string::npos;
}

// True when every component of the text, split at "/" and "\", is sound.
bool components_safe(const std::string &text) {
    size_t start = 0;
    for (;;) {
        size_t end = text.find_first_of("/\\", start);
        if (!component_safe(text.substr(start, end - start))) return false;
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

// What an engine status says went wrong with a member, in the user's words.
CatalogueId engine_cause(int status) {
    switch (static_cast<EngineStatus>(status)) {
    case EngineStatus::warning:
        return CAUSE_SKIPPED;
    case EngineStatus::no_memory:
    case EngineStatus::decoder_no_memory:
        return CAUSE_NO_MEMORY;
    case EngineStatus::disk_full:
        return CAUSE_NOT_WRITABLE;
    default:
        return CAUSE_DAMAGED;
    }
}

// The installer's own refusal, before the engine is called.
constexpr int REFUSED = -1;

} // namespace

std::string member_target_folder(const char *member) {
    const char *base = route_base(member);
    if (base == settings.destination_path) return base;
    const char *rest = std::strchr(member, '/');
    std::string dir = base;
    if (dir.empty() || dir.back() != '\\') dir += '\\';
    dir += rest ? rest + 1 : "";
    size_t cut = dir.find_last_of("/\\");
    if (cut != std::string::npos) dir.resize(cut);
    keep_root_separator(dir);
    return dir;
}

const char *route_base(const char *member) {
    for (const RouteEntry &route : routes) {
        size_t length = std::strlen(route.component);
        if (compare_nocase_n(member, route.component, length) == 0 && member[length] == '/')
            return settings.*route.base;
    }
    return settings.destination_path;
}

void make_parent_dirs(const char *dir) {
    std::string work = dir;
    for (size_t i = 0; i < work.size(); ++i) {
        if ((work[i] != '\\' && work[i] != '/') || i == 2) continue;
        char separator = work[i];
        work[i] = '\0';
        CreateDirectoryA(work.c_str(), nullptr);
        work[i] = separator == '/' ? '/' : '\\';
    }
}

bool member_name_safe(const char *member) {
    std::string name = member;
    if (!name.empty() && (name.back() == '/' || name.back() == '\\')) name.pop_back();
    return components_safe(name);
}

bool folder_inside_base(const std::string &dir, const char *base) {
    std::string folder = base; // compared without its closing separators
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    if (dir.compare(0, folder.size(), folder) != 0) return false;
    std::string rest = dir.substr(folder.size());
    if (rest.empty()) return true;
    if (rest[0] != '\\' && rest[0] != '/') return false;
    rest.erase(0, 1);
    return rest.empty() || components_safe(rest);
}

void fail_installation(InstallFailure failure, const std::string &item, const std::string &folder,
                       int status) {
    worker_state.install_failed = 1;
    worker_state.failure = failure;
    worker_state.failed_item = item;
    worker_state.failed_folder = folder;
    worker_state.failed_status = status;
}

int list_archive() {
    int result = call_engine(engine_arguments(nullptr, nullptr));
    trace_result(result);
    if (result != 0)
        fail_installation(InstallFailure::archive_unreadable, settings.archive_name, "", result);
    return result;
}

int get_zip_name(const char *member) {
    std::string dir = member_target_folder(member);
    int result = REFUSED;
    if (!member_name_safe(member) || !folder_inside_base(dir, route_base(member))) {
        fail_installation(InstallFailure::unsafe_name, member, dir, result);
    } else {
        std::vector<std::string> missing = missing_folders(dir);
        std::vector<std::string> before = folder_files(dir);
        if (!plat_exists(dir.c_str())) make_parent_dirs(dir.c_str());
        result = call_engine(engine_arguments(member, dir.c_str()));
        note_made(missing, dir, before); // also after a failure: what it left is undone
        if (result != 0)
            fail_installation(plat_exists(dir.c_str()) ? InstallFailure::engine_error
                                                       : InstallFailure::folder_not_made,
                              member, dir, result);
        else if (names_not_matched() > 0)
            fail_installation(InstallFailure::not_found, member, dir, result = REFUSED);
    }
    trace_member(member);
    trace_result(result);
    return result;
}

uint32_t percent_of(uint64_t done, uint64_t total) {
    if (total == 0) return 100;
    uint64_t percent = done * 100 / total;
    return percent > 100 ? 100 : static_cast<uint32_t>(percent);
}

void add_member_progress(uint32_t size) {
    worker_state.done_bytes += size;
    worker_state.percent_done = percent_of(worker_state.done_bytes, archive_total_size);
}

std::string backup_name(const char *path, char digit) {
    std::string backup = path;
    size_t start = backup.find_last_of("/\\");
    start = start == std::string::npos ? 0 : start + 1;
    if (start >= backup.size()) return backup;
    size_t dot = backup.find('.', start);
    if (dot == std::string::npos)
        backup.back() = digit;
    else if (dot + 1 < backup.size())
        backup[dot + 1] = digit;
    else
        backup += digit;
    return backup;
}

// The engine asks before it overwrites an existing file: protected files each get a question,
// option files one question for all of them; what is overwritten on purpose is backed up first,
// and a file whose backup cannot be made is kept. This run's backups are never written over.
bool replace_policy(const char *path) {
    std::string shown = windows_path(path); // as the user knows it, not the engine's form
    if (!keep_backup_safe(shown.c_str())) return false;
    bool answer = true, matched = false;
    const char *caption = message_text(CAPTION_INFO);
    for (const char *name : protected_files) {
        if (!ends_with_nocase(path, name)) continue;
        matched = true;
        std::string question = format_question(message_text(MSG_OVERWRITE_FILE), shown.c_str());
        answer = ask_yes_no(settings.main_dialog, caption, question.c_str(), MB_STYLE_RISKY) == 1;
        break;
    }
    for (const char *name : option_files) {
        if (!ends_with_nocase(path, name)) continue;
        matched = true;
        if (worker_state.option_files_decision == OPTION_FILES_NONE)
            worker_state.option_files_decision =
                ask_yes_no(settings.main_dialog, caption, message_text(MSG_OVERWRITE_OPTIONS),
                           MB_STYLE_RISKY)
                    ? OPTION_FILES_OVERWRITE
                    : OPTION_FILES_KEEP;
        answer = worker_state.option_files_decision == OPTION_FILES_OVERWRITE;
        break;
    }
    if (answer && matched) {
        // The user's file is overwritten only once its backup really exists.
        if (make_backup(shown.c_str())) {
            worker_state.backups_made = 1;
            const std::string &backup = worker_state.backups.back().backup;
            log_line("Backed up " + shown + " as " + backup);
            note_change(ChangeKind::file_replaced, shown, backup);
        } else {
            show_error(format_question(message_text(MSG_BACKUP_FAILED), shown.c_str()).c_str());
            answer = false;
        }
    } else if (answer && !keep_undo_copy(shown)) {
        note_change(ChangeKind::file_replaced, shown); // written over all the same, as always
    }
    return answer;
}

std::string failure_text() {
    const WorkerState &state = worker_state;
    std::string text = message_text(MSG_INSTALL_ERROR);
    const char *item = state.failed_item.c_str(), *folder = state.failed_folder.c_str();
    char detail[1024] = "";
    switch (state.failure) {
    case InstallFailure::none:
        return text;
    case InstallFailure::archive_unreadable:
        std::snprintf(detail, sizeof detail, message_text(MSG_ARCHIVE_UNREADABLE), item,
                      state.failed_status);
        break;
    case InstallFailure::unsafe_name:
        std::snprintf(detail, sizeof detail, message_text(MSG_MEMBER_UNSAFE), item);
        break;
    case InstallFailure::folder_not_made:
        std::snprintf(detail, sizeof detail, message_text(MSG_FOLDER_NOT_MADE), item, folder);
        break;
    case InstallFailure::engine_error:
        std::snprintf(detail, sizeof detail, message_text(MSG_MEMBER_FAILED), item, folder,
                      message_text(engine_cause(state.failed_status)), state.failed_status);
        break;
    case InstallFailure::not_found:
        std::snprintf(detail, sizeof detail, message_text(MSG_MEMBER_NOT_FOUND), item);
        break;
    }
    return text + "\r\r" + detail;
}
