#include "nss/key_access.h"

#include <algorithm>

#include "nss/key_access_nss.h"

namespace mirebolt::platform {

char* KeyAccessSession::Answer(const std::string& tokenName, bool retry) {
    if (prompt_ == nullptr || cancelled_ || exhausted_) {
        return nullptr;
    }
    if (answers_ == kMaxAnswers) {
        exhausted_ = true;
        return nullptr;
    }
    // NSS asks again after a wrong answer, not always saying it is a retry: a token that was
    // answered once in this operation and asks again refused the answer.
    const bool askedBefore = std::find(answeredTokens_.begin(), answeredTokens_.end(), tokenName) !=
                             answeredTokens_.end();
    if (askedBefore && prompt_->HasOneAnswer()) {
        refused_ = true;
        return nullptr;
    }
    const std::optional<Secret> secret = prompt_->AskSecret(tokenName, retry);
    if (!secret) {
        cancelled_ = true;
        return nullptr;
    }
    ++answers_;
    if (!askedBefore) {
        answeredTokens_.push_back(tokenName);
    }
    return PORT_Strdup(secret->c_str());
}

char* AnswerKeyAccess(PK11SlotInfo* slot, PRBool retry, void* session) {
    if (session == nullptr || slot == nullptr) {
        return nullptr;
    }
    return static_cast<KeyAccessSession*>(session)->Answer(PK11_GetTokenName(slot), retry != 0);
}

}  // namespace mirebolt::platform
