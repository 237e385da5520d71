// Wildcard matching of member and archive names (*, ?, [sets] and \ escapes), and the pattern
// that matches one name literally.
#include <cctype>
#include <cstring>
#include <string>

#include "engine/engine_api.h"
#include "engine/hostfs/hostfs.h"

static int fold(int c, int ignore_case) {
    c = static_cast<unsigned char>(c);
    return ignore_case ? std::tolower(c) : c;
}

int match_step(const char *p, const char *s, int ignore_case) {
    for (;;) {
        int pc = static_cast<unsigned char>(*p);
        if (pc == 0) return *s == 0 ? 1 : 0;
        if (pc == '?') {
            if (*s == 0) return 0;
            ++p;
            ++s;
            continue;
        }
        if (pc == '*') {
            if (p[1] == 0) return 1;
            for (; *s; ++s) {
                int r = match_step(p + 1, s, ignore_case);
                if (r != 0) return r;
            }
            return 2;
        }
        if (pc == '[') {
            if (*s == 0) return 0;
            ++p;
            int invert = 0;
            if (*p == '!' || *p == '^') {
                invert = 1;
                ++p;
            }
            // Find the closing bracket, passing over escaped characters.
            const char *close = p;
            while (*close && *close != ']') {
                if (*close == '\\' && close[1]) ++close;
                ++close;
            }
            if (*close == 0) return 0;
            int text_char = fold(*s, ignore_case);
            int range_start = -1;
            int escaped = (*p == '-');
            for (const char *q = p; q < close; ++q) {
                int c = static_cast<unsigned char>(*q);
                if (!escaped && c == '\\') {
                    escaped = 1;
                    continue;
                }
                if (!escaped && c == '-') {
                    range_start = static_cast<unsigned char>(q[-1]);
                    continue;
                }
                if (q[1] != '-' || q + 1 >= close) {
                    int low = range_start >= 0 ? range_start : c;
                    for (int v = low; v <= c; ++v) {
                        if (fold(v, ignore_case) == text_char) {
                            if (invert) return 0;
                            return match_step(close + 1, s + 1, ignore_case);
                        }
                    }
                }
                range_start = -1;
                escaped = 0;
            }
            if (invert) return match_step(close + 1, s + 1, ignore_case);
            return 0;
        }
        if (pc == '\\') {
            if (p[1] == 0) return 0;
            ++p;
            pc = static_cast<unsigned char>(*p);
        }
        if (*s == 0 || fold(pc, ignore_case) != fold(*s, ignore_case)) return 0;
        ++p;
        ++s;
    }
}

int wildcard_match(const char *text, const char *pattern, int ignore_case) {
    return match_step(pattern, text, ignore_case) == 1;
}

std::string literal_pattern(const char *name) {
    std::string pattern;
    for (const char *c = name; *c; ++c) {
        if (std::strchr("*?[\\", *c)) pattern += '\\';
        pattern += *c;
    }
    return pattern;
}
