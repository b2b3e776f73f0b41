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

// The not-a-recipient text names this many recipients and counts the rest, and gives this many
// reasons why entries cannot be used: a crafted message may have a different one in each.
constexpr std::size_t kNamedRecipients = 5;
constexpr std::size_t kReasonsGiven = 8;

void AddOnce(std::vector<std::string>& texts, std::string text) {
    if (texts.size() < kReasonsGiven &&
        std::find(texts.begin(), texts.end(), text) == texts.end()) {
        texts.push_back(std::move(text));
    }
}

// Why an entry that names the holder's certificate cannot be used: what it was made with, and
// the part of that which this program lacks.
std::string UnusableOwnEntry(const RecipientEntry& entry, const Certificate& mine) {
    std::string text =
        "The message has an entry for your certificate \"" + SubjectDisplayName(mine) + "\"";
    if (!entry.algorithm.empty() && entry.algorithm != entry.unusable) {
        text += ", made with " + entry.algorithm;
    }
    return text + ", but this program cannot use " + entry.unusable + ".";
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

ContentKeySearch::ContentKeySearch() : own_(OwnCertificates()), passedOver_(own_.size(), 0) {}

void ContentKeySearch::Consider(RecipientEntry entry) {
    const bool named =
        entry.kind == RecipientKind::KeyTransport || entry.kind == RecipientKind::KeyAgreement;
    if (named) {
        if (named_.size() < kNamedRecipients) {
            named_.push_back(entry.id);
        }
        ++namedCount_;
    }
    const KnownCertificate* mine = named ? FindNamed(own_, entry.id) : nullptr;
    if (mine == nullptr) {
        if (!entry.unusable.empty()) {
            AddOnce(reasons_, UnusableKindText(entry));
        }
        return;
    }
    if (!entry.unusable.empty()) {
        AddOnce(ownProblems_, UnusableOwnEntry(entry, mine->certificate));
        return;
    }
    const auto certificate = static_cast<std::size_t>(mine - own_.data());
    const auto ofCertificate = static_cast<std::size_t>(
        std::count_if(candidates_.begin(), candidates_.end(),
                      [&](const Candidate& each) { return each.certificate == certificate; }));
    if (ofCertificate == kTriesPerCertificate || candidates_.size() == kTriesPerMessage) {
        ++passedOver_[certificate];
        return;
    }
    candidates_.push_back(Candidate{std::move(entry), certificate});
}

Result<UniqueSymKey> ContentKeySearch::Recover(const ContentAlgorithmFacts& cipher,
                                               KeyAccessPrompt* prompt,
                                               const ContentCheck* decrypts) {
    KeyAccessSession session(prompt);
    // Each certificate's private key is looked for once, and asked once whether it answers.
    std::vector<UniquePrivateKey> keys(own_.size());
    std::vector<bool> looked(own_.size(), false);
    std::vector<bool> answers(own_.size(), false);
    std::optional<Failure> unwrapFailure;
    std::optional<Failure> contentFailure;
    std::vector<std::string> ownProblems = ownProblems_;
    const bool passedOver = std::any_of(passedOver_.begin(), passedOver_.end(),
                                        [](std::uint64_t count) { return count > 0; });
    for (std::size_t i = 0; i < candidates_.size(); ++i) {
        const RecipientEntry& entry = candidates_[i].entry;
        const std::size_t index = candidates_[i].certificate;
        const Certificate& mine = own_[index].certificate;
        const RecipientKindUnit* unit = UnitForKind(entry.kind);
        if (unit == nullptr) {
            continue;
        }
        if (std::optional<std::string> unusable = unit->unusableKey(mine)) {
            AddOnce(ownProblems, std::move(*unusable));
            continue;
        }
        if (!looked[index]) {
            looked[index] = true;
            keys[index].reset(PK11_FindKeyByAnyCert(mine.get(), &session));
            if (session.cancelled()) {
                return NssFailure(SEC_ERROR_USER_CANCELLED);
            }
            if (session.exhausted()) {
                return NssFailure(SEC_ERROR_BAD_PASSWORD);
            }
        }
        SECKEYPrivateKey* key = keys[index].get();
        if (key == nullptr) {
            continue;
        }
        Result<UniqueSymKey> contentKey = unit->unwrap(entry, mine, key, cipher, session);
        if (!contentKey) {
            if (!answers[index]) {
                if (!StoreKeyAnswers(key, mine)) {
                    return UnusableStoreKey(mine);
                }
                answers[index] = true;
            }
            unwrapFailure = contentKey.failure();
            continue;
        }
        // Where the content can be read again and another entry could give another key, this
        // one must prove itself first: an entry anyone may add can carry any key.
        const bool others = i + 1 < candidates_.size() || passedOver;
        if (decrypts == nullptr || !others) {
            return contentKey;
        }
        ASSIGN_OR_RETURN(std::optional<Failure> wrong, (*decrypts)(contentKey->get()));
        if (!wrong) {
            return contentKey;
        }
        contentFailure = std::move(*wrong);
    }
    if (passedOver) {
        return TooManyEntries();
    }
    if (contentFailure) {
        return *contentFailure;
    }
    if (unwrapFailure) {
        return *unwrapFailure;
    }
    if (!ownProblems.empty()) {
        std::string text;
        for (const std::string& problem : ownProblems) {
            text += (text.empty() ? "" : " ") + problem;
        }
        return NssFailure(SEC_ERROR_NOT_A_RECIPIENT, text);
    }
    return NotARecipient();
}

Failure ContentKeySearch::TooManyEntries() const {
    std::size_t index = 0;
    while (index + 1 < passedOver_.size() && passedOver_[index] == 0) {
        ++index;
    }
    const auto tried = static_cast<std::uint64_t>(
        std::count_if(candidates_.begin(), candidates_.end(),
                      [&](const Candidate& each) { return each.certificate == index; }));
    return NssFailure(SEC_ERROR_BAD_DATA,
                      "The message holds " + std::to_string(tried + passedOver_[index]) +
                          " entries for your certificate \"" +
                          SubjectDisplayName(own_[index].certificate) + "\": the " +
                          std::to_string(tried) +
                          " tried gave no key that decrypts it, and no more are tried, since a "
                          "message made for you needs only one.");
}

Failure ContentKeySearch::NotARecipient() const {
    std::string text = PlatformErrorText(static_cast<std::uint32_t>(SEC_ERROR_NOT_A_RECIPIENT));
    if (!named_.empty()) {
        const std::vector<KnownCertificate> known = AllCertificates();
        text += " The message is for: ";
        for (std::size_t i = 0; i < named_.size(); ++i) {
            text += (i > 0 ? "; " : "") + RecipientText(named_[i], known);
        }
        if (namedCount_ > named_.size()) {
            text += "; and " + std::to_string(namedCount_ - named_.size()) + " more";
        }
        text += ".";
    }
    for (const std::string& reason : reasons_) {
        text += " " + reason;
    }
    return NssFailure(SEC_ERROR_NOT_A_RECIPIENT, text);
}

}  // namespace mirebolt::platform
