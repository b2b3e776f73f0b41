#pragma once

// The CMS Triple DES key wrap (RFC 3217), which peers use in key-agreement entries for Triple DES
// content and which NSS has no mechanism for: it is undone here on NSS's DES-EDE3-CBC.

#include <pk11pub.h>

#include <cstdint>
#include <span>

#include "base/result.h"
#include "nss/cms_algorithms.h"
#include "nss/nss_types.h"

namespace mirebolt::platform {

// The content key in `wrapped` (40 bytes), unwrapped with `keyEncryptionKey` (a 24-byte Triple
// DES key that may decrypt), its checksum and parity checked. What passes between the steps
// stays in private memory; the key comes out as an NSS key for `cipher`, which must be Triple
// DES.
Result<UniqueSymKey> UnwrapTripleDesKey(PK11SymKey* keyEncryptionKey,
                                        std::span<const std::uint8_t> wrapped,
                                        const ContentAlgorithmFacts& cipher);

}  // namespace mirebolt::platform
