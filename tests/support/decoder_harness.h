// Runs one decoder over raw compressed bytes, outside any archive.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/engine.h"

namespace qeltest {

struct DecodeRun {
    ::DecodeResult result;
    int32_t used_compressed_size; // implode: the input it used
    std::vector<unsigned char> output;
    uint32_t crc; // final (complemented) CRC-32 of the output
};

// Feeds `compressed` through the engine's input to `decoder` with the local header's method, flags
// and sizes set as given, and collects what it passes to write_out.
DecodeRun run_decoder(::DecoderEntry decoder, const std::vector<unsigned char> &compressed,
                      uint32_t uncompressed_size, uint16_t method, uint16_t flags = 0);

} // namespace qeltest
