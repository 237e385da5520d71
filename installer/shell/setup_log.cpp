// The /LOG= file: what the setup did, one line per step behind its time, in UTF-8.
#include <ctime>
#include <string>

#include "installer/shell/shell.h"
#include "platform/win_api.h"

namespace {

// "2026-12-09T11:46:34Z"
std::string iso_time_now() {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
#ifdef _WIN32
    gmtime_s(&parts, &now);
#else
    gmtime_r(&now, &parts);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

} // namespace

bool open_setup_log(const char *path) {
    close_setup_log();
    // Binary: the lines end with a line feed alone on every system.
    shell_state.log.file = plat_fopen(path, "wb");
    return shell_state.log.file != nullptr;
}

void log_line(const std::string &text) {
    std::FILE *file = shell_state.log.file;
    if (file == nullptr) return;
    std::string line = text;
    // One step, one line: the boxes' line breaks become blanks.
    for (char &c : line)
        if (c == '\r' || c == '\n') c = ' ';
    std::fprintf(file, "%s %s\n", iso_time_now().c_str(), plat_utf8_of(line.c_str()).c_str());
    std::fflush(file); // what was done stands in the log even if the program dies later
}

void close_setup_log() {
    if (shell_state.log.file) std::fclose(shell_state.log.file);
    shell_state.log.file = nullptr;
}
