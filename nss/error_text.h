#pragma once

#include <cstdint>
#include <string>

#include "base/result.h"

namespace mirebolt::platform {

// The platform's own text for an error code: NSS and NSPR numbers are negative when read as
// signed 32-bit values, errno values positive (SystemErrorText). Empty when the platform has no
// text for it.
std::string PlatformErrorText(std::uint32_t code);

// A failure carrying NSS's current error and its text.
Failure NssFailure();
// A failure with the given NSS error number and NSS's text for it.
Failure NssFailure(int nssError);
// A failure with the given NSS error number and a text of our own.
Failure NssFailure(int nssError, std::string text);

// Whether the failure is a password or PIN prompt that got no answer.
bool NoPasswordGiven(const Failure& failure);
}  // namespace mirebolt::platform
