// Shared set-up of the raw-stream decoder fuzz targets: runs one decoder over bytes in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>

#include "engine/engine.h"

namespace decoder_fuzz {

// Input layout: byte 0 options (bit 0: text conversion, bits 1 and 2: general purpose flags
// bits 1 and 2, bits 3 and 4: reduce factor - 1), bytes 1..3 the uncompressed size (little
// endian, at most 2^17 here so that runs stay quick), then the compressed stream.
inline void run(DecoderEntry decoder, int method_base, const uint8_t *data, size_t size) {
    static unsigned char *input = static_cast<unsigned char *>(std::malloc(INPUT_BUFFER_SIZE));
    static unsigned char *output = static_cast<unsigned char *>(std::malloc(OUTPUT_BUFFER_SIZE));
    static int empty_fd = open("/dev/null", O_RDONLY);
    static std::FILE *sink = std::fopen("/dev/null", "wb");
    if (size < 4) return;
    unsigned options = data[0];
    uint32_t uncompressed = (data[1] | (data[2] << 8) | (data[3] << 16)) & 0x1FFFF;
    data += 4;
    size -= 4;

    // The stream itself stands in the input window; the archive behind it is empty.
    static unsigned char *stream = nullptr;
    std::free(stream);
    stream = static_cast<unsigned char *>(std::malloc(size ? size : 1));
    if (size) std::memcpy(stream, data, size);

    static MemberEntry entry;
    entry = MemberEntry{};
    entry.convert_text = options & 1;
    engine.current = &entry;
    engine.input.buffer = input;
    engine.output.buffer = output;
    engine.input.archive_fd = empty_fd;
    engine.input.read_pos = stream;
    engine.input.bytes_left = static_cast<int32_t>(size);
    engine.local = LocalHeader{};
    engine.local.method =
        static_cast<uint16_t>(method_base == 2 ? 2 + ((options >> 3) & 3) : method_base);
    engine.local.flags = static_cast<uint16_t>(options & 6);
    engine.local.compressed_size = static_cast<uint32_t>(size);
    engine.local.uncompressed_size = uncompressed;
    engine.input.remaining_compressed = static_cast<int32_t>(size);
    engine.input.remaining_uncompressed = uncompressed;
    engine.options.test = 0;
    engine.options.to_stdout = 0;
    engine.output.file = sink;
    engine.output.crc_accumulator = 0xFFFFFFFFu;
    engine.output.first_block = 1;
    engine.output.pending_cr = 0;
    engine.output.disk_full_state = DiskFullState::none;
    decode_current_member(decoder);
}

} // namespace decoder_fuzz
