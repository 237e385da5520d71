// Path mapping: the extraction root, member names turned into host paths, folder creation.
#include <cctype>
#include <cstring>
#include <string>

#include "engine/engine.h"
#include "engine/hostfs/hostfs.h"

namespace {

constexpr size_t NAMED_FOLDER_LIMIT = 258; // longest named path of a folder
constexpr size_t NAMED_PATH_LIMIT = 260;   // longest named path of a file

struct MappingState {
    std::string root;   // extraction root ending in "/", empty when none
    std::string named;  // output path built from the names as they are
    std::string actual; // the same with rejected components in 8.3 form: what is created
    bool building = false;
    int create_folders = 1;
    int folder_created = 0;
    int label_drive = 0;
    std::string member; // the member name, for messages
};
MappingState M;

void release_paths() {
    M.named.clear();
    M.actual.clear();
    M.building = false;
}

bool is_separator(unsigned char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

// A component that would lead out of the folder being built.
bool leaves_folder(const std::string &component) {
    return component == "." || component == "..";
}

// Windows drops trailing dots and blanks of a component (so "..." or ". ." would read as a
// parent folder); they are dropped here first, so that the checks see what the system sees.
void trim_for_host(std::string &component) {
#ifdef _WIN32
    while (!component.empty() && (component.back() == '.' || component.back() == ' '))
        component.pop_back();
#else
    (void)component;
#endif
}

bool exists(const std::string &path, int *is_folder) {
    HostFileInfo info{};
    if (host_stat(path.c_str(), &info) != 0) return false;
    *is_folder = info.is_directory;
    return true;
}

EngineStatus set_root(char *text) {
    M.root.clear();
    if (text == nullptr || *text == '\0') return EngineStatus::ok;
    bool drive = std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':';
    size_t length = std::strlen(text);
    bool had_slash = false;
    if (text[length - 1] == '/') {
        text[--length] = '\0';
        had_slash = true;
    }
    if (length == 0) { // the file system's root itself
        M.root = "/";
        return EngineStatus::ok;
    }
    if (drive && length == 2) {
        M.root = std::string(text) + (had_slash ? "/" : "./");
        return EngineStatus::ok;
    }
    int is_folder = 0;
    if (!exists(text, &is_folder) || !is_folder) {
        if (!M.create_folders) {
            // Freshening into a missing folder: keep it as the root, so that nothing is found
            // to freshen, rather than falling back to the current folder.
            M.root = std::string(text) + "/";
            return EngineStatus::error;
        }
        if (host_make_folder(text) != 0) {
            std::fprintf(stderr, "checkdir:  can't create extraction directory: %s\n", text);
            std::fflush(stderr);
            return EngineStatus::severe_error;
        }
    }
    M.root = std::string(text) + "/";
    return EngineStatus::ok;
}

EngineStatus start_path() {
    release_paths();
    if (G.current && G.current->volume_label) {
        if (!host_volume_labels_supported()) return EngineStatus::volume_label;
        char letter;
        if (M.root.size() > 1 && M.root[1] == ':') {
            letter = M.root[0];
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
        M.label_drive = letter - 'a' + 1;
        if (!G.volume_labels || letter < 'a' || letter > 'z' ||
            (G.volume_labels == 1 && !is_removable_drive(M.label_drive)))
            return EngineStatus::volume_label;
        M.named.clear();
    } else {
        M.named = M.root;
    }
    M.actual = M.named;
    M.building = true;
    return EngineStatus::ok;
}

void path_too_long() {
    std::fprintf(stderr, "checkdir error:  path too long: %s\n", M.named.c_str());
    std::fflush(stderr);
    release_paths();
}

EngineStatus add_folder(const char *component) {
    M.named += component;
    if (is_valid_name(M.named.c_str()))
        M.actual += component;
    else
        M.actual += fat_component(component);
    bool too_long = M.named.size() > NAMED_FOLDER_LIMIT;
    int is_folder = 0;
    if (!exists(M.actual, &is_folder)) {
        if (!M.create_folders) {
            release_paths();
            return EngineStatus::error;
        }
        if (too_long) {
            path_too_long();
            return EngineStatus::no_memory;
        }
        if (host_make_folder(M.actual.c_str()) != 0) {
            std::fprintf(
                stderr,
                "checkdir error:  can't create %s\n                 unable to process %s.\n",
                M.actual.c_str(), M.member.c_str());
            std::fflush(stderr);
            release_paths();
            return EngineStatus::severe_error;
        }
        M.folder_created = 1;
    } else if (!is_folder) {
        std::fprintf(stderr,
                     "checkdir error:  %s exists but is not directory\n                 unable to "
                     "process %s.\n",
                     M.actual.c_str(), M.member.c_str());
        std::fflush(stderr);
        release_paths();
        return EngineStatus::severe_error;
    } else if (too_long) {
        path_too_long();
        return EngineStatus::no_memory;
    }
    M.named += '/';
    M.actual += '/';
    return EngineStatus::ok;
}

EngineStatus add_name(const char *name) {
    EngineStatus result = EngineStatus::ok;
    M.named += name;
    if (M.named.size() > NAMED_PATH_LIMIT) {
        size_t cut = M.named.size() - NAMED_PATH_LIMIT;
        M.named.resize(NAMED_PATH_LIMIT);
        for (size_t i = 0; i < cut; ++i)
            std::fprintf(
                stderr,
                "checkdir warning:  path too long; truncating\n                   %s\n      "
                "          -> %s\n",
                M.member.c_str(), M.named.c_str());
        std::fflush(stderr);
        result = EngineStatus::warning;
    }
    if ((G.current && G.current->volume_label) || is_valid_name(M.named.c_str()))
        M.actual += name;
    else
        M.actual += fat_component(name);
    return result;
}

// Hands the actual path to `out`, which holds NAME_BUFFER_SIZE bytes.
EngineStatus take_path(char *out) {
    if (M.actual.size() >= static_cast<size_t>(NAME_BUFFER_SIZE)) {
        path_too_long();
        return EngineStatus::no_memory;
    }
    std::memcpy(out, M.actual.c_str(), M.actual.size() + 1);
    release_paths();
    return EngineStatus::ok;
}

} // namespace

EngineStatus checkdir(char *text, int operation) {
    switch (operation & 7) {
    case CD_SET_ROOT:
        M.create_folders = G.freshen ? 0 : 1;
        return set_root(text);
    case CD_START:
        return start_path();
    case CD_ADD_FOLDER:
        return M.building ? add_folder(text) : EngineStatus::severe_error;
    case CD_ADD_NAME:
        return M.building ? add_name(text) : EngineStatus::severe_error;
    case CD_TAKE_PATH:
        return M.building ? take_path(text) : EngineStatus::severe_error;
    case CD_RELEASE_ROOT:
        M.root.clear();
        M.root.shrink_to_fit();
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

EngineStatus mapname() {
    M.create_folders = G.freshen ? 0 : 1;
    M.folder_created = 0;
    M.member = G.filename;
    const std::string &name = M.member;

    EngineStatus r = checkdir(nullptr, CD_START);
    if (r != EngineStatus::ok) return r;

    size_t start = 0;
    if (G.junk_paths) {
        for (size_t i = 0; i < name.size(); ++i)
            if (is_separator(static_cast<unsigned char>(name[i]))) start = i + 1;
    }

    int fat_volume = -1; // probed at the first blank
    std::string component;
    long semicolon = -1;
    bool quote_next = false;
    for (size_t i = start; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (quote_next) {
            quote_next = false;
            // A quoted separator (or drive colon) must not split or root the path.
#ifdef _WIN32
            if (is_separator(c) || c == ':') c = '_';
#else
            if (is_separator(c)) c = '_';
#endif
            component += static_cast<char>(c);
            continue;
        }
        if (c == 22) {
            quote_next = true;
        } else if (is_separator(c)) {
            // Empty, "." and ".." folders are dropped: a name never leaves the root.
            trim_for_host(component);
            if (!component.empty() && !leaves_folder(component)) {
                r = checkdir(component.data(), CD_ADD_FOLDER);
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
            if (!G.spaces_to_underscore && fat_volume < 0) fat_volume = is_fat_volume(name.c_str());
            component += (G.spaces_to_underscore || fat_volume == 1) ? '_' : ' ';
        } else if ((c >= 32 && c < 127) || (c >= 128 && c <= 254)) {
            component += static_cast<char>(c);
        }
    }

    if (!G.keep_vms_version && semicolon >= 0) {
        size_t k = static_cast<size_t>(semicolon) + 1;
        while (k < component.size() && std::isdigit(static_cast<unsigned char>(component[k]))) ++k;
        if (k == component.size()) component.resize(static_cast<size_t>(semicolon));
    }

    trim_for_host(component);
    if (!name.empty() && is_separator(static_cast<unsigned char>(name.back()))) {
        r = checkdir(G.filename, CD_TAKE_PATH);
        if (r != EngineStatus::ok) return r;
        if (M.folder_created && !G.quiet) {
            std::fprintf(stdout, "   creating: %-22s\n", G.filename);
            return EngineStatus::folder_created;
        }
        return EngineStatus::error;
    }

    if (component.empty() || leaves_folder(component)) {
        std::fprintf(stderr, "mapname:  conversion of %s failed\n", name.c_str());
        release_paths();
        return EngineStatus::severe_error;
    }

    checkdir(component.data(), CD_ADD_NAME);
    r = checkdir(G.filename, CD_TAKE_PATH);
    if (r != EngineStatus::ok) return r;

    if (G.current && G.current->volume_label) {
        char drive[3] = {static_cast<char>('a' + M.label_drive - 1), ':', '\0'};
        if (!G.quiet) std::fprintf(stdout, "labelling %s %-22s\n", drive, G.filename);
        if (host_set_volume_label(drive, G.filename)) return EngineStatus::error;
        std::fprintf(stderr, "mapname:  error setting volume label\n");
        return EngineStatus::severe_error;
    }
    return EngineStatus::ok;
}

void map_attributes() {
    if (G.current) G.current->file_attributes = (G.central.external_attributes & 0xFF) | 0x20;
}
