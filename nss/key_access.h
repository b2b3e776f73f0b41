#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/secret.h"

namespace mirebolt::platform {

// Asks the person for the password or PIN that unlocks a token's private keys. The window, the
// terminal and the tests each answer it their own way.
class KeyAccessPrompt {
  public:
    virtual ~KeyAccessPrompt() = default;

    // `tokenName` names the token whose keys are wanted; `retry` is true after a wrong answer.
    // Gives back nothing when the person cancels.
    virtual std::optional<Secret> AskSecret(const std::string& tokenName, bool retry) = 0;

    // True for a prompt whose answer is fixed beforehand, such as a password file: asking it
    // again would give the same wrong answer, and every try counts against a card's few.
    virtual bool HasOneAnswer() const { return false; }

    // The keys have been looked for: an answer kept beforehand is wiped now rather than when
    // the prompt goes, at the end of the run.
    virtual void Forget() {}
};

// One operation's exchange with a prompt. NSS asks again for as long as it gets answers, so the
// number of answers is capped; how the exchange ended tells a wrong or cancelled password apart
// from a key that is not there at all.
class KeyAccessSession {
  public:
    static constexpr int kMaxAnswers = 3;

    explicit KeyAccessSession(KeyAccessPrompt* prompt) : prompt_(prompt) {}

    // The answer NSS gets: a copy made with NSS's allocator, which NSS wipes and frees once it
    // has tried it, or null to stop asking.
    char* Answer(const std::string& tokenName, bool retry);

    bool cancelled() const { return cancelled_; }
    // Every allowed answer was given and the last one was refused too.
    bool exhausted() const { return exhausted_ || refused_; }

  private:
    KeyAccessPrompt* prompt_;
    int answers_ = 0;
    bool cancelled_ = false;
    bool exhausted_ = false;
    std::vector<std::string> answeredTokens_;
    bool refused_ = false;  // the one answer of a prompt that has no other was wrong
};

}  // namespace mirebolt::platform
