#include "nss/certificate.h"

#include <cert.h>
#include <keyhi.h>
#include <pk11pub.h>
#include <prtime.h>

#include <memory>
#include <utility>

#include "base/hex_text.h"
#include "nss/nss_types.h"

namespace mirebolt::platform {

Certificate Certificate::Adopt(CERTCertificate* certificate) {
    return Certificate(certificate);
}

Certificate Certificate::Share(CERTCertificate* certificate) {
    return Certificate(certificate == nullptr ? nullptr : CERT_DupCertificate(certificate));
}

Certificate::Certificate(Certificate&& other) noexcept
    : certificate_(std::exchange(other.certificate_, nullptr)) {}

Certificate& Certificate::operator=(Certificate&& other) noexcept {
    if (this != &other) {
        Reset();
        certificate_ = std::exchange(other.certificate_, nullptr);
    }
    return *this;
}

Certificate::~Certificate() {
    Reset();
}

Certificate Certificate::Duplicate() const {
    return Share(certificate_);
}

void Certificate::Reset() {
    if (certificate_ != nullptr) {
        CERT_DestroyCertificate(std::exchange(certificate_, nullptr));
    }
}

bool SameCertificate(const Certificate& a, const Certificate& b) {
    if (!a || !b) {
        return false;
    }
    return SECITEM_ItemsAreEqual(&a.get()->derIssuer, &b.get()->derIssuer) &&
           SECITEM_ItemsAreEqual(&a.get()->serialNumber, &b.get()->serialNumber);
}

namespace {

std::string TakeNssString(char* text) {
    const UniquePortString owned(text);
    return owned ? std::string(owned.get()) : std::string();
}

std::string DisplayName(CERTName* name) {
    for (auto* part :
         {&CERT_GetCommonName, &CERT_GetOrgUnitName, &CERT_GetOrgName, &CERT_GetCertEmailAddress}) {
        std::string text = TakeNssString(part(name));
        if (!text.empty()) {
            return text;
        }
    }
    return TakeNssString(CERT_NameToAscii(name));
}

}  // namespace

std::string SubjectDisplayName(const Certificate& certificate) {
    return certificate ? DisplayName(&certificate.get()->subject) : std::string();
}

std::string IssuerDisplayName(const Certificate& certificate) {
    return certificate ? DisplayName(&certificate.get()->issuer) : std::string();
}

std::string SubjectText(const Certificate& certificate) {
    return certificate ? TakeNssString(CERT_NameToAscii(&certificate.get()->subject))
                       : std::string();
}

std::string IssuerText(const Certificate& certificate) {
    return certificate ? TakeNssString(CERT_NameToAscii(&certificate.get()->issuer))
                       : std::string();
}

namespace {

// The first (`last` false) or the last day of validity, in UTC.
CalendarDate ValidityDay(const Certificate& certificate, bool last) {
    PRTime notBefore = 0;
    PRTime notAfter = 0;
    if (!certificate || CERT_GetCertTimes(certificate.get(), &notBefore, &notAfter) != SECSuccess) {
        return {};
    }
    PRExplodedTime exploded{};
    PR_ExplodeTime(last ? notAfter : notBefore, PR_GMTParameters, &exploded);
    return CalendarDate{exploded.tm_year, exploded.tm_month + 1, exploded.tm_mday};
}

}  // namespace

CalendarDate NotBeforeDate(const Certificate& certificate) {
    return ValidityDay(certificate, false);
}

CalendarDate NotAfterDate(const Certificate& certificate) {
    return ValidityDay(certificate, true);
}

std::string KeyUsageText(const Certificate& certificate) {
    if (!certificate || !certificate.get()->keyUsagePresent) {
        return {};
    }
    static const std::pair<unsigned, const char*> kUsages[] = {
        {KU_DIGITAL_SIGNATURE, "Digital Signature"},
        {KU_NON_REPUDIATION, "Non-Repudiation"},
        {KU_KEY_ENCIPHERMENT, "Key Encipherment"},
        {KU_DATA_ENCIPHERMENT, "Data Encipherment"},
        {KU_KEY_AGREEMENT, "Key Agreement"},
        {KU_KEY_CERT_SIGN, "Certificate Signing"},
        {KU_CRL_SIGN, "CRL Signing"},
    };
    std::string text;
    for (const auto& [bit, name] : kUsages) {
        if ((certificate.get()->rawKeyUsage & bit) != 0) {
            text += text.empty() ? "" : ", ";
            text += name;
        }
    }
    return text;
}

std::string Sha256Fingerprint(const Certificate& certificate) {
    if (!certificate) {
        return {};
    }
    unsigned char digest[32];
    const SECItem& der = certificate.get()->derCert;
    if (PK11_HashBuf(SEC_OID_SHA256, digest, der.data, static_cast<PRInt32>(der.len)) !=
        SECSuccess) {
        return {};
    }
    return HexText(digest);
}

std::string SerialNumberText(const Certificate& certificate) {
    if (!certificate) {
        return {};
    }
    const SECItem& serial = certificate.get()->serialNumber;
    return HexText(std::span<const std::uint8_t>(serial.data, serial.len));
}

std::string EmailAddress(const Certificate& certificate) {
    if (!certificate || certificate.get()->emailAddr == nullptr) {
        return {};
    }
    return certificate.get()->emailAddr;
}

std::string Nickname(const Certificate& certificate) {
    if (!certificate || certificate.get()->nickname == nullptr) {
        return {};
    }
    return certificate.get()->nickname;
}

KeyKind PublicKeyKind(const Certificate& certificate) {
    if (!certificate) {
        return KeyKind::Other;
    }
    UniquePublicKey key(CERT_ExtractPublicKey(certificate.get()));
    if (!key) {
        return KeyKind::Other;
    }
    switch (SECKEY_GetPublicKeyType(key.get())) {
        case rsaKey:
            return KeyKind::Rsa;
        case rsaPssKey:
            return KeyKind::RsaPss;
        case ecKey:
            return KeyKind::Ec;
        case dsaKey:
            return KeyKind::Dsa;
        default:
            return KeyKind::Other;
    }
}

bool KeyUsageAllowsEncryption(const Certificate& certificate) {
    const KeyKind kind = PublicKeyKind(certificate);
    if (!certificate || kind == KeyKind::Dsa) {
        return false;
    }
    if (!certificate.get()->keyUsagePresent) {
        return true;
    }
    const unsigned needed = kind == KeyKind::Ec ? KU_KEY_AGREEMENT : KU_KEY_ENCIPHERMENT;
    return (certificate.get()->rawKeyUsage & needed) != 0;
}

std::span<const std::uint8_t> DerBytes(const Certificate& certificate) {
    const SECItem& der = certificate.get()->derCert;
    return {der.data, der.len};
}

}  // namespace mirebolt::platform
