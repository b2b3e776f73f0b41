#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/result.h"

namespace mirebolt::platform {

// A Name (a SEQUENCE OF sets, each a SET OF AttributeTypeAndValue) held in BER, written again
// in DER: definite lengths in their shortest form, strings given in chunks joined into one,
// and each SET OF in the order of its members' encodings. A writer may give a certificate's
// issuer in any of BER's forms, and only the DER of both compares equal.
Result<std::vector<std::uint8_t>> NameAsDer(std::span<const std::uint8_t> name);

}  // namespace mirebolt::platform
