#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace mirebolt::platform {

// The value of one standard base64 digit, or -1 for any other character.
int Base64DigitValue(char c);

// Decodes standard base64, skipping white space; nothing when the text is not base64.
std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text);

}  // namespace mirebolt::platform
