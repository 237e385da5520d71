// The work areas shared by the decoders.
#include <cstdlib>

#include "engine/decoders/decoders.h"

unsigned char window_area[WINDOW_SIZE];
BitReader bit_reader;
unsigned char *text_conversion_buffer = nullptr;

void release_text_conversion_buffer() {
    std::free(text_conversion_buffer);
    text_conversion_buffer = nullptr;
}
