// Reduce decoder (placeholder until the decoder lands).
#include "engine/decoders/decoders.h"

int reduce_decode_member() { return 1; }
