#pragma once

// Which certificates are the user's own, wherever their keys are kept: in the personal store's
// database or on a smart card. Cards keep a private key as a private object, seen only after
// logging in, and their holders' tools rarely put a public key object beside it, so a card's
// certificate cannot be matched to its key before the PIN is given. Once a certificate counts as
// own, NSS's key search logs into the token it finds the certificate on, asking the operation's
// KeyAccessSession, and a token logged into stays so for the next certificate on it.

#include <cert.h>

#include "nss/certificate.h"

namespace mirebolt::platform {

// Whether the user holds the certificate's private key, told without logging in to anything: a
// key NSS sees, or, on a card, any certificate that is not a certificate authority's, since what
// a card carries beside its holder's certificates is its issuers'.
bool HeldByUser(CERTCertificate* certificate);

}  // namespace mirebolt::platform
