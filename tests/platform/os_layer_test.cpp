// The OS layer's settings store, directory search and registry, on the host at hand.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "installer/worker/worker.h"
#include "platform/os_layer.h"
#include "platform/win_api.h"
#ifndef _WIN32
#include "platform/headless/headless.h"
#endif
#include "tests/support/zip_builder.h"

using namespace qeltest;

TEST(OsLayer, DirectorySearchDeliversEveryEntryWithFolderBit) {
    std::string base = scratch_dir("OsLayerSearch");
    std::filesystem::create_directories(base + "/sub");
    write_file(base + "/a.txt", "a");
    write_file(base + "/b.dat", "b");
    OsFindRecord find{};
    std::snprintf(find.name, sizeof find.name, "%s\\*.*", base.c_str());
    std::set<std::string> files, folders;
    for (int more = os_FileFindMgr(OS_FIND_START, &find); more == 0;
         more = os_FileFindMgr(OS_FIND_NEXT, &find))
        (find.attributes & OS_ATTR_FOLDER ? folders : files).insert(find.name);
    EXPECT_EQ(os_FileFindMgr(OS_FIND_END, &find), 0);
    EXPECT_EQ(files, (std::set<std::string>{"a.txt", "b.dat"}));
    EXPECT_TRUE(folders.count("sub"));
    EXPECT_TRUE(folders.count("."));

    std::snprintf(find.name, sizeof find.name, "%s\\*.txt", base.c_str());
    EXPECT_EQ(os_FileFindMgr(OS_FIND_START, &find), 0);
    EXPECT_STREQ(find.name, "a.txt");
    EXPECT_NE(os_FileFindMgr(OS_FIND_NEXT, &find), 0);
    os_FileFindMgr(OS_FIND_END, &find);

    OsFindRecord none{};
    std::snprintf(none.name, sizeof none.name, "%s\\missing\\*.*", base.c_str());
    EXPECT_NE(os_FileFindMgr(OS_FIND_START, &none), 0);
    EXPECT_EQ(os_FileFindMgr(OS_FIND_END, &none), 0);
}

TEST(OsLayer, SettingsStoreReadsExistingKeysOnly) {
#ifdef _WIN32
    WriteProfileStringA("QelTest ", "HomePath", "C:\\QELTEST");
#else
    headless_reset();
    headless_set_setting("QelTest ", "HomePath", "C:\\QELTEST");
#endif
    char buffer[28] = "";
    uint32_t length = sizeof buffer;
    EXPECT_NE(os_IniMgr(OS_INI_READ, OS_INI_SYSTEM_STORE, "QelTest ", "HomePath", buffer, &length),
              0);
    EXPECT_STREQ(buffer, "C:\\QELTEST");
    length = sizeof buffer;
    EXPECT_EQ(os_IniMgr(OS_INI_READ, OS_INI_SYSTEM_STORE, "QelTest ", "Missing", buffer, &length),
              0);
    EXPECT_EQ(os_IniMgr(OS_INI_READ, OS_INI_SYSTEM_STORE, "NoSuchApplication", "HomePath", buffer,
                        &length),
              0);
#ifdef _WIN32
    WriteProfileStringA("QelTest ", nullptr, nullptr);
#endif
}

TEST(OsLayer, FileCallsOnTheHost) {
    std::string base = scratch_dir("OsLayerFiles");
    std::string folder = base + "\\NEW";
    EXPECT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    EXPECT_FALSE(CreateDirectoryA(folder.c_str(), nullptr));
    write_file(base + "/NEW/a", "data");
    EXPECT_TRUE(CopyFileA((folder + "\\a").c_str(), (folder + "\\b").c_str(), 0));
    EXPECT_FALSE(CopyFileA((folder + "\\a").c_str(), (folder + "\\b").c_str(), 1));
    EXPECT_FALSE(CopyFileA((folder + "\\none").c_str(), (folder + "\\c").c_str(), 0));
    EXPECT_FALSE(RemoveDirectoryA(folder.c_str())); // not empty
    EXPECT_TRUE(DeleteFileA((folder + "\\a").c_str()));
    EXPECT_TRUE(DeleteFileA((folder + "\\b").c_str()));
    EXPECT_TRUE(RemoveDirectoryA(folder.c_str()));
    EXPECT_FALSE(plat_exists(folder.c_str()));
}

TEST(OsLayer, OemTextBecomesAnsi) {
    char text[] = "f\x81r \x84 \x82 \x88 \x8A \x94 \x9A \x85";
    OemToCharA(text, text);
    EXPECT_STREQ(text, "f\xFCr \xE4 \xE9 \xEA \xE8 \xF6 \xDC \xE0");
}

TEST(OsLayer, ProgramsFolderOfTheHost) {
#ifndef _WIN32
    headless_reset();
    headless_set_registry("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                          "Programs", "C:\\Start\\Programs\\");
#endif
    char out[PATH_SIZE] = "";
    if (query_programs_folder(out, sizeof out) == 0) GTEST_SKIP() << "no Programs folder recorded";
    size_t length = std::strlen(out);
    ASSERT_GT(length, 0u);
    EXPECT_NE(out[length - 1], '\\');
    EXPECT_EQ(std::strchr(out, '%'), nullptr);
}
