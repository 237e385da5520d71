// Win32 naming rules: "/" and "\" separate folders, a colon names a drive, and the file system
// drops the dots and blanks that end a name.
#include "engine/hostfs/hostfs.h"

const char *host_base_name(const char *path) {
    const char *base = path;
    for (const char *p = path; *p; ++p)
        if (host_is_separator(static_cast<unsigned char>(*p))) base = p + 1;
    return base;
}

bool host_is_separator(unsigned char c) {
    return c == '/' || c == '\\';
}

bool host_splits_path(unsigned char c) {
    return host_is_separator(c) || c == ':';
}

void host_trim_component(std::string &component) {
    while (!component.empty() && (component.back() == '.' || component.back() == ' '))
        component.pop_back();
}
