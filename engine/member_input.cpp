// The current member as the decoders are handed it: its facts from the local header, its
// compressed bytes from the engine's input window (and from pieces read straight from the
// archive when much of it is left), decrypted there first when the member is encrypted, its
// output through write_out.
#include <cstdlib>

#include "engine/decoders/decoders.h"
#include "engine/engine.h"
#include "engine/hostfs/hostfs.h"

namespace {

// Counts what the decoder read directly as used: the input position and member counter come up
// to `used_to`. While the input reads pieces, only the counter moves.
void settle_input(const unsigned char *used_to) {
    if (used_to == nullptr) return;
    BulkInput &bulk = engine.bulk;
    InputWindow &window = engine.input;
    if (bulk.active) {
        window.remaining_compressed -= used_to - bulk.settled;
        bulk.settled = used_to;
        return;
    }
    int32_t used = static_cast<int32_t>(used_to - window.read_pos);
    window.read_pos = const_cast<unsigned char *>(used_to);
    window.bytes_left -= used;
    window.remaining_compressed -= used;
}

// Reads the member's next piece into the bulk buffer. Starts reading pieces when the input
// window is used up and much of the member is left. False when the input does not read pieces;
// when the archive ends inside the member, true with an empty piece, the member's input ended
// as next_byte ends it.
bool read_piece(int32_t *length) {
    BulkInput &bulk = engine.bulk;
    InputWindow &window = engine.input;
    if (!bulk.active) {
        if (window.remaining_compressed < BULK_INPUT_THRESHOLD || window.bytes_left != 0 ||
            window.window_start < 0 || window.buffer == nullptr)
            return false;
        int64_t position = window.window_start + (window.read_pos - window.buffer);
        if (host_seek(window.archive_fd, position) != position) return false;
        bulk.active = true;
        bulk.next_position = position;
    }
    int32_t want = window.remaining_compressed < BULK_PIECE_SIZE
                       ? static_cast<int32_t>(window.remaining_compressed)
                       : BULK_PIECE_SIZE;
    int got = host_read(window.archive_fd, engine.bulk_buffer, want);
    if (got <= 0) got = 0;
    bulk.piece_position = bulk.next_position;
    bulk.next_position += got;
    bulk.settled = engine.bulk_buffer;
    if (got == 0) window.remaining_compressed = 0; // the archive ends inside the member
    *length = got;
    return true;
}

// ByteSource::next over the engine's input: from the next piece, or through next_byte (which
// refills the input window), and the run after it.
int next_member_byte(void *, const unsigned char *used_to, const unsigned char **run,
                     int32_t *run_length) {
    settle_input(used_to);
    int32_t piece;
    if (engine.input.remaining_compressed > 0 && read_piece(&piece)) {
        *run = engine.bulk_buffer + (piece > 0 ? 1 : 0);
        *run_length = piece > 0 ? piece - 1 : 0;
        return piece > 0 ? engine.bulk_buffer[0] : -1;
    }
    int b = next_byte();
    if (engine.bulk.active) {
        *run = used_to; // nothing more direct; the piece stays settled where it was
        *run_length = 0;
        return b;
    }
    int32_t left = engine.input.bytes_left;
    int64_t member = engine.input.remaining_compressed;
    *run = engine.input.read_pos;
    *run_length = left < member ? left : static_cast<int32_t>(member);
    if (*run_length < 0) *run_length = 0;
    return b;
}

// ByteSource::next for an encrypted member: the same bytes, decrypted in place before the decoder
// sees them. The decoder asks for the next byte only when it has used the run it was handed, so
// every byte passes here once, in order, as the cipher needs.
int next_decrypted_byte(void *context, const unsigned char *used_to, const unsigned char **run,
                        int32_t *run_length) {
    int b = next_member_byte(context, used_to, run, run_length);
    CipherKeys &keys = engine.decryption.keys;
    if (b >= 0) {
        auto byte = static_cast<unsigned char>(b);
        decrypt_bytes(keys, &byte, 1);
        b = byte;
    }
    decrypt_bytes(keys, const_cast<unsigned char *>(*run), *run_length);
    return b;
}

// ByteSource::finish: the input position is where the decoder's reads stopped.
int64_t finish_member_input(void *, const unsigned char *used_to) {
    settle_input(used_to);
    BulkInput &bulk = engine.bulk;
    if (bulk.active) {
        bulk.active = false;
        int64_t position = bulk.piece_position + (used_to - engine.bulk_buffer);
        // The window is left empty by a failed seek, and the next reader finds that out.
        seek_archive(position - engine.input.prepended_bytes);
    }
    return engine.input.remaining_compressed;
}

void write_member_output(void *, const unsigned char *block, unsigned length) {
    write_out(block, length, 0);
}

// Shrink's blocks lie in its own output block, which text conversion may not overwrite.
void write_shrink_output(void *, const unsigned char *block, unsigned length) {
    write_out(block, length, 1);
}

constexpr unsigned METHOD_SHRUNK = 1;
constexpr size_t TEXT_CONVERSION_SIZE = 2 * SHRINK_OUTPUT_SIZE; // every byte may become two

} // namespace

DecodeOutcome decode_current_member(DecoderEntry decoder) {
    const bool shrunk = engine.local.method == METHOD_SHRUNK;
    // Shrink's text conversion needs a buffer of its own, allocated by the first such member.
    if (shrunk && engine.current && engine.current->convert_text &&
        engine.output.text_conversion_buffer == nullptr) {
        engine.output.text_conversion_buffer =
            static_cast<unsigned char *>(std::malloc(TEXT_CONVERSION_SIZE));
        if (engine.output.text_conversion_buffer == nullptr) return {DecodeResult::no_memory};
    }
    const MemberFacts member{engine.local.method, engine.local.flags, member_data_size(),
                             engine.input.remaining_uncompressed};
    engine.bulk = BulkInput{};
    // The member's first bytes are those in the input window from the input position.
    int32_t left = engine.input.bytes_left;
    int64_t in_member = engine.input.remaining_compressed;
    int32_t start_length = left < in_member ? left : static_cast<int32_t>(in_member);
    if (start_length < 0) start_length = 0;
    const bool decrypting = engine.decryption.active;
    if (decrypting) decrypt_bytes(engine.decryption.keys, engine.input.read_pos, start_length);
    const ByteSource input{nullptr, engine.input.read_pos, start_length,
                           decrypting ? next_decrypted_byte : next_member_byte,
                           finish_member_input};
    const ByteSink output{nullptr, shrunk ? write_shrink_output : write_member_output};
    return decoder(engine.decoders, member, input, output);
}
