#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace mirebolt::platform {

// True when `content` holds the content octets of the object identifier written in dotted form.
bool OidMatches(std::span<const std::uint8_t> content, std::string_view dotted);

// A dotted form of an object identifier's content octets, for texts about unknown ones.
std::string DottedOid(std::span<const std::uint8_t> oidContent);

}  // namespace mirebolt::platform
