#pragma once

// ECDH with a key that lives on a smart card. Cards derive only the raw shared secret (no KDF,
// CKD_NULL), and NSS gives that secret back as a sensitive key it cannot read or move; the
// card's own session is asked for it as a readable session object instead, which is read once
// and destroyed at once.

#include <keythi.h>

#include <cstdint>
#include <span>

#include "base/private_buffer.h"
#include "base/result.h"

namespace mirebolt::platform {

// The raw ECDH secret of `key` (on a token other than NSS's own) and the peer's uncompressed
// point, with the cofactor when `cofactor` is set.
Result<PrivateBuffer> CardSharedSecret(SECKEYPrivateKey* key, std::span<const std::uint8_t> point,
                                       bool cofactor);

}  // namespace mirebolt::platform
