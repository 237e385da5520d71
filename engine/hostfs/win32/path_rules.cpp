// Win32 naming rules: "/" and "\" separate folders, a colon names a drive, the file system
// drops the dots and blanks that end a name, and some names are devices in every folder.
#include <cctype>
#include <string_view>

#include "engine/hostfs/host_port.h"

namespace {
constexpr std::string_view DEVICE_NAMES[] = {"CON", "PRN", "AUX", "NUL"};
constexpr std::string_view NUMBERED_DEVICES[] = {"COM", "LPT"}; // with a digit 1..9
} // namespace

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

bool host_reserved_name(const std::string &component) {
    // The device is named by what precedes the first dot, blanks at its end dropped.
    std::string base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char &c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (std::string_view device : DEVICE_NAMES)
        if (base == device) return true;
    for (std::string_view device : NUMBERED_DEVICES)
        if (base.size() == 4 && base.compare(0, 3, device) == 0 && base[3] >= '1' && base[3] <= '9')
            return true;
    return false;
}
