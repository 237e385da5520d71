// The end-to-end driver of SETUP.EXE: a Windows program of its own that starts the setup, drives
// its dialog and boxes like a user, checks what it installed and exits non-zero on any failed
// check, printing what it saw. Run under Wine on a display (tests/installer/e2e/e2e_session.sh).
//
// Usage: setup_driver SCENARIO --distribution FOLDER --product FOLDER --work FOLDER
//                     [--pictures FOLDER] [--destination FOLDER]
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/installer/e2e/automation.h"
#include "tests/installer/e2e/scenarios.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: setup_driver SCENARIO --distribution FOLDER --product FOLDER "
                 "--work FOLDER [--pictures FOLDER] [--destination FOLDER]\nscenarios: %s\n",
                 e2e::scenario_names());
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) return usage();
    e2e::ScenarioPlan plan;
    plan.name = argv[1];
    for (int i = 2; i + 1 < argc; i += 2) {
        std::string option = argv[i], value = argv[i + 1];
        if (option == "--distribution")
            plan.distribution = value;
        else if (option == "--product")
            plan.product = value;
        else if (option == "--work")
            plan.work = value;
        else if (option == "--pictures")
            plan.pictures = value;
        else if (option == "--destination")
            plan.destination = value;
        else
            return usage();
    }
    if ((argc - 2) % 2 != 0 || plan.distribution.empty() || plan.product.empty() ||
        plan.work.empty())
        return usage();

    std::printf("scenario %s\n", plan.name.c_str());
    // The expected texts are the catalogue's, shown in code page 1252.
    if (GetACP() != 1252)
        e2e::fatal("the Windows code page is 1252 (it is " + std::to_string(GetACP()) +
                   "; run with a Western locale such as LC_ALL=C.UTF-8)");
    if (!e2e::run_scenario(plan)) return usage();
    int failed = e2e::failed_checks();
    std::printf("scenario %s: %s\n", plan.name.c_str(),
                failed ? (std::to_string(failed) + " checks failed").c_str() : "passed");
    return failed ? 1 : 0;
}
