// The stand-alone command line: unzip, or zipinfo by program name. This process is the command
// line's own, so it, and not the engine, decides how the process ends on a signal, and it asks
// on the console before an existing file is replaced and for the password of encrypted members.
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "engine/cli/console_password_policy.h"
#include "engine/cli/console_replace_policy.h"
#include "engine/engine_api.h"

namespace {

// A signal ends the program without leaving a half-written member behind. An interrupt or
// termination request then ends it as that signal does by default (never as a success); an
// access fault with a word about the archive, whose data is the likely cause.
void on_signal(int signal_number) {
    remove_unfinished_output();
    if (signal_number == SIGSEGV) {
        std::fprintf(stderr, "error:  zipfile probably corrupt (%s)\n", "segmentation violation");
        std::fflush(stderr);
        std::_Exit(3);
    }
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
    std::_Exit(128 + signal_number); // where the default action returns
}

} // namespace

int main(int argc, char **argv) {
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    std::signal(SIGSEGV, on_signal);
    set_replace_policy(console_replace_policy);
    set_password_policy(console_password_policy);
    return engine_main(argc, argv);
}
