#pragma once

// Telling a damaged message from a damaged key: when a content key cannot be recovered, the
// private key is asked to undo what its own public key did. A key of the store that cannot is
// the store's fault, not the message's.

#include <keyhi.h>

#include "base/result.h"
#include "nss/certificate.h"

namespace mirebolt::platform {

// False only when a key of the personal store's database is unreadable (its kind cannot be
// read) or, for RSA, fails to unwrap a key that its certificate's public key wrapped; true
// whenever that cannot be told (EC keys, keys on a card, which may refuse what they like).
bool StoreKeyAnswers(SECKEYPrivateKey* key, const Certificate& certificate);

// The failure of a private key that the store holds but cannot use.
Failure UnusableStoreKey(const Certificate& certificate);

}  // namespace mirebolt::platform
