// Engine entry: the option parser, the name lists, the usage screen and the archive loop.
#include <cstdlib>
#include <cstring>

#include "engine/decoders/decoders.h"
#include "engine/engine.h"
#include "engine/hostfs/hostfs.h"

static const char ENGINE_VERSION[] = "5.1 of 7 February 1994";

// --- Usage -----------------------------------------------------------------------------------

EngineStatus show_usage(int bad) {
    if (engine.options.detailed_mode) {
        report_usage(bad);
        return bad ? EngineStatus::bad_command_line : EngineStatus::ok;
    }
    std::FILE *out = bad ? stderr : stdout;
    std::fprintf(out, "QEL Setup archive engine %s\n", ENGINE_VERSION);
    std::fprintf(out, "Report problems with this program to the QEL support desk.\n\n");
    std::fprintf(out,
                 "Usage: unzip %s[-opts[modifiers]] file[.zip] [list] [-x xlist] [-d exdir]\n"
                 "  Default action is to extract files in list, except those in xlist, to exdir;\n"
                 "  file[.zip] may be a wildcard.  %s\n\n",
                 "[-Z] ", "-Z => archive report mode (\"unzip -Z\" for usage).");
    std::fprintf(out,
                 "  -c  extract files to stdout/screen (CRT)   -l  list files (short format)\n"
                 "  -p  extract files to pipe, no messages     -v  list files (verbose format)\n"
                 "  -f  freshen existing files, create none    -t  test compressed archive data\n"
                 "  -u  update files, create if necessary      -z  display archive comment\n"
                 "  -x  exclude files which follow (in xlist)  -d  extract files into exdir\n\n");
    std::fprintf(out,
                 "modifiers:                                   -q  quiet mode (-qq => quieter)\n"
                 "  -n  never overwrite existing files         -a  auto-convert any text files\n"
                 "  -o  overwrite files WITHOUT prompting      -aa treat ALL files as text\n"
                 "  -j  junk paths (don't make directories)   %c-U%c don't make names lowercase\n"
                 " %-42s %c-V%c retain VMS version numbers\n%s",
                 ' ', ' ', " -$  label removables (-$$ => fixed disks)", ' ', ' ',
                 "  -P  password for encrypted members         -s  spaces in filenames => '_'\n");
    std::fprintf(out,
                 "Examples (see unzip.doc for more info):\n"
                 "  unzip data1 -x joe   => extract all files except joe from zipfile data1.zip\n"
                 "  %s\n"
                 "  unzip -fo foo %-6s => quietly replace existing %s if archive file newer\n",
                 "unzip -p foo | more  => send contents of foo.zip via pipe into program more",
                 "ReadMe", "ReadMe");
    return bad ? EngineStatus::bad_command_line : EngineStatus::ok;
}

// --- Options ---------------------------------------------------------------------------------

// Lowers a counter by the negation count, not below 0.
static void lower(int &counter, int by) {
    counter = counter > by ? counter - by : 0;
}

// A counting option: once more per letter, or lowered by the negation count.
static void count(int &counter, int negation) {
    if (negation)
        lower(counter, negation);
    else
        ++counter;
}

// A switch: on, or off when negated.
static void turn(int &flag, int negation) {
    flag = negation ? 0 : 1;
}

// One option letter and what it does; `negation` counts the '-' signs before it (0: not
// negated).
struct OptionLetter {
    char letter;
    void (*apply)(int negation);
};

// The option letters of the command line. -d, -e and -x are taken here and mean nothing (-d
// and -x count among the names).
constexpr OptionLetter OPTION_LETTERS[] = {
    {'a', [](int n) { count(engine.options.text_level, n); }},
    {'b',
     [](int n) {
         if (!n) engine.options.text_level = 0;
     }},
    {'c', [](int n) { turn(engine.options.to_stdout, n); }},
    {'d', [](int) {}},
    {'e', [](int) {}},
    {'x', [](int) {}},
    {'f', [](int n) { engine.options.freshen = engine.options.update = n ? 0 : 1; }},
    {'j', [](int n) { turn(engine.options.junk_paths, n); }},
    {'l', [](int n) { count(engine.options.list_level, n); }},
    {'n', [](int n) { turn(engine.options.never_overwrite, n); }},
    {'o',
     [](int n) {
         count(engine.options.overwrite_all, n);
         count(engine.options.no_query, n);
     }},
    {'p',
     [](int n) {
         // To a pipe: no messages (quiet far beyond any -q count) and no text conversion.
         if (n) {
             engine.options.to_stdout = 0;
             lower(engine.options.quiet, 999);
         } else {
             engine.options.to_stdout = 1;
             engine.options.text_level = 0;
             engine.options.quiet += 999;
         }
     }},
    {'q', [](int n) { count(engine.options.quiet, n); }},
    {'s', [](int n) { turn(engine.kept.spaces_to_underscore, n); }},
    {'t', [](int n) { turn(engine.options.test, n); }},
    {'u', [](int n) { turn(engine.options.update, n); }},
    {'U', [](int n) { turn(engine.options.keep_case, n); }},
    {'v',
     [](int n) {
         // The verbose listing is level 2 at once.
         if (n)
             lower(engine.options.list_level, n);
         else
             engine.options.list_level =
                 engine.options.list_level == 0 ? 2 : engine.options.list_level + 1;
     }},
    {'V', [](int n) { turn(engine.kept.keep_vms_version, n); }},
    {'z',
     [](int n) {
         // May go below zero, unlike the other counters.
         if (n)
             engine.options.comment_level -= n;
         else
             ++engine.options.comment_level;
     }},
    {'$', [](int n) { count(engine.kept.volume_labels, n); }},
};

// Option letters that take the entry after their group as their value (negated: none, and the
// value is dropped).
struct ValueOption {
    char letter;
    void (*apply)(const char *value);
};

constexpr ValueOption VALUE_OPTIONS[] = {
    {'P',
     [](const char *password) {
         engine.decryption.have_given = password != nullptr;
         engine.decryption.given = password ? password : "";
     }},
};

static const ValueOption *value_option(int letter) {
    for (const ValueOption &option : VALUE_OPTIONS)
        if (option.letter == letter) return &option;
    return nullptr;
}

// Applies one option letter; returns the bad-line flag. The negation count carries over from
// one option entry to the next and ends at the letter it negates.
static int apply_option(int letter, int &negation) {
    int neg = negation;
    negation = 0;
    for (const OptionLetter &option : OPTION_LETTERS) {
        if (option.letter == letter) {
            option.apply(neg);
            return 0;
        }
    }
    return 1;
}

// Parses the option entries; on success leaves argc/argv at the first non-option entry.
static EngineStatus parse_options(int *argc_in, char ***argv_in) {
    int argc = *argc_in - 1;
    char **argv = *argv_in + 1;
    int bad = 0;
    int negation = 0;
    while (argc > 0 && argv[0] != nullptr && argv[0][0] == '-') {
        int values = 0; // entries after this group that its letters take
        for (const char *s = argv[0] + 1; *s; ++s) {
            if (*s == '-') {
                ++negation;
            } else if (const ValueOption *option = value_option(*s)) {
                if (negation) {
                    option->apply(nullptr);
                } else if (values + 1 < argc && argv[values + 1] != nullptr) {
                    option->apply(argv[++values]);
                } else {
                    bad = 1; // the value is missing
                }
                negation = 0;
            } else {
                bad |= apply_option(static_cast<unsigned char>(*s), negation);
            }
        }
        argc -= 1 + values;
        argv += 1 + values;
    }
    int exclusive = (engine.options.to_stdout != 0) + (engine.options.test != 0) +
                    (engine.options.update != 0) + (engine.options.list_level > 0);
    if (exclusive > 1 || (engine.options.freshen && engine.options.never_overwrite)) {
        std::fprintf(
            stderr,
            "error:  -fn or any combination of -c, -l, -p, -t, -u and -v options invalid\n");
        bad = 1;
    }
    if (engine.options.text_level > 2) engine.options.text_level = 2;
    if (engine.options.overwrite_all && engine.options.never_overwrite) {
        std::fprintf(stderr, "caution:  both -n and -o specified; ignoring -o\n");
        engine.options.overwrite_all = 0;
    }
    *argc_in = argc;
    *argv_in = argv;
    if (argc <= 0 || bad) return show_usage(bad);
    engine.options.create_files =
        !(engine.options.to_stdout || engine.options.test || engine.options.list_level > 0);
    return EngineStatus::ok;
}

static int starts_with_nocase(const char *text, const char *prefix) {
    for (; *prefix; ++text, ++prefix) {
        if (std::tolower(static_cast<unsigned char>(*text)) != *prefix) return 0;
    }
    return 1;
}

// The include list when no names are given: every member.
static constexpr const char *MATCH_ALL[] = {"*", nullptr};

// The entry that ends the options among the names: every entry after it is a name as written.
static constexpr char END_OF_OPTIONS[] = "--";

static bool is_end_of_options(const char *entry) {
    return entry != nullptr && std::strcmp(entry, END_OF_OPTIONS) == 0;
}

// Drops entry i from the first `count` entries of the vector; the later ones move up.
static void drop_entry(char **names, int i, int count) {
    for (int j = i; j + 1 < count; ++j) names[j] = names[j + 1];
    names[count - 1] = nullptr;
}

// Splits the names after the archive into the include and exclude lists and applies -d. After
// an entry "--" the rest are names of the list being collected, never -x or -d.
// Returns a status above error from checkdir, else ok.
static EngineStatus split_name_lists(char **names, int count) {
    const char *const *all_names = names; // the same entries, as the lists hold them
    engine.names.include_names = names;
    engine.names.include_count = count;
    engine.names.exclude_count = 0;
    int in_exclude = 0;
    int seen_d = 0;
    int include_ended = 0; // a -d after names ends the include list for good
    for (int i = 0; i < count && names[i] != nullptr; ++i) {
        char *entry = names[i];
        if (is_end_of_options(entry)) {
            // The marker leaves the list it stands in; the entries after it stay in that list.
            const char *const *list =
                in_exclude ? engine.names.exclude_names : engine.names.include_names;
            int &list_count = in_exclude ? engine.names.exclude_count : engine.names.include_count;
            if (list + list_count == all_names + count) --list_count;
            drop_entry(names, i, count);
            break;
        }
        if (!seen_d && std::strcmp(entry, "-d") == 0) {
            seen_d = 1;
            if (in_exclude) {
                engine.names.exclude_count =
                    static_cast<int>(&all_names[i] - engine.names.exclude_names);
            } else {
                engine.names.include_count = i;
                include_ended = i != 0;
            }
            names[i] = nullptr;
            char *folder =
                (i + 1 < count && !is_end_of_options(names[i + 1])) ? names[i + 1] : nullptr;
            if (folder == nullptr || folder[0] == '\0') {
                // Extracting into whatever the current folder is would be a guess.
                std::fprintf(stderr,
                             "error:  must specify directory to which to extract with -d option\n");
                return show_usage(1);
            }
            if (engine.options.create_files) {
                engine.options.extract_dir_given = 1;
                EngineStatus r = checkdir(folder, CD_SET_ROOT);
                if (r > EngineStatus::error) return r;
            } else {
                // Standard error: with -p standard output carries nothing but member data.
                std::fprintf(stderr, "caution:  not extracting; -d ignored\n");
            }
            if (i == 0) {
                engine.names.include_names = &names[i + 2];
                engine.names.include_count = count - (i + 2);
            }
            ++i; // the folder
            continue;
        }
        if (in_exclude) continue;
        if (std::strcmp(entry, "-x") == 0) {
            int list_start = static_cast<int>(engine.names.include_names - all_names);
            if (include_ended) {
                // The include list ended at -d; the folder is not a name.
            } else if (i == list_start) {
                engine.names.include_names = MATCH_ALL;
                engine.names.include_count = 0;
            } else {
                engine.names.include_count = i - list_start;
            }
            names[i] = nullptr;
            in_exclude = 1;
            engine.names.exclude_names = &names[i + 1];
            engine.names.exclude_count = count - (i + 1);
        }
    }
    // An exclude list ends at the first null entry (a later "-d").
    if (in_exclude) {
        int n = 0;
        while (n < engine.names.exclude_count && engine.names.exclude_names[n] != nullptr) ++n;
        engine.names.exclude_count = n;
    } else if (engine.names.include_count <= 0) {
        // No names at all (none given, or only "-d" with its folder, or only "--"): every member.
        engine.names.include_names = MATCH_ALL;
        engine.names.include_count = 0;
        engine.names.process_all = 1;
    }
    return EngineStatus::ok;
}

// --- Archive loop ----------------------------------------------------------------------------

static void count_result(EngineStatus result, int &warnings, int &fatal, int &success, int &no_zip,
                         int &directories, bool count_no_zip) {
    switch (result) {
    case EngineStatus::ok:
        ++success;
        break;
    case EngineStatus::warning:
        ++warnings;
        break;
    case EngineStatus::archive_is_folder:
        ++directories;
        break;
    case EngineStatus::no_archive:
        if (count_no_zip) ++no_zip;
        break;
    default:
        ++fatal;
        break;
    }
}

// The archive to process next: its name as the file system knows it and as messages show it.
static void name_archive(const char *path) {
    engine.archive_path = path;
    engine.archive_shown = shown_name(path);
    engine.archive_name = engine.archive_shown.c_str();
}

static EngineStatus archive_loop() {
    int warnings = 0, fatal = 0, success = 0, no_zip = 0, directories = 0;
    EngineStatus status = EngineStatus::ok;
    EngineStatus last_result = EngineStatus::ok;
    char *last_name = nullptr;

    while (char *name = next_archive_name(engine.archive_arg)) {
        last_name = name;
        name_archive(name);
        if (!engine.options.quiet && last_result != EngineStatus::no_archive &&
            (warnings > 0 || no_zip > 0 || fatal > 0 || success > 0))
            std::fputc('\n', stdout);
        std::fflush(stdout);
        last_result = process_archive(0);
        count_result(last_result, warnings, fatal, success, no_zip, directories, true);
        if (last_result != EngineStatus::archive_is_folder) raise_status(status, last_result);
    }

    if (fatal + warnings + success == 0 && no_zip + directories == 1 && last_name != nullptr) {
        no_zip = directories = 0;
        if (status == EngineStatus::no_archive) status = EngineStatus::ok;
        // The expansion's buffer keeps its last result and has room for the suffix.
        std::strcat(last_name, ".zip");
        name_archive(last_name);
        EngineStatus result = process_archive(1);
        count_result(result, warnings, fatal, success, no_zip, directories, false);
        raise_status(status, result);
    }

    std::fflush(stdout);
    std::fflush(stderr);
    int others = warnings + fatal + no_zip + directories;
    if (!(success == 1 && others == 0)) std::fputc('\n', stderr);
    if (success > 1 || (success == 1 && others > 0))
        std::fprintf(stderr, "%d archive%s successfully processed.\n", success,
                     success == 1 ? " was" : "s were");
    if (warnings > 0)
        std::fprintf(stderr, "%d archive%s had warnings but no fatal errors.\n", warnings,
                     warnings == 1 ? "" : "s");
    if (fatal > 0)
        std::fprintf(stderr, "%d archive%s had fatal errors.\n", fatal, fatal == 1 ? "" : "s");
    if (no_zip > 0)
        std::fprintf(stderr, "%d file%s had no zipfile directory.\n", no_zip,
                     no_zip == 1 ? "" : "s");
    if (directories == 1)
        std::fprintf(stderr, "1 \"zipfile\" was a directory.\n");
    else if (directories > 1)
        std::fprintf(stderr, "%d \"zipfiles\" were directories.\n", directories);
    if (fatal + warnings + success == 0) std::fprintf(stderr, "No zipfiles found.\n");
    return status;
}

// --- Entry -----------------------------------------------------------------------------------

// Whatever the mode, what did not reach standard output is a failure of the call: a listing,
// a test report or a comment lost to a full or closed output must not end as a success. Where
// standard output leads nowhere from the start (the setup program has no console), nothing is
// expected of it.
static EngineStatus check_standard_output(EngineStatus status, bool expected) {
    if (!expected || (std::fflush(stdout) == 0 && !std::ferror(stdout))) return status;
    if (status < EngineStatus::disk_full) {
        std::fprintf(stderr, "\nerror:  cannot write to standard output\n");
        status = EngineStatus::disk_full;
    }
    return status;
}

int engine_main(int argc, char **argv) {
    reset_engine_state();
    std::clearerr(stdout); // an earlier call's failure is not this call's
    const bool output_expected = host_stdout_connected();

    const char *program = host_base_name(argv[0] ? argv[0] : "unzip");
    engine.options.detailed_mode = starts_with_nocase(program, "zipinfo") ||
                                   starts_with_nocase(program, "ii") ||
                                   (argc > 1 && argv[1] && std::strncmp(argv[1], "-Z", 2) == 0);
    engine.program_name = engine.options.detailed_mode ? "zipinfo" : "unzip";

    EngineStatus result;
    if (engine.options.detailed_mode) {
        result = report_options(&argc, &argv);
        if (result != EngineStatus::ok || argc <= 0)
            return static_cast<int>(check_standard_output(result, output_expected));
        engine.options.create_files = 0;
    } else {
        result = parse_options(&argc, &argv);
        if (result != EngineStatus::ok || argc <= 0)
            return static_cast<int>(check_standard_output(result, output_expected));
    }

    // Backslashes become slashes, except in the names after "--", which are taken as written.
    for (int i = 0; i < argc; ++i) {
        if (argv[i] == nullptr) continue;
        if (i > 0 && is_end_of_options(argv[i])) break;
        for (char *p = argv[i]; *p; ++p)
            if (*p == '\\') *p = '/';
    }

    engine.archive_arg = argv[0];
    result = split_name_lists(argv + 1, argc - 1);
    if (result > EngineStatus::error) {
        checkdir(nullptr, CD_RELEASE_ROOT);
        return static_cast<int>(result);
    }

    if (!allocate_call_buffers()) {
        std::fprintf(stderr, "error:  can't allocate unzip buffers\n");
        checkdir(nullptr, CD_RELEASE_ROOT);
        return static_cast<int>(EngineStatus::no_memory);
    }

    if (engine.options.create_files)
        read_time_zone(engine.host.time_zone); // once for every member of the call
    result = archive_loop();

    release_call_resources();
    return static_cast<int>(check_standard_output(result, output_expected));
}
