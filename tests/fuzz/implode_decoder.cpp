// Fuzz target: the implode decoder on a raw compressed stream.
#include "tests/fuzz/decoder_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    decoder_fuzz::run(implode_decode_member, 6, data, size);
    return 0;
}
