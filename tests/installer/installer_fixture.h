// Shared set-up of the installer tests: fresh settings, worker and shell state, headless OS
// layer, and the main dialog loaded the way the start-up loads it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <new>
#include <string>

#include "installer/worker/worker.h"
#ifndef _WIN32
#include "platform/headless/headless.h"
#endif
#include "resources/main_dialog.h"
#include "tests/support/zip_builder.h"

namespace qeltest {

inline void reset_installer() {
#ifndef _WIN32
    headless_reset(); // first: waits for a worker still running
#endif
    settings.~InstallSettings();
    new (&settings) InstallSettings;
    shell_state = ShellState{};
    reset_worker_state();
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

// Keeps the process's current folder across a test that changes it (as the start-up does).
class CurrentFolderGuard {
  public:
    CurrentFolderGuard() : saved_(std::filesystem::current_path()) {}
    ~CurrentFolderGuard() { std::filesystem::current_path(saved_); }

  private:
    std::filesystem::path saved_;
};

#ifndef _WIN32
// The main dialog of a language, loaded as the start-up loads it (the progress bar's class
// registered first); the dialog has run its initialisation.
inline OsWindow load_main_dialog(int language = 0) {
    settings.language = language;
    register_installer_class("ProgressBar", progress_bar_proc, 0, 0);
    settings.main_dialog =
        os_LoadDlg(nullptr, nullptr, main_dialog_proc, nullptr,
                   static_cast<uint32_t>(DIALOG_TEMPLATE_IDS[language]), nullptr);
    return settings.main_dialog;
}

inline std::string field_text(OsWindow dialog, int id) {
    return headless_control(dialog, id).text;
}
#endif

} // namespace qeltest
