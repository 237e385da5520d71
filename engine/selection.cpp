// Selection of members by the include and exclude lists.
#include "engine/selection.h"

#include <cstdio>
#include <new>

#include "engine/engine.h"
#include "engine/hostfs/hostfs.h"

void start_name_matches(NameMatches &matches) {
    const NameLists &names = engine.names;
    matches = NameMatches{};
    matches.tracking = true;
    if (names.include_count > 0) {
        matches.include.reset(new (std::nothrow) int[names.include_count]());
        matches.tracking = matches.include != nullptr;
    }
    if (names.exclude_count > 0 && matches.tracking) {
        matches.exclude.reset(new (std::nothrow) int[names.exclude_count]());
        matches.tracking = matches.exclude != nullptr;
    }
}

int member_selected(const char *name, int ignore_case, NameMatches *matches) {
    const NameLists &names = engine.names;
    int *include_matched = matches && matches->tracking ? matches->include.get() : nullptr;
    int *exclude_matched = matches && matches->tracking ? matches->exclude.get() : nullptr;
    if (!names.process_all) {
        // An include list cut to nothing by a leading -x still holds "*".
        int count = names.include_count > 0 ? names.include_count : 1;
        int hit = 0;
        for (int i = 0; i < count && names.include_names[i] != nullptr; ++i) {
            if (wildcard_match(name, names.include_names[i], ignore_case)) {
                if (include_matched && names.include_count > 0) include_matched[i] = 1;
                hit = 1;
                break;
            }
        }
        if (!hit) return 0;
    }
    for (int i = 0; i < names.exclude_count; ++i) {
        if (wildcard_match(name, names.exclude_names[i], ignore_case)) {
            if (exclude_matched) exclude_matched[i] = 1;
            return 0;
        }
    }
    return 1;
}

void caution_unmatched_names(const NameMatches &matches) {
    if (!matches.tracking) return;
    NameLists &names = engine.names;
    for (int i = 0; i < names.include_count && matches.include; ++i)
        if (!matches.include[i] && names.include_names[i] != nullptr) {
            std::fprintf(stderr, "caution: filename not matched:  %s\n", names.include_names[i]);
            ++names.unmatched_count;
        }
    for (int i = 0; i < names.exclude_count && matches.exclude; ++i)
        if (!matches.exclude[i] && names.exclude_names[i] != nullptr)
            std::fprintf(stderr, "caution: excluded filename not matched:  %s\n",
                         names.exclude_names[i]);
}

int names_not_matched() {
    return engine.names.unmatched_count;
}
