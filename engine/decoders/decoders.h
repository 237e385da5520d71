// The decoders of the compressed methods and the work areas they share.
#pragma once

#include <cstdint>

#include "engine/engine.h"

// The one 32768-byte work area: deflate's and implode's sliding window, shrink's and reduce's
// tables. Only one decoder uses it at a time (and the stored copy).
extern unsigned char window_area[WINDOW_SIZE];

// The bit buffer of the shrink and reduce decoders; cleared before every member.
struct BitReader {
    uint32_t buffer; // next bit in bit 0
    int count;
    int exhausted;
};
extern BitReader bit_reader;

// Line-end conversion target for blocks that already lie in the output buffer (shrink).
extern unsigned char *text_conversion_buffer;
void release_text_conversion_buffer();

// A member whose decoder has pulled this many bytes past the end of its input is damaged;
// decoders that count their output (reduce, implode) stop there instead of making up data.
constexpr int32_t MEMBER_OVERRUN_LIMIT = 64;
inline bool input_ran_past_end() {
    return G.remaining_compressed < -MEMBER_OVERRUN_LIMIT;
}

int deflate_decode_member();
void deflate_release_fixed_tables();
int implode_decode_member();
int shrink_decode_member();
int reduce_decode_member();

// --- Shrink, reduce and implode ---------------------------------------------------------------
// Results of shrink_decode_member.
constexpr int SHRINK_DONE = 0;
constexpr int SHRINK_BAD_DATA = 1;  // corrupt data: code width beyond 13 bits, or a string
                                    // longer than the expansion stack (looping through freed codes)
constexpr int SHRINK_NO_MEMORY = 5; // the text conversion buffer could not be allocated
void shrink_partial_clear();
// Results of implode_decode_member.
constexpr int IMPLODE_OK = 0;
constexpr int IMPLODE_BAD_CODE = 1; // invalid code or incomplete tree
constexpr int IMPLODE_OVERSUBSCRIBED = 2;
constexpr int IMPLODE_NO_MEMORY = 3;
constexpr int IMPLODE_BAD_TREE = 4;      // invalid tree description
constexpr int IMPLODE_SIZE_MISMATCH = 5; // decoded, but the compressed size was not used exactly
int read_sf_lengths(unsigned *lengths, unsigned n);
// First-level bits asked for the distance tree: more for members above 200000 compressed bytes.
int implode_distance_lookup_bits(int32_t compressed_size);
