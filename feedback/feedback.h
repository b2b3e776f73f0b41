#pragma once

#include <cstdint>
#include <string>

#include "base/result.h"

namespace mirebolt::feedback {

enum class QuestionIcon { Warning, Question };
enum class Answer { Yes, No };

// How a command tells the person its outcome: the four kinds of modal message. The window shows
// message boxes, the command line writes to the terminal, the tests record them.
class Feedback {
  public:
    virtual ~Feedback() = default;

    // Title "Warning", an OK button and the warning icon.
    virtual void ShowWarning(const std::string& text) = 0;
    // Title "Information", an OK button and the information icon.
    virtual void ShowInformation(const std::string& text) = 0;
    // Title "Error", an OK button and the error icon; `message` is the whole text to show.
    virtual void ShowError(const std::string& message) = 0;
    // Yes and No, Yes the default. Callers act on No alone.
    virtual Answer AskYesNo(const std::string& text, const std::string& title,
                            QuestionIcon icon) = 0;

    // An error report without a code: the text alone.
    void ReportError(const std::string& text) { ShowError(text); }
    // An error report that adds the code and the platform's text for it.
    void ReportError(const std::string& text, const Failure& failure);
};

// The text of an error report: `text`, then, when there is a code and a platform text for it,
// a blank line, "Error 0x" with the code in at least eight upper-case hexadecimal digits, a colon,
// a space and the platform's text.
std::string ErrorReportText(const std::string& text, std::uint32_t code,
                            const std::string& platformText);

}  // namespace mirebolt::feedback
