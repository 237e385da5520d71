// Packs values into a byte stream lowest bit first, for the compressed streams of the tests and
// benchmarks.
#pragma once

#include <cstdint>
#include <vector>

namespace qeltest {

struct BitWriter {
    std::vector<unsigned char> bytes;
    uint32_t buffer = 0;
    int count = 0;

    // The low `bits` bits of value, lowest first.
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
    // A prefix code of `length` bits, its first (most significant) bit first.
    void put_code(uint32_t code, unsigned length) {
        for (unsigned i = length; i-- > 0;) put((code >> i) & 1u, 1);
    }
    // Zero bits up to the next byte boundary.
    void align() {
        if (count > 0) put(0, 8 - count);
    }
    std::vector<unsigned char> finish() {
        align();
        return bytes;
    }
};

} // namespace qeltest
