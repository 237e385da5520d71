// A replace_policy for the tests, linked instead of the console's question.
#include "tests/support/scripted_replace_policy.h"

#include "engine/engine.h"

namespace qeltest {
ScriptedPolicy &scripted_policy() {
    static ScriptedPolicy policy;
    return policy;
}
} // namespace qeltest

bool replace_policy(const char *path) {
    qeltest::ScriptedPolicy &policy = qeltest::scripted_policy();
    policy.asked.emplace_back(path);
    return policy.answer;
}
