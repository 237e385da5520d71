// CRC-32 of zip: the running update used by the output writer, sixteen bytes per step.
#include "engine/crc32.h"

#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define CRC32_FOLDING 1
#endif

namespace {

// slice[k][n]: the CRC of byte n followed by k zero bytes; slice[0] is the reference table.
constexpr std::array<std::array<uint32_t, 256>, 16> make_slices() {
    std::array<std::array<uint32_t, 256>, 16> slice{};
    slice[0] = crc_table;
    for (unsigned k = 1; k < 16; ++k)
        for (unsigned n = 0; n < 256; ++n)
            slice[k][n] = (slice[k - 1][n] >> 8) ^ crc_table[slice[k - 1][n] & 0xFF];
    return slice;
}

constexpr std::array<std::array<uint32_t, 256>, 16> crc_slices = make_slices();

} // namespace

#ifdef CRC32_FOLDING
namespace {

#define CRC32_FOLD_TARGET __attribute__((target("pclmul,sse4.1")))

CRC32_FOLD_TARGET inline __m128i load16(const unsigned char *p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

// One lane folded over 128 bits onto the next.
CRC32_FOLD_TARGET inline __m128i fold16(__m128i acc, __m128i next, __m128i k) {
    __m128i lo = _mm_clmulepi64_si128(acc, k, 0x00);
    __m128i hi = _mm_clmulepi64_si128(acc, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(hi, lo), next);
}

// Carry-less multiplication folding over 16-byte lanes (processors with PCLMULQDQ): four lanes
// fold 64 bytes per step, then one lane, then a Barrett reduction to 32 bits. Takes a length of
// at least 64, a multiple of 16.
CRC32_FOLD_TARGET uint32_t crc32_fold(uint32_t c, const unsigned char *data, size_t length) {
    const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    const __m128i k5k0 = _mm_set_epi64x(0, 0x0163cd6124);
    const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);

    __m128i x1 = _mm_xor_si128(load16(data), _mm_cvtsi32_si128(static_cast<int>(c)));
    __m128i x2 = load16(data + 16);
    __m128i x3 = load16(data + 32);
    __m128i x4 = load16(data + 48);
    data += 64;
    length -= 64;
    while (length >= 64) {
        __m128i x5 = _mm_clmulepi64_si128(x1, k1k2, 0x00);
        __m128i x6 = _mm_clmulepi64_si128(x2, k1k2, 0x00);
        __m128i x7 = _mm_clmulepi64_si128(x3, k1k2, 0x00);
        __m128i x8 = _mm_clmulepi64_si128(x4, k1k2, 0x00);
        x1 = _mm_clmulepi64_si128(x1, k1k2, 0x11);
        x2 = _mm_clmulepi64_si128(x2, k1k2, 0x11);
        x3 = _mm_clmulepi64_si128(x3, k1k2, 0x11);
        x4 = _mm_clmulepi64_si128(x4, k1k2, 0x11);
        x1 = _mm_xor_si128(_mm_xor_si128(x1, x5), load16(data));
        x2 = _mm_xor_si128(_mm_xor_si128(x2, x6), load16(data + 16));
        x3 = _mm_xor_si128(_mm_xor_si128(x3, x7), load16(data + 32));
        x4 = _mm_xor_si128(_mm_xor_si128(x4, x8), load16(data + 48));
        data += 64;
        length -= 64;
    }
    x1 = fold16(x1, x2, k3k4);
    x1 = fold16(x1, x3, k3k4);
    x1 = fold16(x1, x4, k3k4);
    while (length >= 16) {
        x1 = fold16(x1, load16(data), k3k4);
        data += 16;
        length -= 16;
    }
    // 128 bits to 64, then Barrett reduction.
    __m128i x = _mm_clmulepi64_si128(x1, k3k4, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x);
    x = _mm_srli_si128(x1, 4);
    x1 = _mm_and_si128(x1, low32);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(x1, k5k0, 0x00), x);
    x = _mm_and_si128(x1, low32);
    x = _mm_clmulepi64_si128(x, poly, 0x10);
    x = _mm_and_si128(x, low32);
    x = _mm_clmulepi64_si128(x, poly, 0x00);
    x1 = _mm_xor_si128(x1, x);
    return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

bool have_folding() {
    static const bool yes = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return yes;
}

} // namespace
#endif

uint32_t crc32_update(uint32_t c, const unsigned char *data, size_t length) {
#ifdef CRC32_FOLDING
    if (length >= 64 && have_folding()) {
        size_t whole = length & ~size_t{15};
        c = crc32_fold(c, data, whole);
        data += whole;
        length -= whole;
    }
#endif
    while (length >= 16) {
        uint32_t w0, w1, w2, w3;
        std::memcpy(&w0, data, 4); // little-endian hosts
        std::memcpy(&w1, data + 4, 4);
        std::memcpy(&w2, data + 8, 4);
        std::memcpy(&w3, data + 12, 4);
        w0 ^= c;
        c = crc_slices[15][w0 & 0xFF] ^ crc_slices[14][(w0 >> 8) & 0xFF] ^
            crc_slices[13][(w0 >> 16) & 0xFF] ^ crc_slices[12][w0 >> 24] ^
            crc_slices[11][w1 & 0xFF] ^ crc_slices[10][(w1 >> 8) & 0xFF] ^
            crc_slices[9][(w1 >> 16) & 0xFF] ^ crc_slices[8][w1 >> 24] ^ crc_slices[7][w2 & 0xFF] ^
            crc_slices[6][(w2 >> 8) & 0xFF] ^ crc_slices[5][(w2 >> 16) & 0xFF] ^
            crc_slices[4][w2 >> 24] ^ crc_slices[3][w3 & 0xFF] ^ crc_slices[2][(w3 >> 8) & 0xFF] ^
            crc_slices[1][(w3 >> 16) & 0xFF] ^ crc_slices[0][w3 >> 24];
        data += 16;
        length -= 16;
    }
    while (length-- != 0) c = crc_table[(c ^ *data++) & 0xFF] ^ (c >> 8);
    return c;
}
