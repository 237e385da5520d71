// CRC-32 of zip (reflected polynomial 0xEDB88320).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "engine/engine_api.h"

constexpr std::array<uint32_t, 256> make_crc_table() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

// The reference table: one lookup per byte.
inline constexpr std::array<uint32_t, 256> crc_table = make_crc_table();

// crc32_update, the running CRC over bytes, is part of the engine's interface (engine_api.h).
