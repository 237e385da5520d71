// Signal handlers belong to the command-line program alone (engine/cli/unzip_main.cpp): the setup
// program runs the engine on a worker thread, and how the process ends on a signal is not the
// engine's to decide.
#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "tests/support/zip_builder.h"

using namespace qeltest;

namespace {

void marker_handler(int) {}

TEST(SignalHandlers, TheEngineInstallsNone) {
    std::string dir = scratch_dir("no_signals");
    Archive a;
    a.members.push_back(stored_member("a.txt", "hello"));
    std::string path = write_zip(dir + "/a.zip", a);
    const int signals[] = {SIGINT, SIGTERM, SIGSEGV};
    for (int s : signals) std::signal(s, marker_handler);
    RunResult r = run_engine({"unzip", "-t", path});
    EXPECT_EQ(r.status, 0) << r.err;
    for (int s : signals) EXPECT_EQ(std::signal(s, SIG_DFL), &marker_handler) << s;
}

} // namespace
