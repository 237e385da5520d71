// Listing the archive into the member table, routing members, and guarding existing files.
#include "engine/engine.h"
#include "tests/installer/installer_fixture.h"

using namespace qeltest;

namespace {

// Members made on a Unix host keep the case of their names.
Member stored(const std::string &name, const std::string &text, uint8_t host_system = 3) {
    Member m;
    m.host_made_by = host_system;
    m.name = name;
    m.data = to_bytes(text);
    return m;
}

class Routing : public InstallerTest {
  protected:
    std::string base, dest;
    void SetUp() override {
        InstallerTest::SetUp();
        base = scratch_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        dest = base + "/QEL";
        copy_path(settings.destination_path, dest.c_str());
        copy_path(settings.log_path, win_path(dest, "LOG").c_str());
        copy_path(settings.options_path, win_path(dest, "OPTIONS").c_str());
        copy_path(settings.script_path, win_path(dest, "SCRIPT").c_str());
        copy_path(settings.upload_path, win_path(base, "UP").c_str());
        copy_path(settings.download_path, win_path(dest, "DOWNLOAD").c_str());
        copy_path(settings.archive_name, (base + "/INSTALL.FIL").c_str());
    }
    void write_archive(const std::vector<Member> &members) {
        Archive archive;
        archive.members = members;
        write_file(base + "/INSTALL.FIL", build_zip(archive));
    }
    // Runs the listing and every extraction, quietly; returns the trace on standard error.
    std::string install_all() {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        if (list_archive() == 0)
            for (size_t i = 0; i < archive_members.size() && !worker_state.install_failed; ++i) {
                get_zip_name(archive_members[i].c_str());
                add_member_progress(archive_member_sizes[i]);
            }
        testing::internal::GetCapturedStdout();
        return testing::internal::GetCapturedStderr();
    }
    // Every backup name of the file, classic and numbered, taken by a folder.
    void take_backup_names(const std::string &file) {
        for (char digit = '0'; digit <= '9'; ++digit)
            std::filesystem::create_directories(backup_name(file.c_str(), digit));
    }
    std::string text_of(const std::string &path) {
        Bytes data = read_file(path);
        return std::string(data.begin(), data.end());
    }
};

} // namespace

TEST_F(Routing, RouteByFirstComponent) {
    EXPECT_EQ(route_base("log/readme.txt"), settings.log_path);
    EXPECT_EQ(route_base("OPTIONS/STANDARD.QPA"), settings.options_path);
    EXPECT_EQ(route_base("Script/x"), settings.script_path);
    EXPECT_EQ(route_base("UPLOAD/"), settings.upload_path);
    EXPECT_EQ(route_base("DOWNLOAD/a"), settings.download_path);
    EXPECT_EQ(route_base("LOGS/x"), settings.destination_path);
    EXPECT_EQ(route_base("LOG\\x"), settings.destination_path);
    EXPECT_EQ(route_base("LOG"), settings.destination_path);
    EXPECT_EQ(route_base("QEL.EXE"), settings.destination_path);
}

// The member's folders below its first component stay; a base that is a drive root keeps its
// backslash ("E:" alone would be the drive's current folder).
TEST_F(Routing, TargetFolderKeepsDeeperFolders) {
    struct Row {
        const char *member, *base, *folder;
    };
    const Row rows[] = {
        {"OPTIONS/STANDARD.QPA", "C:\\QEL\\OPTIONS", "C:\\QEL\\OPTIONS"},
        {"SCRIPT/samples/misc/first.qrx", "C:\\QEL\\SCRIPT", "C:\\QEL\\SCRIPT\\samples/misc"},
        {"UPLOAD/", "D:\\UP", "D:\\UP"},
        {"UPLOAD/sub/a.txt", "D:\\UP", "D:\\UP\\sub"},
        {"LOG/x.log", "E:\\", "E:\\"},
        {"LOG/", "E:\\", "E:\\"},
        {"LOG/sub/x.log", "E:\\", "E:\\sub"},
        {"DOWNLOAD/a.txt", "\\", "\\"},
    };
    for (const Row &row : rows) {
        for (PathField field : {&InstallSettings::log_path, &InstallSettings::script_path,
                                &InstallSettings::options_path, &InstallSettings::upload_path,
                                &InstallSettings::download_path})
            copy_path(settings.*field, row.base);
        EXPECT_EQ(member_target_folder(row.member), row.folder) << row.member;
    }
    EXPECT_EQ(member_target_folder("QEL.EXE"), dest);
    EXPECT_EQ(member_target_folder("LOGS/sub/x"), dest); // unrouted: "-j" drops its folders
}

TEST_F(Routing, MakeParentDirsLeavesTheLastLevel) {
    std::string target = win_path(base, "A\\B/C\\D");
    make_parent_dirs(target.c_str());
    EXPECT_TRUE(file_exists(base + "/A/B/C"));
    EXPECT_FALSE(file_exists(base + "/A/B/C/D"));
}

TEST_F(Routing, PercentDone) {
    EXPECT_EQ(percent_of(0, 0), 100u);
    EXPECT_EQ(percent_of(50, 200), 25u);
    // Above 42,949,672 bytes the product with 100 no longer fits 32 bits.
    EXPECT_EQ(percent_of(3000000000u, 4000000000u), 75u);
    EXPECT_EQ(percent_of(50000000u, 100000000u), 50u);
    archive_total_size = 0;
    add_member_progress(0);
    EXPECT_EQ(worker_state.percent_done, 100u);
}

TEST_F(Routing, BackupNames) {
    EXPECT_EQ(backup_name("C:\\QEL\\OPTIONS\\STANDARD.QPA"), "C:\\QEL\\OPTIONS\\STANDARD.0PA");
    EXPECT_EQ(backup_name("C:\\QEL\\PHONEBK"), "C:\\QEL\\PHONEB0");
    EXPECT_EQ(backup_name("/a.b/dir/PHONEBK"), "/a.b/dir/PHONEB0");
    EXPECT_EQ(backup_name("C:\\X\\NAME."), "C:\\X\\NAME.0");
    EXPECT_EQ(backup_name("C:\\QEL\\PHONEBK", '3'), "C:\\QEL\\PHONEB3");
}

// Names whose components are empty, name a drive or are only dots and blanks never pass;
// patterns, options and a backslash are ordinary names. Target folders stay below their base.
TEST_F(Routing, UnsafeNamesAndFoldersAreRefused) {
    for (const char *name : {"QEL.EXE", "SCRIPT/samples/misc/first.qrx", "LOG/", "LOGS/x",
                             "a\\b.txt", "[a]", "-x", "*", ".profile", "a..b", "SCRIPT/x y/z"})
        EXPECT_TRUE(member_name_safe(name)) << name;
    for (const char *name :
         {"", "/x", "\\x", "LOG//x", "LOG//", "LOG/../x", "..", "x/..", "LOG/./x", "SCRIPT/.../x",
          "SCRIPT/. ./x", "C:/x", "LOG/c:x", "a:b", "\\\\server\\share\\x", "SCRIPT\\..\\x"})
        EXPECT_FALSE(member_name_safe(name)) << name;
    const char *base = "C:\\QEL\\LOG";
    for (const char *dir : {"C:\\QEL\\LOG", "C:\\QEL\\LOG\\sub", "C:\\QEL\\LOG\\sub/deeper"})
        EXPECT_TRUE(folder_inside_base(dir, base)) << dir;
    for (const char *dir : {"C:\\QEL\\LOGS", "C:\\QEL\\LOG\\..", "C:\\QEL", "D:\\QEL\\LOG\\x",
                            "C:\\QEL\\LOG\\a\\..\\..\\x"})
        EXPECT_FALSE(folder_inside_base(dir, base)) << dir;
    EXPECT_TRUE(folder_inside_base("E:\\", "E:"));
    EXPECT_TRUE(folder_inside_base("C:\\QEL\\LOG", "C:\\QEL\\LOG\\")); // typed with its "\\"
}

// A name the engine does not find is not written: the installation fails naming it.
TEST_F(Routing, MemberTheEngineDoesNotFindFailsTheInstallation) {
    write_archive({stored("QEL.EXE", "exe")});
    testing::internal::CaptureStderr();
    EXPECT_NE(get_zip_name("PHONEBK"), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(worker_state.install_failed, 1);
    EXPECT_EQ(worker_state.failure, InstallFailure::not_found);
    EXPECT_EQ(failure_text(), std::string(message_text(MSG_INSTALL_ERROR)) +
                                  "\r\rThe member \"PHONEBK\" was not found in the archive and "
                                  "was not installed.");
}

TEST_F(Routing, ListingFillsTheMemberTableAndTraces) {
    write_archive({stored("QEL.EXE", "exe", 0), stored("LOG/", "", 0),
                   stored("OPTIONS/STANDARD.QPA", "QPA3.10\n", 0)});
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int result = list_archive();
    testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(err, "get_zip_name() return=0\n\n");
    ASSERT_EQ(archive_members.size(), 3u);
    EXPECT_EQ(archive_members[2], "options/standard.qpa"); // MS-DOS names are folded
    EXPECT_EQ(route_base(archive_members[2].c_str()), settings.options_path);
    EXPECT_EQ(archive_member_sizes[0], 3u);
    EXPECT_EQ(archive_total_size, 11u);
}

TEST_F(Routing, ListingFailureMarksTheInstallation) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int result = list_archive(); // no archive written
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_NE(result, 0);
    EXPECT_EQ(worker_state.install_failed, 1);
}

TEST_F(Routing, ManyMembersWithLongNamesAreAllListed) {
    std::vector<Member> members;
    for (int i = 0; i < 300; ++i)
        members.push_back(
            stored("SCRIPT/" + std::string(160, 'n') + std::to_string(i) + ".qrx", "x"));
    write_archive(members);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(list_archive(), 0);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(archive_members.size(), 300u);
    EXPECT_EQ(archive_members[299], members[299].name);
}

// These answer the installer's questions from a script: headless only.
#ifndef _WIN32
TEST_F(Routing, InstallArchiveRoutesEveryMember) {
    write_archive({stored("LOG/", ""), stored("OPTIONS/STANDARD.QPA", "QPA3.10\n"),
                   stored("SCRIPT/samples/misc/first.qrx", "script"), stored("UPLOAD/", ""),
                   stored("UPLOAD/sub/a.txt", "up"), stored("DOWNLOAD/", ""),
                   stored("PHONEBK", "phones"), stored("log/readme.txt", "log readme"),
                   stored("LOGS/x", "not routed"), stored("QEL.EXE", "exe")});
    std::string trace = install_all();
    EXPECT_NE(
        trace.find("get_zip_name(SCRIPT/samples/misc/first.qrx)\nget_zip_name() return=0\n\n"),
        std::string::npos)
        << trace;
    // Parents are made by the installer, the last level by the engine.
    EXPECT_TRUE(file_exists(dest + "/SCRIPT/samples"));
    EXPECT_TRUE(file_exists(base + "/UP"));
    ASSERT_TRUE(file_exists(dest + "/QEL.EXE"));
    EXPECT_EQ(worker_state.install_failed, 0);
    EXPECT_EQ(text_of(dest + "/OPTIONS/STANDARD.QPA"), "QPA3.10\n");
    EXPECT_EQ(text_of(dest + "/SCRIPT/samples/misc/first.qrx"), "script");
    EXPECT_EQ(text_of(base + "/UP/sub/a.txt"), "up");
    EXPECT_EQ(text_of(dest + "/PHONEBK"), "phones");
    EXPECT_EQ(text_of(dest + "/LOG/readme.txt"), "log readme");
    EXPECT_EQ(text_of(dest + "/x"), "not routed");
    EXPECT_TRUE(file_exists(dest + "/DOWNLOAD"));
    EXPECT_EQ(worker_state.percent_done, 100u);
    EXPECT_EQ(headless_boxes().size(), 0u); // nothing existed: no questions
}

TEST_F(Routing, ProtectedFileQuestionYesBacksUp) {
    std::filesystem::create_directories(dest);
    write_file(dest + "/PHONEBK", "mine");
    headless_queue_answers({1});
    EXPECT_TRUE(replace_policy((dest + "/PHONEBK").c_str()));
    ASSERT_EQ(headless_boxes().size(), 1u);
    EXPECT_EQ(headless_boxes()[0].caption, "Information");
    EXPECT_EQ(headless_boxes()[0].style, 0x91u);
    EXPECT_EQ(headless_boxes()[0].text, "Overwrite " + windows_path((dest + "/PHONEBK").c_str()) +
                                            " with QEL's installation defaults?");
    EXPECT_EQ(text_of(dest + "/PHONEB0"), "mine");
    EXPECT_EQ(worker_state.backups_made, 1);
}

TEST_F(Routing, ProtectedFileQuestionNoKeepsFile) {
    std::filesystem::create_directories(dest);
    write_file(dest + "/faxcall.qrx", "mine");
    headless_queue_answers({0});
    EXPECT_FALSE(replace_policy((dest + "/faxcall.qrx").c_str()));
    EXPECT_FALSE(file_exists(dest + "/faxcall.qr0"));
    EXPECT_EQ(worker_state.backups_made, 0);
}

TEST_F(Routing, OneQuestionForAllOptionFiles) {
    std::filesystem::create_directories(dest);
    write_file(dest + "/STANDARD.QPA", "qpa");
    write_file(dest + "/STANDARD.QKY", "qky");
    settings.language = 1;
    headless_queue_answers({1});
    EXPECT_TRUE(replace_policy((dest + "/STANDARD.QPA").c_str()));
    EXPECT_TRUE(replace_policy((dest + "/STANDARD.QKY").c_str()));
    ASSERT_EQ(headless_boxes().size(), 1u);
    EXPECT_EQ(headless_boxes()[0].text, message_text(MSG_OVERWRITE_OPTIONS));
    EXPECT_NE(headless_boxes()[0].text.find("\xFC"
                                            "berschreiben"),
              std::string::npos);
    EXPECT_EQ(text_of(dest + "/STANDARD.0PA"), "qpa");
    EXPECT_EQ(text_of(dest + "/STANDARD.0KY"), "qky");
    EXPECT_EQ(worker_state.option_files_decision, OPTION_FILES_OVERWRITE);
}

TEST_F(Routing, OptionFilesKeptAfterNo) {
    std::filesystem::create_directories(dest);
    headless_queue_answers({0, 1});
    EXPECT_FALSE(replace_policy((dest + "/STANDARD.QTB").c_str()));
    EXPECT_FALSE(replace_policy((dest + "/standard.qel").c_str()));
    EXPECT_EQ(headless_boxes().size(), 1u);
    EXPECT_EQ(worker_state.backups_made, 0);
}

// A backup that cannot be made is not counted: the user's file is kept and the user is told.
TEST_F(Routing, FailedBackupKeepsTheFile) {
    take_backup_names(dest + "/PHONEBK");
    write_file(dest + "/PHONEBK", "mine");
    headless_queue_answers({1});
    EXPECT_FALSE(replace_policy((dest + "/PHONEBK").c_str()));
    EXPECT_EQ(worker_state.backups_made, 0);
    ASSERT_EQ(headless_boxes().size(), 2u);
    EXPECT_EQ(headless_boxes()[1].caption, "Error");
    EXPECT_EQ(headless_boxes()[1].text, "Could not back up " +
                                            windows_path((dest + "/PHONEBK").c_str()) +
                                            " - the file was not overwritten.");
    EXPECT_EQ(text_of(dest + "/PHONEBK"), "mine");

    // The same for an option file, after the one question for all of them.
    take_backup_names(dest + "/STANDARD.QPA");
    write_file(dest + "/STANDARD.QPA", "qpa");
    write_file(dest + "/STANDARD.QKY", "qky");
    headless_queue_answers({1});
    EXPECT_FALSE(replace_policy((dest + "/STANDARD.QPA").c_str()));
    EXPECT_TRUE(replace_policy((dest + "/STANDARD.QKY").c_str())); // its backup works
    EXPECT_EQ(text_of(dest + "/STANDARD.0KY"), "qky");
    EXPECT_EQ(worker_state.backups_made, 1);
}

// During an installation the kept file survives the member that would have replaced it.
TEST_F(Routing, FailedBackupDuringInstallationKeepsTheFile) {
    write_archive({stored("PHONEBK", "new phones"), stored("QEL.EXE", "exe")});
    take_backup_names(dest + "/PHONEBK");
    write_file(dest + "/PHONEBK", "my phones");
    headless_queue_answers({1});
    install_all();
    ASSERT_TRUE(file_exists(dest + "/QEL.EXE"));
    EXPECT_EQ(worker_state.install_failed, 0);
    EXPECT_EQ(text_of(dest + "/PHONEBK"), "my phones");
    EXPECT_EQ(worker_state.backups_made, 0);
}

// A user path inside a question is shown as typed; only the catalogue's text is converted.
TEST_F(Routing, PathInAQuestionKeepsItsLetters) {
    settings.language = 1;
    std::string folder = base + "/Caf\xE9";
    std::filesystem::create_directories(folder);
    write_file(folder + "/PHONEBK", "mine");
    headless_queue_answers({0});
    replace_policy((folder + "/PHONEBK").c_str());
    ASSERT_EQ(headless_boxes().size(), 1u);
    EXPECT_EQ(headless_boxes()[0].text, "Datei " + windows_path((folder + "/PHONEBK").c_str()) +
                                            " mit Standardeinstellungen \xFC"
                                            "berschreiben?");
}

TEST_F(Routing, OtherFilesOverwrittenSilently) {
    std::filesystem::create_directories(dest);
    write_file(dest + "/QEL.EXE", "old");
    EXPECT_TRUE(replace_policy((dest + "/QEL.EXE").c_str()));
    EXPECT_EQ(headless_boxes().size(), 0u);
    EXPECT_EQ(worker_state.backups_made, 0);
    EXPECT_FALSE(file_exists(dest + "/QEL.EX0"));
}

TEST_F(Routing, LongQuestionIsNotCut) {
    std::string path = "/" + std::string(400, 'd') + "/PHONEBK";
    headless_queue_answers({0});
    replace_policy(path.c_str());
    ASSERT_EQ(headless_boxes().size(), 1u);
    EXPECT_NE(headless_boxes()[0].text.find(windows_path(path.c_str())), std::string::npos);
}

TEST_F(Routing, ExistingFilesAskedDuringInstallation) {
    write_archive({stored("PHONEBK", "new phones"), stored("OPTIONS/STANDARD.QPA", "new qpa"),
                   stored("OPTIONS/STANDARD.QKY", "new qky"), stored("QEL.EXE", "exe")});
    std::filesystem::create_directories(dest + "/OPTIONS");
    write_file(dest + "/PHONEBK", "my phones");
    write_file(dest + "/OPTIONS/STANDARD.QPA", "my qpa");
    write_file(dest + "/OPTIONS/STANDARD.QKY", "my qky");
    write_file(dest + "/QEL.EXE", "old exe");
    headless_queue_answers({0, 1});
    install_all();
    ASSERT_TRUE(file_exists(dest + "/OPTIONS/STANDARD.0PA"));
    EXPECT_EQ(worker_state.install_failed, 0);
    EXPECT_EQ(headless_boxes().size(), 2u);
    EXPECT_EQ(text_of(dest + "/PHONEBK"), "my phones");
    EXPECT_FALSE(file_exists(dest + "/PHONEB0"));
    EXPECT_EQ(text_of(dest + "/OPTIONS/STANDARD.QPA"), "new qpa");
    EXPECT_EQ(text_of(dest + "/OPTIONS/STANDARD.0PA"), "my qpa");
    EXPECT_EQ(text_of(dest + "/OPTIONS/STANDARD.0KY"), "my qky");
    EXPECT_EQ(text_of(dest + "/QEL.EXE"), "exe");
    EXPECT_EQ(worker_state.backups_made, 1);
}
TEST_F(Routing, LongMemberNamesAndDeepFoldersInstall) {
    std::string folder(100, 'f');
    std::string name = "SCRIPT/" + folder + "/" + std::string(120, 'n') + ".qrx";
    write_archive({stored(name, "deep"), stored("QEL.EXE", "exe")});
    install_all();
    EXPECT_TRUE(file_exists(dest + "/SCRIPT")); // made by the installer from a long target
    ASSERT_TRUE(file_exists(dest + "/QEL.EXE"));
    EXPECT_EQ(worker_state.install_failed, 0);
    EXPECT_EQ(text_of(dest + "/SCRIPT/" + folder + "/" + std::string(120, 'n') + ".qrx"), "deep");
}
#endif
