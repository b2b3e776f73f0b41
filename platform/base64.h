#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace mirebolt::platform {

// Decodes standard base64, skipping white space; nothing when the text is not base64.
std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text);

}  // namespace mirebolt::platform
