#pragma once

#include <cstdint>
#include <string>

#include "base/result.h"

namespace mirebolt::platform {

// The system's text for an errno value. Empty for 0, for a code that is no errno value (negative
// when read as signed 32-bit, as NSS's numbers are) and for a value the system has no text for.
std::string SystemErrorText(std::uint32_t code);

// A failure carrying an errno value and the system's text for it.
Failure SystemFailure(int error);

}  // namespace mirebolt::platform
