// Path mapping: the extraction root, member names turned into host paths, folder creation.
// Folders on a member's path are made or checked once per engine call and held open, and one
// that is a link is never passed through.
#include <cctype>
#include <cstring>
#include <string>

#include "engine/engine.h"
#include "engine/hostfs/hostfs.h"

namespace {

constexpr size_t NAMED_FOLDER_LIMIT = 258; // longest named path of a folder
constexpr size_t NAMED_PATH_LIMIT = 260;   // longest named path of a file
constexpr size_t OPEN_FOLDER_LIMIT = 64;   // folders held open at a member's start, at most

void release_paths() {
    MappingState &mapping = engine.host.mapping;
    mapping.named.clear();
    mapping.actual.clear();
    mapping.building = false;
}

// A component that would lead out of the folder being built.
bool leaves_folder(const std::string &component) {
    return component == "." || component == "..";
}

bool exists(const std::string &path, int *is_folder) {
    HostFileInfo info{};
    if (host_stat(path.c_str(), &info) != 0) return false;
    *is_folder = info.is_directory;
    return true;
}

// Lets go of the folders held open, all but the root (or with it).
void close_folders(bool root_too) {
    MappingState &mapping = engine.host.mapping;
    for (const auto &[path, folder] : mapping.open_folders) host_close_folder(folder);
    mapping.open_folders.clear();
    mapping.building_folder = mapping.output_folder = mapping.root_folder;
    if (!root_too) return;
    host_close_folder(mapping.root_folder);
    mapping.root_folder = mapping.building_folder = mapping.output_folder = NO_FOLDER;
}

// Takes the root text, making its folder when it is missing.
EngineStatus open_root(char *text) {
    MappingState &mapping = engine.host.mapping;
    mapping.root.clear();
    mapping.known = FolderFacts{};
    if (text == nullptr || *text == '\0') return EngineStatus::ok;
    bool drive = std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':';
    size_t length = std::strlen(text);
    bool had_slash = false;
    if (text[length - 1] == '/') {
        text[--length] = '\0';
        had_slash = true;
    }
    if (length == 0) { // the file system's root itself
        mapping.root = "/";
        return EngineStatus::ok;
    }
    if (drive && length == 2) {
        mapping.root = std::string(text) + (had_slash ? "/" : "./");
        return EngineStatus::ok;
    }
    int is_folder = 0;
    if (!exists(text, &is_folder) || !is_folder) {
        if (!mapping.create_folders) {
            // Freshening into a missing folder: keep it as the root, so that nothing is found
            // to freshen, rather than falling back to the current folder.
            mapping.root = std::string(text) + "/";
            return EngineStatus::error;
        }
        if (host_make_folder(text) != 0) {
            std::fprintf(stderr, "checkdir:  can't create extraction directory: %s\n", text);
            std::fflush(stderr);
            return EngineStatus::severe_error;
        }
    }
    mapping.root = std::string(text) + "/";
    return EngineStatus::ok;
}

EngineStatus set_root(char *text) {
    MappingState &mapping = engine.host.mapping;
    close_folders(true);
    EngineStatus result = open_root(text);
    // Without a root the names go to the current folder; a missing freshening root holds none.
    if (result == EngineStatus::ok)
        mapping.root_folder = host_open_root(mapping.root.empty() ? "" : mapping.root.c_str());
    mapping.building_folder = mapping.output_folder = mapping.root_folder;
    return result;
}

EngineStatus start_path() {
    MappingState &mapping = engine.host.mapping;
    release_paths();
    if (mapping.root.empty() && mapping.root_folder == NO_FOLDER)
        mapping.root_folder = host_open_root(""); // no root: the current folder
    if (mapping.open_folders.size() >= OPEN_FOLDER_LIMIT) close_folders(false);
    mapping.building_folder = mapping.root_folder;
    if (engine.current && engine.current->volume_label) {
        if (!host_volume_labels_supported()) return EngineStatus::volume_label;
        char letter;
        if (mapping.root.size() > 1 && mapping.root[1] == ':') {
            letter = mapping.root[0];
        } else {
            char folder[264];
            int n = host_current_folder(folder, sizeof folder);
            if (n > 260 || n <= 0) {
                // Without a drive there is nothing to label.
                std::fprintf(stderr, "checkdir warning: current dir path too long\n");
                std::fflush(stderr);
                return EngineStatus::volume_label;
            }
            letter = folder[0];
        }
        letter = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
        mapping.label_drive = letter - 'a' + 1;
        if (!engine.kept.volume_labels || letter < 'a' || letter > 'z' ||
            (engine.kept.volume_labels == 1 && !is_removable_drive(mapping.label_drive)))
            return EngineStatus::volume_label;
        mapping.named.clear();
    } else {
        // A wide path is UTF-8 throughout, the root's part too.
        mapping.named = mapping.wide ? host_utf8_path(mapping.root) : mapping.root;
    }
    mapping.actual = mapping.named;
    mapping.building = true;
    return EngineStatus::ok;
}

void path_too_long() {
    MappingState &mapping = engine.host.mapping;
    std::fprintf(stderr, "checkdir error:  path too long: %s\n",
                 shown_name(mapping.named.c_str()).c_str());
    std::fflush(stderr);
    release_paths();
}

// A folder on the member's path cannot be made or used: the member is not extracted.
EngineStatus folder_unusable(const char *before, const char *after) {
    MappingState &mapping = engine.host.mapping;
    std::fprintf(stderr, "checkdir error:  %s%s%s\n                 unable to process %s.\n",
                 before, shown_name(mapping.actual.c_str()).c_str(), after,
                 shown_name(mapping.member.c_str()).c_str());
    std::fflush(stderr);
    release_paths();
    return EngineStatus::severe_error;
}

// What the folders made or held are known by: the named path, and for a wide path a mark in
// front, so that UTF-8 text never meets a path of the same bytes in the host's code page.
std::string folder_key() {
    const MappingState &mapping = engine.host.mapping;
    return mapping.wide ? std::string(1, '\0') + mapping.named : mapping.named;
}

// Each folder on a member's path is opened (or made) once per call, relative to its parent held
// open and never through a link, and held: a folder that later takes its name is never used.
EngineStatus add_folder(const char *component) {
    MappingState &mapping = engine.host.mapping;
    const size_t parent_length = mapping.actual.size();
    mapping.named += component;
    const std::string key = folder_key();
    auto known = mapping.known.folders.find(key);
    if (known != mapping.known.folders.end())
        mapping.actual = known->second;
    else if (is_valid_name(mapping.named.c_str(), mapping.known, mapping.wide))
        mapping.actual += component;
    else
        mapping.actual += fat_component(component);
    auto held = mapping.open_folders.find(key);
    if (held != mapping.open_folders.end()) {
        mapping.building_folder = held->second;
    } else {
        bool too_long = mapping.named.size() > NAMED_FOLDER_LIMIT;
        const std::string name = mapping.actual.substr(parent_length);
        FolderOpen how = FolderOpen::failed;
        HostFolder folder = host_open_folder(
            {mapping.building_folder, name.c_str(), mapping.actual.c_str(), mapping.wide},
            mapping.create_folders && !too_long, how);
        switch (how) {
        case FolderOpen::missing:
            if (!mapping.create_folders) {
                release_paths();
                return EngineStatus::error;
            }
            path_too_long();
            return EngineStatus::no_memory;
        case FolderOpen::failed:
            return folder_unusable("can't create ", "");
        case FolderOpen::link:
            // Whatever it points to, the member would land outside the folder being built.
            return folder_unusable("", " is a link, not followed");
        case FolderOpen::not_folder:
            return folder_unusable("", " exists but is not directory");
        case FolderOpen::created:
            mapping.folder_created = 1;
            break;
        case FolderOpen::opened:
            if (too_long) {
                host_close_folder(folder);
                path_too_long();
                return EngineStatus::no_memory;
            }
            break;
        }
        mapping.open_folders.emplace(key, folder);
        mapping.known.folders.emplace(key, mapping.actual);
        mapping.building_folder = folder;
    }
    mapping.named += '/';
    mapping.actual += '/';
    return EngineStatus::ok;
}

EngineStatus add_name(const char *name) {
    MappingState &mapping = engine.host.mapping;
    EngineStatus result = EngineStatus::ok;
    mapping.named += name;
    // The name probe sees at most the longest named path.
    if (mapping.named.size() > NAMED_PATH_LIMIT) mapping.named.resize(NAMED_PATH_LIMIT);
    const size_t folder_length = mapping.actual.size();
    if ((engine.current && engine.current->volume_label) ||
        is_valid_name(mapping.named.c_str(), mapping.known, mapping.wide))
        mapping.actual += name;
    else
        mapping.actual += fat_component(name);
    // Where the host takes no longer paths, the name is cut to fit, once, with one warning.
    const size_t longest = host_longest_path();
    if (longest > folder_length && mapping.actual.size() > longest) {
        size_t cut = longest;
        // UTF-8 is cut between characters.
        while (mapping.wide && cut > folder_length &&
               (static_cast<unsigned char>(mapping.actual[cut]) & 0xC0) == 0x80)
            --cut;
        mapping.actual.resize(cut);
        std::fprintf(stderr,
                     "checkdir warning:  path too long; truncating\n                   %s\n      "
                     "          -> %s\n",
                     shown_name(mapping.member.c_str()).c_str(),
                     shown_name(mapping.actual.c_str()).c_str());
        std::fflush(stderr);
        result = EngineStatus::warning;
    }
    return result;
}

// Hands the actual path to `out`, which holds NAME_BUFFER_SIZE bytes.
EngineStatus take_path(char *out) {
    MappingState &mapping = engine.host.mapping;
    if (mapping.actual.size() >= static_cast<size_t>(NAME_BUFFER_SIZE)) {
        path_too_long();
        return EngineStatus::no_memory;
    }
    std::memcpy(out, mapping.actual.c_str(), mapping.actual.size() + 1);
    mapping.output_folder = mapping.building_folder;
    release_paths();
    return EngineStatus::ok;
}

} // namespace

EngineStatus checkdir(char *text, int operation) {
    MappingState &mapping = engine.host.mapping;
    switch (operation & 7) {
    case CD_SET_ROOT:
        mapping.create_folders = engine.options.freshen ? 0 : 1;
        return set_root(text);
    case CD_START:
        return start_path();
    case CD_ADD_FOLDER:
        return mapping.building ? add_folder(text) : EngineStatus::severe_error;
    case CD_ADD_NAME:
        return mapping.building ? add_name(text) : EngineStatus::severe_error;
    case CD_TAKE_PATH:
        return mapping.building ? take_path(text) : EngineStatus::severe_error;
    case CD_RELEASE_ROOT:
        close_folders(true);
        mapping.root.clear();
        mapping.root.shrink_to_fit();
        mapping.known = FolderFacts{};
        release_paths();
        return EngineStatus::ok;
    }
    return EngineStatus::unknown_operation;
}

std::string fat_component(const char *component) {
    std::string out;
    long dot = -1;
    bool leading_dot = false;
    for (const char *p = component; *p; ++p) {
        char c = *p;
        if (c == '[' || c == ']') {
            out += '_';
        } else if (c == '.') {
            if (p == component) {
                if (p[1] == '\0') break;
                if (p[1] == '.' && p[2] == '\0') {
                    out = "..";
                    break;
                }
                out += '_'; // placeholder of the leading dot
                leading_dot = true;
            } else if (leading_dot) {
                leading_dot = false;
                out.erase(1, 1);
            }
            out += '_';
            dot = static_cast<long>(out.size()) - 1;
        } else {
            out += c;
        }
    }
    if (dot < 0) {
        size_t underscore = out.rfind('_');
        if (underscore != std::string::npos && out != "..") {
            size_t before = underscore < 8 ? underscore : 8;
            size_t after_count = out.size() - underscore - 1;
            size_t after = after_count < 3 ? after_count : 3;
            if (before + after > 8) dot = static_cast<long>(underscore);
        }
        if (dot < 0) {
            if (out.size() > 8) out.resize(8);
            return out;
        }
    }
    size_t d = static_cast<size_t>(dot);
    out[d] = '.';
    if (d > 8) {
        std::string extension = out.substr(d, 4);
        out = out.substr(0, 8) + extension;
    } else if (out.size() - d - 1 > 3) {
        out.resize(d + 4);
    }
    return out;
}

namespace {

// A component that the host would take for a device gets a safe name.
void avoid_device_name(std::string &component) {
    if (!host_reserved_name(component, engine.host.mapping.wide)) return;
    component.insert(0, "_");
    engine.host.mapping.device_renamed = 1;
}

// The warning about a component that named a device; the member's result becomes a warning.
void warn_device_renamed() {
    std::fprintf(stderr, "warning:  %s names a device; extracted as %s\n",
                 shown_name(engine.host.mapping.member.c_str()).c_str(),
                 shown_name(engine.filename).c_str());
}

// Where the member's name starts to count: after its last separator with -j (junk paths).
size_t first_mapped_character(const std::string &name) {
    size_t start = 0;
    if (engine.options.junk_paths) {
        for (size_t i = 0; i < name.size(); ++i)
            if (host_is_separator(static_cast<unsigned char>(name[i]))) start = i + 1;
    }
    return start;
}

// Walks the name from `start`: every folder component is made or checked (checkdir), the last
// component is left in `component` with its characters mapped, and `semicolon` at its last ';'
// (-1 when none). ok, nothing_to_write, or the status that fails the member.
EngineStatus map_folders(const std::string &name, size_t start, std::string &component,
                         long &semicolon) {
    int &fat_volume = engine.host.mapping.known.fat_volume; // probed at the call's first blank
    bool quote_next = false;
    for (size_t i = start; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (quote_next) {
            quote_next = false;
            // A quoted separator (or drive colon) must not split or root the path.
            if (host_splits_path(c)) c = '_';
            component += static_cast<char>(c);
            continue;
        }
        if (c == 22) {
            quote_next = true;
        } else if (host_is_separator(c)) {
            // Empty, "." and ".." folders are dropped: a name never leaves the root.
            host_trim_component(component);
            if (!component.empty() && !leaves_folder(component)) {
                avoid_device_name(component);
                EngineStatus r = checkdir(component.data(), CD_ADD_FOLDER);
                // Freshening makes no folder: a member in a missing one has nothing to freshen.
                if (r == EngineStatus::error) return EngineStatus::nothing_to_write;
                if (r > EngineStatus::warning) return r;
            }
            component.clear();
            semicolon = -1;
        } else if (c == ':') {
            component += '_';
        } else if (c == ';') {
            semicolon = static_cast<long>(component.size());
            component += ';';
        } else if (c == ' ') {
            if (!engine.kept.spaces_to_underscore && fat_volume < 0)
                fat_volume = is_fat_volume(name.c_str());
            component += (engine.kept.spaces_to_underscore || fat_volume == 1) ? '_' : ' ';
        } else if ((c >= 32 && c < 127) || (c >= 128 && c <= 254)) {
            component += static_cast<char>(c);
        }
    }
    return EngineStatus::ok;
}

// Drops a VMS version (";" and digits only) from the end of the last component, unless -V.
void drop_version(std::string &component, long semicolon) {
    if (engine.kept.keep_vms_version || semicolon < 0) return;
    size_t k = static_cast<size_t>(semicolon) + 1;
    while (k < component.size() && std::isdigit(static_cast<unsigned char>(component[k]))) ++k;
    if (k == component.size()) component.resize(static_cast<size_t>(semicolon));
}

// A folder member: its folders are made; there is nothing to write.
EngineStatus finish_folder_member() {
    MappingState &mapping = engine.host.mapping;
    EngineStatus r = checkdir(engine.filename, CD_TAKE_PATH);
    if (r != EngineStatus::ok) return r;
    if (mapping.device_renamed) warn_device_renamed();
    if (mapping.folder_created && !engine.options.quiet) {
        std::fprintf(stdout, "   creating: %-22s\n", shown_name(engine.filename).c_str());
        return EngineStatus::folder_created;
    }
    return EngineStatus::nothing_to_write;
}

// A volume label member: the label is set on the drive; there is nothing to write.
EngineStatus set_label() {
    char drive[3] = {static_cast<char>('a' + engine.host.mapping.label_drive - 1), ':', '\0'};
    if (!engine.options.quiet)
        std::fprintf(stdout, "labelling %s %-22s\n", drive, shown_name(engine.filename).c_str());
    if (host_set_volume_label(drive, engine.filename)) return EngineStatus::nothing_to_write;
    std::fprintf(stderr, "mapname:  error setting volume label\n");
    return EngineStatus::severe_error;
}

} // namespace

EngineStatus mapname() {
    MappingState &mapping = engine.host.mapping;
    mapping.create_folders = engine.options.freshen ? 0 : 1;
    mapping.folder_created = 0;
    mapping.device_renamed = 0;
    mapping.member = engine.filename;
    // A name decoded from UTF-8 is given the form the host's calls take.
    mapping.wide = engine.current && engine.current->utf8_name && host_wide_name(mapping.member);
    const std::string &name = mapping.member;
    const bool label = engine.current && engine.current->volume_label;

    EngineStatus r = checkdir(nullptr, CD_START);
    if (r != EngineStatus::ok) return r;

    std::string component;
    long semicolon = -1;
    r = map_folders(name, first_mapped_character(name), component, semicolon);
    if (r != EngineStatus::ok) return r;
    drop_version(component, semicolon);
    host_trim_component(component);
    if (!name.empty() && host_is_separator(static_cast<unsigned char>(name.back())))
        return finish_folder_member();

    if (component.empty() || leaves_folder(component)) {
        std::fprintf(stderr, "mapname:  conversion of %s failed\n",
                     shown_name(name.c_str()).c_str());
        release_paths();
        return EngineStatus::severe_error;
    }

    if (!label) avoid_device_name(component);
    checkdir(component.data(), CD_ADD_NAME);
    r = checkdir(engine.filename, CD_TAKE_PATH);
    if (r != EngineStatus::ok) return r;

    if (label) return set_label();
    if (mapping.device_renamed) {
        warn_device_renamed();
        return EngineStatus::warning;
    }
    return EngineStatus::ok;
}

void map_attributes() {
    if (engine.current == nullptr) return;
    engine.current->file_attributes = (engine.central.external_attributes & 0xFF) | 0x20;
    // A Unix-made member's st_mode is the high half of its external attributes.
    constexpr int UNIX_HOST = 3;
    engine.current->unix_mode =
        engine.central.host_made_by == UNIX_HOST ? engine.central.external_attributes >> 16 : 0;
}
