#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/result.h"
#include "nss/cms_algorithms.h"

namespace mirebolt::platform {

// What RSAES-OAEP's parameters choose: the hash, MGF1's hash and the label.
struct OaepChoice {
    const HashFacts* hash = nullptr;
    const HashFacts* mgfHash = nullptr;
    std::vector<std::uint8_t> label;
};

// Reads RSAES-OAEP-params, given as their whole element; absent or NULL parameters are the
// defaults, SHA-1, MGF1 with SHA-1 and an empty label. A failure's text says, as "RSAES-OAEP with
// …", what this program cannot read or use in them.
Result<OaepChoice> ReadOaepParameters(std::span<const std::uint8_t> parameters);

// Whether an AlgorithmIdentifier's parameters, given whole, are absent or NULL.
bool IsAbsentOrNull(std::span<const std::uint8_t> parameters);

}  // namespace mirebolt::platform
