#pragma once

// Ephemeral-static ECDH (RFC 5753, KeyAgreeRecipientInfo version 3): one fresh key pair and
// random user keying material for all the recipients on one curve, and for each recipient an
// entry of its own carrying them, with a key-encryption key derived with the X9.63 KDF over
// ECC-CMS-SharedInfo and the content key wrapped with it (RFC 3394).

#include "cms/recipient_kind.h"

namespace mirebolt::platform {

const RecipientKindUnit& KeyAgreementUnit();

}  // namespace mirebolt::platform
