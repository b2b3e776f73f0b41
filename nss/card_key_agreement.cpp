#include "nss/card_key_agreement.h"

#include <pk11pub.h>
#include <pkcs11.h>
#include <secerr.h>
#include <secmodt.h>

#include <algorithm>
#include <array>

#include "nss/error_text.h"

namespace mirebolt::platform {

namespace {

// A session of our own on the card: the card's login is shared by every session of the
// program, so the key is usable in it as in NSS's.
class CardSession {
  public:
    CardSession(CK_FUNCTION_LIST_PTR functions, CK_SLOT_ID slot) : functions_(functions) {
        if (functions_->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &handle_) !=
            CKR_OK) {
            handle_ = CK_INVALID_HANDLE;
        }
    }
    ~CardSession() {
        if (handle_ != CK_INVALID_HANDLE) {
            functions_->C_CloseSession(handle_);
        }
    }
    CardSession(const CardSession&) = delete;
    CardSession& operator=(const CardSession&) = delete;

    bool open() const { return handle_ != CK_INVALID_HANDLE; }
    CK_SESSION_HANDLE handle() const { return handle_; }

  private:
    CK_FUNCTION_LIST_PTR functions_;
    CK_SESSION_HANDLE handle_ = CK_INVALID_HANDLE;
};

// The derived secret, destroyed on the card when it has been read.
class CardObject {
  public:
    CardObject(CK_FUNCTION_LIST_PTR functions, CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object)
        : functions_(functions), session_(session), object_(object) {}
    ~CardObject() { functions_->C_DestroyObject(session_, object_); }
    CardObject(const CardObject&) = delete;
    CardObject& operator=(const CardObject&) = delete;

  private:
    CK_FUNCTION_LIST_PTR functions_;
    CK_SESSION_HANDLE session_;
    CK_OBJECT_HANDLE object_;
};

}  // namespace

Result<PrivateBuffer> CardSharedSecret(SECKEYPrivateKey* key, std::span<const std::uint8_t> point,
                                       bool cofactor) {
    SECMODModule* module = key != nullptr ? PK11_GetModule(key->pkcs11Slot) : nullptr;
    auto* functions =
        module != nullptr ? static_cast<CK_FUNCTION_LIST_PTR>(module->functionList) : nullptr;
    if (functions == nullptr) {
        return NssFailure(SEC_ERROR_INVALID_ARGS);
    }
    CardSession session(functions, PK11_GetSlotID(key->pkcs11Slot));
    if (!session.open()) {
        return NssFailure(SEC_ERROR_PKCS11_FUNCTION_FAILED);
    }
    CK_ECDH1_DERIVE_PARAMS parameters{CKD_NULL, 0, nullptr, static_cast<CK_ULONG>(point.size()),
                                      const_cast<CK_BYTE_PTR>(point.data())};
    CK_MECHANISM mechanism{cofactor ? CKM_ECDH1_COFACTOR_DERIVE : CKM_ECDH1_DERIVE, &parameters,
                           sizeof parameters};
    CK_OBJECT_CLASS secretClass = CKO_SECRET_KEY;
    CK_KEY_TYPE secretType = CKK_GENERIC_SECRET;
    CK_BBOOL no = CK_FALSE;
    CK_BBOOL yes = CK_TRUE;
    std::array<CK_ATTRIBUTE, 5> secretTemplate{{
        {CKA_CLASS, &secretClass, sizeof secretClass},
        {CKA_KEY_TYPE, &secretType, sizeof secretType},
        {CKA_TOKEN, &no, sizeof no},
        {CKA_SENSITIVE, &no, sizeof no},
        {CKA_EXTRACTABLE, &yes, sizeof yes},
    }};
    CK_OBJECT_HANDLE derived = CK_INVALID_HANDLE;
    if (functions->C_DeriveKey(session.handle(), &mechanism, key->pkcs11ID, secretTemplate.data(),
                               secretTemplate.size(), &derived) != CKR_OK) {
        return NssFailure(SEC_ERROR_PKCS11_FUNCTION_FAILED);
    }
    const CardObject secret(functions, session.handle(), derived);
    CK_ATTRIBUTE value{CKA_VALUE, nullptr, 0};
    if (functions->C_GetAttributeValue(session.handle(), derived, &value, 1) != CKR_OK ||
        value.ulValueLen == 0 || value.ulValueLen > 1024) {
        return NssFailure(SEC_ERROR_PKCS11_FUNCTION_FAILED);
    }
    ASSIGN_OR_RETURN(PrivateBuffer bytes, PrivateBuffer::Allocate(value.ulValueLen));
    value.pValue = bytes.bytes().data();
    if (functions->C_GetAttributeValue(session.handle(), derived, &value, 1) != CKR_OK ||
        value.ulValueLen != bytes.bytes().size()) {
        return NssFailure(SEC_ERROR_PKCS11_FUNCTION_FAILED);
    }
    return bytes;
}

}  // namespace mirebolt::platform
