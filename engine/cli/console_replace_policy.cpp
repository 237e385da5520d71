// The command line's answer to "replace an existing file?": asks on the console.
#include "engine/cli/console_replace_policy.h"

#include <cstdio>

#include "engine/engine_api.h"

bool console_replace_policy(const char *path) {
    std::fprintf(stderr, "replace %s? [y]es, [n]o: ", shown_name(path).c_str());
    std::fflush(stderr);
    char answer[16];
    if (std::fgets(answer, sizeof answer, stdin) == nullptr) return false; // end of input: no
    return answer[0] == 'y' || answer[0] == 'Y';
}
