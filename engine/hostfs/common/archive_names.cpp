// Expansion of the archive argument (possibly a wildcard) into existing file names.
#include <cstdlib>
#include <cstring>

#include "engine/engine.h"
#include "engine/hostfs/hostfs.h"

namespace {
void finish_expansion() {
    ExpansionState &expansion = engine.host.expansion;
    if (expansion.search) dir_search_close(expansion.search);
    expansion.search = nullptr;
    expansion.first_call = 1;
    std::free(expansion.folder);
    expansion.folder = nullptr;
}

// Copies text into the result buffer, keeping room for a ".zip" suffix.
char *set_result(const char *prefix, size_t prefix_length, const char *name) {
    ExpansionState &expansion = engine.host.expansion;
    constexpr size_t room = ARCHIVE_NAME_BUFFER - 5;
    size_t n = prefix_length < room ? prefix_length : room;
    std::memcpy(expansion.result, prefix, n);
    size_t name_length = std::strlen(name);
    if (name_length > room - n) name_length = room - n;
    std::memcpy(expansion.result + n, name, name_length);
    expansion.result[n + name_length] = '\0';
    return expansion.result;
}

// Continues the open search; the next matching name, or null when the entries ran out.
char *next_match() {
    ExpansionState &expansion = engine.host.expansion;
    while (expansion.search && dir_search_next(expansion.search)) {
        const char *name = dir_search_name(expansion.search);
        if (!wildcard_match(name, expansion.pattern, 1)) continue;
        if (expansion.folder_named)
            return set_result(expansion.folder, expansion.folder_length, name);
        return set_result("", 0, name);
    }
    return nullptr;
}
} // namespace

char *next_archive_name(const char *archive_arg) {
    ExpansionState &expansion = engine.host.expansion;
    if (expansion.first_call) {
        expansion.first_call = 0;
        const char *cut = std::strrchr(archive_arg, '/');
        if (!cut) cut = std::strrchr(archive_arg, ':');
        if (cut) {
            expansion.folder_length = static_cast<size_t>(cut - archive_arg + 1);
            expansion.folder = static_cast<char *>(std::malloc(expansion.folder_length + 1));
            if (!expansion.folder) {
                std::fprintf(stderr, "warning:  can't allocate wildcard buffers\n");
                return set_result("", 0, archive_arg);
            }
            std::memcpy(expansion.folder, archive_arg, expansion.folder_length);
            expansion.folder[expansion.folder_length] = '\0';
            expansion.folder_named = 1;
            expansion.pattern = cut + 1;
        } else {
            expansion.folder_named = 0;
            expansion.folder_length = 0;
            expansion.pattern = archive_arg;
        }
        expansion.search = dir_search_open(expansion.folder ? expansion.folder : ".");
        if (char *r = next_match()) return r;
        // Nothing matched: the archive argument itself, tried as it is.
        if (expansion.search) dir_search_close(expansion.search);
        expansion.search = nullptr;
        return set_result("", 0, archive_arg);
    }
    if (char *r = next_match()) return r;
    finish_expansion();
    return nullptr;
}
