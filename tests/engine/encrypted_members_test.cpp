// Members encrypted with the traditional cipher, through the engine's entry and the program: every
// method decrypted with -P, a wrong or missing password refusing the member and leaving nothing
// under its name, and the program asking on a terminal (without echo) but never without one.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#endif

#include "tests/support/deflate_writer.h"
#include "tests/support/engine_call_test.h"
#include "tests/support/legacy_encoders.h"
#include "tests/support/zip_builder.h"

using namespace qeltest;
namespace fs = std::filesystem;

namespace {

using Encrypted = EngineCallTest;

const std::string PASSWORD = "Geheim 2 x";

// A text of `size` bytes with some repetition, so that every method compresses it.
Bytes sample_text(size_t size, uint32_t seed) {
    static const char *words[] = {"modem ", "dial ", "host ", "script ", "baud ", "line\n"};
    Bytes t;
    while (t.size() < size) {
        seed = seed * 1664525u + 1013904223u;
        const char *w = words[(seed >> 16) % 6];
        t.insert(t.end(), w, w + std::strlen(w));
    }
    t.resize(size);
    return t;
}

Bytes deflate_literals(const Bytes &data) {
    DeflateWriter w;
    w.fixed_header(true);
    for (unsigned char c : data) w.fixed_literal(c);
    w.fixed_end();
    return w.finish();
}

// One member of every method the engine reads, each encrypted; the big stored one is read in
// pieces straight from the archive, the streamed one checks its header by its time.
std::vector<Member> encrypted_members() {
    const Bytes text = sample_text(3000, 1), big = sample_text(200000, 2);
    Member streamed = compressed_member("streamed.txt", 8, 0, text, deflate_literals(text));
    streamed.data_descriptor = true;
    streamed.mod_time = 0x7A31;
    std::vector<Member> plain = {
        compressed_member("stored.bin", 0, 0, big, {}),
        compressed_member("shrunk.txt", 1, 0, text, shrink_encode(text).stream),
        compressed_member("reduced.txt", 3, 0, text, reduce_encode(text, 2)),
        compressed_member("imploded.txt", 6, 2, text, implode_encode(text, 2)),
        compressed_member("deflated.txt", 8, 0, text, deflate_literals(text)),
        streamed,
    };
    std::vector<Member> members;
    uint32_t seed = 1;
    for (const Member &m : plain) members.push_back(encrypt_member(m, PASSWORD, seed++));
    return members;
}

TEST_F(Encrypted, EveryMethodDecryptsWithThePassword) {
    Archive a;
    a.members = encrypted_members();
    a.members.push_back(stored_member("plain.txt", "not encrypted"));
    const std::string zip = write_zip(dir + "/enc.zip", a);

    RunResult r = run({"-P", PASSWORD, zip, "-d", out});
    EXPECT_EQ(r.status, 0) << r.err;
    for (const Member &m : a.members)
        EXPECT_TRUE(read_file(out + "/" + m.name) == m.data) << m.name;

    r = run({"-t", "-P", PASSWORD, zip});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "No errors detected in compressed data of " + zip)) << r.out;

    // -P inside an option group takes the entry after the group.
    r = run({"-qPp", PASSWORD, zip, "deflated.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(to_bytes(r.out) == a.members[4].data);
}

// A member that cannot be decrypted: its line, status 2, and no file under its name (an existing
// one kept as it was); the other members come out.
TEST_F(Encrypted, WrongOrMissingPasswordLeavesNothing) {
    Archive a;
    a.members = {encrypt_member(stored_member("secret.txt", "the secret"), PASSWORD),
                 stored_member("plain.txt", "plain")};
    const std::string zip = write_zip(dir + "/enc.zip", a);
    struct Row {
        std::vector<std::string> options;
        const char *line;
    } rows[] = {
        {{"-P", "wrong"}, "   skipping: secret.txt              incorrect password\n"},
        {{"-P", ""}, "   skipping: secret.txt              incorrect password\n"},
        {{"-o"}, "   skipping: secret.txt              encrypted (no password given)\n"},
    };
    for (const Row &row : rows) {
        for (const char *mode : {"-o", "-t", "-p"}) {
            fs::remove_all(out);
            fs::create_directories(out);
            write_file(out + "/secret.txt", "kept");
            std::vector<std::string> args = row.options;
            args.push_back(mode);
            args.push_back(zip);
            if (std::string(mode) == "-o") args.insert(args.end(), {"-d", out});
            RunResult r = run(args);
            EXPECT_EQ(r.status, 2) << row.line << mode;
            EXPECT_TRUE(contains(r.err, row.line)) << mode << r.err;
            EXPECT_EQ(read_text(out + "/secret.txt"), "kept") << mode;
            if (std::string(mode) == "-o") {
                EXPECT_EQ(read_text(out + "/plain.txt"), "plain");
            }
        }
    }
}

// One wrong password in 256 passes the header's check: the CRC check then fails the member and
// nothing is kept of what it decoded.
TEST_F(Encrypted, WrongPasswordPassingTheCheckByteKeepsNothing) {
    Member m = encrypt_member(stored_member("secret.txt", "the secret"), PASSWORD);
    Archive a;
    a.members = {m};
    const std::string zip = write_zip(dir + "/enc.zip", a);
    std::string passing;
    for (int i = 0; i < 5000 && passing.empty(); ++i) {
        std::string guess = "guess" + std::to_string(i);
        RunResult r = run({"-qq", "-t", "-P", guess, zip});
        if (!contains(r.err, "incorrect password")) passing = guess;
    }
    ASSERT_FALSE(passing.empty());
    RunResult r = run({"-P", passing, zip, "-d", out});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "bad CRC")) << r.err;
    EXPECT_FALSE(file_exists(out + "/secret.txt"));
}

#ifndef _WIN32
// The program with its standard input from `input` (a path, or null for a pipe whose writer has
// written "password\n" and closed it): its status, within the test's own time.
int program_with_input(const std::string &zip, const std::string &out, const char *input) {
    int feed[2];
    if (input == nullptr && pipe(feed) != 0) return -1;
    pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        int in = input ? open(input, O_RDONLY) : feed[0];
        dup2(in, 0);
        int nowhere = open("/dev/null", O_WRONLY);
        dup2(nowhere, 1);
        dup2(nowhere, 2);
        execl(QEL_UNZIP_PROGRAM, "unzip", zip.c_str(), "-d", out.c_str(),
              static_cast<char *>(nullptr));
        _exit(127);
    }
    if (input == nullptr) {
        close(feed[0]);
        (void)!write(feed[1], "Geheim 2 x\n", 11);
        close(feed[1]);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Encrypted, WithoutATerminalTheProgramNeverAsks) {
    Archive a;
    a.members = {encrypt_member(stored_member("secret.txt", "the secret"), PASSWORD)};
    const std::string zip = write_zip(dir + "/enc.zip", a);
    EXPECT_EQ(program_with_input(zip, out, "/dev/null"), 2);
    EXPECT_EQ(program_with_input(zip, out, nullptr), 2);
    EXPECT_FALSE(file_exists(out + "/secret.txt"));
}

// Reads what the program writes to the terminal until `until` has come (or it ends).
std::string read_terminal(int terminal, const std::string &until) {
    std::string seen;
    while (seen.find(until) == std::string::npos) {
        pollfd p{terminal, POLLIN, 0};
        if (poll(&p, 1, 20000) <= 0) break;
        char buffer[256];
        ssize_t n = read(terminal, buffer, sizeof buffer);
        if (n <= 0) break;
        seen.append(buffer, static_cast<size_t>(n));
    }
    return seen;
}

// On a terminal the program asks once for the archive, the password typed key by key and not
// shown, and every encrypted member comes out with it.
TEST_F(Encrypted, OnATerminalTheProgramAsksOnceWithoutEcho) {
    Archive a;
    a.members = encrypted_members();
    const std::string zip = write_zip(dir + "/enc.zip", a);
    int terminal = -1;
    pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl(QEL_UNZIP_PROGRAM, "unzip", "-q", zip.c_str(), "-d", out.c_str(),
              static_cast<char *>(nullptr));
        _exit(127);
    }
    std::string screen = read_terminal(terminal, "password: ");
    EXPECT_TRUE(contains(screen, "[" + zip + "] password: ")) << screen;
    for (char key : PASSWORD + "\r") {
        ASSERT_EQ(write(terminal, &key, 1), 1);
        usleep(2000);
    }
    screen = read_terminal(terminal, "\n(end)"); // up to the program's end
    int status = 0;
    waitpid(child, &status, 0);
    close(terminal);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << screen;
    EXPECT_FALSE(contains(screen, "Geheim")) << screen;
    EXPECT_FALSE(contains(screen, "password: ")) << "asked again: " << screen;
    for (const Member &m : a.members)
        EXPECT_TRUE(read_file(out + "/" + m.name) == m.data) << m.name;
}
#endif

} // namespace
