#pragma once

// Owners for the NSS objects the platform layer takes: each gives its object back exactly once.

#include <cert.h>
#include <keyhi.h>
#include <pk11pub.h>
#include <secitem.h>
#include <secmod.h>
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
struct SlotListRelease {
    void operator()(PK11SlotList* list) const { PK11_FreeSlotList(list); }
};
struct CertListRelease {
    void operator()(CERTCertList* list) const { CERT_DestroyCertList(list); }
};
struct SecItemRelease {
    // Items may hold key material: zero them before they go.
    void operator()(SECItem* item) const { SECITEM_ZfreeItem(item, PR_TRUE); }
};
struct PortStringRelease {
    void operator()(char* text) const { PORT_Free(text); }
};
struct ModuleRelease {
    void operator()(SECMODModule* module) const { SECMOD_DestroyModule(module); }
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
using UniqueSlotList = std::unique_ptr<PK11SlotList, SlotListRelease>;
using UniqueCertList = std::unique_ptr<CERTCertList, CertListRelease>;
using UniqueSecItem = std::unique_ptr<SECItem, SecItemRelease>;
using UniqueArena = std::unique_ptr<PLArenaPool, ArenaRelease>;
// A string NSS made for us.
using UniquePortString = std::unique_ptr<char, PortStringRelease>;
// A reference to a PKCS #11 module; giving it back does not unload the module.
using UniqueModule = std::unique_ptr<SECMODModule, ModuleRelease>;

// An item of our own whose data NSS fills in: the data goes back when the item goes.
class FilledItem {
  public:
    FilledItem() = default;
    FilledItem(const FilledItem&) = delete;
    FilledItem& operator=(const FilledItem&) = delete;
    ~FilledItem() { SECITEM_FreeItem(&item_, PR_FALSE); }

    SECItem* get() { return &item_; }
    const SECItem& operator*() const { return item_; }
    const SECItem* operator->() const { return &item_; }

  private:
    SECItem item_{siBuffer, nullptr, 0};
};

}  // namespace mirebolt::platform
