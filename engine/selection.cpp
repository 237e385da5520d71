// Selection of members by the include and exclude lists.
#include "engine/selection.h"

#include "engine/engine.h"
#include "engine/hostfs/hostfs.h"

int member_selected(const char *name, int ignore_case, int *include_matched, int *exclude_matched) {
    if (!G.process_all) {
        // An include list cut to nothing by a leading -x still holds "*".
        int count = G.include_count > 0 ? G.include_count : 1;
        int hit = 0;
        for (int i = 0; i < count && G.include_names[i] != nullptr; ++i) {
            if (wildcard_match(name, G.include_names[i], ignore_case)) {
                if (include_matched && G.include_count > 0) include_matched[i] = 1;
                hit = 1;
                break;
            }
        }
        if (!hit) return 0;
    }
    for (int i = 0; i < G.exclude_count; ++i) {
        if (wildcard_match(name, G.exclude_names[i], ignore_case)) {
            if (exclude_matched) exclude_matched[i] = 1;
            return 0;
        }
    }
    return 1;
}
