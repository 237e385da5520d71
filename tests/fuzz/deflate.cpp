// Fuzz target: the deflate decoder and its deflate64 variant alone on arbitrary raw bytes.
#include <cstddef>
#include <cstdint>

#include "engine/engine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The whole input is the member's compressed data, already in the input window; the output
    // only feeds the CRC (test mode).
    engine.input.read_pos = const_cast<unsigned char *>(data);
    engine.input.bytes_left = static_cast<int32_t>(size);
    engine.input.remaining_compressed = static_cast<int32_t>(size);
    engine.input.archive_fd = -1;
    engine.current = nullptr;
    engine.options.test = 1;
    engine.options.quiet = 2;
    engine.output.crc_accumulator = 0xFFFFFFFFu;
    engine.local = LocalHeader{};
    // Deflate64 for every other length.
    const bool deflate64 = size & 2;
    engine.local.method = deflate64 ? 9 : 8;
    engine.local.compressed_size = static_cast<uint32_t>(size);
    DecodeResult r =
        decode_current_member(deflate64 ? deflate64_decode_member : deflate_decode_member).result;
    // Deflate fails only in its own words: never a size mismatch or a tree description.
    if (r == DecodeResult::size_mismatch || r == DecodeResult::bad_tree) __builtin_trap();
    // Alternate between keeping and releasing the fixed tables, as consecutive engine calls do.
    if (size & 1) deflate_release_fixed_tables(engine.decoders);
    return 0;
}
