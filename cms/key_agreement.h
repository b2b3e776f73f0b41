#pragma once

// Ephemeral-static ECDH for one recipient (RFC 5753, KeyAgreeRecipientInfo version 3): a fresh
// key pair on the recipient's curve, a key-encryption key derived with the X9.63 KDF over
// ECC-CMS-SharedInfo, and the content key wrapped with it (RFC 3394).

#include "cms/recipient_kind.h"

namespace mirebolt::platform {

const RecipientKindUnit& KeyAgreementUnit();

}  // namespace mirebolt::platform
