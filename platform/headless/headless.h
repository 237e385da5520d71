// Test controls of the headless OS layer: scripted answers, recorded boxes, in-memory stores.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/os_layer.h"

struct RecordedBox {
    OsWindow owner;
    std::string caption;
    std::string text;
    uint32_t style;
};

struct RecordedPost {
    OsWindow window;
    uint32_t message;
    uintptr_t first;
    intptr_t second;
};

struct RecordedAssert {
    std::string text;
    std::string source;
    int line;
};

// Forgets every answer, box, window, setting, registry value, module and assertion.
void headless_reset();

// Answers of the next message boxes, in order; when they run out, boxes answer `fallback`.
void headless_queue_answers(const std::vector<int> &answers);
void headless_set_fallback_answer(int answer);
const std::vector<RecordedBox> &headless_boxes();
const std::vector<RecordedPost> &headless_posts();
const std::vector<RecordedAssert> &headless_asserts();

// A top-level window (a dialog) held in memory; controls are made by os_SubWin on demand.
OsWindow headless_new_window();

void headless_set_setting(const std::string &application, const std::string &key,
                          const std::string &value);
void headless_set_registry(const std::string &key, const std::string &name,
                           const std::string &value);
// Makes RegCreateKeyA fail (as without rights to the key).
void headless_fail_registry(bool fail);
void headless_set_sys_value(int index, int32_t value);
void headless_set_cwd(const std::string &cwd);
void headless_add_module(const std::string &name);

// Waits for every thread started with os_CreateThread.
void headless_join_threads();

// The host path of an installer path: backslashes become slashes.
std::string headless_host_path(const char *path);
