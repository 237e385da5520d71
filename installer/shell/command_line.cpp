// The command line: the options of an unattended installation, read word by word from a table.
#include <cctype>
#include <string>
#include <vector>

#include "installer/shell/shell.h"

namespace {

// An option that takes a value ("/DIR=folder") or none ("/SILENT").
struct OptionRow {
    const char *name; // upper case, with its "/"
    std::optional<std::string> CommandLine::*value;
    bool CommandLine::*flag;
};
constexpr OptionRow option_rows[] = {
    {"/SILENT", nullptr, &CommandLine::silent},
    {"/OVERWRITE", nullptr, &CommandLine::overwrite},
    {"/UNINSTALL", nullptr, &CommandLine::uninstall},
    {"/DIR", &CommandLine::destination, nullptr},
    {"/EXISTING", &CommandLine::existing, nullptr},
    {"/LOGDIR", &CommandLine::log_folder, nullptr},
    {"/OPTIONSDIR", &CommandLine::options_folder, nullptr},
    {"/SCRIPTDIR", &CommandLine::script_folder, nullptr},
    {"/UPLOADDIR", &CommandLine::upload_folder, nullptr},
    {"/DOWNLOADDIR", &CommandLine::download_folder, nullptr},
    {"/LOG", &CommandLine::log_file, nullptr},
};
constexpr const char COPY_OPTION[] = "/COPY";

// The parts /COPY= can name.
struct CopyPart {
    const char *name; // lower case
    int CommandLine::*choice;
};
constexpr CopyPart copy_parts[] = {
    {"phonebook", &CommandLine::copy_phonebook},
    {"options", &CommandLine::copy_options},
    {"scripts", &CommandLine::copy_scripts},
};

std::string upper(std::string text) {
    for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Words separated by blanks; a quote anywhere in a word starts a stretch whose blanks belong to
// it, and the quotes themselves are dropped.
std::vector<std::string> split_words(const char *text) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, in_word = false;
    for (const char *c = text ? text : ""; *c; ++c) {
        if (*c == '"') {
            quoted = !quoted;
            in_word = true;
        } else if (!quoted && (*c == ' ' || *c == '\t')) {
            if (in_word) words.push_back(word);
            word.clear();
            in_word = false;
        } else {
            word += *c;
            in_word = true;
        }
    }
    if (in_word) words.push_back(word);
    return words;
}

// "/COPY=phonebook,scripts": false when a part is unknown.
bool read_copy_parts(const std::string &value, CommandLine &out) {
    out.copy_given = true;
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find(',', start);
        if (end == std::string::npos) end = value.size();
        std::string part = lower(value.substr(start, end - start));
        bool known = part.empty();
        for (const CopyPart &row : copy_parts)
            if (part == row.name) {
                out.*row.choice = 1;
                known = true;
            }
        if (!known) return false;
        start = end + 1;
    }
    return true;
}

bool read_word(const std::string &word, CommandLine &out) {
    size_t equals = word.find('=');
    std::string name = upper(word.substr(0, equals));
    bool has_value = equals != std::string::npos;
    std::string value = has_value ? word.substr(equals + 1) : "";
    if (name == COPY_OPTION) return has_value && read_copy_parts(value, out);
    for (const OptionRow &row : option_rows) {
        if (name != row.name) continue;
        if (row.flag) {
            out.*row.flag = true;
            return !has_value;
        }
        out.*row.value = value;
        return has_value;
    }
    return false;
}

} // namespace

bool parse_command_line(const char *text, CommandLine &out) {
    out = CommandLine{};
    for (const std::string &word : split_words(text)) {
        if (word == "/?") {
            out.usage = true;
            continue;
        }
        if (!read_word(word, out) && !out.usage) {
            out.usage = true;
            out.bad_word = word;
        }
    }
    return !out.usage;
}
