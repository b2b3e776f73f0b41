#pragma once

#include <vector>

#include "nss/certificate.h"

namespace mirebolt::protection {

// The recipients as Encrypt reads them: a count and each row's certificate, borrowed.
class RecipientSource {
  public:
    virtual ~RecipientSource() = default;
    virtual int RecipientCount() const = 0;
    // Null when the row holds none.
    virtual const platform::Certificate* RecipientCertificate(int row) const = 0;
};

// Every row's certificate, in order, borrowed from `source`.
inline std::vector<const platform::Certificate*> CertificatesOf(const RecipientSource& source) {
    std::vector<const platform::Certificate*> certificates;
    for (int row = 0; row < source.RecipientCount(); ++row) {
        certificates.push_back(source.RecipientCertificate(row));
    }
    return certificates;
}

}  // namespace mirebolt::protection
