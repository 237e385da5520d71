// Selection of members by the include and exclude lists.
#include "engine/selection.h"

#include "engine/engine.h"
#include "engine/hostfs/hostfs.h"

int member_selected(const char *name, int ignore_case, int *include_matched, int *exclude_matched) {
    if (!engine.names.process_all) {
        // An include list cut to nothing by a leading -x still holds "*".
        int count = engine.names.include_count > 0 ? engine.names.include_count : 1;
        int hit = 0;
        for (int i = 0; i < count && engine.names.include_names[i] != nullptr; ++i) {
            if (wildcard_match(name, engine.names.include_names[i], ignore_case)) {
                if (include_matched && engine.names.include_count > 0) include_matched[i] = 1;
                hit = 1;
                break;
            }
        }
        if (!hit) return 0;
    }
    for (int i = 0; i < engine.names.exclude_count; ++i) {
        if (wildcard_match(name, engine.names.exclude_names[i], ignore_case)) {
            if (exclude_matched) exclude_matched[i] = 1;
            return 0;
        }
    }
    return 1;
}
