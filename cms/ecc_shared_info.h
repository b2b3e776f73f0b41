#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "asn1/der_writer.h"
#include "nss/cms_algorithms.h"

namespace mirebolt::platform {

// ECC-CMS-SharedInfo ::= SEQUENCE { keyInfo (the wrap algorithm, with no parameters unless
// `wrapParameters` gives their element), entityUInfo [0] (the user keying material, only where
// there is some), suppPubInfo [2] (the key-encryption key's length in bits) }. Sender and
// recipient must make it alike to the byte: a reader repeats the wrap's parameters as the entry
// gives them (the AES wraps have none, the Triple DES wrap a NULL).
der::Bytes SharedInfo(const KeyWrapFacts& wrap,
                      const std::optional<der::Bytes>& userKeyingMaterial = std::nullopt,
                      std::span<const std::uint8_t> wrapParameters = {});

}  // namespace mirebolt::platform
