#include "cli/store_query_picker.h"

#include <algorithm>
#include <cctype>

namespace mirebolt::cli {

namespace {

std::string Folded(const std::string& text, bool dropColons) {
    std::string folded;
    for (char c : text) {
        if (dropColons && c == ':') {
            continue;
        }
        folded += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return folded;
}

}  // namespace

bool MatchesQuery(const platform::Certificate& certificate, const std::string& query) {
    if (query.empty()) {
        return false;
    }
    // Certificates of a token carry its name before a colon: "token:nickname".
    const std::string nickname = platform::Nickname(certificate);
    const std::size_t colon = nickname.find(':');
    const std::string shortNickname =
        colon == std::string::npos ? nickname : nickname.substr(colon + 1);
    if (query == nickname || query == shortNickname) {
        return true;
    }
    if (Folded(query, false) == Folded(platform::EmailAddress(certificate), false)) {
        return true;
    }
    return Folded(query, true) == Folded(platform::Sha256Fingerprint(certificate), true);
}

std::optional<platform::Certificate> PickByQuery(std::vector<platform::StoreCertificate> listed,
                                                 const std::string& query, const std::string& which,
                                                 feedback::Feedback& feedback) {
    // The heading `store` shows names a certificate too; two people of the same name are then
    // both candidates, never one of them silently.
    std::vector<platform::Certificate> matches;
    for (platform::StoreCertificate& entry : listed) {
        if (MatchesQuery(entry.certificate, query) ||
            (!query.empty() && platform::SubjectDisplayName(entry.certificate) == query)) {
            matches.push_back(std::move(entry.certificate));
        }
    }
    if (matches.size() == 1) {
        return std::move(matches.front());
    }
    if (matches.empty()) {
        feedback.ShowError("No certificate " + which + " is named \"" + query +
                           "\" (by nickname, e-mail address, SHA-256 fingerprint or the name "
                           "`mirebolt-cli store` shows)");
        return std::nullopt;
    }
    std::string names;
    for (const platform::Certificate& match : matches) {
        names += "\n  " + platform::SubjectDisplayName(match) + "  SHA-256 " +
                 platform::Sha256Fingerprint(match);
    }
    feedback.ShowError("\"" + query + "\" names " + std::to_string(matches.size()) +
                       " certificates " + which + "; name one by its fingerprint:" + names);
    return std::nullopt;
}

std::optional<platform::Certificate> StoreQueryPicker::Pick(const platform::PersonalStore& store,
                                                            const std::string& /*displayString*/) {
    std::optional<platform::Certificate> picked =
        PickByQuery(store.PickerCertificates(), query_, "of the personal store", feedback_);
    failed_ = !picked;
    return picked;
}

}  // namespace mirebolt::cli
