#include "recipients/recipient_list.h"

#include "feedback/date_text.h"

namespace mirebolt::recipients {

std::string ExpiryText(const platform::Certificate& certificate, const QLocale& locale) {
    return feedback::ShortDateText(platform::NotAfterDate(certificate), locale);
}

bool RecipientList::Contains(const platform::Certificate& certificate) const {
    for (const RecipientRow& row : rows_) {
        if (platform::SameCertificate(row.certificate, certificate)) {
            return true;
        }
    }
    return false;
}

bool RecipientList::AddRecipient(const platform::Certificate& certificate,
                                 const platform::CertificateStatus& status) {
    if (Contains(certificate)) {
        return false;
    }
    rows_.push_back(RecipientRow{certificate.Duplicate(), platform::SubjectDisplayName(certificate),
                                 platform::IssuerDisplayName(certificate),
                                 ExpiryText(certificate, locale_), status});
    return true;
}

void RecipientList::RemoveRecipient(int row) {
    if (row >= 0 && row < RecipientCount()) {
        rows_.erase(rows_.begin() + row);
    }
}

void RecipientList::ReleaseRecipients() {
    rows_.clear();
}

const platform::Certificate* RecipientList::RecipientCertificate(int row) const {
    const RecipientRow* entry = Row(row);
    return entry != nullptr ? &entry->certificate : nullptr;
}

const RecipientRow* RecipientList::Row(int row) const {
    if (row < 0 || row >= RecipientCount()) {
        return nullptr;
    }
    return &rows_[static_cast<std::size_t>(row)];
}

}  // namespace mirebolt::recipients
