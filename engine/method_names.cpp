// The names of the compression methods this engine does not read, for the line that skips their
// members.
#include "engine/engine.h"

namespace {

struct MethodName {
    unsigned method;
    const char *name;
};

constexpr MethodName UNREAD_METHODS[] = {
    {12, "bzip2"},    {14, "LZMA"},      {16, "IBM z/OS CMPSC"}, {18, "IBM TERSE"},
    {19, "IBM LZ77"}, {20, "Zstandard"}, {93, "Zstandard"},      {94, "MP3"},
    {95, "xz"},       {96, "JPEG"},      {97, "WavPack"},        {98, "PPMd"},
    {99, "AES"},
};

} // namespace

const char *unread_method_name(unsigned method) {
    for (const MethodName &m : UNREAD_METHODS)
        if (m.method == method) return m.name;
    return nullptr;
}
