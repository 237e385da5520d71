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

int deflate_decode_member();
void deflate_release_fixed_tables();
int implode_decode_member();
int shrink_decode_member();
int reduce_decode_member();
