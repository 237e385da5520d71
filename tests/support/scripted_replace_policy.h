// A replace policy for the tests: answers as told and records every path it was asked about.
// run_engine hands it to the engine before every call.
#pragma once

#include <string>
#include <vector>

namespace qeltest {

struct ScriptedPolicy {
    bool answer = false;            // what the policy answers
    std::vector<std::string> asked; // the paths it was called with, in order
};
// The policy's state; reset it at the start of a test.
ScriptedPolicy &scripted_policy();
bool scripted_replace_policy(const char *path);

} // namespace qeltest
