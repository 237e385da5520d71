// The fixture of the tests that call the engine's entry: a fresh scratch folder with an empty
// output folder, the scripted replace policy reset, and a run of "unzip" with arguments.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/scripted_replace_policy.h"
#include "tests/support/zip_builder.h"

namespace qeltest {

class EngineCallTest : public ::testing::Test {
  protected:
    void SetUp() override {
        scripted_policy() = ScriptedPolicy{};
        const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = scratch_dir(std::string(test->test_suite_name()) + "_" + test->name());
        out = dir + "/out";
        std::filesystem::create_directories(out);
    }
    RunResult run(std::vector<std::string> args) {
        args.insert(args.begin(), "unzip");
        return run_engine(args);
    }
    std::string dir, out;
};

} // namespace qeltest
