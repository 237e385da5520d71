// Shared set-up of the installer tests: fresh settings, worker state and headless OS layer.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <new>
#include <string>

#include "installer/worker/worker.h"
#ifndef _WIN32
#include "platform/headless/headless.h"
#endif
#include "tests/support/zip_builder.h"

namespace qeltest {

inline void reset_installer() {
    settings.~InstallSettings();
    new (&settings) InstallSettings;
    install_failed = 0;
    done_bytes = 0;
    percent_done = 0;
    backups_made = 0;
    option_files_decision = OPTION_FILES_NONE;
#ifndef _WIN32
    headless_reset();
#endif
}

// A scratch folder written the installer's way: with backslashes after the host part.
inline std::string win_path(const std::string &host_folder, const std::string &rest) {
    return rest.empty() ? host_folder : host_folder + "\\" + rest;
}

inline std::string host(const std::string &installer_path) {
    std::string out = installer_path;
    for (char &c : out)
        if (c == '\\') c = '/';
    return out;
}

class InstallerTest : public ::testing::Test {
  protected:
    void SetUp() override { reset_installer(); }
    void TearDown() override { reset_installer(); }
};

} // namespace qeltest
