// The one bit input of every decoder: a member's compressed bytes, least significant bit first.
//
// A decoder takes the input over at the start of its bit-coded data (take_input) and hands it
// back before it returns (hand_back_input). In between it reads whole bytes straight through
// `next` while `direct` says they belong to the member, eight at a time: first those in the
// engine's input window, then, when much of the member is left, pieces of up to BULK_PIECE_SIZE
// bytes read straight from the archive (read_piece); the rest through next_byte, which refills
// the window.
//
// Past the member's end the input does not stop: it goes on supplying fill bytes, eight one bits
// each for deflate and implode and eight zero bits for shrink and reduce (what each format's
// decoder has always read there), and counts them. Every decoder looks a little ahead of the
// code it decodes, so a few fill bytes in the buffer are normal at the end of every member. Once
// more than INPUT_OVERRUN_LIMIT of them have been supplied, the input has run out
// (input_ran_out): the member's data is not all there, and every decoder ends the member instead
// of decoding data that does not exist. Before that, each format judges for itself a member that
// used fill bits: deflate fails it, implode reports the size mismatch, shrink ends at its last
// whole code, reduce decodes on to the member's size and leaves the rest to the CRC check.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "engine/engine.h"

static_assert(std::endian::native == std::endian::little,
              "the wide bit fill assumes a little-endian host");

// The most fill bytes a decoder may take before its input has run out: look-ahead needs at most
// eight (one wide fill); a decoder wanting more is decoding data that is not there.
constexpr unsigned INPUT_OVERRUN_LIMIT = 16;

constexpr unsigned char FILL_ONES = 0xFF;
constexpr unsigned char FILL_ZEROS = 0x00;

// Masks 2^n - 1 for n = 0..16.
inline constexpr uint16_t bit_masks[17] = {0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F,
                                           0x003F, 0x007F, 0x00FF, 0x01FF, 0x03FF, 0x07FF,
                                           0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF};

// Points the input at the engine's input position: the member's bytes in the window from there.
inline void attach_input(BitInput &in) {
    in.next = engine.input.read_pos;
    int32_t left = engine.input.bytes_left;
    int32_t member = engine.input.remaining_compressed;
    in.direct = left < member ? left : member;
    if (in.direct < 0) in.direct = 0;
}

// Starts reading the member's data from the engine's input position, with nothing held; past
// the member's end the input reads `fill` bytes.
inline void take_input(BitInput &in, unsigned char fill) {
    in = BitInput{};
    engine.decoders.input_end = InputEnd{fill, 0};
    engine.decoders.bulk = BulkInput{};
    attach_input(in);
}

// Counts what was read directly as used: the engine's input position and member counter come
// up to `next` (the held bits stay held). While the input reads pieces, only the counter moves.
inline void settle_input(const BitInput &in) {
    BulkInput &bulk = engine.decoders.bulk;
    if (bulk.active) {
        engine.input.remaining_compressed -= static_cast<int32_t>(in.next - bulk.settled);
        bulk.settled = in.next;
        return;
    }
    int32_t used = static_cast<int32_t>(in.next - engine.input.read_pos);
    engine.input.read_pos = const_cast<unsigned char *>(in.next);
    engine.input.bytes_left -= used;
    engine.input.remaining_compressed -= used;
}

// Hands the input back to the archive reader when the decoder is done: the engine's input position
// is where the direct reads stopped.
inline void hand_back_input(const BitInput &in) {
    settle_input(in);
    BulkInput &bulk = engine.decoders.bulk;
    if (!bulk.active) return;
    bulk.active = false;
    int64_t position = bulk.piece_position + (in.next - engine.decoders.bulk_buffer);
    // The window is left empty by a failed seek, and the next reader finds that out.
    seek_archive(position - engine.input.prepended_bytes);
}

// Reads the member's next piece into the bulk buffer and makes it direct. Starts reading pieces
// when the input window is used up and much of the member is left. False when the input does not
// read pieces; when the archive ends inside the member, true with nothing direct, the member's
// input ended as next_byte ends it.
inline bool read_piece(BitInput &in) {
    BulkInput &bulk = engine.decoders.bulk;
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
    int32_t want = window.remaining_compressed < BULK_PIECE_SIZE ? window.remaining_compressed
                                                                 : BULK_PIECE_SIZE;
    int got = host_read(window.archive_fd, engine.decoders.bulk_buffer, want);
    if (got <= 0) got = 0;
    bulk.piece_position = bulk.next_position;
    bulk.next_position += got;
    in.next = bulk.settled = engine.decoders.bulk_buffer;
    in.direct = got;
    if (got == 0) window.remaining_compressed = 0; // the archive ends inside the member
    return true;
}

// The member's next byte when none is direct: from the next piece, or through next_byte (which
// refills the engine's input window), or -1 at and past the member's end.
[[gnu::noinline]] inline int next_member_byte(BitInput &in) {
    settle_input(in);
    if (engine.input.remaining_compressed > 0 && read_piece(in)) {
        if (in.direct == 0) return -1;
        --in.direct;
        return *in.next++;
    }
    int b = next_byte();
    if (!engine.decoders.bulk.active) attach_input(in);
    return b;
}

// More fill bytes supplied than look-ahead can explain: the member's data is not all there.
inline bool input_ran_out() {
    return engine.decoders.input_end.fill_bytes > INPUT_OVERRUN_LIMIT;
}

// The slow way to `need` bits: byte by byte, fill bytes past the member's end. Takes and returns
// the input by value, so that the decode loops keep theirs in registers.
[[gnu::noinline]] inline BitInput fill_slowly(BitInput in, unsigned need) {
    InputEnd &end = engine.decoders.input_end;
    while (in.count < need) {
        uint64_t byte;
        if (in.direct > 0) {
            byte = *in.next++;
            --in.direct;
        } else {
            int b = next_member_byte(in);
            byte = b < 0 ? end.fill : static_cast<uint64_t>(b);
            if (b < 0) ++end.fill_bytes;
        }
        // Bits above `count` may hold a wide fill's next bytes; they are cleared first.
        in.bits = (in.bits & ((uint64_t{1} << in.count) - 1)) | (byte << in.count);
        in.count += 8;
    }
    return in;
}

// Tops the held bits up to 56 or more from eight direct bytes, which the caller has made sure
// of: all eight are loaded, the whole ones that fit are kept. Bits above `count` are either
// zero or the same input bits again, so the load can be OR'ed in.
[[gnu::always_inline]] inline void refill_wide(BitInput &in) {
    uint64_t word;
    std::memcpy(&word, in.next, 8);
    in.bits |= word << in.count;
    unsigned take = (63 - in.count) >> 3;
    in.next += take;
    in.direct -= static_cast<int32_t>(take);
    in.count |= 56; // count + 8 * take
}

// Holds at least `need` bits (at most 56); false once the input has run out. Eight bytes at once
// while the member's bytes are direct.
[[gnu::always_inline]] inline bool need_bits(BitInput &in, unsigned need) {
    if (in.count >= need) return true;
    if (in.direct >= 8) [[likely]] {
        refill_wide(in);
        return true;
    }
    in = fill_slowly(in, need);
    return !input_ran_out();
}

[[gnu::always_inline]] inline unsigned peek_bits(const BitInput &in, unsigned n) {
    return static_cast<unsigned>(in.bits) & bit_masks[n];
}

[[gnu::always_inline]] inline void drop_bits(BitInput &in, unsigned n) {
    in.bits >>= n;
    in.count -= n;
}

// The next n (at most 16) held bits, consumed.
[[gnu::always_inline]] inline unsigned take_bits(BitInput &in, unsigned n) {
    unsigned value = peek_bits(in, n);
    drop_bits(in, n);
    return value;
}

// Whether the next n held bits go past the member's last byte.
inline bool reaches_past_end(const BitInput &in, unsigned n) {
    return 8 * engine.decoders.input_end.fill_bytes + n > in.count;
}

// Fill bits already consumed: a decode that used any read past the member's end.
inline unsigned fill_bits_used(const BitInput &in) {
    unsigned fill_bits = 8 * engine.decoders.input_end.fill_bytes;
    return fill_bits > in.count ? fill_bits - in.count : 0;
}

// Copies n bytes of byte-aligned data (the held bits must be whole bytes): held bytes first,
// then the direct ones, then the member's next. Returns the count copied, smaller than n when
// the member's data ends first (no fill bytes here).
inline unsigned read_aligned_bytes(BitInput &in, unsigned char *to, unsigned n) {
    unsigned copied = 0;
    while (copied < n && in.count >= 8) to[copied++] = static_cast<unsigned char>(take_bits(in, 8));
    if (copied == n) return copied;
    in.bits = 0; // nothing valid is held any more
    while (copied < n) {
        if (in.direct > 0) {
            unsigned piece = n - copied;
            if (piece > static_cast<unsigned>(in.direct)) piece = static_cast<unsigned>(in.direct);
            std::memcpy(to + copied, in.next, piece);
            in.next += piece;
            in.direct -= static_cast<int32_t>(piece);
            copied += piece;
            continue;
        }
        int b = next_member_byte(in);
        if (b < 0) break;
        to[copied++] = static_cast<unsigned char>(b);
    }
    return copied;
}
