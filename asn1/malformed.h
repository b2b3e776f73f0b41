#pragma once

#include <cstdint>
#include <string>

#include "base/result.h"

namespace mirebolt::platform {

// The code of bytes that are not the BER or DER they should be: NSS's SEC_ERROR_BAD_DER, as a
// plain number, so that malformed bytes fail alike whether NSS or our own parsers found them.
// The room that sees NSS checks it against NSS's name.
inline constexpr std::uint32_t kMalformedCode = 0xFFFFE009;

// Bytes that are not the BER or DER they should be, with the text NSS has for its code.
Failure Malformed();
// The same with a text that says more about what is wrong with them.
Failure Malformed(std::string text);

}  // namespace mirebolt::platform
