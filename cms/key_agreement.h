#pragma once

// Ephemeral-static ECDH (RFC 5753, KeyAgreeRecipientInfo version 3): one entry for all the
// recipients on one curve, with one fresh key pair on that curve and random user keying
// material; for each recipient a key-encryption key derived with the X9.63 KDF over
// ECC-CMS-SharedInfo, and the content key wrapped with it (RFC 3394).

#include "cms/recipient_kind.h"

namespace mirebolt::platform {

const RecipientKindUnit& KeyAgreementUnit();

}  // namespace mirebolt::platform
