#pragma once

#include <QLocale>

#include <string>
#include <vector>

#include "nss/certificate.h"
#include "protection/recipient_source.h"
#include "recipients/recipient_target.h"

namespace mirebolt::recipients {

// One row of the recipient list: the certificate it owns, the three texts the view shows and
// what the check found against the certificate, all computed once, when the row is added.
struct RecipientRow {
    platform::Certificate certificate;
    std::string issuedTo;
    std::string issuedBy;
    std::string expires;
    platform::CertificateStatus status;
};

// The certificates Encrypt wraps the content key for, in the order they were added, no two with
// the same issuer and serial number. Each row owns one reference, given back when the row is
// removed or the list released.
class RecipientList : public protection::RecipientSource, public RecipientTarget {
  public:
    explicit RecipientList(QLocale locale = QLocale::system()) : locale_(std::move(locale)) {}

    // Appends a row with a reference of its own, unless a row already holds the same
    // certificate: then false, and nothing changes. The caller keeps its own reference.
    bool AddRecipient(const platform::Certificate& certificate,
                      const platform::CertificateStatus& status) override;
    // The same for a certificate nothing was found against.
    bool AddRecipient(const platform::Certificate& certificate) {
        return AddRecipient(certificate, {});
    }
    // Whether a row holds the same certificate: the same issuer and serial number.
    bool Contains(const platform::Certificate& certificate) const;
    void RemoveRecipient(int row);
    // Gives back every row's reference; the list is empty afterwards.
    void ReleaseRecipients();

    int RecipientCount() const override { return static_cast<int>(rows_.size()); }
    const platform::Certificate* RecipientCertificate(int row) const override;
    const RecipientRow* Row(int row) const;

  private:
    QLocale locale_;
    std::vector<RecipientRow> rows_;
};

// NotAfter's calendar date in UTC, written in the locale's short date format; empty when the
// certificate has no date.
std::string ExpiryText(const platform::Certificate& certificate, const QLocale& locale);

}  // namespace mirebolt::recipients
