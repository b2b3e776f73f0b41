#pragma once

#include <optional>
#include <string>

#include "feedback/feedback.h"
#include "feedback/save_file_question.h"
#include "nss/key_access.h"

namespace mirebolt::cli {

// Where the success text goes: standard output, unless data goes there (then standard error),
// or nowhere when the person asked for quiet.
enum class InformationTo { StandardOutput, StandardError, Nowhere };

// Messages on the terminal: the success text as chosen above, everything else on standard
// error. Questions are asked on the terminal; --yes answers them, and without a terminal the
// answer is No.
class TerminalFeedback : public feedback::Feedback {
  public:
    TerminalFeedback(std::string program, bool answerYes,
                     InformationTo information = InformationTo::StandardOutput)
        : program_(std::move(program)), answerYes_(answerYes), information_(information) {}

    void ShowWarning(const std::string& text) override;
    void ShowInformation(const std::string& text) override;
    void ShowError(const std::string& message) override;
    feedback::Answer AskYesNo(const std::string& text, const std::string& title,
                              feedback::QuestionIcon icon) override;

  private:
    std::string program_;
    bool answerYes_;
    InformationTo information_;
};

// The command line names the output beforehand, so there is nothing to ask.
class NoSaveQuestion : public feedback::SaveFileQuestion {
  public:
    std::optional<std::string> AskSaveFileName(const std::string&) override { return std::nullopt; }
};

// Passwords and PINs from a file (its first line), or asked on the terminal without echo.
class TerminalKeyPrompt : public platform::KeyAccessPrompt {
  public:
    explicit TerminalKeyPrompt(std::optional<platform::Secret> passwordFromFile)
        : passwordFromFile_(std::move(passwordFromFile)) {}

    std::optional<platform::Secret> AskSecret(const std::string& tokenName, bool retry) override;
    bool HasOneAnswer() const override { return passwordFromFile_.has_value(); }
    void Forget() override {
        if (passwordFromFile_) {
            passwordFromFile_->Clear();
        }
    }

  private:
    std::optional<platform::Secret> passwordFromFile_;
};

}  // namespace mirebolt::cli
