// Path mapping: 8.3 names, the extraction root, path limits and volume labels.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "engine/engine.h"
#include "engine/hostfs/hostfs.h"
#include "tests/support/zip_builder.h"

using namespace qeltest;

namespace {

TEST(FatComponent, ShortForms) {
    EXPECT_EQ(fat_component("readme.first.txt"), "readme_f.txt");
    EXPECT_EQ(fat_component("[old]"), "_old_");
    EXPECT_EQ(fat_component(".profile"), "_.pro");
    EXPECT_EQ(fat_component("verylongname"), "verylong");
    EXPECT_EQ(fat_component("abcdefgh_ijk"), "abcdefgh.ijk");
    EXPECT_EQ(fat_component("short.c"), "short.c");
    EXPECT_EQ(fat_component(".."), "..");
    EXPECT_EQ(fat_component("."), "");
    EXPECT_EQ(fat_component(".a.b"), "_a.b");
}

// Builds the output path of one name under a root, the way mapname drives checkdir.
std::string path_under(const char *root, const char *name, EngineStatus *result) {
    static MemberEntry entry;
    entry = MemberEntry{};
    engine.current = &entry;
    std::string root_text = root;
    checkdir(root_text.data(), CD_SET_ROOT);
    std::strcpy(engine.filename, name);
    *result = checkdir(nullptr, CD_START);
    std::string component = name;
    if (*result == EngineStatus::ok) checkdir(component.data(), CD_ADD_NAME);
    if (*result == EngineStatus::ok) *result = checkdir(engine.filename, CD_TAKE_PATH);
    std::string path = engine.filename;
    checkdir(nullptr, CD_RELEASE_ROOT);
    return path;
}

TEST(Checkdir, DriveRoots) {
    EngineStatus result = EngineStatus::unknown_operation;
    EXPECT_EQ(path_under("Q:", "f.txt", &result), "Q:./f.txt");
    EXPECT_EQ(result, EngineStatus::ok);
    EXPECT_EQ(path_under("Q:/", "f.txt", &result), "Q:/f.txt");
    EXPECT_EQ(result, EngineStatus::ok);
}

TEST(Checkdir, UnknownOperation) {
    EXPECT_EQ(checkdir(nullptr, 6), EngineStatus::unknown_operation);
}

TEST(Checkdir, FolderPathTooLongEvenWhenItExists) {
    std::string dir = scratch_dir("checkdir_long");
    static MemberEntry entry;
    entry = MemberEntry{};
    engine.current = &entry;
    engine.options.freshen = 0;
    checkdir(dir.data(), CD_SET_ROOT);
    std::strcpy(engine.filename, "member");
    ASSERT_EQ(checkdir(nullptr, CD_START), EngineStatus::ok);
    // Named path of exactly 259 characters: the root, a "/" and the rest.
    std::string component(259 - dir.size() - 1, 'd');
    ASSERT_LT(component.size(), 256u);
    std::filesystem::create_directories(dir + "/" + component);
    testing::internal::CaptureStderr();
    EngineStatus result = checkdir(component.data(), CD_ADD_FOLDER);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, EngineStatus::no_memory);
    EXPECT_NE(err.find("checkdir error:  path too long: "), std::string::npos);
    checkdir(nullptr, CD_RELEASE_ROOT);
}

TEST(Checkdir, ValidNames) {
    FolderFacts known;
    EXPECT_EQ(is_valid_name("plain.txt", known), 1);
    EXPECT_EQ(is_removable_drive(1) == 0 || is_removable_drive(1) == 1, true);
}

} // namespace
