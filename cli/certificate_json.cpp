#include "cli/certificate_json.h"

#include "feedback/date_text.h"
#include "recipients/certificate_status_text.h"

namespace mirebolt::cli {

namespace {

using platform::JsonWriter;

const char* ProblemCode(platform::CertificateProblem problem) {
    using platform::CertificateProblem;
    switch (problem) {
        case CertificateProblem::Revoked:
            return "revoked";
        case CertificateProblem::Expired:
            return "expired";
        case CertificateProblem::NotYetValid:
            return "not-yet-valid";
        case CertificateProblem::SigningOnly:
            return "signing-only";
        case CertificateProblem::Authority:
            return "authority";
        case CertificateProblem::NotTrusted:
            return "not-trusted";
        case CertificateProblem::NotForEmail:
            return "not-for-email";
        case CertificateProblem::RevocationUnknown:
            return "revocation-unknown";
    }
    return "not-trusted";
}

void StringOrNull(JsonWriter& json, const std::string& value) {
    if (value.empty()) {
        json.Null();
    } else {
        json.String(value);
    }
}

// Opens the certificate's object and writes its particulars; the caller may add members.
void BeginCertificate(JsonWriter& json, const platform::Certificate& certificate,
                      const platform::StatusChecks& checks) {
    json.BeginObject();
    json.Key("name").String(platform::SubjectDisplayName(certificate));
    json.Key("subject").String(platform::SubjectText(certificate));
    json.Key("email");
    StringOrNull(json, platform::EmailAddress(certificate));
    json.Key("issuer").String(platform::IssuerText(certificate));
    json.Key("not_before").String(feedback::IsoDateText(platform::NotBeforeDate(certificate)));
    json.Key("not_after").String(feedback::IsoDateText(platform::NotAfterDate(certificate)));
    WriteStatusMembers(json, platform::CheckRecipientCertificate(certificate, checks), certificate);
    json.Key("serial").String(platform::SerialNumberText(certificate));
    json.Key("key").String(platform::KeyDescription(certificate));
    json.Key("sha256").String(platform::Sha256Fingerprint(certificate));
    json.Key("nickname");
    StringOrNull(json, platform::Nickname(certificate));
}

}  // namespace

void WriteStatusMembers(JsonWriter& json, const platform::CertificateStatus& status,
                        const platform::Certificate& certificate) {
    json.Key("status").String(recipients::StatusText(status, certificate, "; "));
    json.Key("problems").BeginArray();
    for (const platform::CertificateProblem problem : status.problems) {
        json.String(ProblemCode(problem));
    }
    json.EndArray();
    json.Key("fit").Bool(!status.unfit());
}

std::string CertificatesJson(const std::vector<platform::Certificate>& certificates,
                             const platform::StatusChecks& checks) {
    JsonWriter json;
    json.BeginObject().Key("certificates").BeginArray();
    for (const platform::Certificate& certificate : certificates) {
        BeginCertificate(json, certificate, checks);
        json.EndObject();
    }
    json.EndArray().EndObject();
    return json.text();
}

std::string StoreCertificatesJson(const std::vector<platform::StoreCertificate>& entries,
                                  const platform::StatusChecks& checks) {
    JsonWriter json;
    json.BeginObject().Key("certificates").BeginArray();
    for (const platform::StoreCertificate& entry : entries) {
        BeginCertificate(json, entry.certificate, checks);
        json.Key("own").Bool(entry.ownKey);
        json.Key("token");
        StringOrNull(json, entry.tokenName);
        json.EndObject();
    }
    json.EndArray().EndObject();
    return json.text();
}

}  // namespace mirebolt::cli
