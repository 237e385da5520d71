// Runs one decoder over raw compressed bytes, outside any archive.
#include "tests/support/decoder_harness.h"

#include <cstdio>
#include <cstdlib>

#include "engine/decoders/decoders.h"
#include "engine/engine.h"

namespace qeltest {

DecodeRun run_decoder(::DecoderEntry decoder, const std::vector<unsigned char> &compressed,
                      uint32_t uncompressed_size, uint16_t method, uint16_t flags) {
    DecodeRun r{};
    std::FILE *input = std::tmpfile();
    std::FILE *output = std::tmpfile();
    if (!compressed.empty()) std::fwrite(compressed.data(), 1, compressed.size(), input);
    std::fflush(input);

    // The engine's buffers and member records, as an engine call has them; the options stay as
    // the test set them, except that the output is written.
    if (!allocate_call_buffers()) return r;
    static MemberEntry entry;
    entry = MemberEntry{};
    engine.current = &entry;
    engine.options.test = 0;
    engine.options.to_stdout = 0;
    engine.input.archive_fd = fileno(input);
    engine.input.prepended_bytes = 0;
    engine.input.read_pos = nullptr;
    seek_archive(0); // the input window over the stream's first block, as for a member
    engine.local = LocalHeader{};
    engine.local.method = method;
    engine.local.flags = flags;
    engine.local.compressed_size = static_cast<uint32_t>(compressed.size());
    engine.local.uncompressed_size = uncompressed_size;
    engine.input.remaining_compressed = static_cast<int32_t>(compressed.size());
    engine.input.remaining_uncompressed = uncompressed_size;
    engine.output.file = output;
    engine.output.crc_accumulator = 0xFFFFFFFFu;
    engine.output.first_block = 1;
    engine.output.pending_cr = 0;
    engine.output.disk_full_state = DiskFullState::none;

    DecodeOutcome outcome = decode_current_member(decoder);
    r.result = outcome.result;
    r.used_compressed_size = outcome.used_compressed_size;
    r.crc = ~engine.output.crc_accumulator;

    std::fflush(output);
    std::rewind(output);
    unsigned char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, output)) > 0)
        r.output.insert(r.output.end(), chunk, chunk + got);

    engine.output.file = nullptr;
    engine.input.archive_fd = -1;
    engine.current = nullptr;
    std::fclose(input);
    std::fclose(output);
    release_call_resources();
    return r;
}

} // namespace qeltest
