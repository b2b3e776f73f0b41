#include "cli/terminal_ports.h"

#include <cstdio>

#include "cli/commands.h"
#include "cli/terminal.h"

namespace mirebolt::cli {

void TerminalFeedback::ShowWarning(const std::string& text) {
    std::fprintf(stderr, "%s: warning: %s\n", program_.c_str(), text.c_str());
}

void TerminalFeedback::ShowInformation(const std::string& text) {
    if (information_ == InformationTo::Nowhere) {
        return;
    }
    std::FILE* to = information_ == InformationTo::StandardOutput ? stdout : stderr;
    std::fprintf(to, "%s\n", text.c_str());
    std::fflush(to);
}

void TerminalFeedback::ShowError(const std::string& message) {
    std::fprintf(stderr, "%s: error: %s\n", program_.c_str(), message.c_str());
}

feedback::Answer TerminalFeedback::AskYesNo(const std::string& text, const std::string& title,
                                            feedback::QuestionIcon /*icon*/) {
    if (answerYes_) {
        return feedback::Answer::Yes;
    }
    const std::string question = title.empty() ? text : title + ": " + text;
    std::optional<std::string> answer = Terminal::Ask(program_ + ": " + question + " [y/N] ");
    if (!answer) {
        std::fprintf(
            stderr,
            "%s: %s [y/N]\n%s: no terminal to answer on, so the answer is No (--yes answers Yes)\n",
            program_.c_str(), question.c_str(), program_.c_str());
        return feedback::Answer::No;
    }
    return *answer == "y" || *answer == "Y" || *answer == "yes" || *answer == "Yes"
               ? feedback::Answer::Yes
               : feedback::Answer::No;
}

std::optional<platform::Secret> TerminalKeyPrompt::AskSecret(const std::string& tokenName,
                                                             bool retry) {
    if (passwordFromFile_) {
        return platform::Secret(passwordFromFile_->view());
    }
    if (!Terminal::Present()) {
        std::fprintf(stderr,
                     "%s: the password or PIN of \"%s\" is needed, and there is no terminal to "
                     "ask for it on; --password-file FILE gives it\n",
                     kProgram, tokenName.c_str());
        return std::nullopt;
    }
    const std::string prompt = std::string(retry ? "Wrong password or PIN. " : "") +
                               "Password or PIN for \"" + tokenName + "\": ";
    return Terminal::AskSecret(prompt);
}

}  // namespace mirebolt::cli
