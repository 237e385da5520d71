// The one bit input of every decoder: a member's compressed bytes, least significant bit first.
//
// A decoder takes the input over at the start of the member's data (take_input) and hands it
// back before it returns (hand_back_input). In between it reads whole bytes straight through
// `next` while `direct` says they belong to the member, eight at a time; when they are used up,
// the source its caller handed over (a ByteSource) supplies the next byte and the next run.
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
//
// The one policy: need_bits says whether the bits are there, and every caller acts on it. A
// decoder that judges the member's end by other means (the size it decodes to, input_ran_out,
// reaches_past_end) reads on through fill bits with hold_bits_past_end, which says nothing.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "engine/decoders/decoders.h"

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

// Starts reading the member's data from `source` with nothing held; past the member's end the
// input reads `fill` bytes. The feed is the decoder state's.
inline void take_input(BitInput &in, InputFeed &feed, const ByteSource &source,
                       unsigned char fill) {
    in = BitInput{};
    in.next = source.start;
    in.direct = source.start_length;
    feed = InputFeed{&source, fill, 0};
    in.feed = &feed;
}

// Hands the input back to the source when the decoder is done. Returns how many of the member's
// bytes are left (negative: how many were asked for past its end); held bits do not count as
// used.
inline int64_t hand_back_input(const BitInput &in) {
    const ByteSource &source = *in.feed->source;
    return source.finish(source.context, in.next);
}

// The member's next byte when none is direct, from the source, which hands over the next run
// with it: -1 at and past the member's end.
[[nodiscard, gnu::noinline]] inline int next_member_byte(BitInput &in) {
    const ByteSource &source = *in.feed->source;
    return source.next(source.context, in.next, &in.next, &in.direct);
}

// The member's next whole byte, for data read byte by byte before any bits are held: -1 at and
// past its end (no fill bytes here).
[[nodiscard]] inline int next_input_byte(BitInput &in) {
    if (in.direct > 0) {
        --in.direct;
        return *in.next++;
    }
    return next_member_byte(in);
}

// More fill bytes supplied than look-ahead can explain: the member's data is not all there.
[[nodiscard]] inline bool input_ran_out(const BitInput &in) {
    return in.feed->fill_bytes > INPUT_OVERRUN_LIMIT;
}

// The slow way to `need` bits: byte by byte, fill bytes past the member's end. Takes and returns
// the input by value, so that the decode loops keep theirs in registers.
[[nodiscard, gnu::noinline]] inline BitInput fill_slowly(BitInput in, unsigned need) {
    InputFeed &end = *in.feed;
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
[[nodiscard, gnu::always_inline]] inline bool need_bits(BitInput &in, unsigned need) {
    if (in.count >= need) return true;
    if (in.direct >= 8) [[likely]] {
        refill_wide(in);
        return true;
    }
    in = fill_slowly(in, need);
    return !input_ran_out(in);
}

// Holds at least `need` bits (at most 56), fill bits past the member's end as far as needed: the
// deliberate read past the end of the decoders that judge the end themselves.
[[gnu::always_inline]] inline void hold_bits_past_end(BitInput &in, unsigned need) {
    if (in.count >= need) return;
    if (in.direct >= 8) [[likely]] {
        refill_wide(in);
        return;
    }
    in = fill_slowly(in, need);
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
[[nodiscard]] inline bool reaches_past_end(const BitInput &in, unsigned n) {
    return 8 * in.feed->fill_bytes + n > in.count;
}

// Fill bits already consumed: a decode that used any read past the member's end.
[[nodiscard]] inline unsigned fill_bits_used(const BitInput &in) {
    unsigned fill_bits = 8 * in.feed->fill_bytes;
    return fill_bits > in.count ? fill_bits - in.count : 0;
}

// Copies n bytes of byte-aligned data (the held bits must be whole bytes): held bytes first,
// then the direct ones, then the member's next. Returns the count copied, smaller than n when
// the member's data ends first (no fill bytes here).
[[nodiscard]] inline unsigned read_aligned_bytes(BitInput &in, unsigned char *to, unsigned n) {
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
