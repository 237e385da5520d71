// A replace policy for the tests: answers as told and records every path it was asked about.
#include "tests/support/scripted_replace_policy.h"

namespace qeltest {

ScriptedPolicy &scripted_policy() {
    static ScriptedPolicy policy;
    return policy;
}

bool scripted_replace_policy(const char *path) {
    ScriptedPolicy &policy = scripted_policy();
    policy.asked.emplace_back(path);
    return policy.answer;
}

} // namespace qeltest
