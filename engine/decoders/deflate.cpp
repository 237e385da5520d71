// Deflate decoder (placeholder until the decoder lands).
#include "engine/decoders/decoders.h"

int deflate_decode_member() { return 1; }
void deflate_release_fixed_tables() {}
