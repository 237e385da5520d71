// Fuzz target: the engine's command line (-l, -v, -t and extraction with a password) on an
// arbitrary archive file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "engine/engine.h"

namespace {

std::string work_folder;
std::string archive_path;
std::string extract_folder;

void write_input(const uint8_t *data, size_t size) {
    std::FILE *f = std::fopen(archive_path.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

int run(std::vector<std::string> args) {
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return engine_main(static_cast<int>(args.size()), argv.data());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    work_folder = "/tmp/qel_fuzz_" + std::to_string(::getpid());
    archive_path = work_folder + "/input.zip";
    extract_folder = work_folder + "/out";
    std::filesystem::create_directories(work_folder);
    // The engine prints through the stdout/stderr variables; point them at /dev/null. libFuzzer
    // keeps the stderr stream it took at start-up, and the sanitizers write to descriptor 2.
    std::FILE *sink = std::fopen("/dev/null", "w");
    if (sink == nullptr) std::abort();
    stdout = sink;
    stderr = sink;
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(work_folder, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    write_input(data, size);

    run({"unzip", "-l", archive_path});
    run({"unzip", "-v", archive_path});
    run({"unzip", "-t", archive_path});
    std::error_code ec;
    std::filesystem::remove_all(extract_folder, ec);
    std::filesystem::create_directories(extract_folder, ec);
    // With a password, so that encrypted members reach their header check and decoders.
    run({"unzip", "-o", "-P", "fuzz", archive_path, "-d", extract_folder});
    return 0;
}
