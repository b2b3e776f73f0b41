#include "feedback/feedback.h"

#include <cstdio>

#include "platform/error_text.h"

namespace mirebolt::feedback {

std::string ErrorReportText(const std::string& text, std::uint32_t code,
                            const std::string& platformText) {
    if (code == 0 || platformText.empty()) {
        return text;
    }
    char line[64];
    std::snprintf(line, sizeof line, "\n\nError 0x%.8X: ", code);
    return text + line + platformText;
}

void Feedback::ReportError(const std::string& text, const Failure& failure) {
    const std::string platformText =
        failure.text.empty() ? platform::PlatformErrorText(failure.code) : failure.text;
    ShowError(ErrorReportText(text, failure.code, platformText));
}

}  // namespace mirebolt::feedback
