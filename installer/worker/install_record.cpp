// The install record: what installations into a destination made, kept there for the
// uninstallation, and the product's entry in the user's list of programs to remove.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_api.h"
#include "installer/worker/worker.h"
#include "platform/win_api.h"

namespace {

// One line per item, its fields separated by tabs (no Windows path holds one).
constexpr const char RECORD_HEADER[] = "QEL install record 1";
constexpr char FIELD_SEPARATOR = '\t';

// The values of the product's entry for removal.
constexpr const char DISPLAY_NAME[] = "QEL terminal";
constexpr const char DISPLAY_VERSION[] = "3.10";
constexpr const char PUBLISHER[] = "QEL Software";
static_assert(std::string_view(VERSION_SUFFIX).substr(2) == DISPLAY_VERSION,
              "the entry names the version the dialog shows");

std::vector<std::string> split_fields(const std::string &line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t end = line.find(FIELD_SEPARATOR, start);
        fields.push_back(line.substr(start, end - start));
        if (end == std::string::npos) return fields;
        start = end + 1;
    }
}

bool same_path(const std::string &a, const std::string &b) {
    return compare_nocase(a.c_str(), b.c_str()) == 0;
}

bool listed(const std::vector<std::string> &paths, const std::string &path) {
    return std::any_of(paths.begin(), paths.end(),
                       [&](const std::string &p) { return same_path(p, path); });
}

void add_once(std::vector<std::string> &paths, const std::string &path) {
    if (!listed(paths, path)) paths.push_back(path);
}

std::string in_destination(const char *name) {
    char path[PATH_SIZE];
    join_path(path, settings.destination_path, name);
    return path;
}

// The setup placed beside the installation, so that it can be removed without the archive.
std::string place_setup_copy() {
    char program[PATH_SIZE] = "";
    std::string copy = in_destination(SETUP_COPY_NAME);
    if (!plat_program_path(program, sizeof program)) return "";
    if (same_path(program, copy)) return copy; // run from there already
    bool existed = plat_exists(copy.c_str()) == 1;
    if (!CopyFileA(program, copy.c_str(), 0)) {
        log_line("Setup not copied to " + copy);
        return "";
    }
    log_line("Copied " + std::string(program) + " to " + copy);
    note_change(existed ? ChangeKind::file_replaced : ChangeKind::file_made, copy);
    return copy;
}

// This run's changes joined to the earlier record of the destination: what the run made or
// wrote over with the product's own counts as made, with its contents now; what an earlier
// installation made and this run left alone keeps its entry as it was, so that a file the user
// changed meanwhile stays the user's.
InstallRecord merged_record(const std::string &setup_copy) {
    InstallRecord record;
    read_install_record(in_destination(INSTALL_RECORD_NAME), record);
    record.language = settings.language;
    record.destination = settings.destination_path;
    if (!setup_copy.empty()) record.setup_copy = setup_copy;
    std::vector<std::string> made, backups; // the user's backups hold the user's contents
    for (const Change &change : worker_state.journal)
        if (change.kind == ChangeKind::file_replaced && !change.undo_copy && !change.saved.empty())
            backups.push_back(change.saved);
    for (const Change &change : worker_state.journal) {
        switch (change.kind) {
        case ChangeKind::folder_made:
            add_once(record.folders, change.path);
            break;
        case ChangeKind::menu_folder_made:
            record.menu_folder = change.path;
            break;
        case ChangeKind::shortcut_made:
            add_once(record.shortcuts, change.path);
            break;
        case ChangeKind::file_made:
            if (!listed(backups, change.path)) add_once(made, change.path);
            break;
        case ChangeKind::file_replaced:
            if (change.saved.empty() || change.undo_copy)
                add_once(made, change.path); // the product's own file, renewed
            else
                record.replaced.push_back({change.path, change.saved});
            break;
        case ChangeKind::user_file_copied:
            break;
        }
    }
    std::vector<RecordedFile> files;
    for (const RecordedFile &file : record.files)
        if (!listed(made, file.path) && plat_exists(file.path.c_str())) files.push_back(file);
    for (const std::string &path : made) {
        RecordedFile file{path};
        if (!same_path(path, setup_copy) && file_fingerprint(path, file)) files.push_back(file);
    }
    record.files = files;
    return record;
}

void register_for_removal(const std::string &setup_copy) {
    const std::pair<const char *, std::string> values[] = {
        {"DisplayName", DISPLAY_NAME},
        {"DisplayVersion", DISPLAY_VERSION},
        {"Publisher", PUBLISHER},
        {"InstallLocation", settings.destination_path},
        {"UninstallString", "\"" + setup_copy + "\" /UNINSTALL"},
    };
    bool written = true;
    for (const auto &[name, value] : values) {
        std::string text = value;
        written = os_IniMgr(OS_INI_WRITE, OS_INI_UNINSTALL_STORE, UNINSTALL_ENTRY, name,
                            text.data(), nullptr) == 1 &&
                  written;
    }
    log_line(std::string(written ? "Registered for removal as " : "Not registered for removal: ") +
             UNINSTALL_ENTRY);
}

} // namespace

bool file_fingerprint(const std::string &path, RecordedFile &out) {
    std::FILE *file = plat_fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    uint32_t crc = 0xFFFFFFFFu;
    uint64_t size = 0;
    unsigned char block[8192];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
        crc = crc32_update(crc, block, got);
        size += got;
    }
    bool read = !std::ferror(file);
    std::fclose(file);
    out.size = size;
    out.crc = crc ^ 0xFFFFFFFFu;
    return read;
}

bool read_install_record(const std::string &path, InstallRecord &out) {
    out = InstallRecord{};
    std::FILE *file = plat_fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    std::string line;
    bool sound = read_text_line(file, line) && line == RECORD_HEADER;
    while (sound && read_text_line(file, line)) {
        std::vector<std::string> f = split_fields(line);
        const std::string &kind = f[0];
        if (kind == "language" && f.size() == 2)
            out.language = std::clamp(std::atoi(f[1].c_str()), 0, 2);
        else if (kind == "destination" && f.size() == 2)
            out.destination = f[1];
        else if (kind == "setup" && f.size() == 2)
            out.setup_copy = f[1];
        else if (kind == "folder" && f.size() == 2)
            out.folders.push_back(f[1]);
        else if (kind == "file" && f.size() == 4)
            out.files.push_back({f[1], std::strtoull(f[2].c_str(), nullptr, 10),
                                 static_cast<uint32_t>(std::strtoul(f[3].c_str(), nullptr, 16))});
        else if (kind == "replaced" && f.size() == 3)
            out.replaced.push_back({f[1], f[2]});
        else if (kind == "menu" && f.size() == 2)
            out.menu_folder = f[1];
        else if (kind == "shortcut" && f.size() == 2)
            out.shortcuts.push_back(f[1]);
        else
            sound = false; // a record not of ours, or damaged: trusted in nothing
    }
    std::fclose(file);
    if (!sound) out = InstallRecord{};
    return sound;
}

bool write_install_record(const std::string &path, const InstallRecord &record) {
    std::FILE *file = plat_fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    std::fprintf(file, "%s\n", RECORD_HEADER);
    std::fprintf(file, "language\t%d\n", record.language);
    std::fprintf(file, "destination\t%s\n", record.destination.c_str());
    if (!record.setup_copy.empty()) std::fprintf(file, "setup\t%s\n", record.setup_copy.c_str());
    for (const std::string &folder : record.folders)
        std::fprintf(file, "folder\t%s\n", folder.c_str());
    for (const RecordedFile &entry : record.files)
        std::fprintf(file, "file\t%s\t%llu\t%08x\n", entry.path.c_str(),
                     static_cast<unsigned long long>(entry.size), entry.crc);
    for (const BackupRecord &entry : record.replaced)
        std::fprintf(file, "replaced\t%s\t%s\n", entry.original.c_str(), entry.backup.c_str());
    if (!record.menu_folder.empty()) std::fprintf(file, "menu\t%s\n", record.menu_folder.c_str());
    for (const std::string &link : record.shortcuts)
        std::fprintf(file, "shortcut\t%s\n", link.c_str());
    bool written = std::fflush(file) == 0 && !std::ferror(file);
    return std::fclose(file) == 0 && written;
}

void register_installation() {
    std::string setup_copy = place_setup_copy();
    std::string path = in_destination(INSTALL_RECORD_NAME);
    if (!write_install_record(path, merged_record(setup_copy))) {
        log_line("Install record not written: " + path);
        return;
    }
    log_line("Install record " + path);
    if (!setup_copy.empty()) register_for_removal(setup_copy);
}
