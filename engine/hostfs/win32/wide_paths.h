// UTF-8 paths for the wide-character calls of Win32, which take the names that the ANSI code
// page cannot hold.
#pragma once

#include <windows.h>

#include <string>

// The UTF-8 text as wide characters (bytes that are no UTF-8 become U+FFFD).
inline std::wstring wide_text(const char *utf8) {
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}
