#include "feedback/feedback.h"

#include <cstdio>

#include "base/system_error.h"

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
    // NSS's failures carry NSS's text from where they arose; an errno value may come bare.
    const std::string platformText =
        failure.text.empty() ? platform::SystemErrorText(failure.code) : failure.text;
    ShowError(ErrorReportText(text, failure.code, platformText));
}

}  // namespace mirebolt::feedback
