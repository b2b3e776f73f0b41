#include "cms/envelope_description.h"

#include "cms/message_reader.h"
#include "cms/recipient_keys.h"

namespace mirebolt::platform {

namespace {

std::string FormText(const MessageOutline& outline) {
    switch (outline.form) {
        case MessageForm::Pem:
            return "PEM";
        case MessageForm::Smime:
            return "S/MIME";
        default:
            return outline.indefiniteLengths ? "BER" : "DER";
    }
}

std::string KindText(RecipientKind kind) {
    switch (kind) {
        case RecipientKind::KeyTransport:
            return "key transport";
        case RecipientKind::KeyAgreement:
            return "key agreement";
        case RecipientKind::KeyEncryptionKey:
            return "shared secret key";
        case RecipientKind::Password:
            return "password";
        default:
            return "other";
    }
}

std::string IdentifierText(const RecipientEntry& entry) {
    if (entry.kind != RecipientKind::KeyTransport && entry.kind != RecipientKind::KeyAgreement) {
        return {};
    }
    return RecipientText(entry.id, {});
}

}  // namespace

Result<EnvelopeDescription> DescribeEnvelope(ByteSource& message, const PersonalStore& /*store*/) {
    ASSIGN_OR_RETURN(MessageOutline outline, ReadOutline(message));
    EnvelopeDescription description;
    description.form = FormText(outline);
    description.type = outline.authenticated ? "authenticated enveloped data" : "enveloped data";
    description.cipher = std::string(outline.cipher->name);
    description.encryptedBytes = outline.encryptedBytes;
    description.recipientCount = outline.recipientCount;
    const std::vector<KnownCertificate> known = AllCertificates();
    for (const RecipientEntry& entry : outline.recipients) {
        RecipientDescription recipient;
        recipient.kind = KindText(entry.kind);
        recipient.keyAlgorithm = entry.algorithm;
        recipient.identifier = IdentifierText(entry);
        recipient.usable = entry.unusable.empty();
        if (!recipient.identifier.empty()) {
            if (const KnownCertificate* certificate = FindNamed(known, entry.id)) {
                recipient.certificateName = SubjectDisplayName(certificate->certificate);
                recipient.own = certificate->ownKey;
                recipient.certificate = certificate->certificate.Duplicate();
            }
        }
        description.recipients.push_back(std::move(recipient));
    }
    return description;
}

}  // namespace mirebolt::platform
