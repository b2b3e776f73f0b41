#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>

#include "nss/key_access.h"

namespace mirebolt::testing {

// Gives the scripted answers in order (nothing means: the person cancels). Being asked once
// more than the script foresees fails the test. `fixed` makes it a prompt with one answer, as a
// password file is.
class ScriptedKeyPrompt : public platform::KeyAccessPrompt {
  public:
    explicit ScriptedKeyPrompt(std::deque<std::optional<std::string>> answers = {},
                               bool fixed = false)
        : answers_(std::move(answers)), fixed_(fixed) {}

    bool HasOneAnswer() const override { return fixed_; }

    std::optional<platform::Secret> AskSecret(const std::string& tokenName, bool retry) override {
        ++asked;
        lastToken = tokenName;
        lastRetry = retry;
        if (answers_.empty()) {
            ADD_FAILURE() << "unexpected key-access prompt for " << tokenName;
            return std::nullopt;
        }
        std::optional<std::string> answer = std::move(answers_.front());
        answers_.pop_front();
        if (!answer) {
            return std::nullopt;
        }
        return platform::Secret(*answer);
    }

    int asked = 0;
    std::string lastToken;
    bool lastRetry = false;

  private:
    std::deque<std::optional<std::string>> answers_;
    bool fixed_;
};

}  // namespace mirebolt::testing
