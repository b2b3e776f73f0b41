#pragma once

#include <cstddef>
#include <cstdint>

namespace mirebolt::platform::gcm {

// An element of GHASH's field GF(2^128), held as the integer its 16 bytes make read big-endian:
// the coefficient of x^0 is the top bit of `high`, that of x^127 the bottom bit of `low`.
struct FieldElement {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
};

// The product in the field, with integer arithmetic alone: no branch and no memory access
// depends on the operands.
FieldElement MultiplyPortable(FieldElement a, FieldElement b);

// Whether this processor has the carry-less multiplication the functions below need.
bool CarryLessAvailable();
FieldElement MultiplyCarryLess(FieldElement a, FieldElement b);
// For each of `count` 16-byte blocks: state = (state + block) * H, where powers[i] is H^(i+1)
// for i < 4, so that four blocks need one reduction.
void AbsorbCarryLess(FieldElement& state, const FieldElement (&powers)[4],
                     const std::uint8_t* blocks, std::size_t count);

}  // namespace mirebolt::platform::gcm
