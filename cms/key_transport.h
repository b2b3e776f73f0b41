#pragma once

// Key transport with RSA (RFC 5652 KeyTransRecipientInfo, version 0): the content key encrypted
// to the recipient's public key with PKCS #1 v1.5, or with RSAES-OAEP where the certificate's
// key is marked for it (RFC 8017, RFC 4055).

#include "cms/recipient_kind.h"

namespace mirebolt::platform {

const RecipientKindUnit& KeyTransportUnit();

}  // namespace mirebolt::platform
