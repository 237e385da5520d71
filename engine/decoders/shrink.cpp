// Shrink decoder (placeholder until the decoder lands).
#include "engine/decoders/decoders.h"

int shrink_decode_member() { return 1; }
