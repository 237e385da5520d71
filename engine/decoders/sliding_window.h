// The sliding window of the implode and reduce decoders: bytes go into the work area and out
// to the decoder's output whenever it fills, and a match may reach back before the member's first
// byte, where the window reads zeros. (Deflate has its own, faster copy and refuses such
// matches.)
#pragma once

#include <cstring>

#include "engine/decoders/decoders.h"

template <unsigned SIZE> struct SlidingWindow {
    static_assert((SIZE & (SIZE - 1)) == 0, "the window wraps by masking");
    unsigned char *bytes;
    const ByteSink *output;
    unsigned pos = 0;      // next write position
    bool first_lap = true; // the window has not been written out yet
};

template <unsigned SIZE>
[[gnu::always_inline]] inline void write_full_window(SlidingWindow<SIZE> &w) {
    w.output->write(w.output->context, w.bytes, SIZE);
    w.pos = 0;
    w.first_lap = false;
}

template <unsigned SIZE>
[[gnu::always_inline]] inline void put_byte(SlidingWindow<SIZE> &w, unsigned char byte) {
    w.bytes[w.pos] = byte;
    if (++w.pos == SIZE) write_full_window(w);
}

// Copies a match of `length` bytes from `distance` back, in chunks up to the window's edge:
// block copies where source and destination do not overlap harmfully, forward byte by byte
// where they do, zeros where the source lies before the member's first byte.
template <unsigned SIZE>
[[gnu::always_inline]] inline void copy_match(SlidingWindow<SIZE> &w, unsigned length,
                                              unsigned distance) {
    unsigned source = (w.pos - distance) & (SIZE - 1);
    while (length > 0) {
        unsigned chunk = SIZE - (source > w.pos ? source : w.pos);
        if (chunk > length) chunk = length;
        if (w.first_lap && source >= w.pos)
            std::memset(w.bytes + w.pos, 0, chunk);
        else if (w.pos - source >= chunk)
            std::memcpy(w.bytes + w.pos, w.bytes + source, chunk);
        else
            for (unsigned i = 0; i < chunk; ++i) w.bytes[w.pos + i] = w.bytes[source + i];
        w.pos += chunk;
        source = (source + chunk) & (SIZE - 1);
        length -= chunk;
        if (w.pos == SIZE) write_full_window(w);
    }
}

// Writes out what the window holds at the member's end.
template <unsigned SIZE> inline void write_last_window(SlidingWindow<SIZE> &w) {
    w.output->write(w.output->context, w.bytes, w.pos);
}
