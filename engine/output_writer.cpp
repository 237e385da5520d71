// The output writer: every member byte passes here for its CRC-32, line-end conversion and write,
// and no more bytes than the member declares.
#include <cstdio>

#include "engine/crc32.h"
#include "engine/engine.h"

// A write failed: the user says whether the archive goes on (the member then ends with a
// warning) or stops.
static EngineStatus ask_disk_full() {
    std::fprintf(stderr, "\n%s:  write error (disk full?).  Continue? (y/n/^C) ",
                 shown_name(engine.filename).c_str());
    std::fflush(stderr);
    char answer[10];
    if (std::fgets(answer, 9, stdin) != nullptr && answer[0] == 'y')
        engine.output.disk_full_state = DiskFullState::went_on;
    else
        engine.output.disk_full_state = DiskFullState::stop;
    return EngineStatus::disk_full;
}

// Standard output failed (full, closed): nothing more can be written there, so the archive
// stops.
static EngineStatus standard_output_failed() {
    std::fprintf(stderr, "\nerror:  cannot write to standard output\n");
    engine.output.disk_full_state = DiskFullState::stop;
    return EngineStatus::disk_full;
}

// Writes a block to the member's output; a short write asks what to do (on a file) or stops.
static EngineStatus write_block(const unsigned char *block, size_t length) {
    std::FILE *out = engine.options.to_stdout ? stdout : engine.output.file;
    size_t written = out ? std::fwrite(block, 1, length, out) : 0;
    if (written < length) {
        if (engine.options.to_stdout) return standard_output_failed();
        return ask_disk_full();
    }
    return EngineStatus::ok;
}

void flush_standard_output() {
    if ((std::fflush(stdout) != 0 || std::ferror(stdout)) &&
        engine.output.disk_full_state == DiskFullState::none)
        standard_output_failed();
}

EngineStatus write_out(const unsigned char *block, unsigned length, int from_shrink) {
    // Never past the declared size: the rest is dropped and the member's input ends, so that its
    // decoder stops within the input it already holds.
    OutputState &o = engine.output;
    if (length > o.declared_size - o.produced) {
        length = static_cast<unsigned>(o.declared_size - o.produced);
        o.past_declared_size = 1;
        end_member_input();
    }
    o.produced += length;
    engine.output.crc_accumulator = crc32_update(engine.output.crc_accumulator, block, length);
    if (engine.options.test || length == 0) return EngineStatus::ok;
    if (engine.output.disk_full_state != DiskFullState::none) return EngineStatus::disk_full;
    if (!engine.current || !engine.current->convert_text) return write_block(block, length);

    // Text: CR LF, a lone CR and a lone LF all become CR LF, across block boundaries too.
    // Every byte may double, so the target takes at most half its size per piece.
    unsigned char *target =
        from_shrink ? engine.output.text_conversion_buffer : engine.output.buffer;
    if (target == nullptr) return write_block(block, length);
    const unsigned piece_limit = from_shrink ? 65536u : 32768u;
    if (engine.output.first_block) {
        engine.output.pending_cr = 0;
        engine.output.first_block = 0;
    }
    for (unsigned start = 0; start < length; start += piece_limit) {
        const unsigned char *piece = block + start;
        unsigned n = length - start < piece_limit ? length - start : piece_limit;
        unsigned i = 0;
        if (piece[0] == '\n' && engine.output.pending_cr) i = 1;
        engine.output.pending_cr = 0;
        size_t out = 0;
        for (; i < n; ++i) {
            unsigned char b = piece[i];
            if (b == '\r') {
                target[out++] = '\r';
                target[out++] = '\n';
                if (i + 1 == n)
                    engine.output.pending_cr = 1;
                else if (piece[i + 1] == '\n')
                    ++i;
            } else if (b == '\n') {
                target[out++] = '\r';
                target[out++] = '\n';
            } else {
                target[out++] = b;
            }
        }
        if (out > 0) {
            EngineStatus r = write_block(target, out);
            if (r != EngineStatus::ok) return r;
        }
    }
    return EngineStatus::ok;
}
