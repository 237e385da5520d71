// Fuzz target: the reduce decoder on a raw compressed stream.
#include "tests/fuzz/decoder_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    decoder_fuzz::run(reduce_decode_member, 2, data, size);
    return 0;
}
