// Runs one decoder over raw compressed bytes, outside any archive.
#include "tests/support/decoder_harness.h"

#include <cstdio>
#include <cstdlib>

#include "engine/decoders/decoders.h"
#include "engine/engine.h"
#include "engine/hostfs/hostfs.h"

namespace qeltest {

DecodeRun run_decoder(::DecodeResult (*decoder)(), const std::vector<unsigned char> &compressed,
                      uint32_t uncompressed_size, uint16_t method, uint16_t flags) {
    DecodeRun r{};
    std::FILE *input = std::tmpfile();
    std::FILE *output = std::tmpfile();
    if (!compressed.empty()) std::fwrite(compressed.data(), 1, compressed.size(), input);
    std::fflush(input);

    unsigned char *own_in = nullptr, *own_out = nullptr;
    if (!G.input_buffer)
        G.input_buffer = own_in = static_cast<unsigned char *>(std::malloc(INPUT_BUFFER_SIZE));
    if (!G.output_buffer)
        G.output_buffer = own_out = static_cast<unsigned char *>(std::malloc(OUTPUT_BUFFER_SIZE));
    static MemberEntry entry;
    entry = MemberEntry{};
    G.current = &entry;
    G.archive_fd = fileno(input);
    host_seek(G.archive_fd, 0);
    G.window_start = 0;
    G.read_pos = G.input_buffer;
    G.bytes_left = 0;
    G.prepended_bytes = 0;
    G.local = LocalHeader{};
    G.local.method = method;
    G.local.flags = flags;
    G.local.compressed_size = static_cast<uint32_t>(compressed.size());
    G.local.uncompressed_size = uncompressed_size;
    G.remaining_compressed = static_cast<int32_t>(compressed.size());
    G.remaining_uncompressed = uncompressed_size;
    G.test = 0;
    G.to_stdout = 0;
    G.output_file = output;
    G.crc_accumulator = 0xFFFFFFFFu;
    G.first_block = 1;
    G.pending_cr = 0;
    G.disk_full_state = 0;

    r.result = decoder();
    r.crc = ~G.crc_accumulator;

    std::fflush(output);
    std::rewind(output);
    unsigned char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, output)) > 0)
        r.output.insert(r.output.end(), chunk, chunk + got);

    G.output_file = nullptr;
    G.archive_fd = -1;
    G.current = nullptr;
    std::fclose(input);
    std::fclose(output);
    deflate_release_fixed_tables();
    release_text_conversion_buffer();
    if (own_in) {
        std::free(own_in);
        G.input_buffer = nullptr;
    }
    if (own_out) {
        std::free(own_out);
        G.output_buffer = nullptr;
    }
    G.read_pos = nullptr;
    return r;
}

} // namespace qeltest
