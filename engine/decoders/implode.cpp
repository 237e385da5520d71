// Implode decoder (placeholder until the decoder lands).
#include "engine/decoders/decoders.h"

int implode_decode_member() { return 1; }
