// The installer's settings record and its path helpers.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "installer/shell/shell.h"

InstallSettings settings;

void copy_path(char *out, const char *text) {
    std::snprintf(out, PATH_SIZE, "%s", text ? text : "");
}

void join_path(char *out, const char *folder, const char *name) {
    // Built in a scratch buffer so that out may be the folder itself.
    char joined[PATH_SIZE];
    copy_path(joined, folder);
    size_t length = std::strlen(joined);
    if ((length == 0 || joined[length - 1] != '\\') && length + 1 < PATH_SIZE) {
        joined[length++] = '\\';
        joined[length] = '\0';
    }
    std::snprintf(joined + length, PATH_SIZE - length, "%s", name ? name : "");
    std::memcpy(out, joined, PATH_SIZE);
}

int compare_nocase_n(const char *a, const char *b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        int ca = std::tolower(static_cast<unsigned char>(a[i]));
        int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
    return 0;
}

int compare_nocase(const char *a, const char *b) {
    return compare_nocase_n(a, b, static_cast<size_t>(-1));
}

bool read_text_line(std::FILE *file, std::string &line) {
    line.clear();
    int c;
    bool any = false;
    while ((c = std::fgetc(file)) != EOF) {
        any = true;
        if (c == '\n') break;
        line += static_cast<char>(c);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return any;
}
