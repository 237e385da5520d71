// The one bit input of every decoder: a member's compressed bytes, least significant bit first.
//
// A decoder takes the input over at the start of its bit-coded data (take_input) and hands it
// back before it returns (hand_back_input). In between it reads whole bytes of the engine's input
// window straight through `next` while `direct` says they belong to the member, eight at a time,
// and everything else through next_byte, which also refills the window.
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
    attach_input(in);
}

// Brings the engine's input position and member counter up to what was read directly; the held
// bits stay held.
inline void hand_back_input(const BitInput &in) {
    int32_t used = static_cast<int32_t>(in.next - engine.input.read_pos);
    engine.input.read_pos = const_cast<unsigned char *>(in.next);
    engine.input.bytes_left -= used;
    engine.input.remaining_compressed -= used;
}

// More fill bytes supplied than look-ahead can explain: the member's data is not all there.
inline bool input_ran_out() {
    return engine.decoders.input_end.fill_bytes > INPUT_OVERRUN_LIMIT;
}

// The slow way to `need` bits: byte by byte through next_byte, fill bytes past the member's end.
// Takes and returns the input by value, so that the decode loops keep theirs in registers.
[[gnu::noinline]] inline BitInput fill_slowly(BitInput in, unsigned need) {
    InputEnd &end = engine.decoders.input_end;
    hand_back_input(in);
    while (in.count < need) {
        int b = next_byte();
        uint64_t byte = b < 0 ? end.fill : static_cast<uint64_t>(b);
        if (b < 0) ++end.fill_bytes;
        // Bits above `count` may hold a wide fill's next bytes; they are cleared first.
        in.bits = (in.bits & ((uint64_t{1} << in.count) - 1)) | (byte << in.count);
        in.count += 8;
    }
    attach_input(in);
    return in;
}

// Holds at least `need` bits (at most 56); false once the input has run out. Eight bytes at once
// while the member's bytes lie in the input window: all eight are loaded, the whole ones that fit
// are kept.
[[gnu::always_inline]] inline bool need_bits(BitInput &in, unsigned need) {
    if (in.count >= need) return true;
    if (in.direct >= 8) [[likely]] {
        uint64_t word;
        std::memcpy(&word, in.next, 8);
        in.bits |= word << in.count;
        unsigned take = (63 - in.count) >> 3;
        in.next += take;
        in.direct -= static_cast<int32_t>(take);
        in.count += take * 8;
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
// then straight from the window, then through next_byte. Returns the count copied, smaller
// than n when the member's data ends first (no fill bytes here).
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
        hand_back_input(in);
        int b = next_byte();
        attach_input(in);
        if (b < 0) break;
        to[copied++] = static_cast<unsigned char>(b);
    }
    return copied;
}
