#include "cms/gcm_field.h"

namespace mirebolt::platform::gcm {

namespace {

// The low 64 bits of the carry-less product of x and y, made of integer multiplications of
// operands thinned to every fourth bit: the carries of each product land in the three bits
// between and are masked off, and no sum reaches the next bit kept below bit 64.
std::uint64_t CarryLessLow(std::uint64_t x, std::uint64_t y) {
    constexpr std::uint64_t m0 = 0x1111111111111111;
    constexpr std::uint64_t m1 = m0 << 1;
    constexpr std::uint64_t m2 = m0 << 2;
    constexpr std::uint64_t m3 = m0 << 3;
    const std::uint64_t x0 = x & m0, x1 = x & m1, x2 = x & m2, x3 = x & m3;
    const std::uint64_t y0 = y & m0, y1 = y & m1, y2 = y & m2, y3 = y & m3;
    const std::uint64_t z0 = (x0 * y0) ^ (x1 * y3) ^ (x2 * y2) ^ (x3 * y1);
    const std::uint64_t z1 = (x0 * y1) ^ (x1 * y0) ^ (x2 * y3) ^ (x3 * y2);
    const std::uint64_t z2 = (x0 * y2) ^ (x1 * y1) ^ (x2 * y0) ^ (x3 * y3);
    const std::uint64_t z3 = (x0 * y3) ^ (x1 * y2) ^ (x2 * y1) ^ (x3 * y0);
    return (z0 & m0) | (z1 & m1) | (z2 & m2) | (z3 & m3);
}

std::uint64_t ReverseBits(std::uint64_t x) {
    x = ((x >> 1) & 0x5555555555555555) | ((x & 0x5555555555555555) << 1);
    x = ((x >> 2) & 0x3333333333333333) | ((x & 0x3333333333333333) << 2);
    x = ((x >> 4) & 0x0F0F0F0F0F0F0F0F) | ((x & 0x0F0F0F0F0F0F0F0F) << 4);
    return __builtin_bswap64(x);
}

// The high 64 bits (of 127) of the carry-less product: the low bits of the product of the
// reversed operands, reversed.
std::uint64_t CarryLessHigh(std::uint64_t x, std::uint64_t y) {
    return ReverseBits(CarryLessLow(ReverseBits(x), ReverseBits(y))) >> 1;
}

}  // namespace

FieldElement MultiplyPortable(FieldElement a, FieldElement b) {
    // Karatsuba over the 64-bit halves: three products of 128 bits.
    const std::uint64_t a2 = a.high ^ a.low;
    const std::uint64_t b2 = b.high ^ b.low;
    const std::uint64_t lowLow = CarryLessLow(a.low, b.low);
    const std::uint64_t lowHigh = CarryLessHigh(a.low, b.low);
    const std::uint64_t highLow = CarryLessLow(a.high, b.high);
    const std::uint64_t highHigh = CarryLessHigh(a.high, b.high);
    const std::uint64_t middleLow = CarryLessLow(a2, b2) ^ lowLow ^ highLow;
    const std::uint64_t middleHigh = CarryLessHigh(a2, b2) ^ lowHigh ^ highHigh;
    // The 256-bit product, v0 its lowest word.
    std::uint64_t v0 = lowLow;
    std::uint64_t v1 = lowHigh ^ middleLow;
    std::uint64_t v2 = highLow ^ middleHigh;
    std::uint64_t v3 = highHigh;
    // The integer forms are bit-reversed, so their product is the reversed product shifted
    // right by one; shifted back, v0 and v1 hold the degrees 255 down to 128, and each folds
    // into the words above it by x^128 = x^7 + x^2 + x + 1.
    v3 = (v3 << 1) | (v2 >> 63);
    v2 = (v2 << 1) | (v1 >> 63);
    v1 = (v1 << 1) | (v0 >> 63);
    v0 <<= 1;
    v2 ^= v0 ^ (v0 >> 1) ^ (v0 >> 2) ^ (v0 >> 7);
    v1 ^= (v0 << 63) ^ (v0 << 62) ^ (v0 << 57);
    v3 ^= v1 ^ (v1 >> 1) ^ (v1 >> 2) ^ (v1 >> 7);
    v2 ^= (v1 << 63) ^ (v1 << 62) ^ (v1 << 57);
    return {v3, v2};
}

}  // namespace mirebolt::platform::gcm
