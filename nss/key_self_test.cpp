#include <pk11pub.h>
#include <secerr.h>

#include <vector>

#include "nss/error_text.h"
#include "nss/key_self_test.h"
#include "nss/nss_types.h"

namespace mirebolt::platform {

namespace {

constexpr int kProbeKeyBytes = 32;

}  // namespace

bool StoreKeyAnswers(SECKEYPrivateKey* key, const Certificate& certificate) {
    if (key == nullptr || key->pkcs11Slot == nullptr || !PK11_IsInternal(key->pkcs11Slot)) {
        return true;
    }
    const KeyType type = SECKEY_GetPrivateKeyType(key);
    if (type == nullKey) {
        return false;  // the database cannot even say what kind of key it holds
    }
    if (type != rsaKey) {
        return true;
    }
    const UniquePublicKey publicKey(CERT_ExtractPublicKey(certificate.get()));
    if (!publicKey || SECKEY_GetPublicKeyType(publicKey.get()) != rsaKey) {
        return true;
    }
    // The very operation that failed, on a key of our own making: wrapped with the public key,
    // unwrapped with the private one.
    const UniqueSlot internal(PK11_GetInternalSlot());
    const UniqueSymKey probe(
        internal ? PK11_KeyGen(internal.get(), CKM_AES_KEY_GEN, nullptr, kProbeKeyBytes, nullptr)
                 : nullptr);
    if (!probe) {
        return true;
    }
    std::vector<unsigned char> wrappedBytes(SECKEY_PublicKeyStrength(publicKey.get()));
    SECItem wrapped{siBuffer, wrappedBytes.data(), static_cast<unsigned>(wrappedBytes.size())};
    if (wrappedBytes.empty() ||
        PK11_PubWrapSymKey(CKM_RSA_PKCS, publicKey.get(), probe.get(), &wrapped) != SECSuccess) {
        return true;
    }
    const UniqueSymKey unwrapped(
        PK11_PubUnwrapSymKey(key, &wrapped, CKM_AES_CBC_PAD, CKA_DECRYPT, 0));
    return static_cast<bool>(unwrapped);
}

Failure UnusableStoreKey(const Certificate& certificate) {
    return ArisingFrom(
        FailureOrigin::Store,
        NssFailure(SEC_ERROR_BAD_DATABASE, "The personal store holds the private key of " +
                                               SubjectDisplayName(certificate) +
                                               " but cannot use it: its key database (key4.db) is "
                                               "damaged."));
}

}  // namespace mirebolt::platform
