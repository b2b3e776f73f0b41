#pragma once

// The RecipientInfo entries of an enveloped-data message: key transport (version 0) for RSA
// keys, key agreement (version 3) for EC keys, each naming its certificate by issuer and serial
// number.

#include <pk11pub.h>

#include "asn1/der_writer.h"
#include "base/result.h"
#include "cms/recipient_plan.h"

namespace mirebolt::platform {

// The entry with zeros in place of the wrapped key and the ephemeral point: exactly as long as
// the real one, so that sizes are known before any key exists.
der::Bytes PlaceholderRecipientInfo(const RecipientPlan& plan);

// The entry carrying `contentKey` for the planned recipient.
Result<der::Bytes> RecipientInfo(const RecipientPlan& plan, PK11SymKey* contentKey);

}  // namespace mirebolt::platform
