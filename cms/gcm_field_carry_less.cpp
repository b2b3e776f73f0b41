// GHASH's multiplication with the processor's carry-less multiply (PCLMULQDQ). Only this file's
// functions use the instructions, and they are called only when the processor has them.
#include "cms/gcm_field.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace mirebolt::platform::gcm {

#if defined(__x86_64__)

namespace {

#define MIREBOLT_CARRY_LESS __attribute__((target("pclmul,ssse3")))

// The integer form of a block: its 16 bytes reversed, the high half in the upper lane.
MIREBOLT_CARRY_LESS __m128i LoadBlock(const std::uint8_t* bytes) {
    const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)), reverse);
}

MIREBOLT_CARRY_LESS __m128i Load(FieldElement element) {
    return _mm_set_epi64x(static_cast<long long>(element.high),
                          static_cast<long long>(element.low));
}

MIREBOLT_CARRY_LESS FieldElement Store(__m128i value) {
    return {static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(value, value))),
            static_cast<std::uint64_t>(_mm_cvtsi128_si64(value))};
}

// The 256-bit carry-less product of two integer forms, added into low and high halves.
MIREBOLT_CARRY_LESS void AddProduct(__m128i a, __m128i b, __m128i& low, __m128i& high) {
    const __m128i middle =
        _mm_xor_si128(_mm_clmulepi64_si128(a, b, 0x01), _mm_clmulepi64_si128(a, b, 0x10));
    low = _mm_xor_si128(low,
                        _mm_xor_si128(_mm_clmulepi64_si128(a, b, 0x00), _mm_slli_si128(middle, 8)));
    high = _mm_xor_si128(
        high, _mm_xor_si128(_mm_clmulepi64_si128(a, b, 0x11), _mm_srli_si128(middle, 8)));
}

MIREBOLT_CARRY_LESS __m128i ShiftedLeft(__m128i words, int bits) {
    return _mm_slli_epi64(words, bits);
}

MIREBOLT_CARRY_LESS __m128i ShiftedRight(__m128i words, int bits) {
    return _mm_srli_epi64(words, bits);
}

// The product of two integer forms is the bit-reversed product shifted right by one: shifting
// it back left, the low 128 bits hold the degrees 128 to 255, folded into the high ones by
// x^128 = x^7 + x^2 + x + 1, as the portable code does word by word.
MIREBOLT_CARRY_LESS __m128i Reduce(__m128i low, __m128i high) {
    const __m128i lowCarry = _mm_srli_epi64(low, 63);
    const __m128i highCarry = _mm_srli_epi64(high, 63);
    low = _mm_or_si128(_mm_slli_epi64(low, 1), _mm_slli_si128(lowCarry, 8));
    high = _mm_or_si128(_mm_or_si128(_mm_slli_epi64(high, 1), _mm_slli_si128(highCarry, 8)),
                        _mm_srli_si128(lowCarry, 8));
    const __m128i first = _mm_xor_si128(_mm_xor_si128(ShiftedLeft(low, 63), ShiftedLeft(low, 62)),
                                        ShiftedLeft(low, 57));
    low = _mm_xor_si128(low, _mm_slli_si128(first, 8));
    const __m128i second = _mm_xor_si128(_mm_xor_si128(ShiftedLeft(low, 63), ShiftedLeft(low, 62)),
                                         ShiftedLeft(low, 57));
    high = _mm_xor_si128(high, _mm_srli_si128(second, 8));
    const __m128i folded = _mm_xor_si128(_mm_xor_si128(low, ShiftedRight(low, 1)),
                                         _mm_xor_si128(ShiftedRight(low, 2), ShiftedRight(low, 7)));
    return _mm_xor_si128(high, folded);
}

}  // namespace

bool CarryLessAvailable() {
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3");
}

MIREBOLT_CARRY_LESS FieldElement MultiplyCarryLess(FieldElement a, FieldElement b) {
    __m128i low = _mm_setzero_si128();
    __m128i high = _mm_setzero_si128();
    AddProduct(Load(a), Load(b), low, high);
    return Store(Reduce(low, high));
}

MIREBOLT_CARRY_LESS void AbsorbCarryLess(FieldElement& state, const FieldElement (&powers)[4],
                                         const std::uint8_t* blocks, std::size_t count) {
    const __m128i h1 = Load(powers[0]);
    const __m128i h2 = Load(powers[1]);
    const __m128i h3 = Load(powers[2]);
    const __m128i h4 = Load(powers[3]);
    __m128i y = Load(state);
    for (; count >= 4; count -= 4, blocks += 64) {
        __m128i low = _mm_setzero_si128();
        __m128i high = _mm_setzero_si128();
        AddProduct(_mm_xor_si128(y, LoadBlock(blocks)), h4, low, high);
        AddProduct(LoadBlock(blocks + 16), h3, low, high);
        AddProduct(LoadBlock(blocks + 32), h2, low, high);
        AddProduct(LoadBlock(blocks + 48), h1, low, high);
        y = Reduce(low, high);
    }
    for (; count > 0; --count, blocks += 16) {
        __m128i low = _mm_setzero_si128();
        __m128i high = _mm_setzero_si128();
        AddProduct(_mm_xor_si128(y, LoadBlock(blocks)), h1, low, high);
        y = Reduce(low, high);
    }
    state = Store(y);
}

#else

bool CarryLessAvailable() {
    return false;
}

FieldElement MultiplyCarryLess(FieldElement a, FieldElement b) {
    return MultiplyPortable(a, b);
}

void AbsorbCarryLess(FieldElement&, const FieldElement (&)[4], const std::uint8_t*, std::size_t) {}

#endif

}  // namespace mirebolt::platform::gcm
