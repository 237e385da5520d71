// The command line: options and values as administrators type them, and what makes the usage due.
#include "tests/installer/installer_fixture.h"

namespace {

struct Accepted {
    const char *text;
    std::optional<std::string> CommandLine::*field; // null: only the flags are checked
    const char *value;
    bool silent, overwrite;
};

TEST(CommandLineTest, OptionsAndValues) {
    const Accepted rows[] = {
        {"", nullptr, "", false, false},
        {"/SILENT", nullptr, "", true, false},
        {"/silent /Overwrite", nullptr, "", true, true},
        {"/DIR=C:\\QEL", &CommandLine::destination, "C:\\QEL", false, false},
        {"/dir=\"C:\\Program Files\\QEL\" /SILENT", &CommandLine::destination,
         "C:\\Program Files\\QEL", true, false},
        {"\"/DIR=C:\\Program Files\\QEL\"", &CommandLine::destination, "C:\\Program Files\\QEL",
         false, false},
        {"  /EXISTING=D:\\old\t", &CommandLine::existing, "D:\\old", false, false},
        {"/LOGDIR=L", &CommandLine::log_folder, "L", false, false},
        {"/OptionsDir=O", &CommandLine::options_folder, "O", false, false},
        {"/SCRIPTDIR=\"S a\"", &CommandLine::script_folder, "S a", false, false},
        {"/UPLOADDIR=U", &CommandLine::upload_folder, "U", false, false},
        {"/DOWNLOADDIR=D=x", &CommandLine::download_folder, "D=x", false, false},
        {"/LOG=setup.log", &CommandLine::log_file, "setup.log", false, false},
        {"/DIR=", &CommandLine::destination, "", false, false},
        // A quote left open runs to the end: all of it is the value.
        {"/DIR=\"C:\\Program Files\\QEL /SILENT", &CommandLine::destination,
         "C:\\Program Files\\QEL /SILENT", false, false},
    };
    for (const Accepted &row : rows) {
        CommandLine command;
        ASSERT_TRUE(parse_command_line(row.text, command)) << row.text;
        EXPECT_EQ(command.silent, row.silent) << row.text;
        EXPECT_EQ(command.overwrite, row.overwrite) << row.text;
        if (row.field) {
            EXPECT_EQ(command.*row.field, std::string(row.value)) << row.text;
        }
        EXPECT_FALSE(command.copy_given) << row.text;
    }
}

TEST(CommandLineTest, CopyNamesTheParts) {
    const std::tuple<const char *, int, int, int> rows[] = {
        {"/COPY=phonebook,options,scripts", 1, 1, 1},
        {"/copy=Scripts", 0, 0, 1},
        {"/COPY=", 0, 0, 0},
        {"/COPY=options,phonebook", 1, 1, 0},
    };
    for (const auto &[text, phonebook, options, scripts] : rows) {
        CommandLine command;
        ASSERT_TRUE(parse_command_line(text, command)) << text;
        EXPECT_TRUE(command.copy_given);
        EXPECT_EQ(command.copy_phonebook, phonebook) << text;
        EXPECT_EQ(command.copy_options, options) << text;
        EXPECT_EQ(command.copy_scripts, scripts) << text;
    }
}

TEST(CommandLineTest, UsageIsDue) {
    const std::pair<const char *, const char *> rows[] = {
        {"/?", ""},
        {"/SILENT /?", ""},
        {"/QUIET", "/QUIET"},
        {"/SILENT=1", "/SILENT=1"},
        {"/DIR", "/DIR"},
        {"/COPY=phonebook,desktop", "/COPY=phonebook,desktop"},
        {"C:\\QEL", "C:\\QEL"},
        {"/SILENT /X /Y", "/X"},
    };
    for (const auto &[text, bad_word] : rows) {
        CommandLine command;
        EXPECT_FALSE(parse_command_line(text, command)) << text;
        EXPECT_TRUE(command.usage) << text;
        EXPECT_EQ(command.bad_word, bad_word) << text;
    }
}

} // namespace
