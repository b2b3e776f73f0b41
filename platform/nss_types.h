#pragma once

// Owners for the NSS objects the platform layer takes: each gives its object back exactly once.

#include <cert.h>
#include <keyhi.h>
#include <pk11pub.h>
#include <secitem.h>
#include <secport.h>

#include <memory>

namespace mirebolt::platform {

struct PublicKeyRelease {
    void operator()(SECKEYPublicKey* key) const { SECKEY_DestroyPublicKey(key); }
};
struct PrivateKeyRelease {
    void operator()(SECKEYPrivateKey* key) const { SECKEY_DestroyPrivateKey(key); }
};
struct SymKeyRelease {
    void operator()(PK11SymKey* key) const { PK11_FreeSymKey(key); }
};
struct CipherContextRelease {
    void operator()(PK11Context* context) const { PK11_DestroyContext(context, PR_TRUE); }
};
struct SlotRelease {
    void operator()(PK11SlotInfo* slot) const { PK11_FreeSlot(slot); }
};
struct CertListRelease {
    void operator()(CERTCertList* list) const { CERT_DestroyCertList(list); }
};
struct SecItemRelease {
    // Items may hold key material: zero them before they go.
    void operator()(SECItem* item) const { SECITEM_ZfreeItem(item, PR_TRUE); }
};
struct ArenaRelease {
    // Arenas may have held plaintext: zero them before they go.
    void operator()(PLArenaPool* arena) const { PORT_FreeArena(arena, PR_TRUE); }
};

using UniquePublicKey = std::unique_ptr<SECKEYPublicKey, PublicKeyRelease>;
using UniquePrivateKey = std::unique_ptr<SECKEYPrivateKey, PrivateKeyRelease>;
using UniqueSymKey = std::unique_ptr<PK11SymKey, SymKeyRelease>;
using UniqueCipherContext = std::unique_ptr<PK11Context, CipherContextRelease>;
using UniqueSlot = std::unique_ptr<PK11SlotInfo, SlotRelease>;
using UniqueCertList = std::unique_ptr<CERTCertList, CertListRelease>;
using UniqueSecItem = std::unique_ptr<SECItem, SecItemRelease>;
using UniqueArena = std::unique_ptr<PLArenaPool, ArenaRelease>;

}  // namespace mirebolt::platform
