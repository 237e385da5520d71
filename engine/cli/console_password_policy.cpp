// The command line's answer to "password for this archive?": asks on the terminal, with the
// typed characters not shown.
#include "engine/cli/console_password_policy.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

#include "engine/engine_api.h"

namespace {

// Echo of the terminal's input off while the password is typed, and back as it was after.
struct HiddenInput {
#ifdef _WIN32
    HANDLE console = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    bool terminal = console != INVALID_HANDLE_VALUE && GetConsoleMode(console, &mode) != 0;
    HiddenInput() {
        if (terminal) SetConsoleMode(console, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    }
    ~HiddenInput() {
        if (terminal) SetConsoleMode(console, mode);
    }
#else
    termios mode{};
    bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &mode) == 0;
    HiddenInput() {
        if (!terminal) return;
        termios hidden = mode;
        hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
    }
    ~HiddenInput() {
        if (terminal) tcsetattr(STDIN_FILENO, TCSAFLUSH, &mode);
    }
#endif
    HiddenInput(const HiddenInput &) = delete;
    HiddenInput &operator=(const HiddenInput &) = delete;
};

} // namespace

bool console_password_policy(const char *archive, char *password, size_t size) {
    HiddenInput input;
    if (!input.terminal || size < 2) return false;
    std::fprintf(stderr, "[%s] password: ", shown_name(archive).c_str());
    std::fflush(stderr);
    bool answered = std::fgets(password, static_cast<int>(size), stdin) != nullptr;
    std::fputc('\n', stderr); // the Enter that the hidden input did not show
    if (!answered) return false;
    password[std::strcspn(password, "\r\n")] = '\0';
    return true;
}
