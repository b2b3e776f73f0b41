#pragma once

#include <cstdint>
#include <span>

#include <pk11pub.h>

#include "base/result.h"

namespace mirebolt::platform {

// Runs an NSS cipher context over whole blocks where they stand; fails unless every byte came
// back.
Status CipherInPlace(PK11Context* context, std::span<std::uint8_t> blocks);

}  // namespace mirebolt::platform
