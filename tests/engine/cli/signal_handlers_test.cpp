// Signal handlers belong to the command-line program alone (engine/cli/unzip_main.cpp): the setup
// program runs the engine on a worker thread, and how the process ends on a signal is not the
// engine's to decide. The program's handlers leave no half-written member and never end as a
// success.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "tests/support/zip_builder.h"

using namespace qeltest;
namespace fs = std::filesystem;

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

#ifndef _WIN32
// The program extracts a member larger than it may write (a file size limit), so that it stops
// at the disk-full question with the member half written; the signal comes while it waits for
// the answer. Returns the wait status.
int interrupted_extraction(const std::string &zip, const std::string &out, int signal_number) {
    int answer[2], messages[2];
    if (pipe(answer) != 0 || pipe(messages) != 0) return -1;
    pid_t child = fork();
    if (child < 0) return -1; // never a signal to every process
    if (child == 0) {
        rlimit limit{65536, 65536};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead
        dup2(answer[0], 0);
        dup2(messages[1], 2);
        int nowhere = open("/dev/null", O_WRONLY);
        dup2(nowhere, 1);
        close(answer[1]);
        close(messages[0]);
        execl(QEL_UNZIP_PROGRAM, "unzip", "-o", zip.c_str(), "-d", out.c_str(),
              static_cast<char *>(nullptr));
        _exit(127);
    }
    close(answer[0]);
    close(messages[1]);
    std::string said;
    char buffer[256];
    ssize_t got;
    while (!contains(said, "Continue?") && (got = read(messages[0], buffer, sizeof buffer)) > 0)
        said.append(buffer, static_cast<size_t>(got));
    EXPECT_TRUE(contains(said, "Continue?")) << said;
    kill(child, signal_number);
    int status = 0;
    waitpid(child, &status, 0);
    close(answer[1]);
    close(messages[0]);
    return status;
}

TEST(SignalHandlers, AnInterruptedExtractionLeavesNothingHalfWritten) {
    std::string dir = scratch_dir("interrupted");
    Archive a;
    a.members.push_back(stored_member("big.bin", std::string(200000, 'b')));
    std::string zip = write_zip(dir + "/big.zip", a);
    std::string out = dir + "/out";
    for (int signal_number : {SIGINT, SIGTERM}) {
        for (bool replacing : {false, true}) {
            fs::remove_all(out);
            fs::create_directories(out);
            if (replacing) write_file(out + "/big.bin", std::string("precious"));
            int status = interrupted_extraction(zip, out, signal_number);
            EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << signal_number;
            std::vector<std::string> left;
            for (const auto &e : fs::directory_iterator(out))
                left.push_back(e.path().filename().string());
            EXPECT_EQ(left,
                      replacing ? std::vector<std::string>{"big.bin"} : std::vector<std::string>{})
                << signal_number;
            if (replacing) {
                EXPECT_EQ(read_text(out + "/big.bin"), "precious");
            }
        }
    }
}
#endif

} // namespace
