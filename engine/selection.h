// Selection of members by the include and exclude lists.
#pragma once

#include <memory>

// Which include and exclude names matched some member, for the cautions about the names that
// matched none. When the flags cannot be allocated, there is no bookkeeping and no caution.
struct NameMatches {
    std::unique_ptr<int[]> include; // one flag per include name
    std::unique_ptr<int[]> exclude; // one flag per exclude name
    bool tracking = false;
};

// Starts the bookkeeping for the current name lists.
void start_name_matches(NameMatches &matches);
// 1 when the member name is selected by the include and exclude lists; records which names
// matched when `matches` is given.
int member_selected(const char *name, int ignore_case, NameMatches *matches);
// Prints a caution for every include and exclude name that matched no member.
void caution_unmatched_names(const NameMatches &matches);
