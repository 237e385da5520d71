// A replace_policy for the tests: answers as told and records every path it was asked about.
#pragma once

#include <string>
#include <vector>

namespace qeltest {

struct ScriptedPolicy {
    bool answer = false;            // what replace_policy answers
    std::vector<std::string> asked; // the paths it was called with, in order
};
// The policy's state; reset it at the start of a test.
ScriptedPolicy &scripted_policy();

} // namespace qeltest
