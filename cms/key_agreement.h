#pragma once

// Ephemeral-static ECDH for one recipient (RFC 5753): a fresh key pair on the recipient's curve,
// a key-encryption key derived with the X9.63 KDF over ECC-CMS-SharedInfo, and the content key
// wrapped with it.

#include <pk11pub.h>

#include "asn1/der_writer.h"
#include "base/result.h"
#include "cms/recipient_plan.h"

namespace mirebolt::platform {

struct AgreedKey {
    der::Bytes ephemeralPoint;  // the uncompressed point 04 || X || Y
    der::Bytes wrappedKey;
};

// The ephemeral private key lives as a session object of NSS's internal token, never on a token
// on disk, and is destroyed before this returns.
Result<AgreedKey> AgreeAndWrap(const RecipientPlan& plan, PK11SymKey* contentKey);

}  // namespace mirebolt::platform
