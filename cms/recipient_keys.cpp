#include "cms/recipient_keys.h"

#include <cert.h>
#include <keyhi.h>
#include <pk11pub.h>
#include <secerr.h>

#include <algorithm>

#include "asn1/name_as_der.h"
#include "base/hex_text.h"
#include "cms/open_failures.h"
#include "cms/recipient_kind.h"
#include "nss/error_text.h"
#include "nss/key_access_nss.h"
#include "nss/key_self_test.h"
#include "nss/own_keys.h"
#include "nss/public_key.h"

namespace mirebolt::platform {

namespace {

std::vector<std::uint8_t> KeyIdentifierOf(CERTCertificate* cert) {
    FilledItem extension;
    if (CERT_FindSubjectKeyIDExtension(cert, extension.get()) == SECSuccess) {
        return std::vector<std::uint8_t>(extension->data, extension->data + extension->len);
    }
    // Without the extension, peers name the key by the SHA-1 of the public key's bits.
    const SECItem& bits = cert->subjectPublicKeyInfo.subjectPublicKey;
    std::array<std::uint8_t, 20> digest{};
    if (PK11_HashBuf(SEC_OID_SHA1, digest.data(), bits.data, (bits.len + 7) / 8) != SECSuccess) {
        return {};
    }
    return {digest.begin(), digest.end()};
}

std::vector<KnownCertificate> ListCertificates(PK11CertListType type, bool own) {
    std::vector<KnownCertificate> known;
    UniqueCertList list(PK11_ListCerts(type, nullptr));
    if (!list) {
        return known;
    }
    for (CERTCertListNode* node = CERT_LIST_HEAD(list.get()); !CERT_LIST_END(node, list.get());
         node = CERT_LIST_NEXT(node)) {
        known.push_back(
            KnownCertificate{Certificate::Share(node->cert), KeyIdentifierOf(node->cert), own});
    }
    return known;
}

bool Names(const KnownCertificate& known, const RecipientIdentifier& id) {
    const CERTCertificate* cert = known.certificate.get();
    if (id.byKeyIdentifier) {
        return !known.keyIdentifier.empty() && known.keyIdentifier == id.keyIdentifier;
    }
    if (!std::equal(id.serial.begin(), id.serial.end(), cert->serialNumber.data,
                    cert->serialNumber.data + cert->serialNumber.len)) {
        return false;
    }
    const std::span<const std::uint8_t> issuer(cert->derIssuer.data, cert->derIssuer.len);
    if (std::ranges::equal(id.issuer, issuer)) {
        return true;
    }
    // The entry's issuer was read as DER; a certificate whose own issuer is not DER (an
    // unsorted set, say) matches by the DER of both.
    const Result<std::vector<std::uint8_t>> issuerAsDer = NameAsDer(issuer);
    return issuerAsDer && *issuerAsDer == id.issuer;
}

Failure NotARecipient(const std::vector<RecipientEntry>& entries,
                      const std::vector<std::string>& extra) {
    const std::vector<KnownCertificate> known = AllCertificates();
    std::vector<std::string> names;
    std::vector<std::string> reasons = extra;
    for (const RecipientEntry& entry : entries) {
        if (entry.kind == RecipientKind::KeyTransport ||
            entry.kind == RecipientKind::KeyAgreement) {
            names.push_back(RecipientText(entry.id, known));
        }
        if (!entry.unusable.empty()) {
            reasons.push_back(UnusableKindText(entry));
        }
    }
    std::string text = PlatformErrorText(static_cast<std::uint32_t>(SEC_ERROR_NOT_A_RECIPIENT));
    if (!names.empty()) {
        constexpr std::size_t kNamed = 5;
        text += " The message is for: ";
        for (std::size_t i = 0; i < names.size() && i < kNamed; ++i) {
            text += (i > 0 ? "; " : "") + names[i];
        }
        if (names.size() > kNamed) {
            text += "; and " + std::to_string(names.size() - kNamed) + " more";
        }
        text += ".";
    }
    std::vector<std::string> said;
    for (const std::string& reason : reasons) {
        if (std::find(said.begin(), said.end(), reason) == said.end()) {
            text += " " + reason;
            said.push_back(reason);
        }
    }
    return NssFailure(SEC_ERROR_NOT_A_RECIPIENT, text);
}

}  // namespace

std::vector<KnownCertificate> OwnCertificates() {
    std::vector<KnownCertificate> own = ListCertificates(PK11CertListAll, true);
    std::erase_if(
        own, [](const KnownCertificate& known) { return !HeldByUser(known.certificate.get()); });
    return own;
}

std::vector<KnownCertificate> AllCertificates() {
    std::vector<KnownCertificate> all = ListCertificates(PK11CertListAll, false);
    const std::vector<KnownCertificate> own = OwnCertificates();
    for (KnownCertificate& certificate : all) {
        for (const KnownCertificate& mine : own) {
            if (SameCertificate(certificate.certificate, mine.certificate)) {
                certificate.ownKey = true;
            }
        }
    }
    return all;
}

const KnownCertificate* FindNamed(const std::vector<KnownCertificate>& certificates,
                                  const RecipientIdentifier& id) {
    for (const KnownCertificate& known : certificates) {
        if (Names(known, id)) {
            return &known;
        }
    }
    return nullptr;
}

std::string RecipientText(const RecipientIdentifier& id,
                          const std::vector<KnownCertificate>& known) {
    if (const KnownCertificate* certificate = FindNamed(known, id)) {
        return SubjectDisplayName(certificate->certificate);
    }
    if (id.byKeyIdentifier) {
        return "key identifier " + HexText(id.keyIdentifier);
    }
    SECItem issuer{siBuffer, const_cast<unsigned char*>(id.issuer.data()),
                   static_cast<unsigned>(id.issuer.size())};
    const UniquePortString issuerText(CERT_DerNameToAscii(&issuer));
    return "issuer \"" + std::string(issuerText ? issuerText.get() : "?") + "\", serial number " +
           HexText(id.serial);
}

Result<UniqueSymKey> RecoverContentKey(const std::vector<RecipientEntry>& entries,
                                       const ContentAlgorithmFacts& cipher,
                                       KeyAccessPrompt* prompt) {
    const std::vector<KnownCertificate> own = OwnCertificates();
    KeyAccessSession session(prompt);
    std::optional<Failure> unwrapFailure;
    std::vector<std::string> extra;
    for (const RecipientEntry& entry : entries) {
        if (!entry.unusable.empty()) {
            continue;
        }
        const KnownCertificate* mine = FindNamed(own, entry.id);
        if (mine == nullptr) {
            continue;
        }
        const RecipientKindUnit* unit = UnitForKind(entry.kind);
        if (unit == nullptr) {
            continue;
        }
        if (std::optional<std::string> unusable = unit->unusableKey(mine->certificate)) {
            extra.push_back(std::move(*unusable));
            continue;
        }
        UniquePrivateKey key(PK11_FindKeyByAnyCert(mine->certificate.get(), &session));
        if (session.cancelled()) {
            return NssFailure(SEC_ERROR_USER_CANCELLED);
        }
        if (session.exhausted()) {
            return NssFailure(SEC_ERROR_BAD_PASSWORD);
        }
        if (!key) {
            continue;
        }
        Result<UniqueSymKey> contentKey =
            unit->unwrap(entry, mine->certificate, key.get(), cipher, session);
        if (contentKey) {
            return contentKey;
        }
        if (!StoreKeyAnswers(key.get(), mine->certificate)) {
            return UnusableStoreKey(mine->certificate);
        }
        unwrapFailure = contentKey.failure();
    }
    if (unwrapFailure) {
        return *unwrapFailure;
    }
    return NotARecipient(entries, extra);
}

}  // namespace mirebolt::platform
