// Win32 naming rules: "/" and "\" separate folders, a colon names a drive, the file system
// drops the dots and blanks that end a name, and some names are devices in every folder; names
// the ANSI code page cannot hold go to the wide-character calls.
#include <windows.h>

#include <cctype>
#include <string_view>

#include "engine/hostfs/host_port.h"
#include "engine/hostfs/win32/wide_paths.h"

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

bool host_reserved_name(const std::string &component, bool wide) {
    // The device is named by what precedes the first dot, blanks at its end dropped.
    std::string base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char &c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    // In a UTF-8 name the superscript digits are two bytes: U+00B9, U+00B2, U+00B3.
    if (wide && base.size() == 5 && base[3] == '\xC2' && device_number(base[4])) base.erase(3, 1);
    for (std::string_view device : DEVICE_NAMES)
        if (base == device) return true;
    for (std::string_view device : NUMBERED_DEVICES)
        if (base.size() == 4 && base.compare(0, 3, device) == 0 && device_number(base[3]))
            return true;
    return false;
}

bool host_wide_name(std::string &name) {
    const std::wstring wide = wide_text(name.c_str());
    if (wide.empty()) return false;
    // Only a name that the ANSI code page holds exactly (no best-fit stand-ins, which could make a
    // separator or a dot of another character) takes the ANSI calls.
    BOOL lost = FALSE;
    const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0,
                                        nullptr, &lost);
    if (n <= 0 || lost) return true;
    std::string ansi(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, ansi.data(), n, nullptr,
                          nullptr);
    ansi.resize(static_cast<size_t>(n - 1));
    name = ansi;
    return false;
}

std::string host_utf8_path(const std::string &path) {
    const int n = ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (n <= 0) return path;
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), n);
    const int m = ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (m <= 0) return path;
    std::string utf8(static_cast<size_t>(m), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, utf8.data(), m, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(m - 1));
    return utf8;
}
