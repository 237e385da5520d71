// Packs values into a byte stream lowest bit first, for hand-built compressed streams.
#pragma once

#include <cstdint>
#include <vector>

namespace qeltest {

struct BitWriter {
    std::vector<unsigned char> bytes;
    uint32_t buffer = 0;
    int count = 0;

    void put(uint32_t value, int bits) {
        for (int i = 0; i < bits; ++i) {
            buffer |= ((value >> i) & 1u) << count;
            if (++count == 8) {
                bytes.push_back(static_cast<unsigned char>(buffer));
                buffer = 0;
                count = 0;
            }
        }
    }
    std::vector<unsigned char> finish() {
        if (count > 0) bytes.push_back(static_cast<unsigned char>(buffer));
        buffer = 0;
        count = 0;
        return bytes;
    }
};

} // namespace qeltest
