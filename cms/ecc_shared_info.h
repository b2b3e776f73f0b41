#pragma once

#include <optional>

#include "asn1/der_writer.h"
#include "nss/cms_algorithms.h"

namespace mirebolt::platform {

// ECC-CMS-SharedInfo ::= SEQUENCE { keyInfo (the wrap algorithm with no parameters),
// entityUInfo [0] (the user keying material, only where there is some), suppPubInfo [2] (the
// key-encryption key's length in bits) }. Sender and recipient must make it alike to the byte.
der::Bytes SharedInfo(const KeyWrapFacts& wrap,
                      const std::optional<der::Bytes>& userKeyingMaterial = std::nullopt);

}  // namespace mirebolt::platform
