#include "cms/key_agreement.h"

#include <keyhi.h>
#include <secerr.h>

#include "cms/ecc_shared_info.h"
#include "nss/error_text.h"
#include "nss/nss_types.h"

namespace mirebolt::platform {

Result<AgreedKey> AgreeAndWrap(const RecipientPlan& plan, PK11SymKey* contentKey) {
    const KeyAgreementChoice& choice = plan.agreement;
    UniqueSlot slot(PK11_GetInternalSlot());
    if (!slot) {
        return NssFailure();
    }
    SECKEYECParams curve = plan.key->u.ec.DEREncodedParams;
    SECKEYPublicKey* ephemeralPublic = nullptr;
    // A session object, never stored; made for deriving only, which also spares the signing
    // self-test a signing key would get.
    UniquePrivateKey ephemeral(
        PK11_GenerateKeyPairWithOpFlags(slot.get(), CKM_EC_KEY_PAIR_GEN, &curve, &ephemeralPublic,
                                        PK11_ATTR_SESSION | PK11_ATTR_SENSITIVE | PK11_ATTR_PRIVATE,
                                        CKF_DERIVE, CKF_DERIVE | CKF_SIGN | CKF_VERIFY, nullptr));
    UniquePublicKey ephemeralKey(ephemeralPublic);
    if (!ephemeral || !ephemeralKey) {
        return NssFailure();
    }

    der::Bytes sharedInfo = SharedInfo(*choice.wrap);
    SECItem sharedInfoItem{siBuffer, sharedInfo.data(), static_cast<unsigned>(sharedInfo.size())};
    UniqueSymKey keyEncryptionKey(PK11_PubDeriveWithKDF(
        ephemeral.get(), plan.key.get(), PR_TRUE /* sender */, nullptr, nullptr, CKM_ECDH1_DERIVE,
        CKM_NSS_AES_KEY_WRAP, CKA_WRAP, static_cast<int>(choice.wrap->kekBytes), choice.scheme->kdf,
        &sharedInfoItem, nullptr));
    if (!keyEncryptionKey) {
        return NssFailure();
    }
    UniqueSecItem wrapped(
        SECITEM_AllocItem(nullptr, nullptr, static_cast<unsigned>(plan.wrappedKeyBytes)));
    if (!wrapped) {
        return NssFailure();
    }
    if (PK11_WrapSymKey(CKM_NSS_AES_KEY_WRAP, nullptr, keyEncryptionKey.get(), contentKey,
                        wrapped.get()) != SECSuccess) {
        return NssFailure();
    }
    const SECItem& point = ephemeralKey->u.ec.publicValue;
    if (wrapped->len != plan.wrappedKeyBytes || point.len != choice.pointBytes) {
        return NssFailure(SEC_ERROR_LIBRARY_FAILURE);
    }
    return AgreedKey{der::Bytes(point.data, point.data + point.len),
                     der::Bytes(wrapped->data, wrapped->data + wrapped->len)};
}

}  // namespace mirebolt::platform
