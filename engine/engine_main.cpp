// Engine entry: the option parser, the name lists, the usage screen and the archive loop.
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "engine/decoders/decoders.h"
#include "engine/engine.h"
#include "engine/hostfs/hostfs.h"

EngineState G;

static const char ENGINE_VERSION[] = "5.1 of 7 February 1994";

// --- Signals ---------------------------------------------------------------------------------

#ifndef QEL_FUZZING // under the fuzzer, faults are its to report
static void on_signal(int signal_number) {
    if (signal_number == SIGSEGV) {
        std::fprintf(stderr, "error:  zipfile probably corrupt (%s)\n", "segmentation violation");
        std::fflush(stderr);
        std::_Exit(3);
    }
    std::_Exit(0);
}
#endif

static void install_signal_handlers() {
#ifndef QEL_FUZZING
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    std::signal(SIGSEGV, on_signal);
#endif
}

// --- Usage -----------------------------------------------------------------------------------

EngineStatus show_usage(int bad) {
    if (G.detailed_mode) {
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
                 "                                             -s  spaces in filenames => '_'\n");
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

// Applies the option letters; returns the bad-line flag. The negation count carries over
// from one option entry to the next.
static int apply_option(int letter, int &negation) {
    int neg = negation;
    negation = 0;
    switch (letter) {
    case 'a':
        if (neg)
            lower(G.text_level, neg);
        else
            ++G.text_level;
        break;
    case 'b':
        if (!neg) G.text_level = 0;
        break;
    case 'c':
        G.to_stdout = neg ? 0 : 1;
        break;
    case 'd':
    case 'e':
    case 'x':
        break;
    case 'f':
        if (neg)
            G.freshen = G.update = 0;
        else
            G.freshen = G.update = 1;
        break;
    case 'j':
        G.junk_paths = neg ? 0 : 1;
        break;
    case 'l':
        if (neg)
            lower(G.list_level, neg);
        else
            ++G.list_level;
        break;
    case 'n':
        G.never_overwrite = neg ? 0 : 1;
        break;
    case 'o':
        if (neg) {
            lower(G.overwrite_all, neg);
            lower(G.no_query, neg);
        } else {
            ++G.overwrite_all;
            ++G.no_query;
        }
        break;
    case 'p':
        if (neg) {
            G.to_stdout = 0;
            lower(G.quiet, 999);
        } else {
            G.to_stdout = 1;
            G.text_level = 0;
            G.quiet += 999;
        }
        break;
    case 'q':
        if (neg)
            lower(G.quiet, neg);
        else
            ++G.quiet;
        break;
    case 's':
        G.spaces_to_underscore = neg ? 0 : 1;
        break;
    case 't':
        G.test = neg ? 0 : 1;
        break;
    case 'u':
        G.update = neg ? 0 : 1;
        break;
    case 'U':
        G.keep_case = neg ? 0 : 1;
        break;
    case 'v':
        if (neg)
            lower(G.list_level, neg);
        else
            G.list_level = G.list_level == 0 ? 2 : G.list_level + 1;
        break;
    case 'V':
        G.keep_vms_version = neg ? 0 : 1;
        break;
    case 'z':
        if (neg)
            G.comment_level -= neg;
        else
            ++G.comment_level;
        break;
    case '$':
        if (neg)
            lower(G.volume_labels, neg);
        else
            ++G.volume_labels;
        break;
    default:
        return 1;
    }
    return 0;
}

// Parses the option entries; on success leaves argc/argv at the first non-option entry.
static EngineStatus parse_options(int *argc_in, char ***argv_in) {
    int argc = *argc_in - 1;
    char **argv = *argv_in + 1;
    int bad = 0;
    int negation = 0;
    while (argc > 0 && argv[0] != nullptr && argv[0][0] == '-') {
        for (const char *s = argv[0] + 1; *s; ++s) {
            if (*s == '-')
                ++negation;
            else
                bad |= apply_option(static_cast<unsigned char>(*s), negation);
        }
        --argc;
        ++argv;
    }
    int exclusive = (G.to_stdout != 0) + (G.test != 0) + (G.update != 0) + (G.list_level > 0);
    if (exclusive > 1 || (G.freshen && G.never_overwrite)) {
        std::fprintf(
            stderr,
            "error:  -fn or any combination of -c, -l, -p, -t, -u and -v options invalid\n");
        bad = 1;
    }
    if (G.text_level > 2) G.text_level = 2;
    if (G.overwrite_all && G.never_overwrite) {
        std::fprintf(stderr, "caution:  both -n and -o specified; ignoring -o\n");
        G.overwrite_all = 0;
    }
    *argc_in = argc;
    *argv_in = argv;
    if (argc <= 0 || bad) return show_usage(bad);
    G.create_files = !(G.to_stdout || G.test || G.list_level > 0);
    return EngineStatus::ok;
}

static void reset_options() {
    G.comment_level = G.list_level = G.update = G.keep_case = G.test = G.quiet = 0;
    G.junk_paths = G.freshen = G.extract_dir_given = G.to_stdout = G.text_level = 0;
    G.never_overwrite = G.overwrite_all = G.no_query = 0;
    G.include_names = G.exclude_names = nullptr;
    G.include_count = G.exclude_count = 0;
    G.process_all = 0;
}

static int starts_with_nocase(const char *text, const char *prefix) {
    for (; *prefix; ++text, ++prefix) {
        if (std::tolower(static_cast<unsigned char>(*text)) != *prefix) return 0;
    }
    return 1;
}

static char match_all_pattern[] = "*";
static char *match_all_list[] = {match_all_pattern, nullptr};

// Splits the names after the archive into the include and exclude lists and applies -d.
// Returns a status above error from checkdir, else ok.
static EngineStatus split_name_lists(char **names, int count) {
    G.include_names = names;
    G.include_count = count;
    G.exclude_count = 0;
    if (count == 0) {
        G.include_names = match_all_list;
        G.process_all = 1;
        return EngineStatus::ok;
    }
    int in_exclude = 0;
    int seen_d = 0;
    for (int i = 0; i < count && names[i] != nullptr; ++i) {
        char *entry = names[i];
        if (!seen_d && std::strcmp(entry, "-d") == 0) {
            seen_d = 1;
            if (in_exclude)
                G.exclude_count = static_cast<int>(&names[i] - G.exclude_names);
            else
                G.include_count = i;
            names[i] = nullptr;
            char *folder = (i + 1 < count) ? names[i + 1] : nullptr;
            if (folder == nullptr) {
                std::fprintf(stderr,
                             "error:  must specify directory to which to extract with -d option\n");
                break;
            }
            if (G.create_files) {
                G.extract_dir_given = 1;
                EngineStatus r = checkdir(folder, CD_SET_ROOT);
                if (r > EngineStatus::error) return r;
            } else {
                std::fprintf(stdout, "caution:  not extracting; -d ignored\n");
            }
            if (i == 0) {
                if (i + 2 >= count || names[i + 2] == nullptr) {
                    G.include_names = match_all_list;
                    G.include_count = 0;
                    G.process_all = 1;
                    break;
                }
                G.include_names = &names[i + 2];
                G.include_count = count - (i + 2);
            }
            ++i; // the folder
            continue;
        }
        if (in_exclude) continue;
        if (std::strcmp(entry, "-x") == 0) {
            int list_start = static_cast<int>(G.include_names - names);
            if (i == list_start) {
                G.include_names = match_all_list;
                G.include_count = 0;
            } else {
                G.include_count = i - list_start;
            }
            names[i] = nullptr;
            in_exclude = 1;
            G.exclude_names = &names[i + 1];
            G.exclude_count = count - (i + 1);
        }
    }
    // An exclude list ends at the first null entry (a later "-d").
    if (in_exclude) {
        int n = 0;
        while (n < G.exclude_count && G.exclude_names[n] != nullptr) ++n;
        G.exclude_count = n;
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

static EngineStatus archive_loop() {
    std::memcpy(central_signature, "PK\1\2", 4);
    std::memcpy(local_signature, "PK\3\4", 4);
    std::memcpy(end_signature, "PK\5\6", 4);
    int warnings = 0, fatal = 0, success = 0, no_zip = 0, directories = 0;
    EngineStatus status = EngineStatus::ok;
    EngineStatus last_result = EngineStatus::ok;
    char *last_name = nullptr;

    while (char *name = next_archive_name(G.archive_arg)) {
        last_name = name;
        G.archive_name = name;
        if (!G.quiet && last_result != EngineStatus::no_archive &&
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
        G.archive_name = last_name;
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

int engine_main(int argc, char **argv) {
    reset_options();
    install_signal_handlers();

    const char *program = argv[0] ? argv[0] : "unzip";
    if (const char *slash = std::strrchr(program, '/')) program = slash + 1;
#ifdef _WIN32
    if (const char *backslash = std::strrchr(program, '\\')) program = backslash + 1;
#endif
    G.detailed_mode = starts_with_nocase(program, "zipinfo") || starts_with_nocase(program, "ii") ||
                      (argc > 1 && argv[1] && std::strncmp(argv[1], "-Z", 2) == 0);
    G.program_name = G.detailed_mode ? "zipinfo" : "unzip";

    EngineStatus result;
    if (G.detailed_mode) {
        result = report_options(&argc, &argv);
        if (result != EngineStatus::ok || argc <= 0) return static_cast<int>(result);
        G.create_files = 0;
    } else {
        result = parse_options(&argc, &argv);
        if (result != EngineStatus::ok || argc <= 0) return static_cast<int>(result);
    }

    for (int i = 0; i < argc; ++i) {
        if (argv[i] == nullptr) continue;
        for (char *p = argv[i]; *p; ++p)
            if (*p == '\\') *p = '/';
    }

    G.archive_arg = argv[0];
    result = split_name_lists(argv + 1, argc - 1);
    if (result > EngineStatus::error) {
        checkdir(nullptr, CD_RELEASE_ROOT);
        return static_cast<int>(result);
    }

    G.input_buffer = static_cast<unsigned char *>(std::calloc(1, INPUT_BUFFER_SIZE));
    G.output_buffer = static_cast<unsigned char *>(std::malloc(OUTPUT_BUFFER_SIZE));
    if (G.input_buffer == nullptr || G.output_buffer == nullptr) {
        std::free(G.input_buffer);
        std::free(G.output_buffer);
        G.input_buffer = G.output_buffer = nullptr;
        std::fprintf(stderr, "error:  can't allocate unzip buffers\n");
        checkdir(nullptr, CD_RELEASE_ROOT);
        return static_cast<int>(EngineStatus::no_memory);
    }
    G.hold_area = G.input_buffer + INPUT_BLOCK_SIZE;

    result = archive_loop();

    deflate_release_fixed_tables();
    checkdir(nullptr, CD_RELEASE_ROOT);
    release_text_conversion_buffer();
    std::free(G.extra_field);
    G.extra_field = nullptr;
    std::free(G.input_buffer);
    std::free(G.output_buffer);
    G.input_buffer = G.output_buffer = nullptr;
    G.read_pos = nullptr;
    return static_cast<int>(result);
}
