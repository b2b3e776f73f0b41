#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/calendar_date.h"

struct CERTCertificateStr;

namespace mirebolt::platform {

// One reference to an NSS certificate, given back exactly once: when the holder is destroyed or
// reset. Copies are explicit (Duplicate), so a reference can't be given back twice by accident.
class Certificate {
  public:
    Certificate() = default;
    // Takes over a reference the caller already holds.
    static Certificate Adopt(CERTCertificateStr* certificate);
    // Takes a reference of its own to a certificate the caller only borrows.
    static Certificate Share(CERTCertificateStr* certificate);

    Certificate(Certificate&& other) noexcept;
    Certificate& operator=(Certificate&& other) noexcept;
    Certificate(const Certificate&) = delete;
    Certificate& operator=(const Certificate&) = delete;
    ~Certificate();

    Certificate Duplicate() const;
    void Reset();

    CERTCertificateStr* get() const { return certificate_; }
    explicit operator bool() const { return certificate_ != nullptr; }

  private:
    explicit Certificate(CERTCertificateStr* certificate) : certificate_(certificate) {}
    CERTCertificateStr* certificate_ = nullptr;
};

enum class KeyKind { Rsa, RsaPss, Ec, Dsa, Other };

// Two certificates are the same when their issuer names and serial numbers match byte for byte.
bool SameCertificate(const Certificate& a, const Certificate& b);

// The simple display name of the subject or the issuer: common name, else organisational unit,
// else organisation, else e-mail address, else the whole name as text.
std::string SubjectDisplayName(const Certificate& certificate);
std::string IssuerDisplayName(const Certificate& certificate);

// The whole subject or issuer name as text, written the way NSS writes names.
std::string SubjectText(const Certificate& certificate);
std::string IssuerText(const Certificate& certificate);

// The first and the last day of validity, as calendar dates in UTC.
CalendarDate NotBeforeDate(const Certificate& certificate);
CalendarDate NotAfterDate(const Certificate& certificate);

// The uses the certificate's key-usage extension allows, such as "Key Encipherment", joined
// with commas; empty when the certificate has no such extension.
std::string KeyUsageText(const Certificate& certificate);

// Colon-separated upper-case hex: the SHA-256 digest of the whole certificate, and the serial.
std::string Sha256Fingerprint(const Certificate& certificate);
std::string SerialNumberText(const Certificate& certificate);

// The certificate as DER, valid while the certificate is held.
std::span<const std::uint8_t> DerBytes(const Certificate& certificate);

std::string EmailAddress(const Certificate& certificate);
std::string Nickname(const Certificate& certificate);

KeyKind PublicKeyKind(const Certificate& certificate);

// Whether the key may receive a content key as far as the certificate says: its key-usage
// extension, when there is one, must allow key encipherment (RSA) or key agreement (EC); a DSA
// key is for signatures whatever the extension says.
bool KeyUsageAllowsEncryption(const Certificate& certificate);

// The key's kind and size as a person names them: "RSA 3072", "EC P-256", "RSA-OAEP 2048",
// "DSA 2048", "Ed25519".
std::string KeyDescription(const Certificate& certificate);

}  // namespace mirebolt::platform
