// Win32 naming rules: "/" and "\" separate folders, a colon names a drive, the file system
// drops the dots and blanks that end a name, and some names are devices in every folder.
#include <windows.h>

#include <cctype>
#include <string_view>

#include "engine/hostfs/host_port.h"

namespace {
constexpr std::string_view DEVICE_NAMES[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
constexpr std::string_view NUMBERED_DEVICES[] = {"COM", "LPT"}; // with a digit 1..9
// The superscript digits 1, 2 and 3 of the Windows code page, which number devices too.
constexpr std::string_view SUPERSCRIPT_DIGITS = "\xB9\xB2\xB3";

bool device_number(char c) {
    return (c >= '1' && c <= '9') || SUPERSCRIPT_DIGITS.find(c) != std::string_view::npos;
}
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

size_t host_longest_path() {
    return MAX_PATH - 1;
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
        if (base.size() == 4 && base.compare(0, 3, device) == 0 && device_number(base[3]))
            return true;
    return false;
}
