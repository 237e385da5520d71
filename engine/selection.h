// Selection of members by the include and exclude lists.
#pragma once

// 1 when the member name is selected. include_matched/exclude_matched, when given, hold one
// flag per list name and record which names matched.
int member_selected(const char *name, int ignore_case, int *include_matched, int *exclude_matched);
