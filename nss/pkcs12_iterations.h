#pragma once

#include <cstdint>
#include <span>

namespace mirebolt::platform {

// More password iterations than any PKCS #12 file needs: a million is already slow on a phone,
// and a count of 2^31 keeps NSS busy for minutes without a word.
inline constexpr std::uint64_t kMaxPkcs12Iterations = 10'000'000;

// The largest iteration count a PKCS #12 file asks for before it is opened: its MAC's, and the
// PBE and PBKDF2 counts of what is readable without the password (the bags' own algorithms,
// the encrypted parts' algorithms). 0 when none is found; bytes that are no DER at all are left
// to NSS to refuse.
std::uint64_t LargestPkcs12IterationCount(std::span<const std::uint8_t> pkcs12);

}  // namespace mirebolt::platform
