#pragma once

#include <vector>

#include "nss/certificate.h"
#include "protection/recipient_source.h"

namespace mirebolt::testing {

// Recipients for Encrypt without the list of the layer above: the certificates in the order
// they were added.
class CertificateRows final : public protection::RecipientSource {
  public:
    void Add(platform::Certificate certificate) { rows_.push_back(std::move(certificate)); }
    void Clear() { rows_.clear(); }

    int RecipientCount() const override { return static_cast<int>(rows_.size()); }
    const platform::Certificate* RecipientCertificate(int row) const override {
        return &rows_.at(static_cast<std::size_t>(row));
    }

  private:
    std::vector<platform::Certificate> rows_;
};

}  // namespace mirebolt::testing
