// POSIX naming rules: "/" separates folders, and a name is kept as it is given (UTF-8 too).
#include <cstring>

#include "engine/hostfs/host_port.h"

const char *host_base_name(const char *path) {
    const char *slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

bool host_is_separator(unsigned char c) {
    return c == '/';
}

bool host_splits_path(unsigned char c) {
    return host_is_separator(c);
}

size_t host_longest_path() {
    return 0;
}

void host_trim_component(std::string &) {}

bool host_reserved_name(const std::string &, bool) {
    return false;
}

bool host_wide_name(std::string &) {
    return false;
}

std::string host_utf8_path(const std::string &path) {
    return path;
}
