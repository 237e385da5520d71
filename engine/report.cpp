// The detailed archive report (placeholder until the report lands).
#include "engine/engine.h"

int report_options(int *, char ***) { return 0; }
int report_archive_header() { return 0; }
int report_members() { return 0; }
void report_usage(int) {}
