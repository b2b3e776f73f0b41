#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace mirebolt::platform {

// Bytes as upper-case hex pairs joined by colons, as serial numbers, fingerprints and key
// identifiers are shown: "0A:1B:2C".
std::string HexText(std::span<const std::uint8_t> bytes);

}  // namespace mirebolt::platform
